#include "server/pollcycle.h"

#include "conversations/conversationtable.h"
#include "conversations/establishview.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "core/textutil.h"
#include "device/seriallink.h"

#include <utility>

namespace telviox {

namespace {

constexpr int OpenToShowWait = 100;
// The status line is cleared once this many milliseconds' worth of ticks
// have passed since it was last cleared.
constexpr double StatusClearMs = 2000.0;

} // namespace

PollCycle::PollCycle(const ServerContext &context, EstablishView &establish, ServerView &view,
                     QuitNow quitNow)
    : m_state(context.state), m_link(context.link), m_clock(context.clock),
      m_prompt(context.prompt), m_status(context.status), m_source(context.source),
      m_observer(context.observer), m_establish(establish), m_view(view),
      m_quitNow(std::move(quitNow)), m_acquisition(context)
{
}

void PollCycle::setTimerObserver(TimerObserver observer)
{
    m_timerObserver = std::move(observer);
}

void PollCycle::setTimer(int intervalMs, bool enabled)
{
    m_timerInterval = intervalMs;
    m_timerEnabled = enabled;
    if (m_timerObserver)
        m_timerObserver(intervalMs, enabled);
}

// ---------------------------------------------------------------------------
// Start

void PollCycle::mnuRunDDE_Click()
{
    // Every change of the interval scroll bar is written to the settings
    // entry, which therefore holds the bar's value.
    const int interval = m_state.Link[IntervalEntry].Linked;
    setIntervalEntry(m_state, interval);
    m_prompt.beep();

    int first = -1;
    for (int n = 0; n < ConvCount && first < 0; ++n) {
        if (m_establish.isChecked(n))
            first = n;
    }
    if (first < 0) {
        m_prompt.beep();
        m_prompt.message(QStringLiteral("Please establishing the Conversation firstly !!!"),
                         BoxStyle::Critical | BoxStyle::Ok, QString());
        return;
    }
    for (int n = 0; n < ConvCount; ++n)
        m_state.PollEnabled[std::size_t(n)] = m_establish.isChecked(n) ? 1 : 0;

    m_state.OpenBaud = m_state.Conv[std::size_t(first)].BaudRate;
    const qint16 result = m_link.Open_Com(m_state.ComPort, m_state.OpenBaud, 8, 0, 0);
    if (result > 0) {
        m_prompt.beep();
        const Answer answer = m_prompt.message(QStringLiteral("Quit this demo?"), BoxStyle::YesNo,
                                               QStringLiteral("OPEN_COM Error Code:") +
                                                   textutil::plainNumber(result));
        if (answer == Answer::Yes) {
            m_link.Close_Com(m_state.ComPort);
            if (m_quitNow)
                m_quitNow();
            return;
        }
        // A box closed without an answer (the program is being ended) starts
        // nothing.
        if (answer != Answer::No)
            return;
        // No: the server runs with the port closed; every routine reports
        // its own errors.
    }
    m_clock.sleep(OpenToShowWait);
    m_state.PollInterval = qint16(interval);

    if (!m_loaded)
        loadServerWindow();
    m_view.showServerWindow();
    serverWindowActivated();
}

void PollCycle::loadServerWindow()
{
    m_loaded = true;
    m_view.setServerMenusEnabled(false);
    m_state.ServerRunning = 1;
}

void PollCycle::serverWindowActivated()
{
    if (m_loaded)
        setTimer(m_state.PollInterval, true);
}

// ---------------------------------------------------------------------------
// Tray commands

void PollCycle::mnuRun_Click()
{
    if (m_state.ServerRunning == 0)
        mnuRunDDE_Click();
}

void PollCycle::mnustopDDE_Click()
{
    if (m_state.ServerRunning == 1)
        form5quitCmd_Click();
}

void PollCycle::mnuDDE_Click()
{
    if (m_state.ServerRunning == 1)
        m_view.restoreServerWindow();
}

// ---------------------------------------------------------------------------
// Stop

void PollCycle::form5quitCmd_Click()
{
    m_link.Close_Com(m_state.ComPort);
    resetLinkActive(m_state);
    m_prompt.beep();
    m_view.unloadServerWindow();
    // The window may have reported its close already; then this does nothing.
    serverWindowClosed();
}

void PollCycle::serverWindowClosed()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    setTimer(0, false);
    m_link.Close_Com(m_state.ComPort);
    resetLinkActive(m_state);
    m_source.disconnectAll();
    m_prompt.beep();
    m_state.ServerRunning = 0;
    m_view.setServerMenusEnabled(true);
    if (m_observer)
        m_observer->serverStopped();
}

void PollCycle::serverWindowResized(bool minimised)
{
    if (m_state.StartHidden == 1) {
        m_state.StartHidden = 0;
        m_view.minimiseWindows();
        minimised = true;
    }
    // A minimised server window leaves the screen; the tray brings it back.
    if (minimised)
        m_view.hideServerWindow();
}

// ---------------------------------------------------------------------------
// The tick

void PollCycle::Timer1_Timer()
{
    m_state.TickParity = quint8(1 - m_state.TickParity);

    qint16 position = 0;
    for (qint16 index = 0; index < ConvCount; ++index) {
        if (m_state.PollEnabled[std::size_t(index)] == 0)
            continue;
        ++position;
        const ConvRecord &record = m_state.Conv[std::size_t(index)];
        if (m_observer)
            m_observer->visitStarted(index, position);
        m_acquisition.run(catalogue::routineOfTypeCode(record.TypeCode), index, position);
        if (m_observer)
            m_observer->visitEnded();
    }

    if (m_timerInterval != 0 && StatusClearMs / m_timerInterval < m_state.StatusTicks) {
        m_state.StatusTicks = 0;
        m_status.setStatusText(QString());
    }
    m_state.StatusTicks = qint16(m_state.StatusTicks + 1);

    if (m_observer)
        m_observer->tickEnded();
    m_view.processEvents();
}

} // namespace telviox
