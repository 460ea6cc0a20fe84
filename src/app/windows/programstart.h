#pragma once

#include "app/windows/mainwindow.h"

#include <QObject>
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

    // Runs the start; null when the system asked the program to end meanwhile.
    std::unique_ptr<MainWindow> run();

    // A close by the system during the start ends it before the main window.
    void systemClose();

    // The splash while it is up (tests press on it).
    SplashWindow *splash() const { return m_splash.get(); }

    // Waits with the events running: the splash keeps drawing.
    static void waitWithEvents(qint64 ms);

signals:
    // The splash is up and the probe about to begin.
    void splashShown();

private:
    ProgramServices m_services;
    Wait m_wait;
    std::unique_ptr<SplashWindow> m_splash;
    bool m_stopped = false;
};

} // namespace telviox
