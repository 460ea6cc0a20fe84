#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace telviox {

// The byte stream behind one COM port. SerialLink does the framing; a device
// only moves bytes. The real one wraps QSerialPort; the simulator provides an
// in-process one that runs on virtual time.
class PortDevice
{
public:
    // Busy: another program holds the device (or its lock).
    enum class OpenResult { Ok, Missing, PermissionDenied, Busy, Failed };
    enum class ReadResult { Data, Timeout, Failed };

    virtual ~PortDevice() = default;

    // Opens the device at the given rate, 8 data bits, no parity, 1 stop bit
    // unless setFrameFormat() chose otherwise, with any stale input discarded.
    virtual OpenResult open(qint32 baud) = 0;
    // Character format for the next open(): data bits 7 or 8; parity 0 none,
    // 1 odd, 2 even; stop bits 0 one, 1 one and a half, 2 two. Devices that
    // only model the line's 8N1 ignore it.
    virtual void setFrameFormat(int /*dataBits*/, int /*parity*/, int /*stopBits*/) {}
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Path of the device (for messages and the traffic monitor).
    virtual QString path() const = 0;

    // Writes all of data and waits until it has left; false when the device failed.
    virtual bool write(const QByteArray &data) = 0;
    // Waits at most timeoutMs for further bytes and appends whatever arrived to
    // buffer. Returns Data as soon as at least one byte came, Timeout when
    // none did, Failed when the device is gone.
    virtual ReadResult read(QByteArray &buffer, int timeoutMs) = 0;
};

// Makes the device for a COM port number and its resolved path.
using PortDeviceFactory = std::function<std::unique_ptr<PortDevice>(int port, const QString &path)>;

} // namespace telviox
