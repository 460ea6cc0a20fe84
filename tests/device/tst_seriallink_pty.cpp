// The real SerialLink and QSerialPort on pseudo-terminals: a small peer of our
// own for exact bytes and hang-ups, and the module simulator for a whole line.

#include "device/seriallink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace telviox;

namespace {

// CPU time of the calling thread, in seconds: a busy loop shows here whatever
// the machine's load, where wall time would not tell.
double threadCpuSeconds()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The far end of a pseudo-terminal linked as ports/comN: reads frames up to CR
// and answers each as its handler says, on a thread of its own.
class PtyPeer
{
public:
    struct Answer
    {
        QByteArray bytes;
        bool hangUp = false; // close the terminal instead of answering
    };
    using Handler = std::function<Answer(const QByteArray &frame)>;

    ~PtyPeer() { stop(); }

    bool start(const QString &linkPath)
    {
        stop();
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return false;
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Held open so that what waits in the terminal's input can be counted.
        m_spy = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QFile::remove(linkPath);
        if (m_spy < 0 || !QFile::link(m_slavePath, linkPath))
            return false;
        m_running = true;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    // Ends the peer; the terminal goes away with its master.
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        closeFds();
    }

    void setHandler(Handler handler)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_handler = std::move(handler);
    }

    QList<QByteArray> frames() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    speed_t lastSpeed() const { return m_speed; }
    QString slavePath() const { return m_slavePath; }

    // Puts bytes on the line unasked, and waits until they have reached the
    // terminal's input, where the link will find them.
    bool inject(const QByteArray &bytes)
    {
        if (::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size())
            return false;
        for (int i = 0; i < 10000; ++i) {
            int waiting = 0;
            if (::ioctl(m_spy, FIONREAD, &waiting) == 0 && waiting >= bytes.size())
                return true;
            ::usleep(1000);
        }
        return false;
    }

private:
    void run()
    {
        QByteArray pending;
        while (m_running) {
            struct pollfd p {m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0) {
                if (n < 0 && errno == EIO) { // nobody has the terminal open at the moment
                    ::usleep(1000);
                    continue;
                }
                break;
            }
            pending.append(chunk, static_cast<int>(n));
            int cr;
            while ((cr = pending.indexOf('\r')) >= 0) {
                const QByteArray frame = pending.left(cr + 1);
                pending.remove(0, cr + 1);
                termios t {};
                ::tcgetattr(m_master, &t);
                m_speed = ::cfgetospeed(&t);
                Answer answer;
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    m_frames << frame;
                    if (m_handler)
                        answer = m_handler(frame);
                }
                if (answer.hangUp) {
                    closeFds();
                    return;
                }
                if (!answer.bytes.isEmpty())
                    (void)::write(m_master, answer.bytes.constData(),
                                  static_cast<size_t>(answer.bytes.size()));
            }
        }
    }

    void closeFds()
    {
        if (m_spy >= 0)
            ::close(m_spy);
        if (m_master >= 0)
            ::close(m_master);
        m_spy = m_master = -1;
    }

    int m_master = -1;
    int m_spy = -1;
    QString m_slavePath;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<speed_t> m_speed{0};
    mutable std::mutex m_mutex;
    Handler m_handler;
    QList<QByteArray> m_frames;
};

PtyPeer::Answer reply(const QByteArray &bytes)
{
    return {bytes, false};
}

} // namespace

class TestSerialLinkPty : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exchangesExactBytesAtTheRateSet();
    void staleInputIsDiscardedBeforeTheCommand();
    void missingDevices();
    void permissionDeniedIsReported();
    void peerGoneMidExchangeFailsAtOnceAndRecovers();
    void peerGoneBetweenExchangesIsReopenedWithoutOpenCom();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SerialLink> m_link;
    PtyPeer m_peer;
    QString m_linkPath;
};

void TestSerialLinkPty::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("ports")));
    m_linkPath = m_home->filePath(QStringLiteral("ports/com1"));
    m_link = std::make_unique<SerialLink>(SystemClock::instance(), PortDeviceFactory{},
                                          m_home->path());
    QVERIFY(m_peer.start(m_linkPath));
}

void TestSerialLinkPty::cleanup()
{
    m_link.reset();
    m_peer.stop();
}

void TestSerialLinkPty::exchangesExactBytesAtTheRateSet()
{
    m_peer.setHandler([](const QByteArray &frame) {
        if (frame == "$012B7\r") // checksum on: noise, then a reply with its checksum
            return reply(QByteArray("\x00\xff", 2) + "!01070600" + SerialLink::checksumDigits("!01070600") + "\r");
        if (frame == "$01M\r")
            return reply("!012026\r");
        return reply("?01\r");
    });
    QCOMPARE(m_link->Open_Com(1, 19200), LinkCode::Ok);

    QByteArray answer;
    // A generous time-out: waiting for it instead of the CR would take minutes.
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 10000, 0), LinkCode::Ok);
        QCOMPARE(answer, QByteArray("!012026"));
    }
    QCOMPARE(m_peer.lastSpeed(), speed_t(B19200));
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$012", answer, 10000, 1), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!01070600"));
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01X", answer, 10000, 0), LinkCode::CmdError);
    QCOMPARE(m_peer.frames().mid(50), (QList<QByteArray>{"$012B7\r", "$01X\r"}));

    // Another rate re-opens the device at that rate.
    QCOMPARE(m_link->Open_Com(1, 115200), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(m_peer.lastSpeed(), speed_t(B115200));
}

void TestSerialLinkPty::staleInputIsDiscardedBeforeTheCommand()
{
    m_peer.setHandler([](const QByteArray &frame) {
        return frame == "$02M\r" ? reply("!022080\r") : PtyPeer::Answer{};
    });
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QByteArray answer;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 50, 0), LinkCode::TimeOut);
    // The silent module's reply comes after all, before the next command.
    QVERIFY(m_peer.inject("!012026\r"));
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$02M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!022080"));
}

void TestSerialLinkPty::missingDevices()
{
    // A link to nothing, and a port with no link whose /dev/ttyS node is absent.
    QVERIFY(QFile::link(m_home->filePath(QStringLiteral("gone")),
                        m_home->filePath(QStringLiteral("ports/com2"))));
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::PortError);
    QCOMPARE(m_link->Open_Com(200, 9600), LinkCode::PortError);
    QVERIFY(!m_link->isOpen(2));
    QVERIFY(!m_link->isOpen(200));
}

void TestSerialLinkPty::permissionDeniedIsReported()
{
    if (::geteuid() == 0)
        QSKIP("root opens every device");
    QVERIFY(QFile::setPermissions(m_peer.slavePath(), QFileDevice::Permissions()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(m_peer.slavePath())
                                                          + ".*sudo adduser"));
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);
}

void TestSerialLinkPty::peerGoneMidExchangeFailsAtOnceAndRecovers()
{
    m_peer.setHandler([](const QByteArray &) { return PtyPeer::Answer{{}, true}; });
    QCOMPARE(m_link->Open_Com(1, 38400), LinkCode::Ok);

    QByteArray answer;
    const double cpuBefore = threadCpuSeconds();
    // Time-outs long enough that waiting them out, or spinning through them,
    // could not go unseen.
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 20000, 0), LinkCode::ReadError);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 20000, 0), LinkCode::SendError);
    QVERIFY2(threadCpuSeconds() - cpuBefore < 2.0,
             qPrintable(QStringLiteral("%1 s of CPU").arg(threadCpuSeconds() - cpuBefore)));
    QVERIFY(m_link->isOpen(1));

    // Back on the same link (a new terminal): no Open_Com needed, same rate.
    m_peer.stop();
    QVERIFY(m_peer.start(m_linkPath));
    m_peer.setHandler([](const QByteArray &) { return reply("!012026\r"); });
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!012026"));
    QCOMPARE(m_peer.lastSpeed(), speed_t(B38400));
}

void TestSerialLinkPty::peerGoneBetweenExchangesIsReopenedWithoutOpenCom()
{
    m_peer.setHandler([](const QByteArray &) { return reply(">\r"); });
    QCOMPARE(m_link->Open_Com(1, 57600), LinkCode::Ok);
    QByteArray answer;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", answer, 10000, 0), LinkCode::Ok);

    // Gone while nobody waited, then back before the next command.
    m_peer.stop();
    QVERIFY(m_peer.start(m_linkPath));
    m_peer.setHandler([](const QByteArray &) { return reply(">\r"); });
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(m_peer.lastSpeed(), speed_t(B57600));
}

QTEST_GUILESS_MAIN(TestSerialLinkPty)
#include "tst_seriallink_pty.moc"
