// The real SerialLink and QSerialPort against telvioxd-sim on a pseudo-terminal:
// the simulator dying and coming back.

#include "device/seriallink.h"
#include "device/serialportdevice.h"
#include "simprogram.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace telviox;
using namespace telviox::test;

namespace {

// CPU time of the calling thread: a busy loop shows here whatever the
// machine's load, where wall time would not tell.
double threadCpuSeconds()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const QByteArray LineFile = R"({"modules": [
    {"name": "2091", "address": "02", "baud": 9600, "range": "08", "inputs": [1.5, 2.5]}]})";

} // namespace

class TestSerialLinkPty : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void simulatorKilledMidExchangeThenRestarted();
    void portClosesItselfWhenSimulatorGoesWhileEventLoopRuns();

private:
    qint16 send(const QByteArray &command, int timeoutMs = 10000, int checksum = 0)
    {
        return m_link->Send_Receive_Cmd(1, command, m_answer, timeoutMs, checksum);
    }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SerialLink> m_link;
    std::unique_ptr<SimProgram> m_sim;
    QString m_linkPath;
    QByteArray m_answer;
};

void TestSerialLinkPty::init()
{
    if (qEnvironmentVariableIsEmpty("TELVIOXD_BIN"))
        QSKIP("TELVIOXD_BIN does not name the build's programs");
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("ports")));
    m_linkPath = m_home->filePath(QStringLiteral("ports/com1"));
    m_link =
        std::make_unique<SerialLink>(SystemClock::instance(), PortDeviceFactory{}, m_home->path());
    m_sim = std::make_unique<SimProgram>();
    QVERIFY(m_sim->start(m_home->path(), m_linkPath, LineFile));
}

void TestSerialLinkPty::cleanup()
{
    m_link.reset();
    m_sim.reset();
}

void TestSerialLinkPty::simulatorKilledMidExchangeThenRestarted()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QCOMPARE(send("$02M"), LinkCode::Ok);

    // Nobody answers at address 55: the link waits, and the simulator dies once
    // its log shows the command arrived.
    std::atomic<bool> done{false};
    std::thread killer([&done, pid = m_sim->pid(), log = m_sim->logPath()] {
        while (!done) {
            QFile file(log);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains("$55M")) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
                return;
            }
            ::usleep(1000);
        }
    });
    const double cpuBefore = threadCpuSeconds();
    const qint16 result = send("$55M", 30000);
    done = true;
    killer.join();
    QCOMPARE(result, LinkCode::ReadError);
    QVERIFY2(threadCpuSeconds() - cpuBefore < 2.0,
             qPrintable(QStringLiteral("%1 s of CPU").arg(threadCpuSeconds() - cpuBefore)));

    // Started again on the same link: the port opens by itself.
    m_sim = std::make_unique<SimProgram>();
    QVERIFY(m_sim->start(m_home->path(), m_linkPath, LineFile));
    QCOMPARE(send("$02M"), LinkCode::Ok);
    QCOMPARE(m_answer, QByteArray("!022091"));
}

void TestSerialLinkPty::portClosesItselfWhenSimulatorGoesWhileEventLoopRuns()
{
    // Between exchanges the program runs its event loop; QSerialPort's notifier
    // then meets the hang-up first, and must not spin on it.
    SerialPortDevice device(devicePathForPort(1, m_home->path()));
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    m_sim->stop(SIGKILL);
    const double cpuBefore = threadCpuSeconds();
    QTRY_VERIFY_WITH_TIMEOUT(!device.isOpen(), 20000);
    QVERIFY(threadCpuSeconds() - cpuBefore < 2.0);
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 0), PortDevice::ReadResult::Failed);
}

QTEST_GUILESS_MAIN(TestSerialLinkPty)
#include "tst_seriallink_pty.moc"
