#pragma once

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

private:
    qint64 m_now = 0;
};

} // namespace telviox
