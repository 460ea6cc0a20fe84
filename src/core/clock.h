#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace telviox {

// All waiting and time-keeping of the core goes through a Clock, so that tests
// run on virtual time and never really sleep.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; never goes backwards.
    virtual qint64 tickCount() const = 0;
    virtual void sleep(int ms) = 0;
    // The wall-clock time of day, local with its offset, for time stamps a
    // person or a log reads. Never used to measure a wait.
    virtual QDateTime wallTime() const { return QDateTime::currentDateTime(); }
};

// Real time: a monotonic timer and a blocking sleep.
class SystemClock final : public Clock
{
public:
    SystemClock();
    qint64 tickCount() const override;
    void sleep(int ms) override;

    // The one instance the program uses.
    static SystemClock &instance();

private:
    qint64 m_origin;
};

// Virtual time: sleeping advances the clock at once.
class VirtualClock final : public Clock
{
public:
    qint64 tickCount() const override { return m_now; }
    void sleep(int ms) override
    {
        if (ms > 0)
            m_now += ms;
    }
    void advance(qint64 ms) { m_now += ms; }
    void advanceTo(qint64 t)
    {
        if (t > m_now)
            m_now = t;
    }
    // The wall time follows the virtual ticks from the time set here.
    QDateTime wallTime() const override { return m_wallOrigin.addMSecs(m_now); }
    void setWallTime(const QDateTime &t) { m_wallOrigin = t.addMSecs(-m_now); }

private:
    qint64 m_now = 0;
    QDateTime m_wallOrigin{QDate(2026, 1, 1), QTime(0, 0), Qt::UTC};
};

} // namespace telviox
