// telvioxd-io: talks to the modules on a COM port from the shell. It sends raw
// commands, calls any module library function by name, and reads out a module,
// always through the program's own serial link and module library.

#include "core/moduleerror.h"
#include "core/clock.h"
#include "device/seriallink.h"
#include "iotool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

using namespace telviox;

namespace {

const char *const Usage =
    "Usage: telvioxd-io [--port N | --device PATH] [--baud B] [--checksum] [--timeout MS]\n"
    "                   [--repeat MS [--count K]] COMMAND\n"
    "       telvioxd-io --list\n"
    "Commands:\n"
    "  raw TEXT          send TEXT (for example '$01M') and print the reply\n"
    "  call FUNCTION addr=AA type=CODE [slot=S] [ch=N] [value=V] [e5=X e7=X e8=X ...]\n"
    "                    call a module library function; prints the result code,\n"
    "                    what the function filled, and the command and reply\n"
    "  read AA [slot=S]  read a module's name and its present values\n"
    "Options:\n"
    "  --port N          COM port number (default 1): ports/comN in the program's\n"
    "                    folder, else /dev/ttyS(N-1)\n"
    "  --device PATH     use this device as the port\n"
    "  --baud B          baud rate (default 9600)\n"
    "  --checksum        send and check checksums\n"
    "  --timeout MS      reply time-out (default 1000)\n"
    "  --repeat MS       repeat the command every MS milliseconds\n"
    "  --count K         with --repeat: stop after K runs (default: until interrupted)\n"
    "  --list            list the library functions and where they take their arguments\n"
    "Addresses are hexadecimal; numbers are decimal or 0x-prefixed hexadecimal.\n"
    "Exit status: 0 success, 1 a port or module error, 2 a usage error.\n";

struct Options
{
    io::Settings settings;
    QString device;
    qint32 baud = 9600;
    int repeatMs = -1;
    qint64 count = 0;
};

int usageError(QTextStream &err, const QString &message)
{
    err << "telvioxd-io: " << message << '\n' << Usage;
    err.flush();
    return io::ExitUsage;
}

// Reads an integer option into out; false (with message) when malformed.
bool integerOption(const QCommandLineParser &parser, const QCommandLineOption &option, qint64 min,
                   qint64 max, qint64 &out, QString &message)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    const auto value = io::parseInteger(text);
    if (!value || *value < min || *value > max) {
        message = QStringLiteral("--") + option.names().first() + QStringLiteral(": ") + text +
                  QStringLiteral(" is not a number from ") + QString::number(min) +
                  QStringLiteral(" to ") + QString::number(max);
        return false;
    }
    out = *value;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-io"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption deviceOption(QStringLiteral("device"), QString(),
                                          QStringLiteral("PATH"));
    const QCommandLineOption baudOption(QStringLiteral("baud"), QString(), QStringLiteral("B"));
    const QCommandLineOption checksumOption(QStringLiteral("checksum"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QString(),
                                           QStringLiteral("MS"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"), QString(),
                                          QStringLiteral("MS"));
    const QCommandLineOption countOption(QStringLiteral("count"), QString(), QStringLiteral("K"));
    const QCommandLineOption listOption(QStringLiteral("list"));
    parser.addOptions({helpOption, portOption, deviceOption, baudOption, checksumOption,
                       timeoutOption, repeatOption, countOption, listOption});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        out << Usage;
        return io::ExitOk;
    }
    if (parser.isSet(listOption)) {
        out << io::functionList();
        return io::ExitOk;
    }

    Options o;
    QString message;
    qint64 port = o.settings.port;
    qint64 baud = o.baud;
    qint64 timeout = o.settings.timeoutMs;
    qint64 repeat = o.repeatMs;
    if (!integerOption(parser, portOption, 1, 255, port, message) ||
        !integerOption(parser, baudOption, 1, 10000000, baud, message) ||
        !integerOption(parser, timeoutOption, 0, 600000, timeout, message) ||
        !integerOption(parser, repeatOption, 0, 86400000, repeat, message) ||
        !integerOption(parser, countOption, 1, 1000000000, o.count, message))
        return usageError(err, message);
    if (parser.isSet(portOption) && parser.isSet(deviceOption))
        return usageError(err, QStringLiteral("give --port or --device, not both"));
    if (parser.isSet(countOption) && !parser.isSet(repeatOption))
        return usageError(err, QStringLiteral("--count goes with --repeat"));
    o.settings.port = int(port);
    o.settings.checksum = parser.isSet(checksumOption);
    o.settings.timeoutMs = int(timeout);
    o.baud = qint32(baud);
    o.repeatMs = int(repeat);
    o.device = parser.value(deviceOption);

    // Check the whole command before touching the port.
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    std::optional<io::CallRequest> request;
    int address = 0;
    std::optional<int> slot;
    if (command == QLatin1String("raw")) {
        if (rest.size() != 1 || rest.first().isEmpty())
            return usageError(err, QStringLiteral("raw takes one command text"));
    } else if (command == QLatin1String("call")) {
        request = io::parseCall(rest, o.settings, &message);
        if (!request)
            return usageError(err, message);
    } else if (command == QLatin1String("read")) {
        if (rest.isEmpty() || rest.size() > 2)
            return usageError(err, QStringLiteral("read takes an address and perhaps slot=S"));
        const auto a = io::parseAddress(rest.first());
        if (!a)
            return usageError(err, rest.first() +
                                       QStringLiteral(" is not a hexadecimal address 00 to FF"));
        address = *a;
        if (rest.size() == 2) {
            const QString &s = rest.at(1);
            const auto n =
                s.startsWith(QLatin1String("slot=")) ? io::parseInteger(s.mid(5)) : std::nullopt;
            if (!n || *n < 0 || *n > 7)
                return usageError(err, s + QStringLiteral(" is not slot=0 to slot=7"));
            slot = int(*n);
        }
    } else {
        return usageError(err, QStringLiteral("unknown command ") + command);
    }

    // --device: a one-off ports folder whose comN links to the device.
    QString folder = programFolder();
    QTemporaryDir mapping;
    if (!o.device.isEmpty()) {
        const QString link = QStringLiteral("ports/com") + QString::number(o.settings.port);
        if (!mapping.isValid() || !QDir(mapping.path()).mkpath(QStringLiteral("ports")) ||
            !QFile::link(QFileInfo(o.device).absoluteFilePath(),
                         QDir(mapping.path()).filePath(link))) {
            err << "telvioxd-io: cannot map " << o.device << " as a port" << Qt::endl;
            return io::ExitFailure;
        }
        folder = mapping.path();
    }

    SerialLink link(SystemClock::instance(), {}, folder);
    const qint16 opened = link.Open_Com(o.settings.port, o.baud);
    if (opened != LinkCode::Ok) {
        err << "telvioxd-io: cannot open COM" << o.settings.port << " ("
            << devicePathForPort(o.settings.port, folder) << ") at " << o.baud << ": error "
            << opened << ": " << moduleErrorDescription(opened).trimmed() << Qt::endl;
        return io::ExitFailure;
    }
    ModuleLibrary library(link);
    io::IoTool tool(library, o.settings, out, err);

    std::function<int()> run;
    if (command == QLatin1String("raw"))
        run = [&] { return tool.raw(rest.first().toLatin1()); };
    else if (command == QLatin1String("call"))
        run = [&] { return tool.call(*request); };
    else
        run = [&] { return tool.read(address, slot); };

    int status = io::ExitOk;
    for (qint64 n = 1;; ++n) {
        status = std::max(status, run());
        if (o.repeatMs < 0 || (o.count > 0 && n >= o.count))
            break;
        SystemClock::instance().sleep(o.repeatMs);
    }
    link.Close_Com(o.settings.port);
    return status;
}
