// telvioxd-sim: the module simulator as a program. It serves the modules of a
// line file on a pseudo-terminal that a link makes look like a COM port.

#include "core/toolcommandline.h"
#include "ptyserver.h"
#include "sim/simline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <sys/prctl.h>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

int stopPipe[2] = {-1, -1};

// Only async-signal-safe work here: the main loop sees the byte and stops.
void onStopSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Replies are due at exact microseconds; keep the kernel from batching wake-ups.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-sim"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    telviox::ToolCommandLine commandLine(QStringLiteral("telvioxd-sim"), QString(), out, err);
    QCommandLineParser &parser = commandLine.parser();
    parser.setApplicationDescription(
        QStringLiteral("Simulates the modules of a line file on a pseudo-terminal."));
    const auto failUsage = [&commandLine](const QString &message) {
        return commandLine.usageError(message);
    };
    const QCommandLineOption lineOption(
        QStringLiteral("line"), QStringLiteral("The line file (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Path of the link to the pseudo-terminal."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Write the traffic log to FILE, not to stdout."),
        QStringLiteral("FILE"));
    const QCommandLineOption wireOption(
        QStringLiteral("wire-time"),
        QStringLiteral("Spend each character's time on the wire at the port's rate."));
    const QCommandLineOption turnaroundOption(
        QStringLiteral("turnaround"),
        QStringLiteral("Milliseconds between a command and its reply (default: line file)."),
        QStringLiteral("MS"));
    parser.addOptions({lineOption, linkOption, logOption, wireOption, turnaroundOption});

    if (const auto done = commandLine.parse(QCoreApplication::arguments()))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return failUsage(QStringLiteral("unexpected argument ") +
                         parser.positionalArguments().first());
    if (!parser.isSet(lineOption))
        return failUsage(QStringLiteral("--line is required"));
    if (!parser.isSet(linkOption))
        return failUsage(QStringLiteral("--link is required"));
    int turnaround = -1;
    if (parser.isSet(turnaroundOption)) {
        bool ok = false;
        turnaround = parser.value(turnaroundOption).toInt(&ok);
        if (!ok || turnaround < 0 || turnaround > 60000)
            return failUsage(QStringLiteral("--turnaround takes 0 to 60000 milliseconds"));
    }

    QString error;
    auto line = telviox::sim::SimLine::loadFile(parser.value(lineOption), &error);
    if (!line) {
        std::fprintf(stderr, "telvioxd-sim: %s\n", qPrintable(error));
        return ExitUsage;
    }
    // In-process tests use silent lines; a program serving one would only
    // ever let its client time out.
    if (line->moduleCount() == 0) {
        std::fprintf(stderr, "telvioxd-sim: modules: lists no module\n");
        return ExitUsage;
    }
    if (turnaround >= 0)
        line->setTurnaroundMs(turnaround);
    if (parser.isSet(wireOption))
        line->setWireTime(true);

    std::FILE *log = stdout;
    std::FILE *logFile = nullptr;
    if (parser.isSet(logOption)) {
        logFile = std::fopen(QFile::encodeName(parser.value(logOption)).constData(), "a");
        if (!logFile) {
            std::fprintf(stderr, "telvioxd-sim: cannot open the log %s\n",
                         qPrintable(parser.value(logOption)));
            return ExitFailure;
        }
        log = logFile;
    }

    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("telvioxd-sim: pipe");
        return ExitFailure;
    }
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int result = 0;
    {
        telviox::sim::PtyServer server(*line, log);
        if (!server.open(parser.value(linkOption), &error)) {
            std::fprintf(stderr, "telvioxd-sim: %s\n", qPrintable(error));
            result = ExitFailure;
        } else {
            std::printf("telvioxd-sim: serving %d modules on %s (%s)\n", line->moduleCount(),
                        qPrintable(parser.value(linkOption)), server.slaveName().constData());
            std::fflush(stdout);
            server.run(stopPipe[0]);
            server.close();
        }
    }
    if (logFile)
        std::fclose(logFile);
    return result;
}
