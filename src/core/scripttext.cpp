#include "core/scripttext.h"

namespace telviox::scripttext {

QString isoTimeStamp(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QString::number(minutes / 60).rightJustified(2, QLatin1Char('0')) + QLatin1Char(':') +
           QString::number(minutes % 60).rightJustified(2, QLatin1Char('0'));
}

QString csvField(const QString &text)
{
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                             text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvRow(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(','));
}

} // namespace telviox::scripttext
