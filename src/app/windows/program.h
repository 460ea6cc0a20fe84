#pragma once

#include "app/windows/programstart.h"

#include <QObject>
#include <QPointer>
#include <memory>

namespace telviox {

class MainWindow;

// The program's life from the start to its end: the start with the splash
// and the main window's load, then the event loop until the operator's
// confirmed exit, the operator's choice to quit after a port error, or a
// close by the system. The system's close (a termination signal, the end of
// the session) is honoured in every state: during the probe, while a box
// waits for an answer, while the server runs.
class Program : public QObject
{
    Q_OBJECT

public:
    explicit Program(const ProgramServices &services, ProgramStart::Wait wait = {},
                     QObject *parent = nullptr);
    ~Program() override;

    // Runs the start. False when the program ended during it: nothing is left
    // to run.
    bool start();
    // The start, then the event loop until the program ends; the exit code.
    int exec();

    // A close by the system: open dialogs close unanswered, the main window
    // closes without the question and without saving, the program ends.
    void endBySystem();

    // Null before the main window is built and after a start that ended.
    MainWindow *window() const { return m_window; }
    bool hasEnded() const { return m_ended; }

    // Watches the application for the end of the session.
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The system ends the program: whatever shows boxes closes them now and
    // shows no more.
    void dismissDialogs();

private:
    void adopt(MainWindow *window);
    void end();

    ProgramStart m_start;
    QPointer<MainWindow> m_window;
    std::unique_ptr<MainWindow> m_started;
    bool m_ended = false;
    bool m_inLoop = false;
};

} // namespace telviox
