// telvioxd-sim as a program: it serves its line on a pseudo-terminal behind a
// link, answers only at the rate the client set, also when QSerialPort set it,
// logs the traffic, and removes its link when told to stop.

#include "sim/simline.h"

#include <QSerialPort>
#include <QtTest>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using telviox::sim::SimLine;

namespace {

// Generous limits: they only stop a broken run from hanging, they measure nothing.
constexpr int StartLimitMs = 30000;
constexpr int ReplyLimitMs = 5000;
// How long a module must stay silent to count as not answering.
constexpr int SilenceMs = 300;

const char *const LineJson = R"({
  "modules": [
    {"name": "2026D", "address": 1, "baud": 9600, "inputs": [4.5]},
    {"name": "2065", "address": 2, "baud": 19200, "checksum": true, "digitalInputs": 9},
    {"name": "2011", "address": 3, "baud": 9600}
  ],
  "faults": [{"address": 3, "kind": "endless", "length": 300}]
})";

QString program()
{
    return qEnvironmentVariable("TELVIOXD_BIN") + QStringLiteral("/telvioxd-sim");
}

bool setRate(int fd, speed_t speed)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Reads until the bytes end with `end` or the time is up.
QByteArray readUntil(int fd, const QByteArray &end, int limitMs)
{
    QByteArray bytes;
    QDeadlineTimer deadline(limitMs);
    while (!bytes.endsWith(end)) {
        pollfd p{fd, POLLIN, 0};
        const int left = int(deadline.remainingTime());
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            break;
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, int(n));
    }
    return bytes;
}

QByteArray exchange(int fd, const QByteArray &command, int limitMs = ReplyLimitMs)
{
    const QByteArray frame = command + '\r';
    if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
        return "write failed";
    return readUntil(fd, "\r", limitMs);
}

QByteArray withChecksum(const QByteArray &text)
{
    return text + SimLine::checksumOf(text);
}

class Simulator
{
public:
    explicit Simulator(const QStringList &arguments)
    {
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start(program(), arguments);
    }
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    bool waitReady()
    {
        QDeadlineTimer deadline(StartLimitMs);
        while (!m_output.contains("serving")) {
            if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
                return false;
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }
    QProcess &process() { return m_process; }
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servesOnAPseudoTerminal();
    void refusesBadStarts();

private:
    QTemporaryDir m_dir;
};

void TestSimProgram::initTestCase()
{
    QVERIFY2(QFileInfo(program()).isExecutable(), qPrintable(program() + " is not built"));
    QVERIFY(m_dir.isValid());
}

void TestSimProgram::servesOnAPseudoTerminal()
{
    const QString lineFile = m_dir.filePath("line.json");
    {
        QFile f(lineFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(LineJson);
    }
    // The link's folder does not exist yet, and a stale link is in the way.
    const QString link = m_dir.filePath("ports/com7");
    const QString logFile = m_dir.filePath("traffic.log");
    QVERIFY(QDir().mkpath(m_dir.filePath("ports")));
    QVERIFY(QFile::link("/nonexistent/pts", link));

    Simulator sim({"--line", lineFile, "--link", link, "--turnaround", "0", "--log", logFile});
    QVERIFY2(sim.waitReady(), sim.process().readAllStandardError().constData());
    QVERIFY2(sim.output().contains("serving 3 modules on " + link.toUtf8()), sim.output());
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));

    {
        const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        auto closeFd = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(setRate(fd, B9600));
        QCOMPARE(exchange(fd, "$01M"), QByteArray("!012026D\r"));
        QCOMPARE(exchange(fd, "#01"), QByteArray(">+04.500\r"));
        // Module 02 listens at 19200 only, module 01 at 9600 only.
        QCOMPARE(exchange(fd, withChecksum("$02M"), SilenceMs), QByteArray());
        QVERIFY(setRate(fd, B19200));
        QCOMPARE(exchange(fd, "$01M", SilenceMs), QByteArray());
        QCOMPARE(exchange(fd, withChecksum("$02M")), withChecksum("!022065") + '\r');
        QCOMPARE(exchange(fd, "$02M", SilenceMs), QByteArray());

        // A reply that never ends goes on past its first part until the next
        // command stops it.
        QVERIFY(setRate(fd, B9600));
        const QByteArray endless = exchange(fd, "$03M", SilenceMs);
        QVERIFY2(endless.size() > 300, QByteArray::number(endless.size()));
        QVERIFY(endless.startsWith("!032011!032011"));
        QVERIFY(!endless.contains('\r'));
        const QByteArray frame = "$01M\r";
        QCOMPARE(::write(fd, frame.constData(), size_t(frame.size())), ssize_t(frame.size()));
        const QByteArray after = readUntil(fd, "!012026D\r", ReplyLimitMs);
        QVERIFY2(after.endsWith("!012026D\r"), after.right(40));
    }

    // The rate QSerialPort sets is the rate the simulator hears; a client that
    // closes and comes back finds the line still served.
    for (int round = 0; round < 2; ++round) {
        QSerialPort port(link);
        port.setBaudRate(19200);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.clear();
        port.write(withChecksum("$026") + '\r');
        QVERIFY(port.waitForBytesWritten(ReplyLimitMs));
        QByteArray reply;
        QDeadlineTimer deadline(ReplyLimitMs);
        while (!reply.endsWith('\r') && port.waitForReadyRead(int(deadline.remainingTime())))
            reply += port.readAll();
        QCOMPARE(reply, withChecksum("!000900") + '\r');
        port.close();

        QVERIFY(port.open(QIODevice::ReadWrite));
        port.setBaudRate(9600);
        port.write("$01M\r");
        QVERIFY(port.waitForBytesWritten(ReplyLimitMs));
        reply.clear();
        deadline.setRemainingTime(ReplyLimitMs);
        while (!reply.endsWith('\r') && port.waitForReadyRead(int(deadline.remainingTime())))
            reply += port.readAll();
        QCOMPARE(reply, QByteArray("!012026D\r"));
    }

    // SIGTERM: a clean exit that takes the link away.
    sim.process().terminate();
    QVERIFY(sim.process().waitForFinished(StartLimitMs));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));

    // The log has both directions with the rate and visible CRs.
    QFile log(logFile);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY2(QRegularExpression(R"(\d+\.\d{3} RX +9600 \$01M<CR>)")
                 .match(QString::fromLatin1(text))
                 .hasMatch(),
             text.left(400));
    QVERIFY(text.contains(" TX   9600 !012026D<CR>"));
    QVERIFY(text.contains(" RX  19200 $01M<CR>"));
}

void TestSimProgram::refusesBadStarts()
{
    const QString bad = m_dir.filePath("bad.json");
    {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"modules": [{"name": "2026", "address": 1, "baud": 9601}]})");
    }
    const auto run = [](const QStringList &arguments, QByteArray *error) {
        QProcess process;
        process.start(program(), arguments);
        process.waitForFinished(StartLimitMs);
        *error = process.readAllStandardError();
        return process.exitCode();
    };
    QByteArray error;
    const QString link = m_dir.filePath("bad/com1");
    QCOMPARE(run({"--line", bad, "--link", link}, &error), 2);
    QVERIFY2(error.contains("modules[0].baud: 9601 is not a supported baud rate"), error);
    QVERIFY(!QFileInfo::exists(link));

    QCOMPARE(run({"--line", bad}, &error), 2);
    QVERIFY2(error.contains("--link"), error);
    QCOMPARE(run({"--line", bad, "--link", link, "--turnaround", "soon"}, &error), 2);
    QCOMPARE(run({"--bogus"}, &error), 2);

    // A file where the link should go is not replaced.
    const QString good = m_dir.filePath("good.json");
    {
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"modules": []})");
    }
    const QString occupied = m_dir.filePath("occupied");
    {
        QFile f(occupied);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    QCOMPARE(run({"--line", good, "--link", occupied}, &error), 1);
    QVERIFY2(error.contains("exists and is not a link"), error);
    QFile kept(occupied);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
