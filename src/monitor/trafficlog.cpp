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

void TrafficLog::append(const TrafficRecord &record)
{
    TrafficLine line;
    line.time = m_clock.wallTime().addMSecs(record.time - m_clock.tickCount());
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
    Q_ASSERT(sequence >= firstSequence() && sequence < m_end);
    return m_ring[slotOf(sequence)];
}

} // namespace telviox
