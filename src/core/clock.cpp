#include "core/clock.h"

#include <QElapsedTimer>
#include <QThread>

#include <sys/prctl.h>

namespace telviox {

namespace {
qint64 monotonicMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}
} // namespace

SystemClock::SystemClock() : m_origin(monotonicMs())
{
    // The poll cycle's pauses are short (10 ms between channels); the default
    // 50 us timer slack makes each of them late by that much again.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

qint64 SystemClock::tickCount() const
{
    return monotonicMs() - m_origin;
}

void SystemClock::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

SystemClock &SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

} // namespace telviox
