#pragma once

#include <QObject>
#include <QTimer>

namespace telviox {

class PollCycle;

// Runs the poll cycle's ticks on a QTimer, following the interval and
// on/off state the cycle gives its timer.
class PollTimer : public QObject
{
public:
    explicit PollTimer(PollCycle &cycle, QObject *parent = nullptr);
    ~PollTimer() override;

    bool isActive() const { return m_timer.isActive(); }
    int interval() const { return m_timer.interval(); }

private:
    void follow(int intervalMs, bool enabled);

    PollCycle &m_cycle;
    QTimer m_timer;
};

} // namespace telviox
