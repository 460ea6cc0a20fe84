#include "app/shell/startupprobe.h"
#include "app/shellrig.h"
#include "device/clock.h"
#include "device/seriallink.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"

#include <QtTest>
#include <memory>

using namespace telviox;

namespace {

using test::lineOnPorts;

// A serial link whose ports in `present` lead to the simulated line.
struct Rig
{
    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<SerialLink> link;

    explicit Rig(const QByteArray &lineJson, QList<int> present = {}, int absentCostMs = 0)
        : line(test::loadLine(lineJson)),
          link(std::make_unique<SerialLink>(clock, lineOnPorts(*line, clock, present, absentCostMs),
                                            QDir::tempPath()))
    {}
};

const QByteArray NoModules = R"({"modules": []})";

QByteArray oneModule(const char *address, int baud)
{
    return QByteArray(R"({"wireTime": true, "modules": [{"name": "2026", "address": ")") + address +
           R"(", "baud": )" + QByteArray::number(baud) + "}]}";
}

constexpr int AllAttempts = 2 * StartupProbe::Addresses * int(StartupProbe::Bauds.size());

} // namespace

class TestStartupProbe : public QObject
{
    Q_OBJECT

private slots:
    void noPortTriesEverythingAndKeepsTheSplash();
    void slowFailuresStopAtTheBudgetAndCloseTheSplash();
    void firstAttemptWaitingItsTimeOutEndsTheProbe();
    void answerOnTheSecondPort();
    void mousePressEndsTheProbeButNotTheSplash();
    void commandsAskAddressesZeroToNineInRateOrder();
};

void TestStartupProbe::noPortTriesEverythingAndKeepsTheSplash()
{
    Rig rig(NoModules);
    rig.clock.advance(500); // the probe starts some time after the program did
    const qint64 t0 = rig.clock.tickCount();
    int eventRounds = 0;
    StartupProbe probe(
        *rig.link, rig.clock, [] { return false; }, [&] { ++eventRounds; });

    const auto result = probe.run(t0);
    QCOMPARE(result.end, StartupProbe::End::Exhausted);
    QCOMPARE(result.comPort, 1);
    QCOMPARE(result.attempts, AllAttempts);
    // The splash window was given a chance to draw between attempts.
    QCOMPARE(eventRounds, AllAttempts);
    QCOMPARE(StartupProbe::splashRemaining(result, t0, rig.clock.tickCount()), 3000);
    QVERIFY(!rig.link->isOpen(1) && !rig.link->isOpen(2));
}

void TestStartupProbe::slowFailuresStopAtTheBudgetAndCloseTheSplash()
{
    // Each failed open costs 7 ms: the check after attempt 143 finds 1001 ms used.
    Rig rig(NoModules, {}, 7);
    const auto result = StartupProbe(*rig.link, rig.clock).run(0);
    QCOMPARE(result.end, StartupProbe::End::BudgetUsed);
    QCOMPARE(result.attempts, 143);
    QCOMPARE(StartupProbe::splashRemaining(result, 0, rig.clock.tickCount()), 0);

    // Exactly the budget is not more than the budget: 1000 ms in 125 steps of 8 go on.
    Rig exact(NoModules, {}, 8);
    QCOMPARE(StartupProbe(*exact.link, exact.clock).run(0).attempts, 126);
}

void TestStartupProbe::firstAttemptWaitingItsTimeOutEndsTheProbe()
{
    // A line that is there but silent at 921600: the first exchange waits its
    // whole second; the probe and the splash end at once.
    Rig rig(oneModule("05", 9600), {1, 2});
    const auto result = StartupProbe(*rig.link, rig.clock).run(0);
    QCOMPARE(result.attempts, 1);
    QCOMPARE(result.end, StartupProbe::End::BudgetUsed);
    QCOMPARE(result.comPort, 1);
    QVERIFY(rig.clock.tickCount() > 1000);
    QCOMPARE(StartupProbe::splashRemaining(result, 0, rig.clock.tickCount()), 0);
    QVERIFY(!rig.link->isOpen(1)); // every attempt closes its port
}

void TestStartupProbe::answerOnTheSecondPort()
{
    Rig rig(oneModule("00", 921600), {2});
    const auto result = StartupProbe(*rig.link, rig.clock).run(0);
    QCOMPARE(result.end, StartupProbe::End::Answer);
    QCOMPARE(result.comPort, 2);
    QCOMPARE(result.attempts, AllAttempts / 2 + 1);
    QVERIFY(!rig.link->isOpen(2));
    // The splash stays until three seconds have passed.
    const qint64 now = rig.clock.tickCount();
    QVERIFY(now < 1000);
    QCOMPARE(StartupProbe::splashRemaining(result, 0, now), 3000 - now);
    QCOMPARE(StartupProbe::splashRemaining(result, 0, 3500), 0);
}

void TestStartupProbe::mousePressEndsTheProbeButNotTheSplash()
{
    Rig rig(NoModules);
    int asked = 0;
    StartupProbe probe(*rig.link, rig.clock, [&] { return ++asked == 3; });
    const auto result = probe.run(0);
    QCOMPARE(result.end, StartupProbe::End::MousePress);
    QCOMPARE(result.attempts, 3);
    QCOMPARE(result.comPort, 1);
    QCOMPARE(StartupProbe::splashRemaining(result, 0, rig.clock.tickCount()), 3000);
}

void TestStartupProbe::commandsAskAddressesZeroToNineInRateOrder()
{
    // Every rate of an address is tried before the next address; a reply
    // that is not "!" is no answer.
    Rig rig(NoModules, {1});
    QList<QPair<qint32, QByteArray>> sent;
    rig.link->addObserver([&](const TrafficRecord &r) {
        if (r.direction == TrafficRecord::Direction::Sent)
            sent.append({rig.link->openBaud(r.port), r.frame});
    });
    // Every exchange runs into its time-out; with the budget measured from a
    // start far ahead the probe runs until the 22nd attempt's mouse press.
    int n = 0;
    StartupProbe probe(*rig.link, rig.clock, [&] { return ++n == 22; });
    const auto result = probe.run(1'000'000);
    QCOMPARE(result.end, StartupProbe::End::MousePress);
    QCOMPARE(sent.size(), 22);
    QCOMPARE(sent.at(0).first, 921600);
    QCOMPARE(sent.at(0).second, QByteArray("$00M\r"));
    QCOMPARE(sent.at(10).first, 1200);
    QCOMPARE(sent.at(11).first, 921600);
    QCOMPARE(sent.at(11).second, QByteArray("$01M\r"));
}

QTEST_GUILESS_MAIN(TestStartupProbe)
#include "tst_startupprobe.moc"
