#include "server/polltimer.h"

#include "server/pollcycle.h"

namespace telviox {

PollTimer::PollTimer(PollCycle &cycle, QObject *parent) : QObject(parent), m_cycle(cycle)
{
    connect(&m_timer, &QTimer::timeout, this, [this] { m_cycle.Timer1_Timer(); });
    m_cycle.setTimerObserver([this](int intervalMs, bool enabled) { follow(intervalMs, enabled); });
    follow(m_cycle.timerInterval(), m_cycle.timerEnabled());
}

PollTimer::~PollTimer()
{
    m_cycle.setTimerObserver({});
}

void PollTimer::follow(int intervalMs, bool enabled)
{
    if (!enabled || intervalMs <= 0) {
        m_timer.stop();
        return;
    }
    // Activating the server window again must not push the next tick back.
    if (m_timer.isActive() && m_timer.interval() == intervalMs)
        return;
    m_timer.start(intervalMs);
}

} // namespace telviox
