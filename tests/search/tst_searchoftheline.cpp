// A search of the simulator's shipped search line finds every module and
// slot, and decodes each without a refused command or an error box: the
// simulator answers everything the decoding asks.

#include "search/searchreport.h"
#include "searchrig.h"

#include <QFile>
#include <QtTest>

using namespace telviox;
using test::SearchRig;

namespace {

QByteArray shippedLine()
{
    QFile file(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSearchOfTheLine : public QObject
{
    Q_OBJECT

private slots:
    void everyBranchDecodes();
};

void TestSearchOfTheLine::everyBranchDecodes()
{
    SearchRig rig(shippedLine(), {19200, 9600});
    rig.state.SearchChecksum = 1;
    rig.engine.StartSearch();

    QVERIFY2(rig.prompt.shown().isEmpty(), qPrintable(rig.prompt.shown().value(0).text));
    QVERIFY2(rig.status.history.isEmpty(), qPrintable(rig.status.history.join('\n')));

    // 16 modules, two main units and their 3 + 7 occupied slots.
    const QStringList lines = rig.foundLines();
    QCOMPARE(lines.size(), 28);
    // One description of every branch, in the order of the addresses; long
    // ones end where the remark's 50 characters do.
    const char *const descriptions[] = {"T/C K-type",
                                        "+/- 5V",
                                        "+/- 20mA",
                                        "+/- 100mV",
                                        "PT/.00385 0-200 C",
                                        "+/- 10V",
                                        "T/C J-type",
                                        "4 to 20mA",
                                        "CH:0 4-20mA  CH:1 0-10V",
                                        "-10 to 10V",
                                        "Pt1000/.00385 -200-60",
                                        "4*DI+8*DO",
                                        "14*DI",
                                        "Counter Mode",
                                        "4*isolated D/I+4*rela",
                                        "Watch Dog",
                                        " Module",
                                        "3-CH RTD",
                                        "8 Isolation DI +8 Isolation DO",
                                        "4 DI + 4 Relay DO",
                                        " Module",
                                        "8-CH High-Speed AI",
                                        "7-CH Thermo. Input",
                                        "4-CH Analog Input",
                                        "16 DI",
                                        "8-CH Analog Input",
                                        "8 Relay DO",
                                        "16 Universal DI"};
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).contains(QLatin1String(descriptions[i])),
                 qPrintable(QString::number(i) + ": " + lines.at(i)));
    }
    // Alarm modes, the checksum module and values only the float carries.
    QVERIFY(lines.at(0).contains("Momentary") && lines.at(1).contains("Latch"));
    QVERIFY(lines.at(12).contains("Enable"));
    QCOMPARE(rig.record(13).MinSignalWidth[1], 70000);
    QCOMPARE(rig.record(13).InputMode, quint8(1));

    // The report prints them all.
    QCOMPARE(search::searchReportLines(rig.state.Found, rig.state.ComPort).size(), 28 + 6);
}

QTEST_GUILESS_MAIN(TestSearchOfTheLine)
#include "tst_searchoftheline.moc"
