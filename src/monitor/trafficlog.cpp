#include "monitor/trafficlog.h"

#include "core/clock.h"
#include "core/textutil.h"

#include <algorithm>

namespace telviox {

TrafficLog::TrafficLog(Clock &clock, int capacity)
    : m_clock(clock), m_capacity(std::max(1, capacity))
{}

TrafficLog::~TrafficLog()
{
    detach();
}

void TrafficLog::detach()
{
    if (m_link)
        m_link->removeObserver(m_observerId);
    m_link = nullptr;
}

void TrafficLog::attach(SerialLink &link)
{
    detach();
    m_link = &link;
    m_observerId = link.addObserver([this](const TrafficRecord &record) { append(record); });
}

int TrafficLog::commandAddress(const QByteArray &frame)
{
    if (frame.size() < 3)
        return -1;
    const int high = textutil::hexValue(char16_t(static_cast<unsigned char>(frame.at(1))));
    const int low = textutil::hexValue(char16_t(static_cast<unsigned char>(frame.at(2))));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

QDateTime TrafficLog::wallTimeOf(qint64 tick)
{
    const qint64 now = m_clock.tickCount();
    if (m_wallTick < 0 || now < m_wallTick || now - m_wallTick >= 1000) {
        const QDateTime wall = m_clock.wallTime();
        m_wallTick = now;
        m_wallMs = wall.toMSecsSinceEpoch();
        m_wallOffset = wall.offsetFromUtc();
    }
    // With a fixed offset the time is written without asking the zone again.
    return QDateTime::fromMSecsSinceEpoch(m_wallMs + (tick - m_wallTick), Qt::OffsetFromUTC,
                                          m_wallOffset);
}

void TrafficLog::append(const TrafficRecord &record)
{
    TrafficLine line;
    line.time = wallTimeOf(record.time);
    line.direction = record.direction;
    line.port = record.port;
    line.baud = record.baud;
    line.checksum = record.checksum;
    line.result = record.result;
    line.elapsedMs = record.elapsedMs;
    line.frame = record.frame;
    line.device = record.device;
    line.event = record.event;
    switch (record.direction) {
    case TrafficRecord::Direction::Sent:
        line.address = commandAddress(record.frame);
        m_lastAddress.insert(record.port, line.address);
        break;
    case TrafficRecord::Direction::Received:
        line.address = m_lastAddress.value(record.port, -1);
        break;
    case TrafficRecord::Direction::Event:
        break;
    }

    if (int(m_ring.size()) < m_capacity)
        m_ring.push_back(std::move(line));
    else
        m_ring[slotOf(m_end)] = std::move(line);
    ++m_end;
    if (m_appended)
        m_appended();
}

void TrafficLog::clear()
{
    m_ring.clear();
    m_slotBase = m_end;
}

const TrafficLine &TrafficLog::line(qint64 sequence) const
{
    Q_ASSERT(contains(sequence));
    return m_ring[slotOf(sequence)];
}

} // namespace telviox
