// Start, stop and the tick of the server on the simulated line, with virtual
// time: which conversation goes to which item, when the port is re-opened,
// when the status line is cleared, and what the commands do in each state.

#include "server/polltimer.h"
#include "server/serverrig.h"

#include <QtTest>

using namespace telviox;
using namespace telviox::test;

namespace {

const QString Critical = QStringLiteral("Please establishing the Conversation firstly !!!");

// Ticks the boxes, sets the interval scroll bar and starts the server.
void start(ServerRig &rig, const QList<int> &ticked, int interval = 1000)
{
    for (int n : ticked)
        rig.establish.setChecked(n, true);
    intervalChanged(rig.state, interval);
    rig.cycle.mnuRunDDE_Click();
}

} // namespace

class PollCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void runWithNothingTicked();
    void runStartsTheServer();
    void runWhenThePortFails_data();
    void runWhenThePortFails();

    void itemsFollowThePolledConversations();
    void clearedTypeCodeGoesToTheGenericRoutine();
    void portReopensOnlyOnRateChanges_data();
    void portReopensOnlyOnRateChanges();
    void statusLineClearing_data();
    void statusLineClearing();
    void digitalOutputErrorKeepsServing();

    void quitClosesTwiceAndBeepsTwice();
    void closeBoxRunsTheClosingStepsOnce();
    void trayCommandsDependOnTheState();
    void startHiddenMinimisesAndHides();
    void timerFollowsTheServer();
};

// ---------------------------------------------------------------------------
// Start

void PollCycleTest::runWithNothingTicked()
{
    ServerRig rig;
    rig.state.PollEnabled[3] = 1;
    intervalChanged(rig.state, 700);
    rig.state.Link[IntervalEntry].Service = QStringLiteral("stale");
    rig.prompt.expect(Critical, 0x10, QString(), Answer::Ok);

    rig.cycle.mnuRunDDE_Click();

    QVERIFY2(rig.prompt.problems().isEmpty(), qPrintable(rig.prompt.problems().join('\n')));
    QCOMPARE(rig.prompt.beeps(), 2);
    // The settings entry is rewritten before the check.
    QCOMPARE(rig.state.Link[IntervalEntry].Service, QStringLiteral("Timer Interval"));
    QCOMPARE(rig.state.Link[IntervalEntry].Linked, qint16(700));
    // Nothing else happens.
    QCOMPARE(rig.state.PollEnabled[3], quint8(1));
    QCOMPARE(rig.portLog, QStringList());
    QCOMPARE(rig.view.shown, 0);
    QCOMPARE(rig.state.ServerRunning, qint16(0));
    QVERIFY(!rig.cycle.timerEnabled());
}

void PollCycleTest::runStartsTheServer()
{
    ServerRig rig;
    rig.configure(3, QStringLiteral("2026"), 11, 19200);
    rig.configure(7, QStringLiteral("2026"), 1, 9600);
    rig.state.PollEnabled[0] = 1;   // from an earlier run
    const qint64 before = rig.clock.tickCount();

    start(rig, {3, 7}, 250);

    QVERIFY2(rig.prompt.problems().isEmpty(), qPrintable(rig.prompt.problems().join('\n')));
    QCOMPARE(rig.prompt.beeps(), 1);
    for (int n = 0; n < ConvCount; ++n)
        QCOMPARE(rig.state.PollEnabled[std::size_t(n)], quint8(n == 3 || n == 7 ? 1 : 0));
    // The port opens at the rate of the first ticked conversation.
    QCOMPARE(rig.state.OpenBaud, 19200);
    QCOMPARE(rig.portLog, QStringList{"open 19200"});
    QCOMPARE(rig.link.openBaud(1), 19200);
    QVERIFY(rig.clock.tickCount() - before >= 100);
    QCOMPARE(rig.state.PollInterval, qint16(250));
    QCOMPARE(rig.view.shown, 1);
    QVERIFY(!rig.view.menusEnabled);
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.cycle.timerInterval(), 250);
    QVERIFY(rig.cycle.timerEnabled());
}

void PollCycleTest::runWhenThePortFails_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("carry on") << false;
    QTest::newRow("quit") << true;
}

void PollCycleTest::runWhenThePortFails()
{
    QFETCH(bool, quit);
    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1, 12345);   // a rate no port takes
    rig.prompt.expect(QStringLiteral("Quit this demo?"), 4,
                      QStringLiteral("OPEN_COM Error Code: 3"), quit ? Answer::Yes : Answer::No);

    start(rig, {0}, 500);

    QVERIFY2(rig.prompt.problems().isEmpty(), qPrintable(rig.prompt.problems().join('\n')));
    QCOMPARE(rig.prompt.beeps(), 2);
    QCOMPARE(rig.quits, quit ? 1 : 0);
    QCOMPARE(rig.view.shown, quit ? 0 : 1);
    QCOMPARE(rig.state.ServerRunning, qint16(quit ? 0 : 1));
    QCOMPARE(rig.cycle.timerEnabled(), !quit);
    QVERIFY(!rig.link.isOpen(1));
    if (quit)
        return;

    // Running with the port closed, every routine reports its own errors.
    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.status.text,
             QStringLiteral("Error in Module: 2026  Error Code:  8    COM Port not open !"));
}

// ---------------------------------------------------------------------------
// The tick

void PollCycleTest::itemsFollowThePolledConversations()
{
    ServerRig rig;
    rig.configure(0, QStringLiteral("2017"), 6).IoType = 1;   // configured, not ticked
    rig.configure(2, QStringLiteral("2026"), 1);
    rig.configure(5, QStringLiteral("2091"), 2, 9600, 0x80);
    rig.configure(9, QStringLiteral("2032"), 5, 9600, 1);
    rig.line->setCounter(5, 0, 99, 0);
    start(rig, {2, 5, 9});
    for (int n = 1; n <= 32; ++n)
        rig.items.texts[std::size_t(n)] = QStringLiteral("poked");
    rig.line->clearCommands();

    rig.cycle.Timer1_Timer();

    QCOMPARE(rig.items.writes, (QList<int>{1, 2, 3}));
    QCOMPARE(rig.items.texts[1], QStringLiteral("1.500 "));
    QCOMPARE(rig.items.texts[2], QStringLiteral("+1.500 ") + QString(49, QLatin1Char(' ')));
    QCOMPARE(rig.items.texts[3], QStringLiteral("000000099        "));
    for (int n = 4; n <= 32; ++n)
        QCOMPARE(rig.items.texts[std::size_t(n)], QStringLiteral("poked"));
    for (const QByteArray &command : rig.line->commands())
        QVERIFY2(!command.startsWith("$06"), command.constData());
    QCOMPARE(rig.view.eventRuns, 1);

    // The blank changes sides on the next tick.
    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.items.texts[1], QStringLiteral(" 1.500"));
    QCOMPARE(rig.items.texts[3], QStringLiteral(" 000000099       "));
    QCOMPARE(rig.view.eventRuns, 2);

    // Ticking another box while running changes nothing until the next start.
    rig.establish.setChecked(0, true);
    rig.items.writes.clear();
    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.items.writes, (QList<int>{1, 2, 3}));
}

void PollCycleTest::clearedTypeCodeGoesToTheGenericRoutine()
{
    ServerRig rig;
    ConvRecord &cleared = rig.configure(0, QStringLiteral("2017"), 6, 9600, 0);
    cleared.TypeCode = 0;
    cleared.IoType = 2;
    cleared.OutData = 0x12;
    start(rig, {0});

    rig.cycle.Timer1_Timer();

    QCOMPARE(rig.items.texts[1], QStringLiteral("12 "));
    QCOMPARE(rig.status.text,
             QStringLiteral("Error in Module: 0000  Error Code:  17    ModuleID Error !"));
}

void PollCycleTest::portReopensOnlyOnRateChanges_data()
{
    QTest::addColumn<QList<int>>("rates");
    QTest::addColumn<QStringList>("firstTick");
    QTest::addColumn<QStringList>("laterTicks");

    const QStringList to19200 = {"close", "open 19200"};
    const QStringList to9600 = {"close", "open 9600"};
    QTest::newRow("9600, 19200, 9600")
        << QList<int>{9600, 19200, 9600} << to19200 + to9600 << to19200 + to9600;
    QTest::newRow("9600, 9600, 19200")
        << QList<int>{9600, 9600, 19200} << to19200 << to9600 + to19200;
    QTest::newRow("one rate") << QList<int>{19200, 19200, 19200} << QStringList()
                              << QStringList();
}

void PollCycleTest::portReopensOnlyOnRateChanges()
{
    QFETCH(QList<int>, rates);
    QFETCH(QStringList, firstTick);
    QFETCH(QStringList, laterTicks);

    ServerRig rig;
    QList<int> ticked;
    for (int n = 0; n < rates.size(); ++n) {
        // Conversations 0, 2, 4: an unpolled one between them changes nothing.
        rig.configure(2 * n, QStringLiteral("2026"), rates[n] == 9600 ? 1 : 11, rates[n]);
        ticked << 2 * n;
    }
    rig.configure(1, QStringLiteral("2026"), 11, 19200);
    rig.configure(3, QStringLiteral("2026"), 11, 115200);
    start(rig, ticked);
    rig.portLog.clear();

    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.portLog, firstTick);
    for (int tick = 0; tick < 2; ++tick) {
        rig.portLog.clear();
        rig.cycle.Timer1_Timer();
        QCOMPARE(rig.portLog, laterTicks);
    }
    // Every module was reached at its own rate.
    QCOMPARE(rig.status.history, QStringList());
    for (int n = 1; n <= rates.size(); ++n) {
        QCOMPARE(rig.items.texts[std::size_t(n)],
                 rates[n - 1] == 9600 ? QStringLiteral("1.500 ") : QStringLiteral("-3.125 "));
    }
}

void PollCycleTest::statusLineClearing_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("clearedAt");

    // 2000 / 50 = 40: cleared when the check finds 41, every 41 ticks.
    QTest::newRow("50 ms") << 50 << 130 << QList<int>{42, 83, 124};
    // 2000 / 2000 = 1: cleared when the check finds 2.
    QTest::newRow("2000 ms") << 2000 << 9 << QList<int>{3, 5, 7, 9};
    // 2000 / 10000 = 0.2: every tick but the first.
    QTest::newRow("10000 ms") << 10000 << 6 << QList<int>{2, 3, 4, 5, 6};
}

void PollCycleTest::statusLineClearing()
{
    QFETCH(int, interval);
    QFETCH(int, ticks);
    QFETCH(QList<int>, clearedAt);

    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1);
    start(rig, {0}, interval);
    QList<int> cleared;
    for (int tick = 1; tick <= ticks; ++tick) {
        rig.status.setStatusText(QStringLiteral("Error in Module: 2026"));
        rig.cycle.Timer1_Timer();
        if (rig.status.text.isEmpty())
            cleared << tick;
    }
    QCOMPARE(cleared, clearedAt);
}

void PollCycleTest::digitalOutputErrorKeepsServing()
{
    ServerRig rig;
    ConvRecord &missing = rig.configure(0, QStringLiteral("92035"), 0x44, 9600, 2);
    missing.IoType = 2;
    missing.OutData = 1;
    rig.configure(1, QStringLiteral("2026"), 1);
    start(rig, {0, 1});
    const int beepsBefore = rig.prompt.beeps();

    rig.cycle.Timer1_Timer();
    rig.cycle.Timer1_Timer();

    QCOMPARE(rig.quits, 0);
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.prompt.beeps() - beepsBefore, 2);
    QCOMPARE(rig.status.text,
             QStringLiteral("Error in Module: 92035  Error Code:  15    Time Out !"));
    QCOMPARE(rig.items.texts[1], QStringLiteral(" 1"));
    QCOMPARE(rig.items.texts[2], QStringLiteral(" 1.500"));
}

// ---------------------------------------------------------------------------
// Stop and the commands around it

void PollCycleTest::quitClosesTwiceAndBeepsTwice()
{
    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1);
    start(rig, {0});
    rig.cycle.Timer1_Timer();
    for (ConvRecord &record : rig.state.Conv)
        record.LinkActive = 1;
    const int beepsBefore = rig.prompt.beeps();
    rig.portLog.clear();

    rig.cycle.form5quitCmd_Click();

    QCOMPARE(rig.prompt.beeps() - beepsBefore, 2);
    QCOMPARE(rig.portLog, QStringList{"close"});
    QVERIFY(!rig.link.isOpen(1));
    for (const ConvRecord &record : rig.state.Conv)
        QCOMPARE(record.LinkActive, qint16(0));
    QCOMPARE(rig.view.unloaded, 1);
    QCOMPARE(rig.state.ServerRunning, qint16(0));
    QVERIFY(rig.view.menusEnabled);
    QCOMPARE(rig.cycle.timerInterval(), 0);
    QVERIFY(!rig.cycle.timerEnabled());

    // The window reporting its close afterwards does not run the steps again.
    rig.cycle.serverWindowClosed();
    QCOMPARE(rig.prompt.beeps() - beepsBefore, 2);

    // The server starts again afterwards.
    rig.cycle.mnuRunDDE_Click();
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.view.shown, 2);
}

void PollCycleTest::closeBoxRunsTheClosingStepsOnce()
{
    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1);
    start(rig, {0});
    rig.state.Conv[0].LinkActive = 1;
    const int beepsBefore = rig.prompt.beeps();

    rig.cycle.serverWindowClosed();
    rig.cycle.serverWindowClosed();

    QCOMPARE(rig.prompt.beeps() - beepsBefore, 1);
    QVERIFY(!rig.link.isOpen(1));
    QCOMPARE(rig.state.Conv[0].LinkActive, qint16(0));
    QCOMPARE(rig.state.ServerRunning, qint16(0));
    QVERIFY(rig.view.menusEnabled);
    QVERIFY(!rig.cycle.timerEnabled());
    QCOMPARE(rig.view.unloaded, 0);
}

void PollCycleTest::trayCommandsDependOnTheState()
{
    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1);
    rig.establish.setChecked(0, true);
    intervalChanged(rig.state, 300);

    // Stopped: stop and open do nothing.
    rig.cycle.mnustopDDE_Click();
    rig.cycle.mnuDDE_Click();
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.view.unloaded, 0);
    QCOMPARE(rig.view.restored, 0);
    QCOMPARE(rig.portLog, QStringList());

    // Run starts it.
    rig.cycle.mnuRun_Click();
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.view.shown, 1);
    QCOMPARE(rig.prompt.beeps(), 1);

    // Running: run again does nothing, not even the settings entry.
    intervalChanged(rig.state, 900);
    rig.cycle.mnuRun_Click();
    QCOMPARE(rig.view.shown, 1);
    QCOMPARE(rig.prompt.beeps(), 1);
    QCOMPARE(rig.state.PollInterval, qint16(300));
    rig.cycle.mnuDDE_Click();
    QCOMPARE(rig.view.restored, 1);

    rig.cycle.mnustopDDE_Click();
    QCOMPARE(rig.state.ServerRunning, qint16(0));
    QCOMPARE(rig.view.unloaded, 1);
    QCOMPARE(rig.prompt.beeps(), 3);
}

void PollCycleTest::startHiddenMinimisesAndHides()
{
    ServerRig rig;
    rig.state.StartHidden = 1;
    rig.cycle.serverWindowResized(false);
    QCOMPARE(rig.state.StartHidden, qint16(0));
    QCOMPARE(rig.view.minimised, 1);
    QCOMPARE(rig.view.hidden, 1);

    // Afterwards only a minimised window is hidden.
    rig.cycle.serverWindowResized(false);
    QCOMPARE(rig.view.hidden, 1);
    rig.cycle.serverWindowResized(true);
    QCOMPARE(rig.view.minimised, 1);
    QCOMPARE(rig.view.hidden, 2);
}

void PollCycleTest::timerFollowsTheServer()
{
    ServerRig rig;
    rig.configure(0, QStringLiteral("2026"), 1);
    PollTimer timer(rig.cycle);
    QVERIFY(!timer.isActive());

    start(rig, {0}, 450);
    QVERIFY(timer.isActive());
    QCOMPARE(timer.interval(), 450);

    rig.cycle.form5quitCmd_Click();
    QVERIFY(!timer.isActive());
}

QTEST_GUILESS_MAIN(PollCycleTest)
#include "tst_pollcycle.moc"
