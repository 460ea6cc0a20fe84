// telvioxd: the server and maintenance program for remote I/O modules on a
// serial line.

#include "app/windows/messageboxprompt.h"
#include "app/windows/program.h"
#include "app/windows/qtfiledialogs.h"
#include "app/windows/systemclose.h"
#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "device/seriallink.h"

#include <QApplication>

using namespace telviox;

int main(int argc, char *argv[])
{
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
