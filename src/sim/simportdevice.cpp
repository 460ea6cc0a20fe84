#include "simportdevice.h"

#include "simline.h"

#include <utility>

namespace telviox::sim {

namespace {

// Virtual time moves in whole milliseconds; a partial one counts as spent.
qint64 wholeMs(qint64 us)
{
    return (us + 999) / 1000;
}

} // namespace

SimPortDevice::SimPortDevice(SimLine &line, VirtualClock &clock, QString path)
    : m_line(line), m_clock(clock), m_path(std::move(path))
{}

PortDevice::OpenResult SimPortDevice::open(qint32 baud)
{
    if (m_unplugged)
        return OpenResult::Missing;
    m_baud = baud;
    m_open = true;
    m_pending.clear();
    return OpenResult::Ok;
}

void SimPortDevice::close()
{
    m_open = false;
    m_pending.clear();
}

bool SimPortDevice::write(const QByteArray &data)
{
    if (!m_open || m_unplugged)
        return false;
    const bool wire = m_line.wireTime();
    if (wire)
        m_clock.sleep(int(wholeMs(SimLine::wireTimeUs(data.size(), m_baud))));
    const qint64 now = m_clock.tickCount();
    for (SimReply &reply : m_line.process(data, m_baud, now)) {
        const qint64 replyWire = wire ? SimLine::wireTimeUs(reply.bytes.size(), m_baud) : 0;
        m_pending.push_back(
            {now + m_line.turnaroundMs() + wholeMs(replyWire), std::move(reply.bytes)});
    }
    return true;
}

PortDevice::ReadResult SimPortDevice::read(QByteArray &buffer, int timeoutMs)
{
    if (!m_open || m_unplugged)
        return ReadResult::Failed;
    const qint64 deadline = m_clock.tickCount() + std::max(0, timeoutMs);
    if (m_pending.empty() || m_pending.front().readyMs > deadline) {
        m_clock.advanceTo(deadline);
        return ReadResult::Timeout;
    }
    m_clock.advanceTo(m_pending.front().readyMs);
    // Everything that has arrived by now comes in one read.
    while (!m_pending.empty() && m_pending.front().readyMs <= m_clock.tickCount()) {
        buffer += m_pending.front().bytes;
        m_pending.pop_front();
    }
    return ReadResult::Data;
}

telviox::PortDeviceFactory simDeviceFactory(SimLine &line, VirtualClock &clock)
{
    return [&line, &clock](int, const QString &path) -> std::unique_ptr<PortDevice> {
        return std::make_unique<SimPortDevice>(line, clock, path);
    };
}

} // namespace telviox::sim
