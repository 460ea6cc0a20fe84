// SerialLink on virtual time, against a scripted line: exact framing, reply
// shapes, time-outs, noise, stale input, failure and recovery of the device.

#include "device/seriallink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <grp.h>
#include <sys/stat.h>

using namespace telviox;

namespace {

// The far end of a scripted line, shared by every device the factory makes.
struct ScriptedLine
{
    explicit ScriptedLine(VirtualClock &c) : clock(c) {}

    struct Chunk
    {
        qint64 at = 0;
        QByteArray bytes;
        bool failure = false; // the open device dies at this moment
    };

    // Answers a frame by scheduling chunks; none by default.
    void replyAfter(qint64 delayMs, const QByteArray &bytes)
    {
        incoming.push_back({clock.tickCount() + delayMs, bytes, false});
    }
    void failAfter(qint64 delayMs) { incoming.push_back({clock.tickCount() + delayMs, {}, true}); }

    VirtualClock &clock;
    std::function<void(const QByteArray &frame)> responder;
    std::deque<Chunk> incoming;
    PortDevice::OpenResult openResult = PortDevice::OpenResult::Ok;
    bool unplugged = false;
    int writeMs = 0; // time the frame takes on the wire
    int devicesMade = 0;
    int opens = 0;
    int reads = 0;
    qint32 baud = 0;
    QStringList openedPaths;
    QList<QByteArray> written;
};

class ScriptedDevice final : public PortDevice
{
public:
    ScriptedDevice(ScriptedLine &line, QString path) : m_line(line), m_path(std::move(path)) {}

    OpenResult open(qint32 baud) override
    {
        ++m_line.opens;
        if (m_line.unplugged)
            return OpenResult::Missing;
        if (m_line.openResult != OpenResult::Ok)
            return m_line.openResult;
        m_open = true;
        m_line.baud = baud;
        m_line.openedPaths << m_path;
        dropDue();
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString path() const override { return m_path; }

    bool write(const QByteArray &data) override
    {
        if (!m_open || m_line.unplugged)
            return false;
        m_line.clock.advance(m_line.writeMs);
        m_line.written << data;
        if (m_line.responder)
            m_line.responder(data);
        return true;
    }

    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        ++m_line.reads;
        if (!m_open || m_line.unplugged)
            return ReadResult::Failed;
        const qint64 now = m_line.clock.tickCount();
        if (!m_line.incoming.empty() && m_line.incoming.front().at <= now + timeoutMs) {
            m_line.clock.advanceTo(m_line.incoming.front().at);
            const qint64 t = m_line.clock.tickCount();
            while (!m_line.incoming.empty() && m_line.incoming.front().at <= t) {
                if (m_line.incoming.front().failure) {
                    m_line.incoming.pop_front();
                    m_open = false;
                    return ReadResult::Failed;
                }
                buffer += m_line.incoming.front().bytes;
                m_line.incoming.pop_front();
            }
            return ReadResult::Data;
        }
        m_line.clock.advance(timeoutMs);
        return ReadResult::Timeout;
    }

private:
    void dropDue()
    {
        while (!m_line.incoming.empty() && m_line.incoming.front().at <= m_line.clock.tickCount())
            m_line.incoming.pop_front();
    }

    ScriptedLine &m_line;
    QString m_path;
    bool m_open = false;
};

PortDeviceFactory scriptedFactory(ScriptedLine &line)
{
    return [&line](int, const QString &path) -> std::unique_ptr<PortDevice> {
        ++line.devicesMade;
        return std::make_unique<ScriptedDevice>(line, path);
    };
}

QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg)
        g_warnings << text;
}

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void openRejectsSettingsBeforeTouchingDevice_data();
    void openRejectsSettingsBeforeTouchingDevice();
    void openFailures();
    void permissionDeniedWarnsOnceNamingGroup();
    void devicePathFollowsLinkInProgramFolder();
    void reopenAtAnotherRateOnly();

    void frameOnTheWire_data();
    void frameOnTheWire();
    void replyShapes_data();
    void replyShapes();
    void returnsAtCrNotAtTimeout();
    void timeoutCountsFromEndOfWrite();
    void neverEndingReplyIsCappedAndTimesOut();
    void lateReplyIsNotTakenForNextOne();

    void readFailureClosesDeviceAndNextExchangeReopens();
    void writeFailureAndFailedReopenAreQuick();
    void reopenFollowsLinkAndWaitsWhileLinkGone();
    void deviceGoneBetweenExchangesIsReopenedAtOnce();

    void observersSeeBothFramesOfEveryExchange();

private:
    std::unique_ptr<VirtualClock> m_clock;
    std::unique_ptr<ScriptedLine> m_line;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SerialLink> m_link;

    // Answers every frame with reply after delayMs.
    void answerWith(const QByteArray &reply, qint64 delayMs = 3)
    {
        m_line->responder = [this, reply, delayMs](const QByteArray &) {
            m_line->replyAfter(delayMs, reply);
        };
    }
};

void TestSerialLink::init()
{
    m_link.reset();
    m_clock = std::make_unique<VirtualClock>();
    m_clock->advance(1000);
    m_line = std::make_unique<ScriptedLine>(*m_clock);
    m_home = std::make_unique<QTemporaryDir>();
    m_link = std::make_unique<SerialLink>(*m_clock, scriptedFactory(*m_line), m_home->path());
}

void TestSerialLink::openRejectsSettingsBeforeTouchingDevice_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("code");

    QTest::newRow("baud 0") << 0 << 8 << 0 << 0 << 3;
    QTest::newRow("baud 300") << 300 << 8 << 0 << 0 << 3;
    QTest::newRow("baud 14400 between listed rates") << 14400 << 8 << 0 << 0 << 3;
    QTest::newRow("baud 1843200") << 1843200 << 8 << 0 << 0 << 3;
    QTest::newRow("data 6") << 9600 << 6 << 0 << 0 << 4;
    QTest::newRow("data 9") << 9600 << 9 << 0 << 0 << 4;
    QTest::newRow("stop 3") << 9600 << 8 << 0 << 3 << 5;
    QTest::newRow("stop -1") << 9600 << 8 << 0 << -1 << 5;
    QTest::newRow("parity 3") << 9600 << 8 << 3 << 0 << 6;
    QTest::newRow("baud checked first") << 1000 << 9 << 9 << 9 << 3;
}

void TestSerialLink::openRejectsSettingsBeforeTouchingDevice()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, code);

    QCOMPARE(m_link->Open_Com(1, baud, dataBits, parity, stopBits), code);
    QCOMPARE(m_line->devicesMade, 0);
    QVERIFY(!m_link->isOpen(1));

    // Every rate of the list and the extremes of the other settings are fine.
    for (const qint32 ok :
         {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        QCOMPARE(m_link->Open_Com(1, ok), LinkCode::Ok);
    QCOMPARE(m_link->Open_Com(1, 9600, 7, 2, 2), LinkCode::Ok);
    QCOMPARE(m_line->baud, 9600);
}

void TestSerialLink::openFailures()
{
    QByteArray reply;
    m_line->unplugged = true;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);
    QVERIFY(!m_link->isOpen(1));
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::NotOpen);

    m_line->unplugged = false;
    m_line->openResult = PortDevice::OpenResult::Failed;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);

    // A port open at one rate that fails to open at another is closed.
    m_line->openResult = PortDevice::OpenResult::Ok;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    m_line->openResult = PortDevice::OpenResult::Failed;
    QCOMPARE(m_link->Open_Com(1, 19200), LinkCode::PortError);
    QVERIFY(!m_link->isOpen(1));
    QCOMPARE(m_link->openBaud(1), 0);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::NotOpen);
    QVERIFY(m_line->written.isEmpty());

    QCOMPARE(m_link->Close_Com(1), LinkCode::Ok);
    QCOMPARE(m_link->Close_Com(7), LinkCode::Ok);
}

void TestSerialLink::permissionDeniedWarnsOnceNamingGroup()
{
    // A file of ours stands for the device: its group is the one to name.
    const QString device = m_home->filePath(QStringLiteral("ttyUSB0"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(device).constData(), &info), 0);
    const struct group *g = ::getgrgid(info.st_gid);
    const QString group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(info.st_gid);
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("ports")));
    QVERIFY(QFile::link(device, m_home->filePath(QStringLiteral("ports/com3"))));

    m_line->openResult = PortDevice::OpenResult::PermissionDenied;
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const qint16 first = m_link->Open_Com(3, 9600);
    const qint16 second = m_link->Open_Com(3, 19200);
    qInstallMessageHandler(previous);

    QCOMPARE(first, LinkCode::PortError);
    QCOMPARE(second, LinkCode::PortError);
    QCOMPARE(g_warnings.size(), 1);
    QVERIFY2(g_warnings.first().contains(device), qPrintable(g_warnings.first()));
    QVERIFY2(g_warnings.first().contains(QStringLiteral("sudo adduser $USER ") + group),
             qPrintable(g_warnings.first()));
}

void TestSerialLink::devicePathFollowsLinkInProgramFolder()
{
    QDir home(m_home->path());
    QVERIFY(home.mkpath(QStringLiteral("ports")));
    QVERIFY(home.mkpath(QStringLiteral("dev")));
    // A relative link is resolved against the ports folder, and the result is absolute.
    QVERIFY(
        QFile::link(QStringLiteral("../dev/ttyUSB4"), home.filePath(QStringLiteral("ports/com2"))));
    QVERIFY(
        QFile::link(QStringLiteral("/dev/ttyACM0"), home.filePath(QStringLiteral("ports/com12"))));

    QCOMPARE(devicePathForPort(2, home.path()), home.filePath(QStringLiteral("dev/ttyUSB4")));
    QCOMPARE(devicePathForPort(12, home.path()), QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(devicePathForPort(1, home.path()), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(devicePathForPort(4, home.path()), QStringLiteral("/dev/ttyS3"));

    qputenv("TELVIOXD_HOME", QFile::encodeName(home.path()));
    QCOMPARE(programFolder(), home.absolutePath());
    QCOMPARE(devicePathForPort(12), QStringLiteral("/dev/ttyACM0"));
    qunsetenv("TELVIOXD_HOME");
    QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());

    // A link to a device that is not there yet still names it: opening fails, it
    // does not fall back to another port.
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QCOMPARE(m_line->openedPaths, QStringList{home.filePath(QStringLiteral("dev/ttyUSB4"))});
}

void TestSerialLink::reopenAtAnotherRateOnly()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QCOMPARE(m_line->opens, 1);
    QCOMPARE(m_link->Open_Com(1, 19200), LinkCode::Ok);
    QCOMPARE(m_line->opens, 2);
    QCOMPARE(m_line->baud, 19200);
    QCOMPARE(m_link->openBaud(1), 19200);
    QCOMPARE(m_link->openBaud(2), 0);

    QByteArray reply;
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", reply, 100, 0), LinkCode::NotOpen);
    QCOMPARE(m_link->Close_Com(1), LinkCode::Ok);
    QVERIFY(!m_link->isOpen(1));
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::NotOpen);
    QVERIFY(m_line->written.isEmpty());
}

void TestSerialLink::frameOnTheWire_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("plain") << QByteArray("$012") << 0 << QByteArray("$012\r");
    QTest::newRow("checksum") << QByteArray("$012") << 1 << QByteArray("$012B7\r");
    QTest::newRow("checksum wraps at 256")
        << QByteArray("#01+05.000") << 1 << QByteArray("#01+05.000") + "D2\r";
    QTest::newRow("checksum below 16 keeps two digits") << QByteArray("\x01\x02") << 1
                                                        << QByteArray("\x01\x02"
                                                                      "03\r");
    QTest::newRow("empty command") << QByteArray() << 1 << QByteArray("00\r");
}

void TestSerialLink::frameOnTheWire()
{
    QFETCH(QByteArray, command);
    QFETCH(int, checksum);
    QFETCH(QByteArray, frame);

    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QByteArray reply;
    m_link->Send_Receive_Cmd(1, command, reply, 100, checksum);
    QCOMPARE(m_line->written, QList<QByteArray>{frame});
}

void TestSerialLink::replyShapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("bare success") << QByteArray(">\r") << 0 << 0 << QByteArray(">");
    QTest::newRow("value") << QByteArray(">+05.123\r") << 0 << 0 << QByteArray(">+05.123");
    QTest::newRow("refused") << QByteArray("?01\r") << 0 << 13 << QByteArray("?01");
    QTest::newRow("empty line") << QByteArray("\r") << 0 << 12 << QByteArray();
    QTest::newRow("wrong lead") << QByteArray("A01\r") << 0 << 12 << QByteArray("A01");
    QTest::newRow("noise before the lead")
        << QByteArray("\xff\x00\xfe!012026\r", 11) << 0 << 0 << QByteArray("!012026");
    QTest::newRow("noise holding a lead")
        << QByteArray("\x80?\x7f!01\r") << 0 << 0 << QByteArray("!01");
    QTest::newRow("checksum stripped")
        << QByteArray("!0120264C\r") << 1 << 0 << QByteArray("!012026");
    QTest::newRow("lower-case checksum")
        << QByteArray("!0120264c\r") << 1 << 0 << QByteArray("!012026");
    QTest::newRow("checksum wrong")
        << QByteArray("!0120264D\r") << 1 << 7 << QByteArray("!0120264D");
    QTest::newRow("checksum missing") << QByteArray(">\r") << 1 << 7 << QByteArray(">");
    QTest::newRow("reply without checksum when one is due")
        << QByteArray("!012026\r") << 1 << 7 << QByteArray("!012026");
    QTest::newRow("refused with checksum")
        << QByteArray("?01") + SerialLink::checksumDigits("?01") + "\r" << 1 << 13
        << QByteArray("?01");
    QTest::newRow("checksum digits kept when flag is 0")
        << QByteArray("!0120264C\r") << 0 << 0 << QByteArray("!0120264C");
    QTest::newRow("cut short") << QByteArray("!01+05.1") << 0 << 15 << QByteArray("!01+05.1");
    QTest::newRow("garbage without end")
        << QByteArray("\x01\x02\x03") << 0 << 15 << QByteArray("\x01\x02\x03");
    QTest::newRow("nothing") << QByteArray() << 0 << 15 << QByteArray();
    QTest::newRow("overlong line")
        << QByteArray("!01") + QByteArray(SerialLink::MaxReplyLength, '7') + "\r" << 0 << 12
        << QByteArray("!01") + QByteArray(SerialLink::MaxReplyLength - 3, '7');
}

void TestSerialLink::replyShapes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, checksum);
    QFETCH(int, code);
    QFETCH(QByteArray, reply);

    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    // Split in two chunks, as a real line delivers them.
    m_line->responder = [this, bytes](const QByteArray &) {
        m_line->replyAfter(2, bytes.left(bytes.size() / 2));
        m_line->replyAfter(4, bytes.mid(bytes.size() / 2));
    };
    QByteArray got = "left over";
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", got, 100, checksum), code);
    QCOMPARE(got, reply);
}

void TestSerialLink::returnsAtCrNotAtTimeout()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    answerWith("!01+05.000\r", 7);
    const qint64 start = m_clock->tickCount();
    QByteArray reply;
    qint16 wait = -1;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$016", reply, 1000, 0, wait), LinkCode::Ok);
    QCOMPARE(m_clock->tickCount() - start, 7);
    QCOMPARE(wait, 7);
}

void TestSerialLink::timeoutCountsFromEndOfWrite()
{
    QCOMPARE(m_link->Open_Com(1, 1200), LinkCode::Ok);
    m_line->writeMs = 50; // a slow line: the frame takes 50 ms to leave
    QByteArray reply;

    answerWith(">\r", 100); // exactly at the time-out: still in time
    qint64 start = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::Ok);
    QCOMPARE(m_clock->tickCount() - start, 150);

    answerWith(">\r", 101);
    start = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::TimeOut);
    QCOMPARE(m_clock->tickCount() - start, 150);

    // A reply trickling in byte by byte is waited for as a whole, up to the
    // time-out and not beyond.
    m_clock->advance(10); // the late reply above is stale by now
    m_line->writeMs = 0;
    m_line->responder = [this](const QByteArray &) {
        for (int i = 0; i < 20; ++i)
            m_line->replyAfter(10 * (i + 1), QByteArray(1, i == 0 ? '!' : '1'));
        m_line->replyAfter(210, "\r");
    };
    start = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 200, 0), LinkCode::TimeOut);
    QCOMPARE(m_clock->tickCount() - start, 200);
    QCOMPARE(reply, QByteArray("!") + QByteArray(19, '1'));
}

void TestSerialLink::neverEndingReplyIsCappedAndTimesOut()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QByteArray received;
    m_link->addObserver([&received](const TrafficRecord &r) {
        if (r.direction == TrafficRecord::Direction::Received)
            received = r.frame;
    });
    // A module stuck transmitting: 8 KiB every millisecond, never a CR.
    m_line->responder = [this](const QByteArray &) {
        for (int i = 1; i <= 500; ++i)
            m_line->replyAfter(i,
                               (i == 1 ? QByteArray("!") : QByteArray()) + QByteArray(8192, '5'));
    };
    const qint64 start = m_clock->tickCount();
    QByteArray reply;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 300, 0), LinkCode::TimeOut);
    QCOMPARE(m_clock->tickCount() - start, 300);
    QVERIFY(reply.size() <= SerialLink::MaxReplyLength);
    QVERIFY(received.size() <= 1024);
    QVERIFY(received.startsWith("!555"));

    // What is still coming is stale for the next command.
    m_line->responder = [this](const QByteArray &) {
        m_line->incoming.clear();
        m_line->replyAfter(1, ">\r");
    };
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 300, 0), LinkCode::Ok);
}

void TestSerialLink::lateReplyIsNotTakenForNextOne()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QByteArray reply;
    // The first module answers after the time-out; by the next command its
    // reply has arrived and waits in the input.
    answerWith("!01AAAA\r", 150);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::TimeOut);
    m_clock->advance(100);
    answerWith("!02BBBB\r", 5);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$02M", reply, 100, 0), LinkCode::Ok);
    QCOMPARE(reply, QByteArray("!02BBBB"));

    // The same for the tail of a reply cut short by the time-out.
    m_line->responder = [this](const QByteArray &) {
        m_line->replyAfter(50, "!03CC");
        m_line->replyAfter(150, "CC\r");
    };
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$03M", reply, 100, 0), LinkCode::TimeOut);
    m_clock->advance(100);
    answerWith("?04\r", 5);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$04M", reply, 100, 0), LinkCode::CmdError);
    QCOMPARE(reply, QByteArray("?04"));
}

void TestSerialLink::readFailureClosesDeviceAndNextExchangeReopens()
{
    QCOMPARE(m_link->Open_Com(1, 38400), LinkCode::Ok);
    QByteArray reply;
    m_line->responder = [this](const QByteArray &) {
        m_line->replyAfter(2, "!01");
        m_line->failAfter(4); // adapter pulled in the middle of the reply
    };
    const qint64 start = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 1000, 0), LinkCode::ReadError);
    QCOMPARE(m_clock->tickCount() - start, 4);
    QVERIFY(m_link->isOpen(1)); // still wanted open by the caller
    QCOMPARE(m_link->openBaud(1), 38400);

    // Plugged in again: the next exchange opens the same device at the same rate.
    m_line->unplugged = false;
    answerWith("!012026\r");
    const QStringList before = m_line->openedPaths;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 1000, 0), LinkCode::Ok);
    QCOMPARE(reply, QByteArray("!012026"));
    QCOMPARE(m_line->opens, 2);
    QCOMPARE(m_line->baud, 38400);
    QCOMPARE(m_line->openedPaths.last(), before.last());
}

void TestSerialLink::writeFailureAndFailedReopenAreQuick()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QByteArray reply;
    m_line->unplugged = true;
    const qint64 start = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 1000, 0), LinkCode::SendError);

    // Still gone: every call tries once and gives up at once.
    const int readsBefore = m_line->reads;
    const int opensBefore = m_line->opens;
    for (int i = 0; i < 10; ++i)
        QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 1000, 0), LinkCode::SendError);
    QCOMPARE(m_clock->tickCount(), start);
    QCOMPARE(m_line->opens - opensBefore, 10);
    QVERIFY(m_line->reads - readsBefore <= 10);
    QVERIFY(m_link->isOpen(1));

    m_line->unplugged = false;
    answerWith(">\r");
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 1000, 0), LinkCode::Ok);
    QCOMPARE(m_line->baud, 9600);

    // Close_Com ends the wish: no more re-opening.
    QCOMPARE(m_link->Close_Com(1), LinkCode::Ok);
    const int opens = m_line->opens;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 1000, 0), LinkCode::NotOpen);
    QCOMPARE(m_line->opens, opens);
}

void TestSerialLink::reopenFollowsLinkAndWaitsWhileLinkGone()
{
    QDir home(m_home->path());
    QVERIFY(home.mkpath(QStringLiteral("ports")));
    const QString link = home.filePath(QStringLiteral("ports/com1"));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/7"), link));
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);

    QByteArray reply;
    // The simulator restarted on a new pseudo-terminal, same link.
    m_line->responder = [this](const QByteArray &) { m_line->failAfter(1); };
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::ReadError);
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/9"), link));
    answerWith(">\r");
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::Ok);
    QCOMPARE(m_line->openedPaths, (QStringList{"/dev/pts/7", "/dev/pts/9"}));

    // Link removed: neither /dev/ttyS0 nor the old name, which another program
    // may own by now; nothing until the link is back.
    m_line->responder = [this](const QByteArray &) { m_line->failAfter(1); };
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$01M", reply, 100, 0), LinkCode::ReadError);
    QVERIFY(QFile::remove(link));
    const int opens = m_line->opens;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::SendError);
    QCOMPARE(m_line->opens, opens);
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/3"), link));
    answerWith(">\r");
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::Ok);
    QCOMPARE(m_line->openedPaths.last(), QStringLiteral("/dev/pts/3"));
}

void TestSerialLink::deviceGoneBetweenExchangesIsReopenedAtOnce()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    // The device died while nobody was reading, and is back already: the next
    // exchange notices before writing and succeeds.
    m_line->failAfter(0);
    m_clock->advance(10);
    answerWith(">\r");
    QByteArray reply;
    const ScriptedLine::Chunk pending = m_line->incoming.front();
    QVERIFY(pending.failure);
    QCOMPARE(m_link->Send_Receive_Cmd(1, "#01", reply, 100, 0), LinkCode::Ok);
    QCOMPARE(m_line->opens, 2);
    QCOMPARE(m_line->written.size(), 1);
}

void TestSerialLink::observersSeeBothFramesOfEveryExchange()
{
    QList<TrafficRecord> records;
    m_link->addObserver([&records](const TrafficRecord &r) { records << r; });
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QByteArray reply;

    m_line->writeMs = 4;
    answerWith("\xff!0120264C\r", 6);
    const qint64 t0 = m_clock->tickCount();
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$01M", reply, 100, 1), LinkCode::Ok);
    answerWith("!01+0", 3);
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$016", reply, 100, 0), LinkCode::TimeOut);

    QCOMPARE(records.size(), 4);
    const TrafficRecord &sent = records.at(0);
    QCOMPARE(sent.direction, TrafficRecord::Direction::Sent);
    QCOMPARE(sent.port, 2);
    QCOMPARE(sent.frame, QByteArray("$01M") + SerialLink::checksumDigits("$01M") + "\r");
    QCOMPARE(sent.time, t0 + 4);
    QVERIFY(sent.checksum);
    QCOMPARE(sent.result, LinkCode::Ok);
    const TrafficRecord &received = records.at(1);
    QCOMPARE(received.direction, TrafficRecord::Direction::Received);
    QCOMPARE(received.frame, QByteArray("\xff!0120264C\r")); // as on the wire
    QCOMPARE(received.time, t0 + 10);
    QCOMPARE(received.result, LinkCode::Ok);

    QCOMPARE(records.at(2).frame, QByteArray("$016\r"));
    QVERIFY(!records.at(2).checksum);
    QCOMPARE(records.at(2).result, LinkCode::TimeOut);
    QCOMPARE(records.at(3).frame, QByteArray("!01+0"));
    QCOMPARE(records.at(3).result, LinkCode::TimeOut);
    QCOMPARE(records.at(3).time, records.at(2).time + 100);

    // Failed exchanges are reported too, with nothing received.
    m_line->unplugged = true;
    QCOMPARE(m_link->Send_Receive_Cmd(2, "$016", reply, 100, 0), LinkCode::SendError);
    QCOMPARE(records.size(), 6);
    QCOMPARE(records.at(5).result, LinkCode::SendError);
    QVERIFY(records.at(5).frame.isEmpty());
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
