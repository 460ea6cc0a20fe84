#include "clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace telviox {

namespace {
qint64 monotonicMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}
} // namespace

SystemClock::SystemClock() : m_origin(monotonicMs()) {}

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
