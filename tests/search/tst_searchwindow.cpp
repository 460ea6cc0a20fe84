// The search window offscreen, on the simulated line with virtual time: it
// searches once it is up, lists what it finds, and its close box and the
// settings command act on the running search.

#include "core/programnames.h"
#include "search/windows/searchwindow.h"
#include "searchrig.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

using namespace telviox;
using namespace telviox::test;

namespace {

const QByteArray Line = R"({"modules": [
    {"name": "2011", "address": 1, "range": "30"},
    {"name": "9000", "address": 2, "slots": [{"slot": 2, "name": "9040"}]},
    {"name": "2073", "address": 200}]})";

QStringList listed(const SearchWindow &window)
{
    QStringList lines;
    const auto *list = window.findChild<QListWidget *>("moduleList");
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

QString labelText(const SearchWindow &window, const char *name)
{
    return window.findChild<QLabel *>(name)->text();
}

} // namespace

class SearchWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void searchesWhenShown();
    void closeBoxAsks_data();
    void closeBoxAsks();
    void settingsCommandStopsTheOpenWindow();
};

void SearchWindowTest::searchesWhenShown()
{
    SearchRig rig(Line);
    SearchWindow window(rig.context);
    window.show();
    QCoreApplication::processEvents();

    QCOMPARE(window.windowTitle(), QString("The Found Out Q-2000/9000 module ..."));
    QCOMPARE(listed(window), rig.foundLines());
    QVERIFY(listed(window).at(2).startsWith("9040    S2"));
    QCOMPARE(labelText(window, "comLabel"), QString("COM1"));
    QCOMPARE(labelText(window, "decaddressLabel"), QString(" 255[dec]"));
    QCOMPARE(window.findChild<QProgressBar *>("ProgressBar1")->value(), 255);
    QCOMPARE(rig.prompt.beeps(), 1);
}

void SearchWindowTest::closeBoxAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << int(Answer::Yes);
    QTest::newRow("no") << int(Answer::No);
}

void SearchWindowTest::closeBoxAsks()
{
    QFETCH(int, answer);
    SearchRig rig(R"({"modules": []})", {});
    SearchWindow window(rig.context);
    window.show();
    QCoreApplication::processEvents();
    rig.prompt.expect("To Exit Searching ?", BoxStyle::YesNo | BoxStyle::Question, ProgramTitle,
                      Answer(answer));
    window.close();
    QCOMPARE(rig.prompt.problems(), QStringList());
    QCOMPARE(window.isVisible(), answer == int(Answer::No));
    QCOMPARE(rig.state.Found.StopFlag, 1);
}

void SearchWindowTest::settingsCommandStopsTheOpenWindow()
{
    SearchRig rig(Line);
    // With no window open only the flag is set.
    rig.state.Found.StopFlag = 0;
    stopSearchForSettings(rig.state);
    QCOMPARE(rig.state.Found.StopFlag, 1);

    SearchWindow window(rig.context);
    window.show();
    QTimer::singleShot(0, &window, [&] { stopSearchForSettings(rig.state); });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(window.windowTitle(), QString("The Found Out Q-2000 module ..."));
    QCOMPARE(labelText(window, "Label10"), QString("Stopping !!!"));
    QCOMPARE(window.findChild<QProgressBar *>("ProgressBar1")->isVisible(), false);
    QCOMPARE(rig.frames(), QStringList{"$00M"});

    // The program's end closes the window of a stopped search at once.
    endSearchWindow();
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(SearchWindowTest)
#include "tst_searchwindow.moc"
