// The traffic log and its table without a display: the bounded ring, which
// module a frame belongs to, the filters, pause and clear, and the text and
// CSV files byte by byte.

#include "core/clock.h"
#include "core/filedialog.h"
#include "monitor/monitorrig.h"
#include "monitor/trafficmodel.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;

namespace {

using Dir = TrafficRecord::Direction;

TrafficRecord record(Dir direction, const QByteArray &frame, qint16 result = 0,
                     qint64 elapsedMs = 0, int port = 1)
{
    TrafficRecord r;
    r.direction = direction;
    r.frame = frame;
    r.result = result;
    r.elapsedMs = elapsedMs;
    r.port = port;
    r.baud = 9600;
    r.device = QStringLiteral("/dev/x");
    return r;
}

TrafficRecord deviceEvent(const QString &text)
{
    TrafficRecord r = record(Dir::Event, {});
    r.event = text;
    return r;
}

// Appends at the virtual clock's now, which advances by step ms after each.
struct Rig
{
    explicit Rig(int capacity = 100) : log(clock, capacity), model(log)
    {
        clock.setWallTime(QDateTime(QDate(2026, 12, 6), QTime(22, 14, 3, 512), Qt::UTC));
    }
    void add(TrafficRecord r, int step = 0)
    {
        r.time = clock.tickCount();
        log.append(r);
        clock.advance(step);
    }
    // A command and its reply.
    void exchange(const QByteArray &command, const QByteArray &reply, qint16 result = 0)
    {
        add(record(Dir::Sent, command, result), 5);
        add(record(Dir::Received, reply, result, 5), 1);
    }
    QStringList frames()
    {
        model.refresh();
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row)
            shown << model.index(row, TrafficModel::Frame).data().toString();
        return shown;
    }

    VirtualClock clock;
    TrafficLog log;
    TrafficModel model;
};

} // namespace

class TestTrafficModel : public QObject
{
    Q_OBJECT

private slots:
    void ringKeepsTheNewestLines()
    {
        Rig rig(4);
        for (int n = 0; n < 10; ++n)
            rig.add(record(Dir::Sent, QByteArray("#0") + QByteArray::number(n) + '\r'));
        QCOMPARE(rig.log.size(), 4);
        QCOMPARE(rig.log.firstSequence(), qint64(6));
        QCOMPARE(rig.frames(), (QStringList{"#06<CR>", "#07<CR>", "#08<CR>", "#09<CR>"}));
        // The table follows the ring as it wraps further.
        rig.add(record(Dir::Sent, "#0A\r"));
        QCOMPARE(rig.frames(), (QStringList{"#07<CR>", "#08<CR>", "#09<CR>", "#0A<CR>"}));
        // Before the next refresh, a row whose line went shows nothing (its
        // slot holds the newest line now).
        rig.add(record(Dir::Sent, "#0B\r"));
        QCOMPARE(rig.model.index(0, TrafficModel::Frame).data(), QVariant());
        QCOMPARE(rig.model.index(1, TrafficModel::Frame).data().toString(),
                 QStringLiteral("#08<CR>"));
        // Cleared, it starts afresh and wraps again.
        rig.model.clear();
        QCOMPARE(rig.frames(), QStringList());
        for (int n = 0; n < 5; ++n)
            rig.add(record(Dir::Sent, QByteArray("$1") + QByteArray::number(n) + "M\r"));
        QCOMPARE(rig.frames(), (QStringList{"$11M<CR>", "$12M<CR>", "$13M<CR>", "$14M<CR>"}));
    }

    void addressOfCommandFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("address");
        QTest::newRow("lower case") << QByteArray("#ff\r") << 0xFF;
        QTest::newRow("slot command") << QByteArray("#0AS12\r") << 0x0A;
        QTest::newRow("checksum digits") << QByteArray("$7FM3C\r") << 0x7F;
        QTest::newRow("one digit") << QByteArray("#1\r") << -1;
        QTest::newRow("no digits") << QByteArray("~**\r") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
    }
    void addressOfCommandFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, address);
        QCOMPARE(TrafficLog::commandAddress(frame), address);
    }

    void filtersByAddressAndErrors()
    {
        Rig rig;
        rig.exchange("$01M\r", "!012026\r");
        rig.exchange("#02\r", "", 15); // timed out
        // A reply on another port belongs to that port's command.
        rig.add(record(Dir::Sent, "#03\r", 0, 0, 2));
        rig.add(record(Dir::Received, ">+1.000\r", 0, 0, 1)); // late, for #02 on port 1
        rig.add(record(Dir::Received, ">+2.000\r", 0, 0, 2));
        rig.add(deviceEvent(QStringLiteral("device /dev/x lost")));
        rig.exchange("#01\r", ">+00.5\xFF\r", 7);

        QCOMPARE(rig.frames().size(), 10);
        QVERIFY(rig.model.setAddressFilter(QStringLiteral("1")));
        QCOMPARE(rig.frames(), (QStringList{"$01M<CR>", "!012026<CR>", "device /dev/x lost",
                                            "#01<CR>", ">+00.5<FF><CR>"}));
        QVERIFY(rig.model.setAddressFilter(QStringLiteral(" 02 ")));
        QCOMPARE(rig.frames(), (QStringList{"#02<CR>", "", ">+1.000<CR>", "device /dev/x lost"}));
        QVERIFY(rig.model.setAddressFilter(QStringLiteral("03")));
        QCOMPARE(rig.frames(), (QStringList{"#03<CR>", ">+2.000<CR>", "device /dev/x lost"}));

        rig.model.setErrorsOnly(true);
        QVERIFY(rig.model.setAddressFilter(QString()));
        QCOMPARE(rig.frames(),
                 (QStringList{"#02<CR>", "", "device /dev/x lost", "#01<CR>", ">+00.5<FF><CR>"}));
        QVERIFY(rig.model.index(0, 0).data(TrafficModel::ErrorRole).toBool());
        QVERIFY(rig.model.index(2, 0).data(TrafficModel::EventRole).toBool());
        // New lines pass the same filters.
        rig.exchange("#04\r", "?04\r", 12);
        rig.exchange("#04\r", ">+1\r");
        QCOMPARE(rig.frames().size(), 7);
        QVERIFY(rig.model.setAddressFilter(QStringLiteral("4")));
        QCOMPARE(rig.frames(), (QStringList{"device /dev/x lost", "#04<CR>", "?04<CR>"}));

        // Not an address: nothing but the events.
        rig.model.setErrorsOnly(false);
        QVERIFY(!rig.model.setAddressFilter(QStringLiteral("100")));
        QVERIFY(!rig.model.setAddressFilter(QStringLiteral("g1")));
        QCOMPARE(rig.frames(), QStringList{"device /dev/x lost"});
    }

    void pauseCountsAndStaysBounded()
    {
        Rig rig(6);
        rig.exchange("$01M\r", "!012026\r");
        rig.exchange("$02M\r", "!022091\r");
        QCOMPARE(rig.frames().size(), 4);
        rig.model.setPaused(true);
        rig.exchange("$03M\r", "!032011\r");
        QCOMPARE(rig.frames().size(), 4);
        QCOMPARE(rig.model.arrivedWhilePaused(), qint64(2));
        // The log lets the oldest go while paused: so does the table.
        rig.exchange("$04M\r", "!042028\r");
        QCOMPARE(rig.frames(), (QStringList{"$02M<CR>", "!022091<CR>"}));
        QCOMPARE(rig.model.arrivedWhilePaused(), qint64(4));
        rig.exchange("$05M\r", "!052032\r");
        QCOMPARE(rig.frames(), QStringList());
        QCOMPARE(rig.model.arrivedWhilePaused(), qint64(6));
        QCOMPARE(rig.log.size(), 6);
        rig.model.setPaused(false);
        QCOMPARE(rig.model.arrivedWhilePaused(), qint64(0));
        QCOMPARE(rig.frames(), (QStringList{"$03M<CR>", "!032011<CR>", "$04M<CR>", "!042028<CR>",
                                            "$05M<CR>", "!052032<CR>"}));
    }

    void textAndCsvFiles()
    {
        Rig rig;
        rig.add(record(Dir::Sent, "$01M\r"), 12);
        rig.add(record(Dir::Received, "!01\"A,B\xFF\r", 0, 12), 3);
        TrafficRecord sent = record(Dir::Sent, "#0201\r", 15);
        sent.checksum = true;
        rig.add(sent, 1000);
        TrafficRecord received = record(Dir::Received, "", 15, 1000);
        received.checksum = true;
        rig.add(received);
        rig.add(deviceEvent(QStringLiteral("reconnected to /dev/x")));
        rig.model.refresh();

        const QByteArray csv =
            "Time,Port,Device,Rate,Checksum,Direction,Frame,Code,Result,ms\n"
            "2026-12-06T22:14:03.512+00:00,COM1,/dev/x,9600,no,sent,$01M<CR>,0,OK,\n"
            "2026-12-06T22:14:03.524+00:00,COM1,/dev/x,9600,no,received,"
            "\"!01\"\"A,B<FF><CR>\",0,OK,12\n"
            "2026-12-06T22:14:03.527+00:00,COM1,/dev/x,9600,yes,sent,#0201<CR>,15,Time Out !,\n"
            "2026-12-06T22:14:04.527+00:00,COM1,/dev/x,9600,yes,received,,15,Time Out !,1000\n"
            "2026-12-06T22:14:04.527+00:00,COM1,/dev/x,9600,,event,reconnected to /dev/x,,,\n";
        QCOMPARE(rig.model.toCsv(), csv);
        const QByteArray text =
            "Time\tPort\tDevice\tRate\tChecksum\tDirection\tFrame\tCode\tResult\tms\n"
            "2026-12-06T22:14:03.512+00:00\tCOM1\t/dev/x\t9600\tno\tsent\t$01M<CR>\t0\tOK\t\n"
            "2026-12-06T22:14:03.524+00:00\tCOM1\t/dev/x\t9600\tno\treceived\t"
            "!01\"A,B<FF><CR>\t0\tOK\t12\n"
            "2026-12-06T22:14:03.527+00:00\tCOM1\t/dev/x\t9600\tyes\tsent\t#0201<CR>\t15\t"
            "Time Out !\t\n"
            "2026-12-06T22:14:04.527+00:00\tCOM1\t/dev/x\t9600\tyes\treceived\t\t15\t"
            "Time Out !\t1000\n"
            "2026-12-06T22:14:04.527+00:00\tCOM1\t/dev/x\t9600\t\tevent\t"
            "reconnected to /dev/x\t\t\t\n";
        QCOMPARE(rig.model.toText(), text);
        // The table shows the time of day to the millisecond.
        QCOMPARE(rig.model.index(1, TrafficModel::Time).data().toString(),
                 QStringLiteral("22:14:03.524"));

        // Saved by the name's suffix; what the filters hide is not saved.
        QTemporaryDir dir;
        QString error;
        QVERIFY(saveTraffic(rig.model, dir.filePath("t.CSV"), &error));
        QVERIFY(saveTraffic(rig.model, dir.filePath("t.txt"), &error));
        const auto read = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QCOMPARE(read(dir.filePath("t.CSV")), csv);
        QCOMPARE(read(dir.filePath("t.txt")), text);
        rig.model.setErrorsOnly(true);
        QVERIFY(saveTraffic(rig.model, dir.filePath("e.csv"), &error));
        QCOMPARE(read(dir.filePath("e.csv")).count('\n'), 4);
    }

    void saveFailureIsReported()
    {
        Rig rig;
        rig.exchange("$01M\r", "!012026\r");
        QTemporaryDir dir;
        const QString path = dir.filePath("missing/t.csv");
        test::ScriptedPrompt prompt;
        test::QueueDialogs dialogs;
        dialogs.answers << path;
        QVERIFY(!saveTrafficAs(rig.model, dialogs, prompt));
        QCOMPARE(prompt.shown().size(), 1);
        QVERIFY(prompt.shown().first().text.startsWith(
            QStringLiteral("The traffic could not be saved to %1: ").arg(path)));
        QCOMPARE(prompt.shown().first().style, BoxStyle::Exclamation);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestTrafficModel)
#include "tst_trafficmodel.moc"
