// The scan for scripts on the simulated line, on virtual time: the same result
// lines as the search window, a time-out that still hears the slowest reply,
// and the address range.

#include "search/linescan.h"
#include "searchrig.h"

#include <QFile>
#include <QTest>

using namespace telviox;
using namespace telviox::test;

namespace {

QByteArray searchLineFile()
{
    QFile file(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json");
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("sim/search-line.json not found");
    return file.readAll();
}

} // namespace

class LineScanTest : public QObject
{
    Q_OBJECT

private slots:
    void sameLinesAsTheSearchWindow();
    void fittedTimeoutHearsTheLongestReply_data();
    void fittedTimeoutHearsTheLongestReply();
    void addressRange();
};

void LineScanTest::sameLinesAsTheSearchWindow()
{
    const QByteArray json = searchLineFile();
    SearchRig search(json, {9600, 19200});
    search.state.SearchChecksum = 1;
    search.engine.StartSearch();

    SearchRig rig(json);
    SharedState scanState;
    LineScan scan({scanState, rig.link, rig.library, rig.clock, rig.prompt, rig.status});
    // The rates in any order: the lines come in the window's order.
    const auto entries = scan.run({{9600, 19200}, true});

    QStringList lines;
    for (const LineScan::Entry &entry : entries)
        lines << entry.line;
    QCOMPARE(lines, search.foundLines());
    QCOMPARE(search.prompt.shown().size(), 0);
    // Every module and slot decoded without a refused command: nothing reported.
    QVERIFY2(search.status.history.isEmpty(), qPrintable(search.status.history.join('\n')));
    QCOMPARE(lines.size(), 28);
    QCOMPARE(search.record(13).MinSignalWidth[1], 70000);
    QCOMPARE(rig.prompt.shown().size(), 0);

    // The checksum module and a slot, as a script reads them.
    const auto find = [&](const QString &name) {
        return *std::find_if(entries.begin(), entries.end(),
                             [&](const LineScan::Entry &e) { return e.name == name; });
    };
    const LineScan::Entry withChecksum = find("2058");
    QCOMPARE(withChecksum.checksum, 1);
    QCOMPARE(withChecksum.baud, 19200);
    QCOMPARE(withChecksum.remark, QString("Enable        14*DI"));
    const LineScan::Entry slot = find("9091H");
    QCOMPARE(slot.address, 0x12);
    QCOMPARE(slot.slot, 0);
    QCOMPARE(slot.remark, QString("Disable       8-CH High-Speed AI"));
    QCOMPARE(find("9900").slot, -1);
}

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
