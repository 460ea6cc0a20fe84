#pragma once

// What the rigs on a simulated line share: the line from its file text, a
// status line that keeps its history, and a port in front of the simulator's
// that logs what passes and can stand in for the line's replies.

#include "core/clock.h"
#include "device/portdevice.h"
#include "server/serverinterfaces.h"
#include "sim/simline.h"

#include <QStringList>
#include <map>
#include <memory>

namespace telviox::test {

inline std::unique_ptr<sim::SimLine> loadLine(const QByteArray &json)
{
    QString error;
    auto line = sim::SimLine::load(json, &error);
    if (!line)
        qFatal("line file: %s", qPrintable(error));
    return line;
}

class RecordingStatus final : public StatusLine
{
public:
    void setStatusText(const QString &value) override { history << (text = value); }
    QString text;
    QStringList history;
};

// Replies that replace the line's own for chosen command frames (checksum
// digits included, no CR); an empty one is silence.
using ReplyOverrides = std::map<QByteArray, QByteArray>;

// A frame as the log shows it: a valid checksum is written as "+".
inline QString frameText(const QByteArray &data)
{
    const QByteArray frame = data.trimmed();
    if (frame.size() > 3 && frame.right(2) == sim::SimLine::checksumOf(frame.chopped(2)))
        return QString::fromLatin1(frame.chopped(2)) + '+';
    return QString::fromLatin1(frame);
}

// Logs the opens and closes of the port; given a clock, also the frames sent
// (with the time each was sent), and overridden commands never reach the line.
class LoggingDevice final : public PortDevice
{
public:
    LoggingDevice(std::unique_ptr<PortDevice> inner, QStringList &log, VirtualClock *clock = nullptr,
                  const ReplyOverrides *overrides = nullptr)
        : m_inner(std::move(inner)), m_log(log), m_clock(clock), m_overrides(overrides)
    {}
    OpenResult open(qint32 baud) override
    {
        m_log << QStringLiteral("open %1").arg(baud);
        return m_inner->open(baud);
    }
    void close() override
    {
        if (m_inner->isOpen())
            m_log << QStringLiteral("close");
        m_inner->close();
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    QString path() const override { return m_inner->path(); }
    bool write(const QByteArray &data) override
    {
        if (m_clock)
            m_log << QStringLiteral("@%1 %2").arg(m_clock->tickCount()).arg(frameText(data));
        const auto it = m_overrides ? m_overrides->find(data.trimmed())
                                    : ReplyOverrides::const_iterator();
        m_overridden = m_overrides && it != m_overrides->end();
        if (!m_overridden)
            return m_inner->write(data);
        m_pending = it->second.isEmpty() ? QByteArray() : it->second + '\r';
        return true;
    }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        if (!m_overridden)
            return m_inner->read(buffer, timeoutMs);
        if (m_pending.isEmpty()) {
            m_clock->advance(timeoutMs);
            return ReadResult::Timeout;
        }
        buffer += m_pending;
        m_pending.clear();
        return ReadResult::Data;
    }

private:
    std::unique_ptr<PortDevice> m_inner;
    QStringList &m_log;
    VirtualClock *m_clock;
    const ReplyOverrides *m_overrides;
    bool m_overridden = false;
    QByteArray m_pending;
};

} // namespace telviox::test
