#include "ptyserver.h"

#include "core/textutil.h"
#include "sim/simline.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace telviox::sim {

namespace {

// Pace of a never-ending reply when no wire time is spent.
constexpr qint64 StreamChunk = 64;
constexpr qint64 StreamIntervalUs = 5000;
// Longest time a logged line waits in the buffer.
constexpr qint64 LogFlushUs = 50000;

qint32 rateOf(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    case B460800:
        return 460800;
    case B921600:
        return 921600;
    default:
        return 0;
    }
}

QString systemError(const char *what)
{
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

PtyServer::PtyServer(SimLine &line, std::FILE *log) : m_line(line), m_log(log)
{
    m_originUs = nowUs();
}

PtyServer::~PtyServer()
{
    close();
}

qint64 PtyServer::nowUs() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count() - m_originUs;
}

bool PtyServer::open(const QString &linkPath, QString *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = systemError("cannot open a pseudo-terminal");
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        *error = systemError("ptsname");
        return false;
    }
    m_slaveName = name;
    // Holding the slave open ourselves keeps the master from reporting EIO
    // whenever the client closes its port, and lets us read the client's rate.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        *error = systemError("cannot open the pseudo-terminal's slave");
        return false;
    }
    termios tio{};
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);

    const QFileInfo info(linkPath);
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the folder ") + info.absolutePath();
        return false;
    }
    struct stat st
    {
    };
    if (lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = info.absoluteFilePath() + QStringLiteral(" exists and is not a link");
        return false;
    }
    // Replace any old link in one step, so a client never sees no link.
    const QByteArray temporary = path + ".new." + QByteArray::number(getpid());
    ::unlink(temporary.constData());
    if (::symlink(name, temporary.constData()) != 0 ||
        ::rename(temporary.constData(), path.constData()) != 0) {
        *error = systemError("cannot create the link");
        ::unlink(temporary.constData());
        return false;
    }
    m_linkPath = path;
    return true;
}

void PtyServer::close()
{
    if (!m_linkPath.isEmpty()) {
        // Only our own link: another server may have taken the path over.
        char target[4096];
        const ssize_t n = ::readlink(m_linkPath.constData(), target, sizeof target - 1);
        if (n >= 0 && QByteArray(target, int(n)) == m_slaveName)
            ::unlink(m_linkPath.constData());
        m_linkPath.clear();
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

qint32 PtyServer::clientBaud() const
{
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0)
        return 0;
    return rateOf(cfgetospeed(&tio));
}

void PtyServer::logLine(const char *direction, qint32 baud, const QByteArray &bytes)
{
    if (!m_log)
        return;
    const QByteArray text = textutil::visibleBytes(bytes);
    const qint64 now = nowUs();
    if (m_logDirtySinceUs < 0)
        m_logDirtySinceUs = now;
    std::fprintf(m_log, "%10.3f %s %6d %s\n", double(now) / 1e6, direction, int(baud),
                 text.constData());
}

bool PtyServer::send(const QByteArray &bytes, qint32 baud)
{
    const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    const qsizetype written = n < 0 ? 0 : qsizetype(n);
    logLine("TX", baud, bytes.left(written));
    // A client that does not read fills the terminal's buffer; what does not
    // fit is lost, as on a line nobody listens to.
    if (written < bytes.size() && m_log) {
        std::fprintf(m_log, "%10.3f -- %lld bytes dropped: the client is not reading\n",
                     double(nowUs()) / 1e6, static_cast<long long>(bytes.size() - written));
    }
    return written == bytes.size();
}

void PtyServer::handleInput(const QByteArray &bytes)
{
    const qint64 now = nowUs();
    const qint32 baud = clientBaud();
    logLine("RX", baud, bytes);
    // A module that talks without end stops when the master speaks again.
    m_stream.active = false;

    for (SimReply &reply : m_line.process(bytes, baud, now / 1000)) {
        const qint64 due = now + m_line.replyDelayUs(reply, baud);
        m_queue.emplace(due, Outgoing{std::move(reply.bytes), baud, reply.endless});
    }
}

void PtyServer::streamMore(qint64 now)
{
    qint64 chunk = StreamChunk;
    qint64 interval = StreamIntervalUs;
    if (m_line.wireTime() && m_stream.baud > 0) {
        // As many characters as the line carries in the interval.
        interval = 10000;
        chunk = std::max<qint64>(1, interval /
                                        std::max<qint64>(1, SimLine::wireTimeUs(1, m_stream.baud)));
    }
    chunk = std::min(chunk, EndlessCap - m_stream.sent);
    QByteArray bytes;
    while (bytes.size() < chunk)
        bytes += m_stream.pattern;
    bytes.truncate(chunk);
    const bool taken = send(bytes, m_stream.baud);
    m_stream.sent += chunk;
    m_stream.nextUs = now + interval;
    // Nobody reading: babbling on would only fill the log.
    if (!taken || m_stream.sent >= EndlessCap)
        m_stream.active = false;
}

void PtyServer::run(int stopFd)
{
    QByteArray buffer(4096, '\0');
    for (;;) {
        const qint64 now = nowUs();
        while (!m_queue.empty() && m_queue.begin()->first <= now) {
            const Outgoing out = m_queue.begin()->second;
            m_queue.erase(m_queue.begin());
            send(out.bytes, out.baud);
            if (out.endless && !out.bytes.isEmpty()) {
                m_stream = Stream{true, out.bytes, out.bytes.size(), now, out.baud};
            }
        }
        if (m_stream.active && m_stream.nextUs <= now)
            streamMore(now);

        qint64 wakeUs = -1;
        if (!m_queue.empty())
            wakeUs = m_queue.begin()->first;
        if (m_stream.active && (wakeUs < 0 || m_stream.nextUs < wakeUs))
            wakeUs = m_stream.nextUs;
        // The log is flushed in batches: a write per exchange would cost as
        // much as the exchange itself.
        if (m_logDirtySinceUs >= 0) {
            const qint64 flushAt = m_logDirtySinceUs + LogFlushUs;
            if (flushAt <= now) {
                std::fflush(m_log);
                m_logDirtySinceUs = -1;
            } else if (wakeUs < 0 || flushAt < wakeUs) {
                wakeUs = flushAt;
            }
        }
        timespec timeout{};
        timespec *timeoutPtr = nullptr;
        if (wakeUs >= 0) {
            const qint64 waitUs = std::max<qint64>(0, wakeUs - nowUs());
            timeout.tv_sec = time_t(waitUs / 1000000);
            timeout.tv_nsec = long(waitUs % 1000000) * 1000;
            timeoutPtr = &timeout;
        }

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_master, POLLIN, 0}};
        if (ppoll(fds, 2, timeoutPtr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents != 0 || (fds[1].revents & (POLLERR | POLLNVAL)))
            break;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_master, buffer.data(), size_t(buffer.size()));
            if (n > 0)
                handleInput(QByteArray(buffer.constData(), qsizetype(n)));
        }
    }
    if (m_log)
        std::fflush(m_log);
}

} // namespace telviox::sim
