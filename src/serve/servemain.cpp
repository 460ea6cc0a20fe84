#include "serve/servemain.h"

#include "core/clock.h"
#include "core/systemclose.h"
#include "serve/serveprogram.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>

namespace telviox {

namespace {

QString signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signalNumber);
    }
}

} // namespace

int serveMain(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    ServeCommandLine commandLine(out, err);
    if (const auto done = commandLine.parse(arguments))
        return *done;
    const ServeOptions &options = commandLine.options();
    if (!options.home.isEmpty()) {
        if (!QFileInfo(options.home).isDir())
            return commandLine.tool().failure(options.home +
                                              QStringLiteral(": no such folder (--home)"));
        // Everything that asks for the program folder finds this one.
        qputenv("TELVIOXD_HOME", QFile::encodeName(options.home));
    }

    // Watched from the start: a signal during the start ends the program
    // on the loop's first turn.
    SystemCloseWatcher watcher(SystemCloseWatcher::HangUp::Reloads);
    ServeLog log(err);
    ServeProgram program(options, log, QDBusConnection::sessionBus(), SystemClock::instance());
    QObject::connect(&watcher, &SystemCloseWatcher::closeRequested, &watcher,
                     [&program, &log](int signalNumber) {
                         log.write(signalName(signalNumber) + QStringLiteral(": stopping"));
                         program.stop();
                         QCoreApplication::exit(ToolCommandLine::ExitOk);
                     });
    QObject::connect(&watcher, &SystemCloseWatcher::reloadRequested, &watcher,
                     [&program] { program.reload(); });
    if (const auto failed = program.start())
        return *failed;
    return QCoreApplication::exec();
}

} // namespace telviox
