// The scan for scripts on the simulated line, on virtual time: a time-out
// that still hears the slowest reply, and the address range. Its lines against
// the search window's are checked through the program in the scan CLI test.

#include "search/linescan.h"
#include "searchrig.h"

#include <QTest>

using namespace telviox;
using namespace telviox::test;

class LineScanTest : public QObject
{
    Q_OBJECT

private slots:
    void fittedTimeoutHearsTheLongestReply_data();
    void fittedTimeoutHearsTheLongestReply();
    void addressRange();
};

void LineScanTest::fittedTimeoutHearsTheLongestReply_data()
{
    QTest::addColumn<qint32>("baud");
    for (qint32 baud : search::SearchBaudTable)
        QTest::addRow("%d", baud) << baud;
}

void LineScanTest::fittedTimeoutHearsTheLongestReply()
{
    QFETCH(qint32, baud);
    // The longest name, with checksum digits, spending its wire time.
    SearchRig rig("{\"modules\": [{\"name\": \"92061\", \"address\": 7, \"checksum\": true, "
                  "\"baud\": " +
                  QByteArray::number(baud) + "}]}");
    rig.line->setWireTime(true);
    SharedState scanState;
    LineScan scan({scanState, rig.link, rig.library, rig.clock, rig.prompt, rig.status});
    const qint64 start = rig.clock.tickCount();
    const auto entries = scan.run({{baud}, true, -1, 0, 15});

    QCOMPARE(int(entries.size()), 1);
    QCOMPARE(entries.front().name, QString("92061"));
    // Fifteen silent addresses, each asked twice, cost far less than the
    // search window's 400 ms apiece.
    QVERIFY(rig.clock.tickCount() - start < 15 * 2 * 400 / 2);
}

void LineScanTest::addressRange()
{
    SearchRig rig(R"({"modules": [{"name": "2073", "address": 16}, {"name": "2073", "address": 33},
                                  {"name": "2073", "address": 48}]})");
    SharedState scanState;
    LineScan scan({scanState, rig.link, rig.library, rig.clock, rig.prompt, rig.status});
    QList<int> tried;
    const auto entries =
        scan.run({{9600}, false, -1, 0x10, 0x21}, [&](qint32, int address) { tried << address; });
    QCOMPARE(tried.first(), 0x10);
    QCOMPARE(tried.last(), 0x21);
    QCOMPARE(int(entries.size()), 2);
    QCOMPARE(rig.log.last(), QString("close"));
}

QTEST_GUILESS_MAIN(LineScanTest)
#include "tst_linescan.moc"
