#pragma once

#include "core/clock.h"
#include "device/portdevice.h"

#include <deque>

namespace telviox::sim {

class SimLine;

// A COM port wired to a simulated line, on virtual time: writing spends the
// characters' wire time (when the line asks for it), and a reply becomes
// readable after the turnaround and its own wire time.
class SimPortDevice final : public telviox::PortDevice
{
public:
    SimPortDevice(SimLine &line, VirtualClock &clock, QString path = QStringLiteral("sim"));

    OpenResult open(qint32 baud) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString path() const override { return m_path; }
    bool write(const QByteArray &data) override;
    ReadResult read(QByteArray &buffer, int timeoutMs) override;

    // An adapter pulled out: opening finds nothing, an open port fails.
    void setUnplugged(bool unplugged) { m_unplugged = unplugged; }
    qint32 baud() const { return m_baud; }

private:
    struct Pending
    {
        qint64 readyMs;
        QByteArray bytes;
    };

    SimLine &m_line;
    VirtualClock &m_clock;
    QString m_path;
    qint32 m_baud = 0;
    bool m_open = false;
    bool m_unplugged = false;
    std::deque<Pending> m_pending;
};

// Device factory for SerialLink: every port is a device on the same line.
telviox::PortDeviceFactory simDeviceFactory(SimLine &line, VirtualClock &clock);

} // namespace telviox::sim
