// Quality and statistics of the served items, kept from real ticks on the
// simulated line with virtual time: what each kind of failure leaves, the
// stale rule, and a conversation that moves to another item.

#include "core/moduleerror.h"
#include "serverrig.h"
#include "server/linediagnostics.h"

#include <QSignalSpy>
#include <QTest>

using namespace telviox;
using namespace telviox::test;

class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void eachFailureLeavesItsCode_data();
    void eachFailureLeavesItsCode();
    void staleAfterThreeIntervalsWithoutAGoodExchange();
    void aConversationOnAnotherItemStartsAfresh();
};

void TestDiagnostics::eachFailureLeavesItsCode_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("checksum");
    QTest::addColumn<QString>("model"); // as configured; the line has a 2026 at 01
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("timeouts");

    const int none = int(sim::Fault::Kind::None);
    QTest::newRow("good") << none << false << "2026" << 0 << 0;
    QTest::newRow("silent") << int(sim::Fault::Kind::NoReply) << false << "2026"
                            << int(LinkCode::TimeOut) << 1;
    QTest::newRow("bad checksum") << int(sim::Fault::Kind::BadChecksum) << true << "2026"
                                  << int(LinkCode::ChecksumError) << 0;
    QTest::newRow("cut reply") << int(sim::Fault::Kind::Cut) << false << "2026"
                               << int(LinkCode::TimeOut) << 1;
    // A module of another kind refuses the commands of the configured one.
    QTest::newRow("refused") << none << false << "2032" << int(LinkCode::CmdError) << 0;
}

void TestDiagnostics::eachFailureLeavesItsCode()
{
    QFETCH(int, fault);
    QFETCH(bool, checksum);
    QFETCH(QString, model);
    QFETCH(int, code);
    QFETCH(int, timeouts);

    ServerRig rig(R"({"modules": [
        {"name": "2026", "address": 1, "baud": 9600, "checksum": CS, "inputs": [1.5]},
        {"name": "2026", "address": 11, "baud": 9600, "inputs": [-3.125]}]})"_ba.replace(
        "CS", checksum ? "true" : "false"));
    rig.configure(0, model, 1).Checksum = checksum ? 1 : 0;
    rig.configure(1, "2026", 11);
    if (fault != int(sim::Fault::Kind::None)) {
        sim::Fault f;
        f.kind = sim::Fault::Kind(fault);
        rig.line->setFault(1, f);
    }
    rig.start({0, 1});
    LineDiagnostics &diagnostics = rig.serving.diagnostics();
    QSignalSpy qualityMoves(&diagnostics, &LineDiagnostics::qualityChanged);
    rig.cycle.Timer1_Timer();
    rig.clock.advance(1000);
    rig.cycle.Timer1_Timer();

    const ItemDiagnostics row = diagnostics.row(1);
    QCOMPARE(row.conversation, 0);
    QCOMPARE(int(row.code), code);
    QCOMPARE(row.qualityName(), code == 0 ? QStringLiteral("good") : QStringLiteral("bad"));
    QCOMPARE(row.timeouts, quint64(2 * timeouts));
    QCOMPARE(row.lastGood.isValid(), code == 0);
    if (code != 0) {
        // The report is the error line of the status bar.
        QCOMPARE(row.report, moduleErrorLine(model, qint16(code)));
        QVERIFY(row.failed >= 2);
        QCOMPARE(row.good, quint64(0));
    } else {
        QCOMPARE(row.failed, quint64(0));
        QVERIFY(row.good >= 2);
    }
    // The neighbour is not touched by the fault; quality moves once per item.
    QCOMPARE(diagnostics.row(2).qualityName(), QStringLiteral("good"));
    QCOMPARE(qualityMoves.count(), 2);
    QCOMPARE(diagnostics.servedRows().size(), 2);
}

void TestDiagnostics::staleAfterThreeIntervalsWithoutAGoodExchange()
{
    // An output fed from another server: while its source does not answer,
    // nothing is exchanged, and the last good exchange ages.
    ServerRig rig;
    rig.configure(0, "2011", 3);
    rig.state.Link[0] = {u"Src"_s, u"Values"_s, u"Setpoint"_s, 1};
    rig.source.values.insert(u"Src|Values|Setpoint"_s, u"2.5"_s);
    rig.start({0}, 500);
    LineDiagnostics &diagnostics = rig.serving.diagnostics();
    rig.cycle.Timer1_Timer();
    QCOMPARE(diagnostics.row(1).qualityName(), QStringLiteral("good"));
    const QDateTime lastGood = diagnostics.row(1).lastGood;
    QCOMPARE(lastGood, rig.clock.wallTime());

    rig.source.values.clear();
    QSignalSpy qualityMoves(&diagnostics, &LineDiagnostics::qualityChanged);
    for (int tick = 1; tick <= 3; ++tick) {
        rig.clock.advance(500);
        rig.cycle.Timer1_Timer();
        QVERIFY(!diagnostics.row(1).stale); // three intervals are not yet more than three
    }
    rig.clock.advance(1);
    rig.cycle.Timer1_Timer();
    ItemDiagnostics row = diagnostics.row(1);
    QVERIFY(row.stale);
    QCOMPARE(row.qualityName(), QStringLiteral("stale"));
    QCOMPARE(row.lastGood, lastGood);
    QCOMPARE(qualityMoves.count(), 1);
    rig.clock.advance(500);
    rig.cycle.Timer1_Timer();
    QCOMPARE(qualityMoves.count(), 1); // said once, not every tick

    // The source is back: good again.
    rig.source.values.insert(u"Src|Values|Setpoint"_s, u"2.5"_s);
    rig.clock.advance(500);
    rig.cycle.Timer1_Timer();
    row = diagnostics.row(1);
    QCOMPARE(row.qualityName(), QStringLiteral("good"));
    QCOMPARE(qualityMoves.count(), 2);
}

void TestDiagnostics::aConversationOnAnotherItemStartsAfresh()
{
    ServerRig rig;
    rig.configure(0, "2026", 1);
    rig.configure(1, "2026", 11, 19200);
    rig.start({0, 1});
    LineDiagnostics &diagnostics = rig.serving.diagnostics();
    rig.cycle.Timer1_Timer();
    QCOMPARE(diagnostics.row(2).conversation, 1);
    QVERIFY(diagnostics.row(2).good > 0);

    // Conversation 0 no longer polled: conversation 1 now fills item 1, and
    // item 1 keeps nothing of conversation 0.
    rig.cycle.form5quitCmd_Click();
    rig.establish.setChecked(0, false);
    rig.cycle.mnuRunDDE_Click();
    rig.cycle.Timer1_Timer();
    const ItemDiagnostics row = diagnostics.row(1);
    QCOMPARE(row.conversation, 1);
    QCOMPARE(row.rate, 19200);
    QVERIFY(row.good > 0 && row.good < 4);
}

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
