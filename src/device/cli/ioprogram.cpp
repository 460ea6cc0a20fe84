#include "ioprogram.h"

#include "core/clock.h"
#include "device/portfolder.h"
#include "device/seriallink.h"
#include "iocommands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>

namespace telviox::io {

namespace {

const char *const UsageHead =
    "Usage: telvioxd-io [--port N | --device PATH] [--baud B] [--checksum] [--timeout MS]\n"
    "                   [--repeat MS [--count K]] [--csv] COMMAND\n"
    "       telvioxd-io --list\n"
    "Commands:\n";

const char *const OptionsHelp =
    "Options:\n"
    "  --port N          COM port number (default 1): ports/comN in the program's\n"
    "                    folder, else /dev/ttyS(N-1)\n"
    "  --device PATH     use this device as the port\n"
    "  --baud B          baud rate (default 9600)\n"
    "  --checksum        send and check checksums\n"
    "  --timeout MS      reply time-out (default 1000)\n"
    "  --repeat MS       repeat the command every MS milliseconds\n"
    "  --count K         with --repeat: stop after K runs (default: until interrupted)\n"
    "                    With --repeat every result line, and every error line on\n"
    "                    stderr, starts with the local time to the millisecond,\n"
    "                    for example 2026-12-06T22:14:03.512+01:00\n"
    "  --csv             print each result as a CSV row under a header row: the\n"
    "                    time, then the command's fields (read: address, model and\n"
    "                    one column per value; raw: the reply; call: the result,\n"
    "                    what the function filled, the command and the reply);\n"
    "                    for scan the same as its own --csv\n"
    "  --list            list the library functions and where they take their arguments\n"
    "  --version         print the program's version\n"
    "Addresses are hexadecimal; numbers are decimal or 0x-prefixed hexadecimal.\n"
    "Exit status: 0 success, 1 a port or module error, 2 a usage error.\n";

struct Options
{
    Settings settings;
    QString device;
    int repeatMs = -1;
    qint64 count = 0;
};

// Reads an integer option into out; false (with message) when malformed.
bool integerOption(const QCommandLineParser &parser, const QCommandLineOption &option, qint64 min,
                   qint64 max, qint64 &out, QString &message)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    const auto value = parseInteger(text);
    if (!value || *value < min || *value > max) {
        message = QStringLiteral("--") + option.names().first() + QStringLiteral(": ") + text +
                  QStringLiteral(" is not a number from ") + QString::number(min) +
                  QStringLiteral(" to ") + QString::number(max);
        return false;
    }
    out = *value;
    return true;
}

std::optional<Options> readOptions(const QCommandLineParser &parser, const ProgramOptions &o,
                                   QString *message)
{
    Options options;
    qint64 port = options.settings.port;
    qint64 baud = options.settings.baud;
    qint64 timeout = options.settings.timeoutMs;
    qint64 repeat = options.repeatMs;
    if (!integerOption(parser, o.port, 1, 255, port, *message) ||
        !integerOption(parser, o.baud, 1, 10000000, baud, *message) ||
        !integerOption(parser, o.timeout, 0, 600000, timeout, *message) ||
        !integerOption(parser, o.repeat, 0, 86400000, repeat, *message) ||
        !integerOption(parser, o.count, 1, 1000000000, options.count, *message))
        return std::nullopt;
    if (parser.isSet(o.port) && parser.isSet(o.device)) {
        *message = QStringLiteral("give --port or --device, not both");
        return std::nullopt;
    }
    if (parser.isSet(o.count) && !parser.isSet(o.repeat)) {
        *message = QStringLiteral("--count goes with --repeat");
        return std::nullopt;
    }
    options.settings.port = int(port);
    options.settings.baud = qint32(baud);
    options.settings.checksum = parser.isSet(o.checksum);
    options.settings.timeoutMs = int(timeout);
    options.settings.csv = parser.isSet(o.csv);
    options.settings.timeStamps = parser.isSet(o.repeat);
    options.repeatMs = int(repeat);
    options.device = parser.value(o.device);
    return options;
}

// A stop signal ends a repeating run after the exchange under way, so the
// port is closed and the status tells how the runs went. A second one ends
// the program at once.
volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

class StopSignals
{
public:
    StopSignals()
    {
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};

// The pause between runs, in steps short enough to notice a stop signal.
void pause(Clock &clock, int ms)
{
    constexpr int StepMs = 50;
    for (int left = ms; left > 0 && !stopRequested; left -= StepMs)
        clock.sleep(std::min(left, StepMs));
}

// The command the words name, its own words checked; nothing, and why, on a
// usage error.
std::unique_ptr<Command> commandFor(const QStringList &words, const Settings &settings,
                                    QString *error)
{
    if (words.isEmpty()) {
        *error = QStringLiteral("no command given");
        return nullptr;
    }
    const CommandEntry *entry = findCommand(words.first());
    if (!entry) {
        *error = QStringLiteral("unknown command ") + words.first();
        return nullptr;
    }
    std::unique_ptr<Command> command = entry->make();
    if (!command->parse(words.mid(1), settings, error))
        return nullptr;
    return command;
}

// Runs the command once, or every repeatMs until the count or a stop
// signal; the worst status of all runs.
int runRepeated(Command &command, IoTool &tool, const Options &options)
{
    std::optional<StopSignals> stopSignals;
    if (options.repeatMs >= 0 || command.stoppable())
        stopSignals.emplace();
    int status = ExitOk;
    for (qint64 n = 1;; ++n) {
        status = std::max(status, command.run(tool));
        if (options.repeatMs < 0 || (options.count > 0 && n >= options.count))
            break;
        pause(SystemClock::instance(), options.repeatMs);
        if (stopRequested)
            break;
    }
    return status;
}

} // namespace

bool stopSignalled()
{
    return stopRequested != 0;
}

void ProgramOptions::addTo(QCommandLineParser &parser) const
{
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({port, device, baud, checksum, timeout, repeat, count, csv, list});
}

QString helpText()
{
    QString text = QLatin1String(UsageHead);
    for (const CommandEntry &entry : commands())
        text += QLatin1String(entry.help);
    return text + QLatin1String(OptionsHelp);
}

int runProgram(ToolCommandLine &commandLine, const ProgramOptions &programOptions)
{
    const QCommandLineParser &parser = commandLine.parser();
    if (parser.isSet(programOptions.list)) {
        commandLine.out() << functionList();
        return ExitOk;
    }
    QString message;
    const std::optional<Options> options = readOptions(parser, programOptions, &message);
    if (!options)
        return commandLine.usageError(message);
    const Settings &settings = options->settings;

    // Check the whole command before touching the port.
    const std::unique_ptr<Command> command =
        commandFor(parser.positionalArguments(), settings, &message);
    if (!command)
        return commandLine.usageError(message);

    PortFolder ports;
    if (!ports.map(settings.port, options->device))
        return commandLine.failure(QStringLiteral("cannot map ") + options->device +
                                   QStringLiteral(" as a port"));
    SerialLink link(SystemClock::instance(), {}, ports.folder());
    if (command->opensPort()) {
        const qint16 opened = link.Open_Com(settings.port, settings.baud);
        if (opened != LinkCode::Ok)
            return commandLine.failure(
                describeOpenFailure(ports.choice(), settings.baud, opened, link.lastOpenFailure()));
    }
    ModuleLibrary library(link);
    IoTool tool(library, settings, ports.choice(), commandLine.out(), commandLine.err());
    const int status = runRepeated(*command, tool, *options);
    link.Close_Com(settings.port);
    return status;
}

} // namespace telviox::io
