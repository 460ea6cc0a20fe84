#include "serialportdevice.h"

#include "core/systemclose.h"

#include <QDeadlineTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace telviox {

namespace {

// Frames are a few dozen bytes; a write that has not reached the driver after
// this long has a device that no longer takes data.
constexpr int WriteTimeoutMs = 1000;
// Cap on QSerialPort's own buffer, which fills when an event loop runs between
// exchanges and something talks on the line.
constexpr qint64 ReadBufferSize = 4096;
// A reply's wait is cut into slices this long, so that a termination signal
// during a module's silence ends the wait: the program's one thread must get
// back to its loop to run the stop steps.
constexpr int ReadSliceMs = 100;

} // namespace

SerialPortDevice::SerialPortDevice(QString path) : m_path(std::move(path))
{
    // When an event loop runs between exchanges and the device disappears,
    // QSerialPort reports ReadError again and again from its notifier; closing
    // the port ends that. Closed from a queued call, as closing inside its own
    // read path would pull the buffer from under it; the error check there
    // spares a port that was closed and opened again meanwhile. Only failures
    // are queued: every other report (clearError() emits one too) would post
    // an event and wake the event dispatcher for nothing.
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) {
                         if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
                             return;
                         QMetaObject::invokeMethod(
                             &m_port,
                             [this] {
                                 if (m_port.isOpen() && portFailed())
                                     m_port.close();
                             },
                             Qt::QueuedConnection);
                     });
}

SerialPortDevice::~SerialPortDevice()
{
    close();
}

void SerialPortDevice::setFrameFormat(int dataBits, int parity, int stopBits)
{
    m_dataBits = dataBits;
    m_parity = parity;
    m_stopBits = stopBits;
}

bool SerialPortDevice::portFailed() const
{
    const QSerialPort::SerialPortError e = m_port.error();
    return e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
           e == QSerialPort::WriteError;
}

PortDevice::OpenResult SerialPortDevice::open(qint32 baud)
{
    close();
    const QByteArray native = QFile::encodeName(m_path);
    if (::access(native.constData(), F_OK) != 0)
        return OpenResult::Missing;
    if (::access(native.constData(), R_OK | W_OK) != 0)
        return errno == EACCES ? OpenResult::PermissionDenied : OpenResult::Failed;

    m_port.setPortName(m_path); // absolute: a bare name would be taken as /dev/<name>
    m_port.setBaudRate(baud);
    m_port.setDataBits(m_dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8);
    m_port.setParity(m_parity == 1   ? QSerialPort::OddParity
                     : m_parity == 2 ? QSerialPort::EvenParity
                                     : QSerialPort::NoParity);
    // Linux has no one and a half stop bits; two are what such a receiver
    // accepts as well.
    m_port.setStopBits(m_stopBits == 0 ? QSerialPort::OneStop : QSerialPort::TwoStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(ReadBufferSize);
    if (!m_port.open(QIODevice::ReadWrite)) {
        // PermissionError here means busy or locked by another program: access
        // was checked above.
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return OpenResult::Missing;
        case QSerialPort::PermissionError:
            return OpenResult::Busy;
        default:
            return OpenResult::Failed;
        }
    }
    m_port.clear();
    resetError();
    return OpenResult::Ok;
}

void SerialPortDevice::close()
{
    if (m_port.isOpen())
        m_port.close();
    resetError();
}

// clearError() always reports, and a report costs; most of the time there is
// nothing to clear.
void SerialPortDevice::resetError()
{
    if (m_port.error() != QSerialPort::NoError)
        m_port.clearError();
}

bool SerialPortDevice::isOpen() const
{
    return m_port.isOpen();
}

bool SerialPortDevice::write(const QByteArray &data)
{
    if (!m_port.isOpen())
        return false;
    resetError();
    if (m_port.write(data) != data.size()) {
        close();
        return false;
    }
    // flush() writes at once what the driver takes; waiting (a poll more) is
    // only needed when it did not take everything.
    m_port.flush();
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(WriteTimeoutMs)) {
            close();
            return false;
        }
    }
    // The reply's time-out runs from the end of the frame on the wire, not from
    // the moment the driver took it.
    ::tcdrain(static_cast<int>(m_port.handle()));
    return true;
}

PortDevice::ReadResult SerialPortDevice::read(QByteArray &buffer, int timeoutMs)
{
    if (!m_port.isOpen())
        return ReadResult::Failed;
    if (m_port.bytesAvailable() > 0) {
        buffer += m_port.readAll();
        return ReadResult::Data;
    }
    const QDeadlineTimer deadline(std::max(0, timeoutMs));
    for (;;) {
        if (SystemCloseWatcher::closing())
            return ReadResult::Timeout;
        resetError();
        const bool ready = m_port.waitForReadyRead(
            static_cast<int>(std::min<qint64>(deadline.remainingTime(), ReadSliceMs)));
        if (ready && m_port.bytesAvailable() > 0) {
            buffer += m_port.readAll();
            return ReadResult::Data;
        }
        if (!m_port.isOpen() || portFailed()) {
            // Closed at once: QSerialPort would otherwise keep reporting the
            // error to anyone who waits on it.
            close();
            return ReadResult::Failed;
        }
        if (deadline.hasExpired())
            return ReadResult::Timeout;
    }
}

PortDeviceFactory serialPortDeviceFactory()
{
    return [](int, const QString &path) -> std::unique_ptr<PortDevice> {
        return std::make_unique<SerialPortDevice>(path);
    };
}

} // namespace telviox
