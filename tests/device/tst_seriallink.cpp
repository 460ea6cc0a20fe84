// SerialLink on virtual time against a scripted line: framing, reply shapes,
// time-outs, noise, stale input, a device that goes away and comes back.

#include "scriptedline.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace telviox;
using namespace telviox::test;

namespace {

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
    void openRejectsSettingsBeforeTouchingDevice();
    void openFailuresAndReopening();
    void portsFolderLinks();
    void frameOnTheWire();
    void replyShapes_data();
    void replyShapes();
    void waitsFromEndOfWriteAndReturnsAtCr();
    void neverEndingReplyIsCappedAndTimesOut();
    void lateReplyIsNotTakenForNextOne();
    void unpluggedFailsAtOnceAndRecoversWithoutOpen();
    void reopenFollowsLinkAndWaitsWhileLinkGone();
    void failedOpenIsRetriedWhenAsked();
    void observersSeeBothFramesOfEveryExchange();

private:
    qint16 send(const QByteArray &command, int timeoutMs = 100, int checksum = 0)
    {
        return m_link->Send_Receive_Cmd(1, command, m_reply, timeoutMs, checksum);
    }
    void answerWith(const QByteArray &reply, qint64 delayMs = 3)
    {
        m_line->responder = [this, reply, delayMs](const QByteArray &) {
            m_line->replyAfter(delayMs, reply);
        };
    }
    qint64 now() const { return m_line->clock.tickCount(); }

    std::unique_ptr<ScriptedLine> m_line;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<SerialLink> m_link;
    QByteArray m_reply;
};

void TestSerialLink::init()
{
    m_link.reset();
    m_line = std::make_unique<ScriptedLine>();
    m_line->clock.advance(1000);
    m_home = std::make_unique<QTemporaryDir>();
    m_link = std::make_unique<SerialLink>(m_line->clock, scriptedFactory(*m_line), m_home->path());
}

void TestSerialLink::openRejectsSettingsBeforeTouchingDevice()
{
    // Baud, data bits, parity, stop bits and the code; the rate is checked first.
    const int cases[][5] = {{0, 8, 0, 0, 3},    {14400, 8, 0, 0, 3}, {9600, 6, 0, 0, 4},
                            {9600, 9, 0, 0, 4}, {9600, 8, 0, 3, 5},  {9600, 8, 3, 0, 6},
                            {1000, 9, 9, 9, 3}};
    for (const auto &c : cases)
        QCOMPARE(m_link->Open_Com(1, c[0], c[1], c[2], c[3]), qint16(c[4]));
    QCOMPARE(m_line->opens, 0);
    QVERIFY(!m_link->isOpen(1));
    QCOMPARE(m_link->Open_Com(1, 921600), LinkCode::Ok);
    QCOMPARE(m_link->Open_Com(1, 9600, 7, 2, 2), LinkCode::Ok);
    QCOMPARE(m_line->baud, 9600);
}

void TestSerialLink::openFailuresAndReopening()
{
    m_line->unplugged = true;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);
    QCOMPARE(send("$01M"), LinkCode::NotOpen);
    m_line->unplugged = false;

    // The same rate again does not re-open; another one does.
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    const int opens = m_line->opens;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    QCOMPARE(m_line->opens, opens);
    QCOMPARE(m_link->Open_Com(1, 19200), LinkCode::Ok);
    QCOMPARE(m_line->opens, opens + 1);

    // Failing to open at another rate leaves the port closed.
    m_line->openResult = PortDevice::OpenResult::Failed;
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::PortError);
    QVERIFY(!m_link->isOpen(1));
    QCOMPARE(m_link->openBaud(1), 0);
    QCOMPARE(send("$01M"), LinkCode::NotOpen);
    QVERIFY(m_line->written.isEmpty());
}

void TestSerialLink::portsFolderLinks()
{
    QDir home(m_home->path());
    QVERIFY(home.mkpath(QStringLiteral("ports")));
    // A relative link is resolved against the ports folder; a link to a device
    // not there yet still names it, with no fall-back to ttyS1.
    QVERIFY(
        QFile::link(QStringLiteral("../dev/ttyUSB4"), home.filePath(QStringLiteral("ports/com2"))));
    QCOMPARE(devicePathForPort(4, home.path()), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(m_link->Open_Com(2, 9600), LinkCode::Ok);
    QCOMPARE(m_line->openedPaths, QStringList{home.filePath(QStringLiteral("dev/ttyUSB4"))});

    // A device we may not open is named once; a file of ours stands for it.
    // Its group is the user's own, no serial group: the hint is a udev rule.
    const QString device = home.filePath(QStringLiteral("ttyUSB0"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(device, home.filePath(QStringLiteral("ports/com3"))));
    m_line->openResult = PortDevice::OpenResult::PermissionDenied;
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const qint16 first = m_link->Open_Com(3, 9600);
    const qint16 second = m_link->Open_Com(3, 19200);
    qInstallMessageHandler(previous);
    QCOMPARE(first, LinkCode::PortError);
    QCOMPARE(second, LinkCode::PortError);
    QCOMPARE(g_warnings.size(), 1);
    QVERIFY2(g_warnings.first().contains(device) &&
                 g_warnings.first().contains(QLatin1String("udev rule")) &&
                 !g_warnings.first().contains(QLatin1String("sudo adduser")),
             qPrintable(g_warnings.first()));
}

void TestSerialLink::frameOnTheWire()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    for (const char *command : {"$012", "#01+05.000", "\x01\x02"})
        send(command, 100, 1);
    send("$012");
    // The sum wraps at 256 and keeps two digits below 16.
    QCOMPARE(m_line->written, (QList<QByteArray>{"$012B7\r", "#01+05.000D2\r",
                                                 "\x01\x02"
                                                 "03\r",
                                                 "$012\r"}));
}

void TestSerialLink::replyShapes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");
    auto row = [](const char *name, const QByteArray &bytes, int checksum, int code,
                  const QByteArray &reply) {
        QTest::newRow(name) << bytes << checksum << code << reply;
    };
    row("bare success", ">\r", 0, 0, ">");
    row("refused", "?01\r", 0, 13, "?01");
    row("empty line", "\r", 0, 12, "");
    row("wrong lead", "A01\r", 0, 12, "A01");
    row("noise before the lead", QByteArray("\xff\x00\xfe!012026\r", 11), 0, 0, "!012026");
    row("checksum stripped", "!0120264C\r", 1, 0, "!012026");
    row("lower-case checksum", "!0120264c\r", 1, 0, "!012026");
    row("checksum wrong", "!0120264D\r", 1, 7, "!0120264D");
    row("checksum missing", ">\r", 1, 7, ">");
    row("refused with checksum", "?01" + SerialLink::checksumDigits("?01") + "\r", 1, 13, "?01");
    row("cut short", "!01+05.1", 0, 15, "!01+05.1");
    row("nothing", "", 0, 15, "");
    row("overlong line", "!01" + QByteArray(SerialLink::MaxReplyLength, '7') + "\r", 0, 12,
        "!01" + QByteArray(SerialLink::MaxReplyLength - 3, '7'));
}

void TestSerialLink::replyShapes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, checksum);
    QFETCH(int, code);
    QFETCH(QByteArray, reply);
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    // In two chunks, as a real line delivers them.
    m_line->responder = [this, bytes](const QByteArray &) {
        m_line->replyAfter(2, bytes.left(bytes.size() / 2));
        m_line->replyAfter(4, bytes.mid(bytes.size() / 2));
    };
    m_reply = "left over";
    QCOMPARE(send("$01M", 100, checksum), code);
    QCOMPARE(m_reply, reply);
}

void TestSerialLink::waitsFromEndOfWriteAndReturnsAtCr()
{
    QCOMPARE(m_link->Open_Com(1, 1200), LinkCode::Ok);
    answerWith("!01+05.000\r", 7);
    qint64 start = now();
    qint16 wait = -1;
    QCOMPARE(m_link->Send_Receive_Cmd(1, "$016", m_reply, 1000, 0, wait), LinkCode::Ok);
    QCOMPARE(now() - start, 7);
    QCOMPARE(wait, 7);

    m_line->writeMs = 50;   // a slow line: the frame takes 50 ms to leave
    answerWith(">\r", 100); // exactly at the time-out: still in time
    start = now();
    QCOMPARE(send("#01"), LinkCode::Ok);
    QCOMPARE(now() - start, 150);
    answerWith(">\r", 101);
    start = now();
    QCOMPARE(send("#01"), LinkCode::TimeOut);
    QCOMPARE(now() - start, 150);
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
            m_line->replyAfter(i, (i == 1 ? "!" : "") + QByteArray(8192, '5'));
    };
    const qint64 start = now();
    QCOMPARE(send("$01M", 300), LinkCode::TimeOut);
    QCOMPARE(now() - start, 300);
    QVERIFY(m_reply.size() <= SerialLink::MaxReplyLength);
    QVERIFY(received.size() <= 1024 && received.startsWith("!555"));
}

void TestSerialLink::lateReplyIsNotTakenForNextOne()
{
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    // The first module answers after the time-out, before the next command.
    answerWith("!01AAAA\r", 150);
    QCOMPARE(send("$01M"), LinkCode::TimeOut);
    m_line->clock.advance(100);
    answerWith("!02BBBB\r", 5);
    QCOMPARE(send("$02M"), LinkCode::Ok);
    QCOMPARE(m_reply, QByteArray("!02BBBB"));

    // The same for the tail of a reply cut short by the time-out.
    m_line->responder = [this](const QByteArray &) {
        m_line->replyAfter(50, "!03CC");
        m_line->replyAfter(150, "CC\r");
    };
    QCOMPARE(send("$03M"), LinkCode::TimeOut);
    m_line->clock.advance(100);
    answerWith("?04\r", 5);
    QCOMPARE(send("$04M"), LinkCode::CmdError);
    QCOMPARE(m_reply, QByteArray("?04"));
}

void TestSerialLink::unpluggedFailsAtOnceAndRecoversWithoutOpen()
{
    QCOMPARE(m_link->Open_Com(1, 38400), LinkCode::Ok);
    m_line->responder = [this](const QByteArray &) {
        m_line->replyAfter(2, "!01");
        m_line->failAfter(4); // adapter pulled in the middle of the reply
    };
    qint64 start = now();
    QCOMPARE(send("$01M", 1000), LinkCode::ReadError);
    QCOMPARE(now() - start, 4);
    QVERIFY(m_link->isOpen(1)); // still wanted open by the caller

    // Still gone: every call tries to re-open once and gives up at once.
    m_line->unplugged = true;
    const int opens = m_line->opens;
    start = now();
    for (int i = 0; i < 10; ++i)
        QCOMPARE(send("$01M", 1000), LinkCode::SendError);
    QCOMPARE(now(), start);
    QCOMPARE(m_line->opens - opens, 10);

    // Plugged in again: the same device at the same rate, no Open_Com.
    m_line->unplugged = false;
    answerWith("!012026\r");
    QCOMPARE(send("$01M", 1000), LinkCode::Ok);
    QCOMPARE(m_reply, QByteArray("!012026"));
    QCOMPARE(m_line->baud, 38400);

    // Died while nobody was reading and back already: noticed before writing.
    m_line->failAfter(0);
    m_line->clock.advance(10);
    const int written = m_line->written.size();
    QCOMPARE(send("#01"), LinkCode::Ok);
    QCOMPARE(m_line->written.size(), written + 1);

    // Close_Com ends the wish: no more re-opening.
    QCOMPARE(m_link->Close_Com(1), LinkCode::Ok);
    const int opensAfterClose = m_line->opens;
    QCOMPARE(send("#01"), LinkCode::NotOpen);
    QCOMPARE(m_line->opens, opensAfterClose);
}

void TestSerialLink::reopenFollowsLinkAndWaitsWhileLinkGone()
{
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("ports")));
    const QString link = m_home->filePath(QStringLiteral("ports/com1"));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/7"), link));
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);

    // The simulator restarted on a new pseudo-terminal, same link.
    m_line->responder = [this](const QByteArray &) { m_line->failAfter(1); };
    QCOMPARE(send("$01M"), LinkCode::ReadError);
    QVERIFY(QFile::remove(link) && QFile::link(QStringLiteral("/dev/pts/9"), link));
    answerWith(">\r");
    QCOMPARE(send("#01"), LinkCode::Ok);
    QCOMPARE(m_line->openedPaths, (QStringList{"/dev/pts/7", "/dev/pts/9"}));

    // Link removed: neither /dev/ttyS0 nor the old name, which another program
    // may own by now; nothing until the link is back.
    m_line->responder = [this](const QByteArray &) { m_line->failAfter(1); };
    QCOMPARE(send("$01M"), LinkCode::ReadError);
    QVERIFY(QFile::remove(link));
    const int opens = m_line->opens;
    QCOMPARE(send("#01"), LinkCode::SendError);
    QCOMPARE(m_line->opens, opens);
}

// A service has nobody to answer the port error: the port stays wanted, each
// exchange tries it again, and a link that appears meanwhile is followed
// rather than the /dev/ttyS0 the failed open fell back to.
void TestSerialLink::failedOpenIsRetriedWhenAsked()
{
    m_link->setRetryFailedOpens(true);
    m_line->openResult = PortDevice::OpenResult::Missing;
    QCOMPARE(m_link->Open_Com(1, 19200), LinkCode::PortError);
    QCOMPARE(m_link->lastOpenFailure(), PortDevice::OpenResult::Missing);
    QVERIFY(m_link->isOpen(1));
    const int opens = m_line->opens;
    QCOMPARE(send("$01M"), LinkCode::SendError);
    QCOMPARE(send("$01M"), LinkCode::SendError);
    QCOMPARE(m_line->opens, opens + 2);
    QVERIFY(m_line->written.isEmpty());

    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("ports")));
    QVERIFY(
        QFile::link(QStringLiteral("/dev/pts/5"), m_home->filePath(QStringLiteral("ports/com1"))));
    m_line->openResult = PortDevice::OpenResult::Ok;
    answerWith("!012026\r");
    QCOMPARE(send("$01M"), LinkCode::Ok);
    QCOMPARE(m_reply, QByteArray("!012026"));
    QCOMPARE(m_line->openedPaths.last(), QStringLiteral("/dev/pts/5"));
    QCOMPARE(m_line->baud, 19200);

    // Once open, it is a port like any other: a link that goes away is waited for.
    m_line->responder = [this](const QByteArray &) { m_line->failAfter(1); };
    QCOMPARE(send("$01M"), LinkCode::ReadError);
    QVERIFY(QFile::remove(m_home->filePath(QStringLiteral("ports/com1"))));
    const int opensNow = m_line->opens;
    QCOMPARE(send("#01"), LinkCode::SendError);
    QCOMPARE(m_line->opens, opensNow);
}

void TestSerialLink::observersSeeBothFramesOfEveryExchange()
{
    QList<TrafficRecord> records;
    m_link->addObserver([&records](const TrafficRecord &r) { records << r; });
    QCOMPARE(m_link->Open_Com(1, 9600), LinkCode::Ok);
    m_line->writeMs = 4;
    answerWith("\xff!0120264C\r", 6);
    const qint64 t0 = now();
    QCOMPARE(send("$01M", 100, 1), LinkCode::Ok);
    answerWith("!01+0", 3);
    QCOMPARE(send("$016"), LinkCode::TimeOut);
    m_line->unplugged = true;
    QCOMPARE(send("$016"), LinkCode::SendError);
    m_line->unplugged = false;
    answerWith("!01+0\r");
    QCOMPARE(send("$016"), LinkCode::Ok);

    // Frames carry the rate, the device and the time to the reply; the device
    // going and coming back are events between them.
    QCOMPARE(records.size(), 10);
    const TrafficRecord &sent = records.at(0);
    QCOMPARE(sent.direction, TrafficRecord::Direction::Sent);
    QCOMPARE(sent.frame, "$01M" + SerialLink::checksumDigits("$01M") + "\r");
    QCOMPARE(sent.time, t0 + 4);
    QVERIFY(sent.checksum);
    QCOMPARE(records.at(1).frame, QByteArray("\xff!0120264C\r")); // as on the wire
    QCOMPARE(records.at(1).time, t0 + 10);
    QCOMPARE(records.at(3).frame, QByteArray("!01+0"));
    QCOMPARE(records.at(3).time, records.at(2).time + 100);
    QCOMPARE(records.at(3).elapsedMs, 100);
    QCOMPARE(records.at(3).baud, 9600);
    QVERIFY(!records.at(3).device.isEmpty());
    QCOMPARE(records.at(4).direction, TrafficRecord::Direction::Event);
    QVERIFY(records.at(4).event.contains(u"lost"));
    QCOMPARE(records.at(6).result, LinkCode::SendError);
    QCOMPARE(records.at(7).direction, TrafficRecord::Direction::Event);
    QVERIFY(records.at(7).event.startsWith(u"reconnected"));
    QCOMPARE(records.at(9).result, LinkCode::Ok);

    // An observer that is gone sees nothing more.
    const int id = m_link->addObserver([](const TrafficRecord &) { QFAIL("removed"); });
    m_link->removeObserver(id);
    QCOMPARE(send("$016"), LinkCode::Ok);
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
