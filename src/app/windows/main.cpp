// telvioxd: the server and maintenance program for remote I/O modules on a
// serial line.

#include "app/windows/messageboxprompt.h"
#include "app/windows/program.h"
#include "app/windows/qtfiledialogs.h"
#include "core/systemclose.h"
#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "core/toolcommandline.h"
#include "device/seriallink.h"

#include <QApplication>
#include <QTextStream>

using namespace telviox;

namespace {

const char Help[] = "usage: telvioxd [--help | --version]\n"
                    "The server and maintenance program for remote I/O modules on a serial line.\n"
                    "It takes no options of its own: lumvex.cfg and the conversation files in its\n"
                    "program folder (its own folder, or the one TELVIOXD_HOME names) set it up.\n";

// --help and --version answer before any window system is needed.
std::optional<int> answerHelpOrVersion(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QTextStream out(stdout);
    QTextStream err(stderr);
    ToolCommandLine commandLine(QStringLiteral("telvioxd"), QLatin1String(Help), out, err);
    return commandLine.parseHelpAndVersion(arguments);
}

} // namespace

int main(int argc, char *argv[])
{
    if (const auto done = answerHelpOrVersion(argc, argv))
        return *done;
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramFileName);
    QApplication::setApplicationVersion(QStringLiteral(TELVIOXD_VERSION));
    // The program ends by its own exit (or the system's), never because its
    // last window was hidden in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    SystemCloseWatcher systemClose;
    SharedState state;
    MessageBoxPrompt prompt;
    QtFileDialogs dialogs;
    SerialLink link(SystemClock::instance());
    const ProgramServices services{state,
                                   prompt,
                                   dialogs,
                                   SystemClock::instance(),
                                   link,
                                   programFolder(),
                                   QDBusConnection::sessionBus()};

    Program program(services);
    QObject::connect(&program, &Program::dismissDialogs, &program,
                     [&prompt] { prompt.dismissAll(); });
    QObject::connect(&systemClose, &SystemCloseWatcher::closeRequested, &program,
                     &Program::endBySystem);
    return program.exec();
}
