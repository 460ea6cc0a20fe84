#include "seriallink.h"

#include "core/textutil.h"
#include "serialportdevice.h"

#include <QFile>
#include <QtDebug>
#include <algorithm>
#include <array>
#include <climits>
#include <grp.h>
#include <sys/stat.h>

namespace telviox {

namespace {

constexpr std::array<qint32, 11> BaudRates{1200,  2400,   4800,   9600,   19200, 38400,
                                           57600, 115200, 230400, 460800, 921600};
constexpr char CR = '\r';
// The traffic monitor gets at most this much of what arrived in one exchange.
constexpr int MaxRecordedBytes = 1024;
// Stale input is drained in chunks; a device that never stops talking must
// not keep the caller here.
constexpr int MaxDrainReads = 64;

bool isLead(char c)
{
    return c == '>' || c == '!' || c == '?';
}

QString groupOf(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (const struct group *g = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(g->gr_name);
    return QString::number(info.st_gid);
}

} // namespace

// A port stays here from a successful Open_Com to its Close_Com, even while its
// device is closed after a failure: the next exchange opens it again.
struct SerialLink::Port
{
    int number = 0;
    qint32 baud = 0;
    int dataBits = 8;
    int parity = 0;
    int stopBits = 0;
    QString path;
    bool viaLink = false;     // path came from ports/comN
    bool lost = false;        // the device failed and has not been opened again
    bool neverOpened = false; // kept after a failed Open_Com: its path is looked up again
    std::unique_ptr<PortDevice> device;

    bool deviceOpen() const { return device && device->isOpen(); }
};

struct SerialLink::Exchange
{
    QByteArray received; // as it came off the wire, noise included
    QByteArray line;     // the reply from its lead character, CR excluded
    qint64 receivedAt = 0;
};

SerialLink::SerialLink(Clock &clock, PortDeviceFactory factory, QString folder)
    : m_clock(clock), m_factory(factory ? std::move(factory) : serialPortDeviceFactory()),
      m_folder(std::move(folder))
{}

SerialLink::~SerialLink()
{
    for (auto &entry : m_ports) {
        if (entry.second->device)
            entry.second->device->close();
    }
}

SerialLink::Port *SerialLink::portFor(int port) const
{
    const auto it = m_ports.find(port);
    return it == m_ports.end() ? nullptr : it->second.get();
}

QByteArray SerialLink::checksumDigits(const QByteArray &text)
{
    unsigned sum = 0;
    for (const char c : text)
        sum += static_cast<unsigned char>(c);
    return textutil::hexByte(sum);
}

int SerialLink::addObserver(Observer observer)
{
    const int id = m_nextObserverId++;
    m_observers.emplace_back(id, std::move(observer));
    return id;
}

void SerialLink::removeObserver(int id)
{
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                                     [id](const auto &entry) { return entry.first == id; }),
                      m_observers.end());
}

void SerialLink::notify(const TrafficRecord &record) const
{
    // A copy: an observer may remove itself.
    const auto observers = m_observers;
    for (const auto &entry : observers)
        entry.second(record);
}

QString SerialLink::devicePath(int port) const
{
    const Port *p = portFor(port);
    return p ? p->path : QString();
}

void SerialLink::notifyEvent(const Port &port, const QString &event) const
{
    TrafficRecord record;
    record.time = m_clock.tickCount();
    record.port = port.number;
    record.direction = TrafficRecord::Direction::Event;
    record.baud = port.baud;
    record.device = port.path;
    record.event = event;
    notify(record);
}

bool SerialLink::isOpen(int port) const
{
    return portFor(port) != nullptr;
}

qint32 SerialLink::openBaud(int port) const
{
    const Port *p = portFor(port);
    return p ? p->baud : 0;
}

bool SerialLink::openDevice(Port &port, PortDevice::OpenResult *result)
{
    if (!port.device || port.device->path() != port.path)
        port.device = m_factory(port.number, port.path);
    PortDevice::OpenResult r = PortDevice::OpenResult::Failed;
    if (port.device) {
        port.device->setFrameFormat(port.dataBits, port.parity, port.stopBits);
        r = port.device->open(port.baud);
    }
    if (result)
        *result = r;
    return r == PortDevice::OpenResult::Ok;
}

// Opens the device again after a failure (adapter unplugged and back, the
// simulator restarted). The link is looked up afresh because the device behind
// it may have a new name. A port that came through a link has no device while
// the link is gone: falling back to /dev/ttyS(n-1), or to the old name, which
// for a pseudo-terminal may by now belong to another program, would talk to
// the wrong device.
bool SerialLink::ensureDevice(Port &port)
{
    if (port.deviceOpen())
        return true;
    if (port.neverOpened) {
        // The link may have come (the simulator started) since the open.
        const QString linked = linkedPortPath(port.number, m_folder);
        port.viaLink = !linked.isEmpty();
        port.path = port.viaLink ? linked : devicePathForPort(port.number, m_folder);
        port.neverOpened = !openDevice(port);
        if (!port.neverOpened)
            notifyEvent(port, QStringLiteral("opened %1 at last").arg(port.path));
        return !port.neverOpened;
    }
    if (!port.lost) {
        port.lost = true;
        notifyEvent(port, QStringLiteral("device %1 lost").arg(port.path));
    }
    if (port.viaLink) {
        const QString linked = linkedPortPath(port.number, m_folder);
        if (linked.isEmpty())
            return false;
        port.path = linked;
    }
    if (!openDevice(port))
        return false;
    port.lost = false;
    notifyEvent(port, QStringLiteral("reconnected to %1").arg(port.path));
    return true;
}

void SerialLink::warnPermission(const QString &path)
{
    if (!m_warnedPaths.insert(path).second)
        return;
    qWarning().noquote() << permissionHint(path, groupOf(path));
}

qint16 SerialLink::Open_Com(int port, qint32 baud, int dataBits, int parity, int stopBits)
{
    m_lastOpenFailure = PortDevice::OpenResult::Ok;
    if (std::find(BaudRates.begin(), BaudRates.end(), baud) == BaudRates.end())
        return LinkCode::BaudError;
    if (dataBits != 7 && dataBits != 8)
        return LinkCode::DataBitError;
    if (stopBits < 0 || stopBits > 2)
        return LinkCode::StopBitError;
    if (parity < 0 || parity > 2)
        return LinkCode::ParityError;

    std::unique_ptr<Port> &slot = m_ports[port];
    if (slot && slot->deviceOpen() && slot->baud == baud && slot->dataBits == dataBits &&
        slot->parity == parity && slot->stopBits == stopBits)
        return LinkCode::Ok;
    if (!slot) {
        slot = std::make_unique<Port>();
        slot->number = port;
    }
    Port &p = *slot;
    if (p.device)
        p.device->close();
    p.baud = baud;
    p.dataBits = dataBits;
    p.parity = parity;
    p.stopBits = stopBits;
    const QString linked = linkedPortPath(port, m_folder);
    p.viaLink = !linked.isEmpty();
    p.path = p.viaLink ? linked : devicePathForPort(port, m_folder);

    PortDevice::OpenResult result = PortDevice::OpenResult::Failed;
    p.neverOpened = false;
    if (openDevice(p, &result))
        return LinkCode::Ok;
    m_lastOpenFailure = result;
    if (result == PortDevice::OpenResult::PermissionDenied)
        warnPermission(p.path);
    if (m_retryFailedOpens)
        p.neverOpened = true;
    else
        m_ports.erase(port);
    return LinkCode::PortError;
}

qint16 SerialLink::Close_Com(int port)
{
    const auto it = m_ports.find(port);
    if (it != m_ports.end()) {
        if (it->second->device)
            it->second->device->close();
        m_ports.erase(it);
    }
    return LinkCode::Ok;
}

// Whatever is waiting before a command belongs to an earlier exchange (a reply
// that came after its time-out); taken as this command's reply it would be
// wrong.
void SerialLink::discardStaleInput(Port &port)
{
    for (int i = 0; i < MaxDrainReads && port.deviceOpen(); ++i) {
        QByteArray stale;
        const PortDevice::ReadResult r = port.device->read(stale, 0);
        if (r == PortDevice::ReadResult::Failed)
            port.device->close();
        if (r != PortDevice::ReadResult::Data)
            break;
    }
}

// Reads until the CR that ends the reply. Bytes before a lead character are
// line noise and skipped; a lead character inside a line starts the line
// again, as no reply carries one after its first position. A line that ends
// with no lead at all is a reply of the wrong shape (12). Anything still
// without its CR at the deadline, a reply cut short included, counts as no
// complete reply (15): it is not a reply of the wrong shape, it never finished.
qint16 SerialLink::receiveReply(Port &port, Exchange &exchange, qint64 deadline)
{
    bool inLine = false;
    bool overflow = false;
    for (;;) {
        const qint64 left = std::max<qint64>(0, deadline - m_clock.tickCount());
        QByteArray chunk;
        const PortDevice::ReadResult r =
            port.device->read(chunk, static_cast<int>(std::min<qint64>(left, INT_MAX)));
        exchange.receivedAt = m_clock.tickCount();
        if (r == PortDevice::ReadResult::Failed) {
            port.device->close();
            return LinkCode::ReadError;
        }
        // A device reports Timeout only after waiting all of the time left.
        if (r == PortDevice::ReadResult::Timeout)
            return LinkCode::TimeOut;

        exchange.received.append(chunk.left(MaxRecordedBytes - exchange.received.size()));
        for (const char c : chunk) {
            if (isLead(c)) {
                inLine = true;
                overflow = false;
                exchange.line = QByteArray(1, c);
            } else if (c == CR) {
                return inLine && !overflow ? LinkCode::Ok : LinkCode::ReplyError;
            } else if (exchange.line.size() < MaxReplyLength) {
                exchange.line += c;
            } else {
                overflow = true;
            }
        }
        if (exchange.receivedAt >= deadline)
            return LinkCode::TimeOut;
    }
}

qint16 SerialLink::checkReply(QByteArray &line, bool checksum)
{
    if (line.isEmpty() || !isLead(line.at(0)))
        return LinkCode::ReplyError;
    if (checksum) {
        if (line.size() < 3)
            return LinkCode::ChecksumError;
        const QByteArray body = line.left(line.size() - 2);
        if (line.right(2).toUpper() != checksumDigits(body))
            return LinkCode::ChecksumError;
        line = body;
    }
    return line.at(0) == '?' ? LinkCode::CmdError : LinkCode::Ok;
}

qint16 SerialLink::Send_Receive_Cmd(int port, const QByteArray &command, QByteArray &reply,
                                    int timeoutMs, int checksum, qint16 &wait)
{
    reply.clear();
    wait = 0;
    Port *p = portFor(port);
    if (!p)
        return LinkCode::NotOpen;

    const bool withChecksum = checksum != 0;
    QByteArray frame = command;
    if (withChecksum)
        frame += checksumDigits(command);
    frame += CR;

    Exchange exchange;
    qint16 result = LinkCode::Ok;
    bool ready = ensureDevice(*p);
    if (ready) {
        discardStaleInput(*p);
        // The drain may have found the device gone (the simulator restarted,
        // the adapter plugged in again): one fresh attempt before writing.
        if (!p->deviceOpen())
            ready = ensureDevice(*p);
    }
    if (!ready) {
        result = LinkCode::SendError;
    } else if (!p->device->write(frame)) {
        p->device->close();
        result = LinkCode::SendError;
    }
    const qint64 sentAt = m_clock.tickCount();
    exchange.receivedAt = sentAt;
    if (result == LinkCode::Ok) {
        result = receiveReply(*p, exchange, sentAt + std::max(0, timeoutMs));
        if (result == LinkCode::Ok)
            result = checkReply(exchange.line, withChecksum);
    }
    reply = exchange.line;
    wait = static_cast<qint16>(std::min<qint64>(exchange.receivedAt - sentAt, 32767));

    // Both frames are reported, with the exchange's result, also when nothing
    // could be sent: the monitor shows the attempt.
    TrafficRecord record;
    record.time = sentAt;
    record.port = port;
    record.frame = frame;
    record.checksum = withChecksum;
    record.result = result;
    record.baud = p->baud;
    record.device = p->path;
    notify(record);
    record.time = exchange.receivedAt;
    record.direction = TrafficRecord::Direction::Received;
    record.frame = exchange.received;
    record.elapsedMs = exchange.receivedAt - sentAt;
    notify(record);
    return result;
}

qint16 SerialLink::Send_Receive_Cmd(int port, const QByteArray &command, QByteArray &reply,
                                    int timeoutMs, int checksum)
{
    qint16 wait = 0;
    return Send_Receive_Cmd(port, command, reply, timeoutMs, checksum, wait);
}

} // namespace telviox
