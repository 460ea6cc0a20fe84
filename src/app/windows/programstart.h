#pragma once

#include "app/windows/mainwindow.h"

#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace telviox {

class SplashWindow;

// The program's entry procedure: the splash window and the port probe, the
// configuration file, then the main window with the Establish Conversation
// window in it.
class ProgramStart : public QObject
{
    Q_OBJECT

public:
    // wait keeps the splash up for the given milliseconds; the program waits
    // with its events running, tests on virtual time.
    using Wait = std::function<void(qint64 ms)>;

    explicit ProgramStart(ProgramServices services, Wait wait = {}, QObject *parent = nullptr);
    ~ProgramStart() override;

    // Runs the start; null when the program was ended meanwhile (by the
    // system, or by the operator's choice to quit after a port error).
    std::unique_ptr<MainWindow> run();

    // Ends the start at the next chance: the probe stops, the splash's wait
    // ends, and run() returns null once the box or load it is in returns.
    void stop();
    bool stopped() const { return m_stopped; }

    // The splash while it is up (tests press on it).
    SplashWindow *splash() const { return m_splash.get(); }

signals:
    // The splash is up and the probe about to begin.
    void splashShown();
    // The main window exists and is about to load (its load may run the
    // server, which may end the program).
    void windowBuilt(telviox::MainWindow *window);

private:
    // Waits with the events running (the splash keeps drawing) until the
    // time has passed or the start is stopped.
    void waitWithEvents(qint64 ms);

    ProgramServices m_services;
    Wait m_wait;
    std::unique_ptr<SplashWindow> m_splash;
    QPointer<QEventLoop> m_waiting;
    bool m_stopped = false;
};

} // namespace telviox
