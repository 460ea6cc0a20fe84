// Start, stop and the tick of the server on the simulated line with virtual
// time: which conversation goes to which item, when the port is re-opened,
// when the status line is cleared, and what the commands do in each state.

#include "server/polltimer.h"
#include "server/serverrig.h"

#include <QtTest>

using namespace telviox;
using namespace Qt::StringLiterals;
using namespace telviox::test;

class PollCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void itemsFollowThePolledConversations();
    void portReopensOnlyOnRateChanges_data();
    void portReopensOnlyOnRateChanges();
    void statusLineClearing_data();
    void statusLineClearing();
    void errorsKeepServing();
    void trayCommandsDependOnTheState();
};

void PollCycleTest::itemsFollowThePolledConversations()
{
    ServerRig rig;
    rig.configure(0, u"2017"_s, 6).IoType = 1; // configured, not ticked
    rig.configure(2, u"2026"_s, 1);
    rig.configure(5, u"2091"_s, 2, 9600, 0x80);
    rig.configure(9, u"2032"_s, 5, 9600, 1);
    rig.line->setCounter(5, 0, 99, 0);
    rig.start({2, 5, 9});
    for (QString &text : rig.items.texts)
        text = u"poked"_s;

    rig.cycle.Timer1_Timer();

    QCOMPARE(rig.items.writes, (QList<int>{1, 2, 3}));
    QCOMPARE(rig.items.texts[1], u"1.500 "_s);
    QCOMPARE(rig.items.texts[2], u"+1.500 "_s + QString(49, QLatin1Char(' ')));
    QCOMPARE(rig.items.texts[3], u"000000099        "_s);
    for (int n = 4; n <= 32; ++n)
        QCOMPARE(rig.items.texts[std::size_t(n)], u"poked"_s);

    // The blank changes sides on the next tick.
    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.items.texts[1], u" 1.500"_s);
    // Ticking another box while running changes nothing until the next start.
    rig.establish.setChecked(0, true);
    rig.items.writes.clear();
    rig.cycle.Timer1_Timer();
    QCOMPARE(rig.items.writes, (QList<int>{1, 2, 3}));
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
}

void PollCycleTest::portReopensOnlyOnRateChanges()
{
    QFETCH(QList<int>, rates);
    QFETCH(QStringList, firstTick);
    QFETCH(QStringList, laterTicks);
    ServerRig rig;
    QList<int> ticked;
    for (int n = 0; n < rates.size(); ++n) {
        // Conversations 0, 2, 4: the unpolled ones between change nothing.
        rig.configure(2 * n, u"2026"_s, rates[n] == 9600 ? 1 : 11, rates[n]);
        ticked << 2 * n;
    }
    rig.configure(1, u"2026"_s, 11, 19200);
    rig.configure(3, u"2026"_s, 11, 115200);
    rig.start(ticked);
    // The port opens at the rate of the first polled conversation.
    QCOMPARE(rig.portLog, QStringList{u"open %1"_s.arg(rates[0])});
    for (int tick = 0; tick < 3; ++tick) {
        rig.portLog.clear();
        rig.cycle.Timer1_Timer();
        QCOMPARE(rig.portLog, tick == 0 ? firstTick : laterTicks);
    }
    // Every module was reached at its own rate.
    QCOMPARE(rig.status.history, QStringList());
    for (int n = 1; n <= rates.size(); ++n)
        QCOMPARE(rig.items.texts[std::size_t(n)],
                 rates[n - 1] == 9600 ? u"1.500 "_s : u"-3.125 "_s);
}

void PollCycleTest::statusLineClearing_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("clearedAt");
    // 2000 / 50 = 40: cleared when the count reaches 41, every 41 ticks.
    QTest::newRow("50 ms") << 50 << 130 << QList<int>{42, 83, 124};
    // 2000 / 10000 rounds to 0: every tick but the first.
    QTest::newRow("10000 ms") << 10000 << 6 << QList<int>{2, 3, 4, 5, 6};
}

void PollCycleTest::statusLineClearing()
{
    QFETCH(int, interval);
    QFETCH(int, ticks);
    QFETCH(QList<int>, clearedAt);
    ServerRig rig;
    rig.configure(0, u"2026"_s, 1);
    rig.start({0}, interval);
    QList<int> cleared;
    for (int tick = 1; tick <= ticks; ++tick) {
        rig.status.setStatusText(u"Error in Module: 2026"_s);
        rig.cycle.Timer1_Timer();
        if (rig.status.text.isEmpty())
            cleared << tick;
    }
    QCOMPARE(cleared, clearedAt);
}

void PollCycleTest::errorsKeepServing()
{
    ServerRig rig;
    ConvRecord &missing = rig.configure(0, u"92035"_s, 0x44, 9600, 2);
    missing.IoType = 2;
    missing.OutData = 1;
    rig.configure(1, u"2026"_s, 1);
    // A cleared type code goes to the generic routine.
    ConvRecord &cleared = rig.configure(2, u"2017"_s, 6, 9600, 0);
    cleared.TypeCode = 0;
    cleared.IoType = 2;
    cleared.OutData = 0x12;
    rig.start({0, 1, 2});
    const int beepsBefore = rig.prompt.beeps();

    rig.cycle.Timer1_Timer();
    rig.cycle.Timer1_Timer();

    QCOMPARE(rig.quits, 0);
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.prompt.beeps() - beepsBefore, 4); // each error, each tick
    const QStringList errors = {u"Error in Module: 92035  Error Code:  15    Time Out !"_s,
                                u"Error in Module: 0  Error Code:  17    ModuleID Error !"_s};
    QCOMPARE(rig.status.history.mid(rig.status.history.size() - 2), errors);
    QCOMPARE(rig.items.texts[1], u" 1"_s);
    QCOMPARE(rig.items.texts[2], u" 1.500"_s);
    QCOMPARE(rig.items.texts[3], u" 12"_s);
}

void PollCycleTest::trayCommandsDependOnTheState()
{
    ServerRig rig;
    rig.configure(0, u"2026"_s, 1);
    rig.establish.setChecked(0, true);
    intervalChanged(rig.state, 300);
    PollTimer timer(rig.cycle);

    // Stopped: stop and open do nothing.
    rig.cycle.mnustopDDE_Click();
    rig.cycle.mnuDDE_Click();
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.view.unloaded + rig.view.restored, 0);
    QCOMPARE(rig.portLog, QStringList());

    rig.cycle.mnuRun_Click();
    QCOMPARE(rig.state.ServerRunning, qint16(1));
    QCOMPARE(rig.view.shown, 1);
    QCOMPARE(rig.prompt.beeps(), 1);
    QVERIFY(!rig.view.menusEnabled);
    QVERIFY(timer.isActive());
    QCOMPARE(timer.interval(), 300);

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
    QVERIFY(!timer.isActive());
    QCOMPARE(rig.prompt.problems(), QStringList()); // no message box on the way
}

QTEST_GUILESS_MAIN(PollCycleTest)
#include "tst_pollcycle.moc"
