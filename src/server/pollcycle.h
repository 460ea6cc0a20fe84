#pragma once

#include "server/acquisition.h"

#include <functional>

namespace telviox {

class EstablishView;

// The server's start, stop and poll timer. Every tick visits the polled
// conversations in table order and hands each, with the next item position,
// to the acquisition routine its type code selects.
//
// The timer itself is not here: the logic keeps the state of "Timer1"
// (interval, enabled) and tells an observer when it changes; PollTimer runs
// Timer1_Timer() on a QTimer, tests call it directly on virtual time.
class PollCycle
{
public:
    using QuitNow = std::function<void()>;
    using TimerObserver = std::function<void(int intervalMs, bool enabled)>;

    // quitNow ends the program at once, without unloading its windows.
    PollCycle(const ServerContext &context, EstablishView &establish, ServerView &view,
              QuitNow quitNow);

    Acquisition &acquisition() { return m_acquisition; }

    // Commands of the main window and its tray menu
    void mnuRunDDE_Click();
    void mnuRun_Click();      // tray: only while stopped
    void mnustopDDE_Click();  // tray: only while running
    void mnuDDE_Click();      // tray: only while running

    // The server window's quit button; also the stop of the tray and of the
    // program's exit.
    void form5quitCmd_Click();

    // One tick of the poll timer.
    void Timer1_Timer();

    // Events of the server window, for the window to report.
    void serverWindowActivated();
    // The window closes (quit button, close box, end of the program). Runs the
    // closing steps once per load; later calls do nothing.
    void serverWindowClosed();
    void serverWindowResized(bool minimised);

    bool serverWindowLoaded() const { return m_loaded; }
    int timerInterval() const { return m_timerInterval; }
    bool timerEnabled() const { return m_timerEnabled; }
    void setTimerObserver(TimerObserver observer);

private:
    void loadServerWindow();
    void setTimer(int intervalMs, bool enabled);

    SharedState &m_state;
    SerialLink &m_link;
    Clock &m_clock;
    Prompt &m_prompt;
    StatusLine &m_status;
    LinkSource &m_source;
    PollObserver *m_observer;
    EstablishView &m_establish;
    ServerView &m_view;
    QuitNow m_quitNow;
    Acquisition m_acquisition;

    bool m_loaded = false;
    int m_timerInterval = 0;
    bool m_timerEnabled = false;
    TimerObserver m_timerObserver;
};

} // namespace telviox
