#pragma once

#include "device/seriallink.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <functional>
#include <vector>

namespace telviox {

class Clock;

// One line of the traffic on the line: a frame sent or received, or an event
// of the port's device (lost, opened again).
struct TrafficLine
{
    QDateTime time; // wall time the frame was complete
    TrafficRecord::Direction direction = TrafficRecord::Direction::Sent;
    int port = 0;
    // The module the frame talks to (the two digits after a command's lead
    // character; a reply belongs to its command); -1 when none.
    int address = -1;
    qint32 baud = 0;
    bool checksum = false;
    qint16 result = 0;    // of the exchange the frame belongs to
    qint64 elapsedMs = 0; // received: from the end of the command to the reply
    QByteArray frame;
    QString device;
    QString event;

    bool isEvent() const { return direction == TrafficRecord::Direction::Event; }
    bool isError() const { return !isEvent() && result != 0; }
};

// The traffic of the line, bounded: the newest `capacity` lines are kept, the
// oldest go as new ones come, so polling for days never grows the memory.
// Every line ever appended has a sequence number; the kept ones are
// [firstSequence(), endSequence()).
//
// Appending only copies the record's fields (the frame and the device name
// are shared, not copied): it runs inside every exchange of the poll cycle.
class TrafficLog
{
public:
    static constexpr int DefaultCapacity = 100000;

    explicit TrafficLog(Clock &clock, int capacity = DefaultCapacity);
    ~TrafficLog();
    TrafficLog(const TrafficLog &) = delete;
    TrafficLog &operator=(const TrafficLog &) = delete;

    // Records the link's traffic from now on, until destroyed (one link).
    void attach(SerialLink &link);
    // Stops recording the link's traffic.
    void detach();

    void append(const TrafficRecord &record);
    // Forgets every line; sequence numbers go on.
    void clear();

    int capacity() const { return m_capacity; }
    int size() const { return int(m_ring.size()); }
    qint64 firstSequence() const { return m_end - qint64(m_ring.size()); }
    qint64 endSequence() const { return m_end; }
    bool contains(qint64 sequence) const
    {
        return sequence >= firstSequence() && sequence < m_end;
    }
    // A sequence the log contains.
    const TrafficLine &line(qint64 sequence) const;

    // Called after every append (the monitor's table schedules its update).
    void setAppendedHandler(std::function<void()> handler) { m_appended = std::move(handler); }

    // The module address a command frame names: the two hexadecimal digits
    // after its lead character; -1 when there are none.
    static int commandAddress(const QByteArray &frame);

private:
    QDateTime wallTimeOf(qint64 tick);
    std::size_t slotOf(qint64 sequence) const
    {
        return std::size_t((sequence - m_slotBase) % m_capacity);
    }

    Clock &m_clock;
    int m_capacity;
    std::vector<TrafficLine> m_ring;
    qint64 m_end = 0;
    qint64 m_slotBase = 0; // the sequence that sits in slot 0
    // The wall time at one tick, taken again a second later: asking for the
    // local time costs a look at the time zone every time.
    qint64 m_wallTick = -1;
    qint64 m_wallMs = 0;
    int m_wallOffset = 0;
    QHash<int, int> m_lastAddress; // per port: the address of the last command
    std::function<void()> m_appended;
    SerialLink *m_link = nullptr;
    int m_observerId = 0;
};

} // namespace telviox
