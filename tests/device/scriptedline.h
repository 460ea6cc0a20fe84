// A scripted far end of a serial line on virtual time, for SerialLink and
// everything above it.
#pragma once

#include "device/seriallink.h"

#include <QStringList>
#include <deque>
#include <functional>

namespace telviox::test {

// The far end of the line, shared by every device the factory makes.
struct ScriptedLine
{
    struct Chunk
    {
        qint64 at;
        QByteArray bytes;
        bool failure; // the open device dies at this moment
    };
    void replyAfter(qint64 ms, const QByteArray &bytes)
    {
        incoming.push_back({clock.tickCount() + ms, bytes, false});
    }
    void failAfter(qint64 ms) { incoming.push_back({clock.tickCount() + ms, {}, true}); }

    VirtualClock clock;
    std::function<void(const QByteArray &)> responder;
    std::deque<Chunk> incoming;
    PortDevice::OpenResult openResult = PortDevice::OpenResult::Ok;
    bool unplugged = false;
    int writeMs = 0; // time the frame takes on the wire
    int opens = 0;
    qint32 baud = 0;
    QStringList openedPaths;
    QList<QByteArray> written;
};

class ScriptedDevice final : public PortDevice
{
public:
    ScriptedDevice(ScriptedLine &line, QString path) : m_line(line), m_path(std::move(path)) {}

    OpenResult open(qint32 baud) override
    {
        ++m_line.opens;
        if (m_line.unplugged)
            return OpenResult::Missing;
        if (m_line.openResult != OpenResult::Ok)
            return m_line.openResult;
        m_open = true;
        m_line.baud = baud;
        m_line.openedPaths << m_path;
        while (!m_line.incoming.empty() && m_line.incoming.front().at <= m_line.clock.tickCount())
            m_line.incoming.pop_front();
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString path() const override { return m_path; }
    bool write(const QByteArray &data) override
    {
        if (!m_open || m_line.unplugged)
            return false;
        m_line.clock.advance(m_line.writeMs);
        m_line.written << data;
        if (m_line.responder)
            m_line.responder(data);
        return true;
    }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        if (!m_open || m_line.unplugged)
            return ReadResult::Failed;
        auto &in = m_line.incoming;
        if (in.empty() || in.front().at > m_line.clock.tickCount() + timeoutMs) {
            m_line.clock.advance(timeoutMs);
            return ReadResult::Timeout;
        }
        m_line.clock.advanceTo(in.front().at);
        while (!in.empty() && in.front().at <= m_line.clock.tickCount()) {
            if (in.front().failure) {
                in.pop_front();
                m_open = false;
                return ReadResult::Failed;
            }
            buffer += in.front().bytes;
            in.pop_front();
        }
        return ReadResult::Data;
    }

private:
    ScriptedLine &m_line;
    QString m_path;
    bool m_open = false;
};

inline PortDeviceFactory scriptedFactory(ScriptedLine &line)
{
    return
        [&line](int, const QString &path) { return std::make_unique<ScriptedDevice>(line, path); };
}

} // namespace telviox::test
