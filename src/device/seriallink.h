#pragma once

#include "core/clock.h"
#include "portdevice.h"
#include "portpath.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace telviox {

// Result codes of the serial link and the module functions.
namespace LinkCode {
constexpr qint16 Ok = 0;
constexpr qint16 PortError = 2;
constexpr qint16 BaudError = 3;
constexpr qint16 DataBitError = 4;
constexpr qint16 StopBitError = 5;
constexpr qint16 ParityError = 6;
constexpr qint16 ChecksumError = 7;
constexpr qint16 NotOpen = 8;
constexpr qint16 SendError = 10;
constexpr qint16 ReadError = 11;
constexpr qint16 ReplyError = 12;
constexpr qint16 CmdError = 13;
constexpr qint16 TimeOut = 15;
constexpr qint16 ModuleIdError = 17;
constexpr qint16 ChannelError = 18;
constexpr qint16 UnderRange = 19;
constexpr qint16 OverRange = 20;
constexpr qint16 CounterNoError = 21;
} // namespace LinkCode

// One frame on the wire, as the traffic monitor sees it, or an event of the
// port's device (lost, opened again).
struct TrafficRecord
{
    enum class Direction { Sent, Received, Event };
    qint64 time = 0; // Clock::tickCount() when the frame was complete
    int port = 0;
    Direction direction = Direction::Sent;
    QByteArray frame; // bytes as on the wire, CR included when it came
    bool checksum = false;
    qint16 result = 0; // result of the exchange this frame belongs to
    qint32 baud = 0;   // rate the port was open at
    QString device;    // the device the port maps to
    // Received: from the end of the command's write to the end of the reply
    // (or to the time-out).
    qint64 elapsedMs = 0;
    QString event; // Event: what happened to the device
};

// The serial link library: opens ports and exchanges one framed command and
// its reply. Several ports may be open at once.
class SerialLink
{
public:
    using Observer = std::function<void(const TrafficRecord &)>;

    // The factory defaults to real serial ports.
    explicit SerialLink(Clock &clock, PortDeviceFactory factory = {},
                        QString folder = programFolder());
    ~SerialLink();
    SerialLink(const SerialLink &) = delete;
    SerialLink &operator=(const SerialLink &) = delete;

    qint16 Open_Com(int port, qint32 baud, int dataBits = 8, int parity = 0, int stopBits = 0);
    qint16 Close_Com(int port);
    // Sends command (bare text, no checksum, no CR) and waits at most timeoutMs
    // from the end of the write for the reply, which lands in reply without
    // its checksum and CR. wait is never read by callers.
    qint16 Send_Receive_Cmd(int port, const QByteArray &command, QByteArray &reply, int timeoutMs,
                            int checksum, qint16 &wait);
    qint16 Send_Receive_Cmd(int port, const QByteArray &command, QByteArray &reply, int timeoutMs,
                            int checksum);

    bool isOpen(int port) const;
    qint32 openBaud(int port) const; // 0 when the port is not open
    Clock &clock() const { return m_clock; }
    // Why the last Open_Com that failed with a port error could not open its
    // device (busy, missing, no permission), for messages.
    PortDevice::OpenResult lastOpenFailure() const { return m_lastOpenFailure; }

    // A program with nobody to ask (a service) keeps a port whose Open_Com
    // failed, as it keeps one whose device went away: each exchange tries to
    // open the device again, so the line comes back by itself once the
    // adapter is plugged in or the port is free. Open_Com still reports the
    // failure; isOpen() is true for such a port.
    void setRetryFailedOpens(bool retry) { m_retryFailedOpens = retry; }

    // Observers see every frame sent and received and every device event.
    // The id removes the observer again (an observer that dies before the link).
    int addObserver(Observer observer);
    void removeObserver(int id);
    // The device a port maps to now; empty when the port is not open.
    QString devicePath(int port) const;

    static QByteArray checksumDigits(const QByteArray &text);

    // Longest reply line kept; the rest of a longer one is read and dropped.
    static constexpr int MaxReplyLength = 256;

private:
    struct Port;
    struct Exchange;
    Port *portFor(int port) const;
    bool openDevice(Port &port, PortDevice::OpenResult *result = nullptr);
    bool ensureDevice(Port &port);
    void discardStaleInput(Port &port);
    qint16 receiveReply(Port &port, Exchange &exchange, qint64 deadline);
    static qint16 checkReply(QByteArray &line, bool checksum);
    void warnPermission(const QString &path);
    void notify(const TrafficRecord &record) const;
    void notifyEvent(const Port &port, const QString &event) const;

    Clock &m_clock;
    PortDeviceFactory m_factory;
    QString m_folder;
    std::map<int, std::unique_ptr<Port>> m_ports;
    std::vector<std::pair<int, Observer>> m_observers;
    int m_nextObserverId = 1;
    std::set<QString> m_warnedPaths;
    PortDevice::OpenResult m_lastOpenFailure = PortDevice::OpenResult::Ok;
    bool m_retryFailedOpens = false;
};

} // namespace telviox
