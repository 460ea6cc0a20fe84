#include "serve/servelog.h"

#include "core/scripttext.h"
#include "serve/serveoptions.h"

namespace telviox {

ServeLog::ServeLog(QTextStream &stream, Now now) : m_stream(stream), m_now(std::move(now))
{
    if (!m_now) {
        m_now = [] {
            const QDateTime local = QDateTime::currentDateTime();
            return local.toOffsetFromUtc(local.offsetFromUtc());
        };
    }
}

void ServeLog::write(const QString &text)
{
    // One record per line, whatever the message holds.
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    line.replace(QLatin1Char('\n'), QLatin1String(" / "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    m_stream << scripttext::isoTimeStamp(m_now()) << ' '
             << QLatin1String(ServeCommandLine::ProgramName) << ": " << line << '\n';
    m_stream.flush();
}

Answer servingAnswer(int style)
{
    switch (style & BoxStyle::ButtonMask) {
    case BoxStyle::OkCancel:
        return Answer::Ok;
    case BoxStyle::AbortRetryIgnore:
        return Answer::Ignore;
    case BoxStyle::YesNoCancel:
    case BoxStyle::YesNo:
        return Answer::No;
    case BoxStyle::RetryCancel:
        return Answer::Cancel;
    case BoxStyle::CancelTryContinue:
        return Answer::Continue;
    default:
        return Answer::Ok;
    }
}

Answer LogPrompt::message(const QString &text, int style, const QString &title)
{
    const Answer answer = servingAnswer(style);
    QString line = title.isEmpty() ? text : title + QStringLiteral(": ") + text;
    const int buttons = style & BoxStyle::ButtonMask;
    if (buttons != BoxStyle::Ok) {
        static const char *const Names[] = {"",      "OK",     "Cancel",    "Abort",
                                            "Retry", "Ignore", "Yes",       "No",
                                            "",      "",       "Try Again", "Continue"};
        line += QStringLiteral(" [answered %1]").arg(QLatin1String(Names[int(answer)]));
    }
    m_log.write(line);
    return answer;
}

} // namespace telviox
