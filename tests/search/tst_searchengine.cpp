// The search over addresses and rates on the simulated line, on virtual time:
// its traffic and waits, the checksum retry, names, the 200-entry limit and
// the stop, exit and close requests that arrive while it runs.

#include "core/programnames.h"
#include "searchrig.h"

#include <QRegularExpression>
#include <QTest>

using namespace telviox;
using namespace telviox::test;

namespace {

const QByteArray EmptyLine = R"({"modules": []})";

// A line of digital modules at addresses 0 upwards, then the given modules.
QByteArray crowdedLine(int count, const QByteArray &more = {})
{
    QByteArray json = "{\"modules\": [";
    for (int address = 0; address < count; ++address)
        json += "{\"name\": \"2073\", \"address\": " + QByteArray::number(address) + "},";
    json += more.isEmpty() ? QByteArray("{\"name\": \"2073\", \"address\": 255}") : more;
    return json + "]}";
}

} // namespace

class SearchEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void trafficAndWaits_data();
    void trafficAndWaits();
    void checksumRetry_data();
    void checksumRetry();
    void names_data();
    void names();
    void variantMainUnitKeepsItsSlotLines();
    void mainUnitAtTheLimitKeepsItsSlots();
    void requestsWhileSearching_data();
    void requestsWhileSearching();
    void startPressedAfterStopRestarts();
    void newSearchClearsTheLast();
};

void SearchEngineTest::trafficAndWaits_data()
{
    QTest::addColumn<QList<qint32>>("rates");
    QTest::addColumn<QStringList>("firstEntries");
    QTest::addColumn<int>("opens");

    // Nothing answers: every exchange waits its full 400 ms.
    QTest::newRow("one rate: opened once, 50 ms between commands")
        << QList<qint32>{9600} << QStringList{"open 9600", "@300 $00M", "@750 $01M", "@1200 $02M"}
        << 1;
    QTest::newRow("two rates: re-opened at every change, 300 ms after each")
        << QList<qint32>{1200, 115200}
        << QStringList{"open 115200", "@300 $00M", "close",       "open 1200",
                       "@1000 $00M",  "close",     "open 115200", "@1700 $01M"}
        << 512;
}

void SearchEngineTest::trafficAndWaits()
{
    QFETCH(QList<qint32>, rates);
    QFETCH(QStringList, firstEntries);
    QFETCH(int, opens);

    SearchRig rig(EmptyLine, rates);
    rig.engine.StartSearch();

    QCOMPARE(rig.log.mid(0, firstEntries.size()), firstEntries);
    QCOMPARE(rig.log.filter(QRegularExpression("^open")).size(), opens);
    QCOMPARE(rig.frames().size(), 256 * rates.size());
    QCOMPARE(rig.frames().last(), QString("$FFM"));
    QCOMPARE(rig.log.last(), QString("close"));
    QCOMPARE(rig.view.caption, SearchEngine::completedCaption());
    QVERIFY(!rig.view.red);
    QCOMPARE(rig.view.eventRuns, 256 * rates.size());
    QCOMPARE(rig.prompt.beeps(), 1);
    QCOMPARE(rig.state.Found.StopFlag, 1);
    QCOMPARE(rig.state.Found.FoundCount, 0);
}

void SearchEngineTest::checksumRetry_data()
{
    QTest::addColumn<bool>("searchChecksum");
    QTest::addColumn<bool>("badChecksum"); // the module's checksums are wrong
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("found");

    QTest::newRow("not asked for") << false << false << QStringList{"$00M", "$01M", "$02M"} << 1;
    QTest::newRow("retried with checksum")
        << true << false << QStringList{"$00M", "$00M+", "$01M", "$01M+", "$02M"} << 2;
    // A reply the link rejects is no module, even though it begins with "!".
    QTest::newRow("reply with a wrong checksum")
        << true << true << QStringList{"$00M", "$00M+", "$01M", "$01M+", "$02M"} << 1;
}

void SearchEngineTest::checksumRetry()
{
    QFETCH(bool, searchChecksum);
    QFETCH(bool, badChecksum);
    QFETCH(QStringList, frames);
    QFETCH(int, found);

    SearchRig rig(R"({"modules": [{"name": "2041", "address": 1, "checksum": true},
                                  {"name": "2041", "address": 2}]})");
    rig.state.SearchChecksum = searchChecksum ? 1 : 0;
    if (badChecksum) {
        sim::Fault fault;
        fault.kind = sim::Fault::Kind::BadChecksum;
        rig.line->setFault(1, fault);
    }
    rig.engine.StartSearch();

    QStringList names;
    for (const QString &frame : rig.frames()) {
        if (frame.contains('M'))
            names << frame;
    }
    QCOMPARE(names.mid(0, frames.size()), frames);
    QCOMPARE(int(rig.state.Found.FoundCount), found);
    if (found == 2) {
        QCOMPARE(int(rig.record(0).Checksum), 1);
        QCOMPARE(rig.frames(1), QStringList{"$012+"});
        QVERIFY(rig.foundLines().at(0).contains("Enable "));
        QCOMPARE(int(rig.record(1).Checksum), 0);
    }
}

void SearchEngineTest::names_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("modelName");

    QTest::newRow("LED display variant") << QByteArray("!012026D") << "2026D ";
    QTest::newRow("92000 family") << QByteArray("!0192091") << "92091 ";
    QTest::newRow("plain four digits") << QByteArray("!012026") << "2026  ";
    QTest::newRow("W in the eighth place") << QByteArray("!01ABCDW1") << "ABCDW1 ";
    QTest::newRow("short name") << QByteArray("!01AB") << "AB    ";
}

void SearchEngineTest::names()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, modelName);

    SearchRig rig(EmptyLine);
    // Nothing but the name is answered; the decoding's boxes are not looked at.
    rig.overrides["$01M"] = reply;
    rig.engine.StartSearch();

    QCOMPARE(rig.state.Found.FoundCount, 1);
    QCOMPARE(rig.record(0).ModelName, modelName);
    QVERIFY2(rig.foundLines().at(0).startsWith(modelName + "1[1]     9600"),
             qPrintable(rig.foundLines().at(0)));
}

void SearchEngineTest::variantMainUnitKeepsItsSlotLines()
{
    // A main unit reporting a letter after its digits is still a main unit:
    // no line of the search's own overwrites its last slot line.
    SearchRig rig(EmptyLine);
    rig.overrides["$05M"] = "!059000D";
    rig.overrides["$05T"] = "!05FF40FFFF";
    rig.engine.StartSearch();
    QCOMPARE(rig.state.Found.FoundCount, 2);
    QVERIFY(rig.foundLines().at(0).startsWith("9000D 5[5]     9600"));
    QVERIFY(rig.foundLines().at(1).startsWith("9040    S1     9600"));
    QCOMPARE(rig.view.lines, rig.foundLines());
}

void SearchEngineTest::mainUnitAtTheLimitKeepsItsSlots()
{
    SearchRig rig(crowdedLine(198, R"({"name": "9900", "address": 198, "slots": [
        {"slot": 0, "name": "9040"}, {"slot": 1, "name": "9040"}, {"slot": 2, "name": "9040"},
        {"slot": 4, "name": "9040"}, {"slot": 5, "name": "9040"}, {"slot": 6, "name": "9040"},
        {"slot": 7, "name": "9040"}]}, {"name": "2073", "address": 199})"));
    rig.prompt.expect("The Largest Found Module Count is 200 !",
                      BoxStyle::Information | BoxStyle::Ok, QString(), Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(int(rig.state.Found.FoundCount), 198 + 1 + 7);
    QCOMPARE(rig.view.lines.size(), 206);
    QVERIFY(rig.foundLines().at(198).startsWith("9900  198[C6]  9600"));
    QVERIFY(rig.foundLines().last().startsWith("9040    S7"));
    QVERIFY(!rig.frames().contains("$C7M"));
    QCOMPARE(rig.view.caption, SearchEngine::searchingCaption());
}

void SearchEngineTest::requestsWhileSearching_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("answer"); // Answer to the question, 0 for none
    QTest::addColumn<bool>("completes");
    QTest::addColumn<int>("closes");
    QTest::addColumn<QString>("caption");

    QTest::newRow("stop") << "stop" << 0 << false << 0 << SearchEngine::stoppedCaption();
    QTest::newRow("exit, yes") << "exit" << int(Answer::Yes) << false << 1
                               << SearchEngine::searchingCaption();
    QTest::newRow("exit, no") << "exit" << int(Answer::No) << true << 0
                              << SearchEngine::completedCaption();
    QTest::newRow("start again") << "start" << int(Answer::Ok) << true << 0
                                 << SearchEngine::completedCaption();
    QTest::newRow("close box, no")
        << "close" << int(Answer::No) << false << 0 << SearchEngine::searchingCaption();
    QTest::newRow("settings") << "settings" << 0 << false << 0 << SearchEngine::settingsCaption();
    QTest::newRow("program ends") << "shutdown" << 0 << false << 1
                                  << SearchEngine::searchingCaption();
}

void SearchEngineTest::requestsWhileSearching()
{
    QFETCH(QString, request);
    QFETCH(int, answer);
    QFETCH(bool, completes);
    QFETCH(int, closes);
    QFETCH(QString, caption);

    SearchRig rig(crowdedLine(8));
    if (request == "exit")
        rig.prompt.expect("Sure To Exit Searching ?", BoxStyle::YesNo | BoxStyle::Exclamation,
                          ProgramTitle, Answer(answer));
    if (request == "start")
        rig.prompt.expect("Now is on searching !", BoxStyle::Exclamation | BoxStyle::Ok,
                          ProgramTitle, Answer(answer));
    if (request == "close")
        rig.prompt.expect("To Exit Searching ?", BoxStyle::YesNo | BoxStyle::Question, ProgramTitle,
                          Answer(answer));
    // The operator acts while the module at address 5 is being handled.
    bool acted = false;
    rig.view.onEvents = [&] {
        if (acted || rig.view.decimal != " 05[dec]")
            return;
        acted = true;
        if (request == "stop")
            rig.engine.Toolbar1_ButtonClick(3);
        else if (request == "exit")
            rig.engine.Toolbar1_ButtonClick(4);
        else if (request == "start")
            rig.engine.Toolbar1_ButtonClick(2);
        else if (request == "close")
            QVERIFY(!rig.engine.Form_QueryUnload());
        else if (request == "settings")
            rig.engine.stopForSettings();
        else
            rig.engine.stopAndUnload();
    };
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QVERIFY(acted);
    QCOMPARE(rig.view.caption, caption);
    QCOMPARE(rig.view.closes, closes);
    QCOMPARE(rig.state.Found.StopFlag, 1);
    QCOMPARE(rig.log.last(), QString("close"));
    if (completes) {
        QCOMPARE(rig.frames().filter("M").last(), QString("$FFM"));
        QCOMPARE(rig.state.Found.FoundCount, 9);
    } else {
        // The module at hand is kept; nothing after it is sent.
        QCOMPARE(rig.frames().last(), QString("$052"));
        QCOMPARE(rig.state.Found.FoundCount, 6);
        QCOMPARE(rig.prompt.beeps(), request == "exit" || request == "close" ? 2 : 1);
    }
}

void SearchEngineTest::startPressedAfterStopRestarts()
{
    SearchRig rig(crowdedLine(2));
    bool acted = false;
    rig.view.onEvents = [&] {
        if (acted || rig.view.decimal != " 01[dec]")
            return;
        acted = true;
        rig.engine.Toolbar1_ButtonClick(3);
        rig.engine.Toolbar1_ButtonClick(2);
        // Pressed again before the stopped search has unwound: still one.
        rig.engine.Toolbar1_ButtonClick(2);
    };
    rig.prompt.expect("Now is on searching !", BoxStyle::Exclamation | BoxStyle::Ok, ProgramTitle,
                      Answer::Ok);
    rig.engine.StartSearch();

    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(rig.frames().count("$00M"), 2);
    QCOMPARE(rig.frames().filter("M").last(), QString("$FFM"));
    QCOMPARE(rig.view.caption, SearchEngine::completedCaption());
    QCOMPARE(rig.state.Found.FoundCount, 3);
}

void SearchEngineTest::newSearchClearsTheLast()
{
    SearchRig rig(crowdedLine(4));
    rig.engine.StartSearch();
    QCOMPARE(rig.state.Found.FoundCount, 5);
    rig.line->setFault(255, {sim::Fault::Kind::NoReply});
    rig.engine.StartSearch();
    QCOMPARE(rig.state.Found.FoundCount, 4);
    QCOMPARE(rig.view.lines.size(), 4);
    QVERIFY(rig.state.Found.ResultLines[4].isEmpty());
    QVERIFY(rig.record(4).ModelName.isEmpty());
    QCOMPARE(rig.record(4).Address, 0);
}

QTEST_GUILESS_MAIN(SearchEngineTest)
#include "tst_searchengine.moc"
