// The real SerialLink and QSerialPort on pseudo-terminals: a small peer of our
// own for exact bytes and hang-ups, and the module simulator for a whole line.

#include "device/seriallink.h"
#include "device/serialportdevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <signal.h>
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
    struct rusage usage = {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The far end of a pseudo-terminal linked as ports/comN: reads frames up to CR
// and answers each with what its handler returns (nothing: silence), on a
// thread of its own.
class PtyPeer
{
public:
    using Handler = std::function<QByteArray(const QByteArray &frame)>;

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
            pollfd p = {m_master, POLLIN, 0};
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
                termios t = {};
                ::tcgetattr(m_master, &t);
                m_speed = ::cfgetospeed(&t);
                QByteArray answer;
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    m_frames << frame;
                    if (m_handler)
                        answer = m_handler(frame);
                }
                if (!answer.isEmpty())
                    (void)::write(m_master, answer.constData(), static_cast<size_t>(answer.size()));
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

// The line the simulator serves in these tests.
const char SimLineFile[] = R"({
  "modules": [
    {"name": "2026D", "address": "01", "baud": 19200, "range": "0E", "inputs": [25.0]},
    {"name": "2091", "address": "02", "baud": 9600, "range": "08", "inputs": [1.5, 2.5]},
    {"name": "2058", "address": "07", "baud": 9600, "checksum": true, "range": "40",
     "digitalInputs": "1234"}
  ]
})";

// telvioxd-sim from the build, serving SimLineFile on a link, logging to a file.
class SimProgram
{
public:
    ~SimProgram() { stop(SIGTERM); }

    bool start(const QString &folder, const QString &linkPath)
    {
        const QString line = QDir(folder).filePath(QStringLiteral("line.json"));
        QFile file(line);
        if (!file.open(QIODevice::WriteOnly) || file.write(SimLineFile) < 0)
            return false;
        file.close();
        m_log = QDir(folder).filePath(QStringLiteral("sim.log"));
        QFile::remove(m_log);
        const QString program =
            QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(QStringLiteral("telvioxd-sim"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, {QStringLiteral("--line"), line, QStringLiteral("--link"),
                                  linkPath, QStringLiteral("--log"), m_log,
                                  QStringLiteral("--turnaround"), QStringLiteral("0")});
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return false;
        }
        return m_process.readLine().contains("serving");
    }

    void stop(int signal)
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        m_process.waitForFinished(10000);
    }

    qint64 pid() const { return m_process.processId(); }
    QString logPath() const { return m_log; }

private:
    QProcess m_process;
    QString m_log;
};

// Kills a process, from a thread of its own, once its log shows a text: the
// command has reached it and the caller is waiting for the reply.
class KillOnLog
{
public:
    KillOnLog(qint64 pid, QString log, QByteArray text)
        : m_thread([pid, log = std::move(log), text = std::move(text), this] {
              for (int i = 0; i < 20000 && !m_cancel; ++i) {
                  QFile file(log);
                  if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text)) {
                      ::kill(static_cast<pid_t>(pid), SIGKILL);
                      return;
                  }
                  ::usleep(1000);
              }
          })
    {}
    ~KillOnLog()
    {
        m_cancel = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};

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
    void portClosesItselfWhenPeerGoesWhileEventLoopRuns();

    void simulatorHonoursRateAndChecksum();
    void simulatorKilledMidExchangeThenRestarted();
    void simulatorStoppedBetweenExchangesThenRestarted();

private:
    void startSimulator(SimProgram &sim);

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
    m_link =
        std::make_unique<SerialLink>(SystemClock::instance(), PortDeviceFactory{}, m_home->path());
    QVERIFY(m_peer.start(m_linkPath));
}

void TestSerialLinkPty::cleanup()
{
    m_link.reset();
    m_peer.stop();
}

void TestSerialLinkPty::exchangesExactBytesAtTheRateSet()
{
    m_peer.setHandler([](const QByteArray &frame) -> QByteArray {
        if (frame == "$012B7\r") // checksum on: noise, then a reply with its checksum
            return QByteArray("\x00\xff", 2) + "!01070600" +
                   SerialLink::checksumDigits("!01070600") + "\r";
        if (frame == "$01M\r")
            return "!012026\r";
        return "?01\r";
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
        return frame == "$02M\r" ? QByteArray("!022080\r") : QByteArray();
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
    QTest::ignoreMessage(
        QtWarningMsg,
        QRegularExpression(QRegularExpression::escape(m_peer.slavePath()) + ".*sudo adduser"));
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);
}

void TestSerialLinkPty::portClosesItselfWhenPeerGoesWhileEventLoopRuns()
{
    // Between exchanges the program runs its event loop; QSerialPort's notifier
    // then meets the hang-up first.
    SerialPortDevice device(devicePathForPort(1, m_home->path()));
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    m_peer.stop();
    const double cpuBefore = threadCpuSeconds();
    QTRY_VERIFY_WITH_TIMEOUT(!device.isOpen(), 20000);
    QVERIFY(threadCpuSeconds() - cpuBefore < 2.0);
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 0), PortDevice::ReadResult::Failed);
}

void TestSerialLinkPty::startSimulator(SimProgram &sim)
{
    if (qEnvironmentVariableIsEmpty("TELVIOXD_BIN"))
        QSKIP("TELVIOXD_BIN does not name the build's programs");
    QVERIFY(sim.start(m_home->path(), m_home->filePath(QStringLiteral("ports/com2"))));
}

void TestSerialLinkPty::simulatorHonoursRateAndChecksum()
{
    SimProgram sim;
    startSimulator(sim);
    QByteArray answer;

    // Module 01 listens at 19200 only.
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", answer, 300, 0), LinkCode::TimeOut);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$02M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!022091"));
    QCOMPARE(m_link->Open_Com(2, 19200), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!012026D"));

    // Module 07 checks sums: it ignores a command without one and signs its reply.
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$07M", answer, 10000, 1), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!072058"));
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$07M", answer, 300, 0), LinkCode::TimeOut);
    // Module 02 does not: the digits make the command invalid, and its refusal
    // carries no sum.
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$02M", answer, 10000, 1), LinkCode::ChecksumError);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$02X", answer, 10000, 0), LinkCode::CmdError);
    QCOMPARE(answer, QByteArray("?02"));
}

void TestSerialLinkPty::simulatorKilledMidExchangeThenRestarted()
{
    SimProgram sim;
    startSimulator(sim);
    QByteArray answer;
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$02M", answer, 10000, 0), LinkCode::Ok);

    const double cpuBefore = threadCpuSeconds();
    {
        // Nobody answers at address 55: the link waits, and the simulator dies.
        const KillOnLog killer(sim.pid(), sim.logPath(), "$55M");
        QCOMPARE(m_link->Send_Receive_Cmd(2, "$55M", answer, 30000, 0), LinkCode::ReadError);
    }
    QVERIFY2(threadCpuSeconds() - cpuBefore < 2.0,
             qPrintable(QStringLiteral("%1 s of CPU").arg(threadCpuSeconds() - cpuBefore)));
    sim.stop(SIGKILL);

    // Started again on the same link: the port opens by itself.
    SimProgram again;
    startSimulator(again);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$02M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!022091"));
}

void TestSerialLinkPty::simulatorStoppedBetweenExchangesThenRestarted()
{
    SimProgram sim;
    startSimulator(sim);
    QByteArray answer;
    QCOMPARE(m_link->Open_Com(2, 19200), LinkCode::Ok);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", answer, 10000, 0), LinkCode::Ok);

    // Stopped properly, it takes its link away: every exchange fails at once,
    // and spinning through the time-outs instead would show in the CPU time.
    sim.stop(SIGTERM);
    QVERIFY(!QFileInfo::exists(m_home->filePath(QStringLiteral("ports/com2"))));
    const double cpuBefore = threadCpuSeconds();
    for (int i = 0; i < 20; ++i)
        QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", answer, 30000, 0), LinkCode::SendError);
    QVERIFY(threadCpuSeconds() - cpuBefore < 2.0);
    QVERIFY(m_link->isOpen(2));

    SimProgram again;
    startSimulator(again);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", answer, 10000, 0), LinkCode::Ok);
    QCOMPARE(answer, QByteArray("!012026D"));
}

QTEST_GUILESS_MAIN(TestSerialLinkPty)
#include "tst_seriallink_pty.moc"
