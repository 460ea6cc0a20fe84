// The configuration decoding of every kind of module, through a whole search
// on the simulated line: the result line, what the found record keeps, and
// the commands and library calls in their order.

#include "searchrig.h"

#include <QTest>

using namespace telviox;
using namespace telviox::test;

namespace {

QByteArray lineWith(const QByteArray &module)
{
    return "{\"modules\": [" + module + "]}";
}

QString padded(const QString &line)
{
    return line.leftJustified(search::ResultLineWidth);
}

} // namespace

class ConfigDecodingTest : public QObject
{
    Q_OBJECT

private slots:
    void branchLines_data();
    void branchLines();
    void storedSettings();
    void failedCommandsAreBoxedAndAddNoRange();
    void counterErrorsGoToStatusLine();
    void counterKeepsChecksumWhenConfigFails();
    void mainUnitSlots_data();
    void mainUnitSlots();
    void slotQueryFailures();
    void slotsNeverPassTheTable();
};

void ConfigDecodingTest::branchLines_data()
{
    QTest::addColumn<QByteArray>("module"); // without address and baud
    QTest::addColumn<qint32>("baud");
    QTest::addColumn<QString>("expected"); // trailing blanks left out
    QTest::addColumn<int>("rangeIndex");   // -1: not checked
    QTest::addColumn<QStringList>("commands");

    const QStringList alarmReads = {"@01DI", "$012", "@01DI", "$01RH", "$01RL"};
    const QStringList counterReads = {
        "$012",  "$01A",  "$011H", "$011L", "$0150",  "$0151",  "$0150", "$0151", "@01G0", "@01G1",
        "$0100", "$0101", "$0130", "$0131", "@01RP0", "@01RP1", "$01B",  "@01DI", "$01A"};
    struct Row
    {
        const char *tag;
        QByteArray module;
        const char *line9600;
        const char *cutAt9600; // what the wider rate leaves in at the end
        int rangeIndex;
        QStringList commands;
    };
    const Row rows[] = {
        {"alarm table A", R"("name": "2026", "range": "0F", "alarm": {"mode": "latch"})",
         "2026  1[1]     9600    Latch      Disable       T/C K-type", "", 8, alarmReads},
        {"alarm table B 2067", R"("name": "2067", "range": "0D", "alarm": {"mode": "disabled"})",
         "2067  1[1]     9600    Disable    Disable       +/- 20mA", "", 5,
         alarmReads + QStringList{"$01LS"}},
        {"strain gauge", R"("name": "2063", "range": "03")",
         "2063  1[1]     9600    Disable    Disable       +/- 500mV", "", 3,
         {"@01DI", "$012", "$01LS"}},
        {"strain gauge, thermocouple code", R"("name": "2063", "range": "0F")",
         "2063  1[1]     9600    Disable    Disable", "", -1,
         {"@01DI", "$012", "$01LS"}},
        {"RTD", R"("name": "2027", "range": "25")",
         "2027  1[1]     9600               Disable       PT/.00392 0-100 C", "", 5, {"$012"}},
        {"8-channel table B", R"("name": "2091", "range": "08", "channelMask": "FF")",
         "2091  1[1]     9600               Disable       +/- 10V", "", 0, {"$012", "$016"}},
        {"1-channel output", R"("name": "2011", "range": "31")",
         "2011  1[1]     9600               Disable       4 to 20mA", "", 1, {"$012"}},
        {"2-channel output", R"("name": "2046", "outputRanges": [0, 2])",
         "2046  1[1]     9600               Disable     CH:0 O-20mA  CH:1 0-10V", "", 2,
         {"$012", "$0190", "$0191"}},
        {"3-channel RTD, cut at 50", R"("name": "2096", "range": "2A", "wiring": 3)",
         "2096  1[1]     9600               Disable       Pt1000/.00385 -200-60", "0", 10,
         {"$012", "$018"}},
        {"digital 2073", R"("name": "2073")",
         "2073  1[1]     9600               Disable       8*DO", "", -1, {"$012"}},
        {"slot-type digital, cut at 50", R"("name": "92061")",
         "92061 1[1]     9600               Disable       4*isolated D/I+4*rela", "y(", -1,
         {"$012"}},
        {"counter", R"("name": "2032", "mode": "frequency")",
         "2032  1[1]     9600               Disable       Frequency Mode", "", 1, counterReads},
        {"watch-dog", R"("name": "WDT0")",
         "WDT0  1[1]     9600               Disable       Watch Dog", "", -1, {}},
    };
    for (const Row &row : rows) {
        for (qint32 baud : {9600, 115200}) {
            QTest::addRow("%s at %d", row.tag, baud)
                << row.module << baud
                << (baud == 9600 ? QString::fromLatin1(row.line9600)
                                 : QString::fromLatin1(row.line9600).replace("9600  ", "115200") +
                                       QLatin1String(row.cutAt9600))
                << row.rangeIndex << row.commands;
        }
    }
}

void ConfigDecodingTest::branchLines()
{
    QFETCH(QByteArray, module);
    QFETCH(qint32, baud);
    QFETCH(QString, expected);
    QFETCH(int, rangeIndex);
    QFETCH(QStringList, commands);

    SearchRig rig(
        lineWith("{\"address\": 1, \"baud\": " + QByteArray::number(baud) + ", " + module + "}"),
        {baud});
    rig.engine.StartSearch();

    QCOMPARE(rig.state.Found.FoundCount, 1);
    QCOMPARE(rig.foundLines(), QStringList{padded(expected)});
    QCOMPARE(rig.view.lines, QStringList{padded(expected)});
    if (rangeIndex >= 0)
        QCOMPARE(int(rig.record(0).RangeIndex), rangeIndex);
    QCOMPARE(rig.frames(1), commands);
    QVERIFY2(rig.prompt.shown().isEmpty(), qPrintable(rig.prompt.shown().value(0).text));
    QVERIFY(rig.status.history.isEmpty());
}

void ConfigDecodingTest::storedSettings()
{
    SearchRig rig(R"({"modules": [
        {"name": "2080", "address": 1, "checksum": true, "range": "0A", "format": 2,
         "alarm": {"mode": "momentary", "high": 4.5, "low": -1.25}},
        {"name": "2032", "address": 2, "mode": "counter", "inputMode": 2,
         "counters": [{"preset": 100, "max": 5000, "alarmLimit": 300, "counting": true},
                      {"preset": 7, "max": 65536, "alarmLimit": 9, "counting": false,
                       "minWidthUs": 70000}]},
        {"name": "2091", "address": 3, "range": "0C", "channelMask": "0F"}]})");
    rig.state.SearchChecksum = 1;
    rig.engine.StartSearch();

    QCOMPARE(rig.state.Found.FoundCount, 3);
    QCOMPARE(rig.foundLines().at(0),
             padded("2080  1[1]     9600    Momentary  Enable        +/- 1V"));
    // The checksum module is asked everything with checksums.
    QCOMPARE(rig.frames(1), QStringList({"@01DI+", "$012+", "@01DI+", "$01RH+", "$01RL+"}));
    const FoundRecord &alarm = rig.record(0);
    QCOMPARE(int(alarm.Checksum), 1);
    QCOMPARE(int(alarm.RangeCode), 0x0A);
    QCOMPARE(int(alarm.RangeIndex), 2);
    QCOMPARE(int(alarm.DataFormat), 0x42);
    QCOMPARE(int(alarm.AlarmState), 1);
    QCOMPARE(alarm.AlarmLimits[0], 4.5f);
    QCOMPARE(alarm.AlarmLimits[1], -1.25f);

    const FoundRecord &counter = rig.record(1);
    QCOMPARE(int(counter.Checksum), 0);
    QCOMPARE(int(counter.RangeIndex), 0);
    QCOMPARE(int(counter.InputMode), 2);
    QCOMPARE(counter.PresetValue[0], 100);
    QCOMPARE(counter.PresetValue[1], 7);
    QCOMPARE(counter.MaxValue[1], 65536);
    QCOMPARE(counter.MinSignalWidth[1], 70000);
    QCOMPARE(counter.CounterAlarmLimit[0], 300);
    QCOMPARE(counter.CounterStatus[0], 1);
    QCOMPARE(counter.CounterStatus[1], 0);
    QVERIFY(rig.foundLines().at(1).contains("Counter Mode"));

    QCOMPARE(int(rig.record(2).ChannelInfo), 0x0F);
    QCOMPARE(int(rig.record(2).RangeIndex), 4);
}

void ConfigDecodingTest::failedCommandsAreBoxedAndAddNoRange()
{
    SearchRig rig(lineWith(R"({"name": "2011", "address": 1, "range": "31"},
                              {"name": "2026", "address": 2, "range": "0F"})"));
    rig.overrides["$012"] = {};          // no answer
    rig.overrides["$022"] = "!02FF0600"; // a code in no table
    rig.prompt.expect("Error code: 15", BoxStyle::Critical, "2011      ", Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(rig.foundLines(),
             QStringList({padded("2011  1[1]     9600               Disable"),
                          padded("2026  2[2]     9600    Disable    Disable       ")}));
    QCOMPARE(int(rig.record(0).RangeIndex), 0);
    // The unknown code is kept, the index is not.
    QCOMPARE(int(rig.record(1).RangeCode), 0xFF);
    QCOMPARE(int(rig.record(1).RangeIndex), 0);
}

void ConfigDecodingTest::counterErrorsGoToStatusLine()
{
    SearchRig rig(lineWith(R"({"name": "2032", "address": 1})"));
    rig.overrides["$01A"] = {};
    rig.overrides["$0130"] = "?01";
    rig.engine.StartSearch();

    QVERIFY(rig.prompt.shown().isEmpty());
    QCOMPARE(rig.status.history,
             QStringList({"Error in Module: 2032  Error Code:  15    Time Out !",
                          "Error in Module: 2032  Error Code:  13    Cmd Error !",
                          "Error in Module: 2032  Error Code:  15    Time Out !"}));
    // A failed read leaves its value alone.
    QCOMPARE(rig.record(0).MaxValue[0], 0);
}

void ConfigDecodingTest::counterKeepsChecksumWhenConfigFails()
{
    // The format byte's checksum bit sets the flag; an unanswered read must
    // not clear it, or every later command would go without a checksum.
    SearchRig rig(lineWith(R"({"name": "2032", "address": 1, "checksum": true})"));
    rig.state.SearchChecksum = 1;
    rig.overrides["$012B7"] = {};
    rig.prompt.expect("Error code: 15", BoxStyle::Critical, "2032      ", Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(int(rig.record(0).Checksum), 1);
    QCOMPARE(rig.frames(1).mid(0, 3), QStringList({"$012+", "$01A+", "$011H+"}));
    QVERIFY(rig.status.history.isEmpty());
}

void ConfigDecodingTest::mainUnitSlots_data()
{
    QTest::addColumn<QByteArray>("slotTable"); // replies to $05T and $05T1, "|" between
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("queries");

    const QString own = "9900  5[5]     9600               Disable        Module";
    QTest::newRow("every slot empty")
        << QByteArray("!05FFFFFFFF|!05FFFFFFFF") << QStringList{own} << QStringList{};
    QTest::newRow("mixed, high-speed and empty")
        << QByteArray("!0527FF1H86|!05FF40FF63")
        << QStringList{own,
                       "9027    S0     9600               Disable       3-CH RTD",
                       "9091H   S2     9600               Disable       8-CH High-Speed AI",
                       "9086    S3     9600               Disable       7-CH Thermo. Input",
                       "9040    S5     9600               Disable       16 DI",
                       "9063    S7     9600               Disable       "}
        << QStringList{"$05S2B", "$05S3B"};
    QTest::newRow("slot table unanswered") << QByteArray("|") << QStringList{own} << QStringList{};
}

void ConfigDecodingTest::mainUnitSlots()
{
    QFETCH(QByteArray, slotTable);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, queries);

    SearchRig rig(lineWith(R"({"name": "9900", "address": 5})"));
    rig.overrides["$05T"] = slotTable.split('|').at(0);
    rig.overrides["$05T1"] = slotTable.split('|').at(1);
    for (const QString &query : queries)
        rig.overrides[query.toLatin1()] = "!050C02";
    for (int read = 0; slotTable == "|" && read < 2; ++read)
        rig.prompt.expect("Error code: 15", BoxStyle::Critical, "9900      ", Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QStringList expected;
    for (const QString &line : lines)
        expected << padded(line);
    QCOMPARE(rig.foundLines(), expected);
    QCOMPARE(rig.view.lines, expected);
    QCOMPARE(rig.frames(5), QStringList({"$05T", "$05T1"}) + queries);
    for (int i = 1; i < lines.size(); ++i) {
        const FoundRecord &slot = rig.record(i);
        QCOMPARE(slot.Address, 5);
        QCOMPARE(slot.BaudRate, 9600);
        QCOMPARE(slot.ModelName, lines.at(i).section(' ', 0, 0));
        QCOMPARE(int(slot.Slot), lines.at(i).mid(9, 1).toInt());
    }
    if (!queries.isEmpty()) {
        // The 8-channel high-speed module's range: code 0C is table B's fifth.
        QCOMPARE(int(rig.record(2).RangeCode), 0x0C);
        QCOMPARE(int(rig.record(2).RangeIndex), 4);
        QCOMPARE(int(rig.record(2).DataFormat), 2);
    }
}

void ConfigDecodingTest::slotQueryFailures()
{
    // A real 9300 with four slots on the simulated line; its analog slot
    // answers, the refused one shows "error" and the next is still asked.
    SearchRig rig(lineWith(R"({"name": "9300", "address": 7, "slots": [
        {"slot": 0, "name": "9091", "range": "09"}, {"slot": 1, "name": "9028"},
        {"slot": 3, "name": "9017"}]})"));
    rig.overrides["$07S0B"] = "?07";
    rig.prompt.expect("Error code: 13", BoxStyle::Critical, "9300      ", Answer::Ok);
    rig.prompt.expect("error", BoxStyle::Ok, QString(), Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(rig.frames(7), QStringList({"$07T", "$07S0B", "$07S1B"}));
    QCOMPARE(rig.state.Found.FoundCount, 4);
    QCOMPARE(rig.foundLines().at(2),
             padded("9028    S1     9600               Disable       4-CH Analog Input "));
}

void ConfigDecodingTest::slotsNeverPassTheTable()
{
    // A full main unit decoded at the table's last lines: the entries stop
    // at the last line instead of running past it.
    SearchRig rig(lineWith(R"({"name": "9900", "address": 9, "slots": [
        {"slot": 0, "name": "9040"}, {"slot": 1, "name": "9040"}, {"slot": 2, "name": "9040"},
        {"slot": 3, "name": "9040"}, {"slot": 4, "name": "9040"}, {"slot": 5, "name": "9040"},
        {"slot": 6, "name": "9040"}, {"slot": 7, "name": "9040"}]})"));
    rig.link.Open_Com(1, 9600);
    const int index = FoundLineCount - 3;
    FoundModules &found = rig.state.Found;
    found.FoundCount = qint16(index);
    FoundRecord &unit = found.Records[std::size_t(index)];
    unit.ModelName = "9900  ";
    unit.BaudRate = 9600;
    unit.Address = 9;
    QString remark(search::RemarkWidth, ' ');
    ConfigDecoder decoder(rig.context, rig.view);
    decoder.DoOtherThing(9, qint16(index), remark);

    QCOMPARE(int(found.FoundCount), FoundLineCount - 1);
    QCOMPARE(rig.view.lines.size(), 3);
    QVERIFY(found.ResultLines.back().startsWith("9040    S1"));
}

QTEST_GUILESS_MAIN(ConfigDecodingTest)
#include "tst_configdecoding.moc"
