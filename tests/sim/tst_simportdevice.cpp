// The in-process port device on virtual time: when replies become readable,
// what time-outs cost, an adapter pulled out.

#include "sim/simline.h"
#include "sim/simportdevice.h"

#include <QtTest>

using namespace telviox;
using namespace telviox::sim;
using Read = PortDevice::ReadResult;

class TestSimPortDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void repliesAndTimeoutsTakeVirtualTime();
    void wireTimeIsSpentPerCharacter();
    void openAndUnplug();

private:
    std::unique_ptr<SimLine> m_line;
    std::unique_ptr<VirtualClock> m_clock;
};

void TestSimPortDevice::init()
{
    m_line = SimLine::load(R"({"modules": [{"name": "2026", "address": 1, "inputs": [12.5]},
        {"name": "2011", "address": 2},
        {"name": "2065", "address": 5, "baud": 19200, "checksum": true, "digitalInputs": 3}]})",
                           nullptr);
    QVERIFY(m_line);
    m_clock = std::make_unique<VirtualClock>();
}

void TestSimPortDevice::repliesAndTimeoutsTakeVirtualTime()
{
    m_clock->advance(1000);
    SimPortDevice device(*m_line, *m_clock);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("#01\r"));
    QCOMPARE(m_clock->tickCount(), 1000); // no wire time: writing is instant
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 100), Read::Data);
    QCOMPARE(buffer, ">+12.500\r");
    QCOMPARE(m_clock->tickCount(), 1002); // default turnaround
    QCOMPARE(device.read(buffer, 50), Read::Timeout);
    QCOMPARE(m_clock->tickCount(), 1052);

    // A reply arriving after the time-out is still there for a later read.
    m_line->setTurnaroundMs(80);
    QVERIFY(device.write("$01M\r"));
    buffer.clear();
    QCOMPARE(device.read(buffer, 30), Read::Timeout);
    QCOMPARE(device.read(buffer, 100), Read::Data);
    QCOMPARE(buffer, "!012026\r");
    QCOMPARE(m_clock->tickCount(), 1052 + 80);

    m_line->setTurnaroundMs(0);
    QVERIFY(device.write("$01M\r$02M\r"));
    buffer.clear();
    QCOMPARE(device.read(buffer, 0), Read::Data);
    QCOMPARE(buffer, "!012026\r!022011\r");
}

void TestSimPortDevice::wireTimeIsSpentPerCharacter()
{
    m_line->setWireTime(true);
    SimPortDevice device(*m_line, *m_clock);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    // 5 characters of 10 bits at 9600 baud: 5.2 ms, counted as 6; the reply's
    // 8 take 9 after the 2 ms turnaround.
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(m_clock->tickCount(), 6);
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 1000), Read::Data);
    QCOMPARE(m_clock->tickCount(), 6 + 2 + 9);
}

void TestSimPortDevice::openAndUnplug()
{
    SimPortDevice device(*m_line, *m_clock);
    QByteArray buffer;
    // Opening again drops a reply that was still on its way.
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QCOMPARE(device.read(buffer, 10), Read::Timeout);
    // Pulled out while open, then plugged in again.
    device.setUnplugged(true);
    QVERIFY(!device.write("$01M\r"));
    QCOMPARE(device.read(buffer, 10), Read::Failed);
    device.close();
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Missing);
    device.setUnplugged(false);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(device.read(buffer, 10), Read::Data);
}

QTEST_GUILESS_MAIN(TestSimPortDevice)
#include "tst_simportdevice.moc"
