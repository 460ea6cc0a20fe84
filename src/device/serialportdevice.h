#pragma once

#include "portdevice.h"

#include <QSerialPort>

namespace telviox {

// A COM port on QSerialPort, used blocking: the core has no event loop of its
// own while it exchanges, so every wait is a waitFor...() call.
class SerialPortDevice final : public PortDevice
{
public:
    explicit SerialPortDevice(QString path);
    ~SerialPortDevice() override;
    SerialPortDevice(const SerialPortDevice &) = delete;
    SerialPortDevice &operator=(const SerialPortDevice &) = delete;

    OpenResult open(qint32 baud) override;
    void setFrameFormat(int dataBits, int parity, int stopBits) override;
    void close() override;
    bool isOpen() const override;
    QString path() const override { return m_path; }
    bool write(const QByteArray &data) override;
    ReadResult read(QByteArray &buffer, int timeoutMs) override;

private:
    bool portFailed() const;
    void resetError();

    QString m_path;
    QSerialPort m_port;
    int m_dataBits = 8;
    int m_parity = 0;
    int m_stopBits = 0;
};

// The factory SerialLink uses unless told otherwise.
PortDeviceFactory serialPortDeviceFactory();

} // namespace telviox
