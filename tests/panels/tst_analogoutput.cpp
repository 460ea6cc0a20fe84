// The analog output panels without their windows: ranges, the slider's
// arithmetic, the buttons' effect on the shared state and the read-back on
// load from a module found by a real search of a simulated line.

#include "device/catalogue.h"
#include "panels/analogoutput.h"
#include "search/searchrig.h"
#include "search/searchtables.h"

#include <QtTest>

using namespace telviox;
using namespace telviox::panels;
using namespace telviox::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(telviox::panels::AnalogPanel)
Q_DECLARE_METATYPE(telviox::search::RangeTable)

namespace {

// Every kind of output module the panels read back, and one of each at
// another address to tell them apart.
const QByteArray Line = R"({"modules": [
    {"name": "2011", "address": 1, "range": "31", "outputs": [12.0]},
    {"name": "2028", "address": 2, "range": "33", "checksum": true, "outputs": [-2.5, 7.0]},
    {"name": "92028", "address": 3, "range": "34", "outputs": [3.2]},
    {"name": "9000", "address": 4, "slots": [
        {"slot": 2, "name": "9028", "range": "35", "outputs": [-1.5, 4.0]}]}
]})";

QString modelOf(AnalogPanel panel)
{
    switch (panel) {
    case AnalogPanel::SingleChannel:
        return u"2011"_s;
    case AnalogPanel::Q2000:
        return u"2028"_s;
    case AnalogPanel::Slot92000:
        return u"92028"_s;
    case AnalogPanel::Slot9000:
        break;
    }
    return u"9028"_s;
}

struct Rig
{
    Rig() : search(Line)
    {
        search.state.SearchChecksum = 1;
        search.engine.StartSearch();
        search.log.clear();
        search.prompt.reset();
        search.state.CurConv = 5;
    }
    int foundIndex(const QString &name) const
    {
        for (int i = 0; i < search.state.Found.FoundCount; ++i) {
            if (search.record(i).ModelName.trimmed() == name)
                return i;
        }
        return -1;
    }
    // The panel opens for the found module, decoded with the given range.
    void openFromFound(const QString &model, int rangeIndex = -1)
    {
        search.state.PanelFromFound = 1;
        search.state.FoundIndex = qint16(foundIndex(model));
        if (rangeIndex >= 0)
            search.state.Found.Records[size_t(search.state.FoundIndex)].RangeIndex =
                quint8(rangeIndex);
    }
    AnalogOutputPanel panel(AnalogPanel kind)
    {
        return AnalogOutputPanel(kind, search.state, search.library, search.clock, search.prompt);
    }
    SearchRig search;
};

} // namespace

class TestAnalogOutput : public QObject
{
    Q_OBJECT

private slots:
    void rangesFollowTheDecodingTables_data();
    void rangesFollowTheDecodingTables();
    void sliderShowsPositions_data();
    void sliderShowsPositions();
    void typedValues_data();
    void typedValues();
    void readBackOnLoad_data();
    void readBackOnLoad();
    void failedReadBackFallsBack_data();
    void failedReadBackFallsBack();
    void buttonsHandBackTheChoice();
    void channelsOfTheModel_data();
    void channelsOfTheModel();
};

void TestAnalogOutput::rangesFollowTheDecodingTables_data()
{
    QTest::addColumn<AnalogPanel>("panel");
    QTest::addColumn<search::RangeTable>("table");
    QTest::newRow("single") << AnalogPanel::SingleChannel << search::RangeTable::E;
    QTest::newRow("four, Q-2000") << AnalogPanel::Q2000 << search::RangeTable::F;
    QTest::newRow("four, 92000") << AnalogPanel::Slot92000 << search::RangeTable::F;
    QTest::newRow("four, 9000") << AnalogPanel::Slot9000 << search::RangeTable::F;
}

void TestAnalogOutput::rangesFollowTheDecodingTables()
{
    QFETCH(AnalogPanel, panel);
    QFETCH(search::RangeTable, table);
    // One range per decoded code, the last one the highest code, none beyond.
    const int count = int(search::rangeTable(table).size());
    QCOMPARE(int(outputRanges(panel).size()), count);
    QVERIFY(outputRange(panel, count - 1));
    QVERIFY(!outputRange(panel, count));
    QVERIFY(!outputRange(panel, -1));
    // Every range's slider ends on its maximum and its middle label is the
    // value half-way.
    for (int code = 0; code < count; ++code) {
        const OutputRange &range = *outputRange(panel, code);
        const int last = range.positions();
        QVERIFY2(last >= 100, range.caption);
        QCOMPARE(valueText(positionValue(range, last)).toDouble(),
                 QByteArray(range.maxText).toDouble());
        QCOMPARE(valueText(positionValue(range, last / 2)).toDouble(),
                 QByteArray(range.midText).toDouble());
    }
}

void TestAnalogOutput::sliderShowsPositions_data()
{
    QTest::addColumn<AnalogPanel>("panel");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::newRow("4-20 mA middle") << AnalogPanel::SingleChannel << 1 << 50 << u"12.000"_s;
    QTest::newRow("4-20 mA bottom") << AnalogPanel::SingleChannel << 1 << 0 << u"04.000"_s;
    QTest::newRow("-10 V") << AnalogPanel::Q2000 << 3 << 0 << u"-10.000"_s;
    QTest::newRow("-4.5 V") << AnalogPanel::Q2000 << 5 << 10 << u"-04.500"_s;
    QTest::newRow("zero has no sign") << AnalogPanel::Q2000 << 5 << 100 << u"00.000"_s;
    QTest::newRow("upper half, 0-20 mA") << AnalogPanel::Slot92000 << 0 << 150 << u"15.000"_s;
    QTest::newRow("past the end stays on it") << AnalogPanel::Slot9000 << 4 << 999 << u"05.000"_s;
}

void TestAnalogOutput::sliderShowsPositions()
{
    QFETCH(AnalogPanel, panel);
    QFETCH(int, code);
    QFETCH(int, position);
    Rig rig;
    auto logic = rig.panel(panel);
    logic.load();
    logic.chooseRange(code);
    if (panel != AnalogPanel::SingleChannel) // only the single panel offers ranges
        QCOMPARE(logic.rangeCode(), -1);
    // The four-channel panels take their range from the module; set it as a
    // found module would.
    if (logic.rangeCode() != code) {
        rig.openFromFound(modelOf(panel), code);
        logic.load();
    }
    QCOMPARE(logic.rangeCode(), code);
    logic.setPosition(position);
    QTEST(logic.outputText(), "text");
}

void TestAnalogOutput::typedValues_data()
{
    QTest::addColumn<AnalogPanel>("panel");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("position"); // -1: refused
    QTest::addColumn<float>("assigned");
    // 12.5 / 0.2 as a 32-bit float falls just below 62.5.
    QTest::newRow("12.5 mA") << AnalogPanel::SingleChannel << 0 << u"12.5"_s << 62 << 12.4f;
    QTest::newRow("21 mA") << AnalogPanel::SingleChannel << 0 << u"21"_s << -1 << 0.0f;
    QTest::newRow("bound 20 of 4-20") << AnalogPanel::Q2000 << 1 << u"20"_s << 200 << 20.0f;
    QTest::newRow("bound 4 of 4-20") << AnalogPanel::Q2000 << 1 << u" 4 "_s << 0 << 4.0f;
    QTest::newRow("3.9 below 4-20") << AnalogPanel::Q2000 << 1 << u"3.9"_s << -1 << 4.0f;
    QTest::newRow("0 of -10..10") << AnalogPanel::Q2000 << 3 << u"0"_s << 100 << 0.0f;
    QTest::newRow("upper half of 0-20") << AnalogPanel::Slot92000 << 0 << u"17.3"_s << 173 << 17.3f;
    QTest::newRow("text reads as 0") << AnalogPanel::Slot9000 << 2 << u"abc"_s << 0 << 0.0f;
    QTest::newRow("leading digits") << AnalogPanel::Slot9000 << 4 << u"2.5V"_s << 100 << 2.5f;
    QTest::newRow("-5.01 below -5..5") << AnalogPanel::Slot9000 << 5 << u"-5.01"_s << -1 << -5.0f;
}

void TestAnalogOutput::typedValues()
{
    QFETCH(AnalogPanel, panel);
    QFETCH(int, code);
    QFETCH(QString, typed);
    QFETCH(int, position);
    QFETCH(float, assigned);
    Rig rig;
    SharedState &state = rig.search.state;
    rig.openFromFound(modelOf(panel), code);
    auto logic = rig.panel(panel);
    logic.load();
    QCOMPARE(logic.rangeCode(), code);
    logic.setPosition(0);
    const OutputRange &range = logic.range();
    if (position < 0) {
        rig.search.prompt.expect(
            u"the value must between %1 to %2"_s.arg(range.minText, range.maxText),
            BoxStyle::Critical, u"Value error !"_s, Answer::Ok);
    }
    QCOMPARE(logic.enterText(typed), position >= 0);
    QCOMPARE(rig.search.prompt.problems(), QStringList());
    // A refused value leaves the slider and shows its value again.
    QCOMPARE(logic.position(), std::max(position, 0));
    QCOMPARE(logic.outputText(), position < 0 ? valueText(double(range.rangeMin)) : typed);
    logic.useAssigned();
    QCOMPARE(state.AssignValue, assigned);
    QCOMPARE(state.Link[5].Linked, qint16(2));
}

void TestAnalogOutput::readBackOnLoad_data()
{
    QTest::addColumn<AnalogPanel>("panel");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("traffic");
    QTest::newRow("2011, 4-20 mA") << AnalogPanel::SingleChannel << u"2011"_s << 1 << u"12"_s << 50
                                   << QStringList{u"open 9600"_s, u"@100 $016"_s, u"close"_s};
    QTest::newRow("2028, -10..10 V, checksum")
        << AnalogPanel::Q2000 << u"2028"_s << 3 << u"-2.5"_s << 75
        << QStringList{u"open 9600"_s, u"@100 $0260+"_s, u"close"_s};
    QTest::newRow("92028, 0-5 V") << AnalogPanel::Slot92000 << u"92028"_s << 4 << u"3.2"_s << 128
                                  << QStringList{u"open 9600"_s, u"@100 $0360"_s, u"close"_s};
    QTest::newRow("9028 in slot 2, -5..5 V")
        << AnalogPanel::Slot9000 << u"9028"_s << 5 << u"-1.5"_s << 70
        << QStringList{u"open 9600"_s, u"@100 $04S260"_s, u"close"_s};
}

void TestAnalogOutput::readBackOnLoad()
{
    QFETCH(AnalogPanel, panel);
    QFETCH(QString, model);
    Rig rig;
    SharedState &state = rig.search.state;
    state.Conv[5].OutValue = 9.0f; // not shown: the module's value is
    state.OutChannels = 3;
    rig.openFromFound(model);
    QVERIFY(state.FoundIndex >= 0);
    auto logic = rig.panel(panel);
    const qint64 start = rig.search.clock.tickCount();
    logic.load();
    QVERIFY(logic.readBack());
    QTEST(logic.rangeCode(), "code");
    QTEST(logic.outputText(), "text");
    QTEST(logic.position(), "position");
    QCOMPARE(logic.caption(), u"Setting "_s + model.leftJustified(10));
    // The command goes 100 ms after the port opened.
    QStringList traffic = rig.search.log;
    if (traffic.size() > 1)
        traffic[1].replace(QString::number(start + 100), u"100"_s);
    QTEST(traffic, "traffic");
    QCOMPARE(rig.search.prompt.beeps(), 0);
    // Loading reads channel 0 and says so; choosing a channel reads nothing.
    if (panel != AnalogPanel::SingleChannel) {
        QCOMPARE(state.OutChannels, qint16(0));
        logic.chooseChannel(1);
        QCOMPARE(state.OutChannels, qint16(1));
        QCOMPARE(rig.search.log.size(), 3);
    }
    logic.useReadBack();
    logic.close(false);
    QCOMPARE(state.PanelFromFound, qint16(0));
    QCOMPARE(state.Link[5].Linked, qint16(0));
}

void TestAnalogOutput::failedReadBackFallsBack_data()
{
    QTest::addColumn<AnalogPanel>("panel");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("rangeIndex");
    QTest::addColumn<QByteArray>("silent"); // command left unanswered
    QTest::addColumn<int>("beeps");
    QTest::newRow("2011 silent") << AnalogPanel::SingleChannel << u"2011"_s << 1
                                 << QByteArray("$016") << 1;
    QTest::newRow("9028 silent") << AnalogPanel::Slot9000 << u"9028"_s << 5 << QByteArray("$04S260")
                                 << 1;
    // A range the panel does not know cannot be shown: nothing is read.
    QTest::newRow("2028 unknown range")
        << AnalogPanel::Q2000 << u"2028"_s << 6 << QByteArray() << 0;
    QTest::newRow("2011 unknown range")
        << AnalogPanel::SingleChannel << u"2011"_s << 3 << QByteArray() << 0;
}

void TestAnalogOutput::failedReadBackFallsBack()
{
    QFETCH(AnalogPanel, panel);
    QFETCH(QString, model);
    QFETCH(int, rangeIndex);
    QFETCH(QByteArray, silent);
    Rig rig;
    SharedState &state = rig.search.state;
    state.Conv[5].OutValue = 7.25f;
    rig.openFromFound(model, rangeIndex);
    if (!silent.isEmpty())
        rig.search.overrides[silent] = QByteArray();
    auto logic = rig.panel(panel);
    logic.load();
    QVERIFY(!logic.readBack());
    QTEST(rig.search.prompt.beeps(), "beeps");
    QCOMPARE(QString::fromLatin1(logic.range().caption), u"Output Range: 0 to 10 V"_s);
    QCOMPARE(logic.rangeCode(), panel == AnalogPanel::SingleChannel ? 2 : -1);
    QCOMPARE(logic.outputText(), u"7.25"_s);
    // 7.25 / 0.1 in 32-bit floats falls just below 72.5.
    QCOMPARE(logic.position(), 72);
    // The port is closed again whatever failed.
    QVERIFY(!rig.search.link.isOpen(state.ComPort));
    QVERIFY(silent.isEmpty() || rig.search.log.last() == u"close"_s);
}

void TestAnalogOutput::buttonsHandBackTheChoice()
{
    Rig rig;
    SharedState &state = rig.search.state;
    state.ModelName = u"2011      "_s;
    state.FoundIndex = qint16(rig.foundIndex(u"9028"_s)); // clicked, not double-clicked
    auto logic = rig.panel(AnalogPanel::SingleChannel);
    logic.load();
    // Opened by hand: no traffic, 0 to 10 V, and the chosen type's name.
    QVERIFY(rig.search.log.isEmpty());
    QCOMPARE(logic.rangeCode(), 2);
    QCOMPARE(logic.caption(), u"Setting 2011      "_s);

    LinkRecord &link = state.Link[5];
    link = {u"Old"_s, u"Old"_s, u"Old"_s, 2};
    logic.useDdeLink(u"Plant"_s, QString(), u"Level"_s);
    QCOMPARE(link.Linked, qint16(0));
    QCOMPARE(link.Service, u"Old"_s);
    logic.useDdeLink(u"Plant"_s, u"Values"_s, u"Level"_s);
    QCOMPARE(link.Linked, qint16(1));
    QCOMPARE(link.Service + link.Topic + link.Item, u"PlantValuesLevel"_s);
    QCOMPARE(rig.search.prompt.beeps(), 2);

    logic.setPosition(33);
    logic.useAssigned();
    QCOMPARE(link.Linked, qint16(2));
    QCOMPARE(state.AssignValue, 3.3f);
    logic.useReadBack();
    QCOMPARE(link.Linked, qint16(0));

    state.DialogState = 1;
    state.PanelFromFound = 1;
    logic.close(false);
    QCOMPARE(state.DialogState, qint16(1));
    QCOMPARE(state.PanelFromFound, qint16(0));
    state.PanelFromFound = 1;
    logic.close(true);
    QCOMPARE(state.DialogState, qint16(2));
    QCOMPARE(state.PanelFromFound, qint16(0));
}

void TestAnalogOutput::channelsOfTheModel_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("channels");
    QTest::newRow("2046") << 8 << 2;
    QTest::newRow("2028") << 9 << 4;
    QTest::newRow("9010") << 30 << 1;
    QTest::newRow("92028") << 68 << 4;
    QTest::newRow("2011") << 7 << 1;
}

void TestAnalogOutput::channelsOfTheModel()
{
    QFETCH(int, entry);
    const auto panel = analogPanelOfListEntry(entry);
    QVERIFY(panel);
    Rig rig;
    rig.search.state.ModelName =
        catalogue::normaliseName(catalogue::listText(entry)).leftJustified(10);
    auto logic = rig.panel(*panel);
    logic.load();
    QTEST(logic.channelCount(), "channels");
    logic.chooseChannel(logic.channelCount()); // not shown, not chosen
    QCOMPARE(rig.search.state.OutChannels, qint16(0));
    // No other entry opens one of these panels.
    QVERIFY(!analogPanelOfListEntry(67));
    QVERIFY(!analogPanelOfListEntry(69));
}

QTEST_GUILESS_MAIN(TestAnalogOutput)
#include "tst_analogoutput.moc"
