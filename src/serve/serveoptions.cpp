#include "serve/serveoptions.h"

#include "app/shell/configfile.h"
#include "conversations/establishview.h"

#include <QDir>

namespace telviox {

namespace {

// An integer option within [min, max]; nullopt with the message otherwise.
std::optional<int> integerOption(const QCommandLineParser &parser, const QCommandLineOption &option,
                                 int min, int max, QString *message)
{
    const QString text = parser.value(option);
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < min || value > max) {
        *message = QStringLiteral("--%1: %2 is not a number from %3 to %4")
                       .arg(option.names().constFirst(), text)
                       .arg(min)
                       .arg(max);
        return std::nullopt;
    }
    return value;
}

} // namespace

ServeCommandLine::ServeCommandLine(QTextStream &out, QTextStream &err)
    : m_tool(QLatin1String(ProgramName), QString(), out, err), m_declared(declareOptions())
{
    QCommandLineParser &parser = m_tool.parser();
    parser.setApplicationDescription(QStringLiteral(
        "Serves the conversation list FILE.cnv (with its companion FILE.dde) without windows:\n"
        "its items on the session bus as service TELVIOXD, topic Form5, items Text1..Text32.\n"
        "Messages go to stderr with a time stamp. SIGTERM or SIGINT stops the server and ends\n"
        "the program; SIGHUP reads the list again (a list that cannot be read is reported\n"
        "and the one in use keeps serving).\n"
        "Exit status: 0 ended by a signal, 1 the list cannot be served (or the --http\n"
        "address cannot be had), 2 a usage error."));
    parser.addPositionalArgument(QStringLiteral("FILE.cnv"),
                                 QStringLiteral("The conversation list to serve."));
    parser.addOptions({m_declared.home, m_declared.com, m_declared.device, m_declared.interval});
    m_publish.addTo(parser);
}

ServeCommandLine::Declared ServeCommandLine::declareOptions()
{
    return {
        QCommandLineOption(QStringLiteral("home"),
                           QStringLiteral("The program folder (its ports/comN links, lumvex.cfg) "
                                          "instead of TELVIOXD_HOME or the usual one."),
                           QStringLiteral("DIR")),
        QCommandLineOption(QStringLiteral("com"),
                           QStringLiteral("Serve on COM port N (ports/comN of the program "
                                          "folder, else /dev/ttyS(N-1)); default: the port of "
                                          "lumvex.cfg, else 1."),
                           QStringLiteral("N")),
        QCommandLineOption(QStringLiteral("device"),
                           QStringLiteral("Serve on this device instead of a COM port."),
                           QStringLiteral("PATH")),
        QCommandLineOption(QStringLiteral("interval"),
                           QStringLiteral("Poll every MS milliseconds (%1 to %2) instead of the "
                                          "list's own interval.")
                               .arg(IntervalMinimum)
                               .arg(IntervalMaximum),
                           QStringLiteral("MS")),
    };
}

std::optional<int> ServeCommandLine::parse(const QStringList &arguments)
{
    if (const auto done = m_tool.parse(arguments))
        return done;
    QString message;
    const auto options = readOptions(&message);
    if (!options)
        return m_tool.usageError(message);
    m_options = *options;
    return std::nullopt;
}

std::optional<ServeOptions> ServeCommandLine::readOptions(QString *message)
{
    const QCommandLineParser &parser = m_tool.parser();
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        *message = files.isEmpty() ? QStringLiteral("no conversation list (FILE.cnv) given")
                                   : QStringLiteral("one conversation list only, not %1: %2")
                                         .arg(files.size())
                                         .arg(files.join(QLatin1Char(' ')));
        return std::nullopt;
    }
    ServeOptions options;
    options.file = QDir::cleanPath(QDir::current().absoluteFilePath(files.constFirst()));
    if (parser.isSet(m_declared.com) && parser.isSet(m_declared.device)) {
        *message = QStringLiteral("give --com or --device, not both");
        return std::nullopt;
    }
    if (parser.isSet(m_declared.com)) {
        const auto com = integerOption(parser, m_declared.com, 1, ConfigFile::MaxComPort, message);
        if (!com)
            return std::nullopt;
        options.com = *com;
    }
    if (parser.isSet(m_declared.interval)) {
        options.interval =
            integerOption(parser, m_declared.interval, IntervalMinimum, IntervalMaximum, message);
        if (!options.interval)
            return std::nullopt;
    }
    if (parser.isSet(m_declared.device)) {
        options.device = parser.value(m_declared.device);
        if (options.device.isEmpty()) {
            *message = QStringLiteral("--device: no path given");
            return std::nullopt;
        }
    }
    if (parser.isSet(m_declared.home)) {
        options.home = parser.value(m_declared.home);
        if (options.home.isEmpty()) {
            *message = QStringLiteral("--home: no folder given");
            return std::nullopt;
        }
        options.home = QDir(options.home).absolutePath();
    }
    const std::optional<PublishSettings> publish = m_publish.read(parser, message);
    if (!publish)
        return std::nullopt;
    options.publish = *publish;
    return options;
}

} // namespace telviox
