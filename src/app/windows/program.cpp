#include "app/windows/program.h"

#include "app/windows/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>

namespace telviox {

Program::Program(const ProgramServices &services, ProgramStart::Wait wait, QObject *parent)
    : QObject(parent), m_start(services, std::move(wait))
{
    connect(&m_start, &ProgramStart::windowBuilt, this, &Program::adopt);
    // The session manager ends a session by a Quit event to the application
    // (a save request alone, as before a log-out that may still be
    // cancelled, ends nothing). The program's own end never sends one.
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
}

Program::~Program()
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

void Program::adopt(MainWindow *window)
{
    m_window = window;
    // Connected before the load: an auto-run may end the program inside it.
    connect(window, &MainWindow::programEnded, this, &Program::end);
    connect(window, &MainWindow::quitNowRequested, this, &Program::end);
}

bool Program::start()
{
    m_started = m_start.run();
    if (!m_started || m_ended) {
        m_started.reset();
        return false;
    }
    return true;
}

int Program::exec()
{
    if (!start())
        return 0;
    m_inLoop = true;
    const int code = QApplication::exec();
    m_inLoop = false;
    return code;
}

void Program::end()
{
    if (m_ended)
        return;
    m_ended = true;
    // During the start, run() returns as soon as the box or load it is in
    // returns; in the event loop, every loop (a box's too) ends.
    m_start.stop();
    if (m_inLoop)
        QCoreApplication::exit(0);
}

void Program::endBySystem()
{
    if (m_ended)
        return;
    emit dismissDialogs();
    // Dialogs that are not boxes (file dialogs, other windows' dialogs)
    // close as if cancelled.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
            dialog->reject();
    }
    if (m_window)
        m_window->endBySystem(); // ends the program through programEnded
    end();
}

bool Program::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
        endBySystem();
    return QObject::eventFilter(watched, event);
}

} // namespace telviox
