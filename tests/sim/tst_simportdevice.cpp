// The in-process port device on virtual time: when replies become readable,
// what time-outs cost, an adapter pulled out, and the serial link on top of it.

#include "device/seriallink.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"

#include <QtTest>

using telviox::PortDevice;
using telviox::SerialLink;
using telviox::VirtualClock;
using telviox::sim::Fault;
using telviox::sim::SimLine;
using telviox::sim::SimPortDevice;

namespace {

const char *const LineJson = R"({
  "modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [12.5]},
    {"name": "2011", "address": 2, "baud": 9600},
    {"name": "2065", "address": 5, "baud": 19200, "checksum": true, "digitalInputs": 3}
  ]
})";

std::unique_ptr<SimLine> makeLine()
{
    QString error;
    auto line = SimLine::load(LineJson, &error);
    if (!line)
        qWarning("line file rejected: %s", qPrintable(error));
    return line;
}

} // namespace

class TestSimPortDevice : public QObject
{
    Q_OBJECT

private slots:
    void replyComesAfterTheTurnaround();
    void wireTimeIsSpentPerCharacter();
    void timeoutsCostTheirTime();
    void openAndUnplug();
    void devicesOfOneLineShareIt();
    void serialLinkOnTheSimulatedLine();
};

void TestSimPortDevice::replyComesAfterTheTurnaround()
{
    auto line = makeLine();
    QVERIFY(line);
    VirtualClock clock;
    clock.advance(1000);
    SimPortDevice device(*line, clock, "/dev/sim0");
    QCOMPARE(device.path(), QString("/dev/sim0"));
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.isOpen());

    QVERIFY(device.write("#01\r"));
    QCOMPARE(clock.tickCount(), 1000); // no wire time: writing is instant
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 100), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray(">+12.500\r"));
    QCOMPARE(clock.tickCount(), 1000 + 2); // default turnaround

    // Nothing more to come: the whole time-out passes.
    QCOMPARE(device.read(buffer, 50), PortDevice::ReadResult::Timeout);
    QCOMPARE(clock.tickCount(), 1000 + 2 + 50);

    // A reply arriving after the time-out is still there for a later read.
    line->setTurnaroundMs(80);
    QVERIFY(device.write("$01M\r"));
    buffer.clear();
    QCOMPARE(device.read(buffer, 30), PortDevice::ReadResult::Timeout);
    QVERIFY(buffer.isEmpty());
    QCOMPARE(device.read(buffer, 100), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray("!012026\r"));
    QCOMPARE(clock.tickCount(), 1052 + 80);

    // Two commands written back to back are answered in order.
    line->setTurnaroundMs(0);
    QVERIFY(device.write("$01M\r$02M\r"));
    buffer.clear();
    QCOMPARE(device.read(buffer, 0), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray("!012026\r!022011\r"));
}

void TestSimPortDevice::wireTimeIsSpentPerCharacter()
{
    auto line = makeLine();
    QVERIFY(line);
    line->setWireTime(true);
    line->setTurnaroundMs(2);
    VirtualClock clock;
    SimPortDevice device(*line, clock);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);

    // 5 characters of 10 bits at 9600 baud: 5.2 ms, counted as 6.
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(clock.tickCount(), 6);
    // The 8-character reply takes 8.3 ms (9) after the 2 ms turnaround.
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 1000), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray("!012026\r"));
    QCOMPARE(clock.tickCount(), 6 + 2 + 9);

    QCOMPARE(SimLine::wireTimeUs(96, 9600), 100000);
    QCOMPARE(SimLine::wireTimeUs(1, 115200), 86);
    QCOMPARE(SimLine::wireTimeUs(10, 0), 0);

    // At a rate no module listens to the command still takes its time.
    QCOMPARE(device.open(1200), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(clock.tickCount(), 17 + 42);
    QCOMPARE(device.read(buffer, 400), PortDevice::ReadResult::Timeout);
}

void TestSimPortDevice::timeoutsCostTheirTime()
{
    auto line = makeLine();
    QVERIFY(line);
    VirtualClock clock;
    SimPortDevice device(*line, clock);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("$3FM\r")); // nobody at 3F
    QByteArray buffer;
    QCOMPARE(device.read(buffer, 400), PortDevice::ReadResult::Timeout);
    QCOMPARE(clock.tickCount(), 400);
    QCOMPARE(device.read(buffer, 0), PortDevice::ReadResult::Timeout);
    QCOMPARE(clock.tickCount(), 400);
    QCOMPARE(device.read(buffer, -5), PortDevice::ReadResult::Timeout);
    QCOMPARE(clock.tickCount(), 400);
    QVERIFY(buffer.isEmpty());
}

void TestSimPortDevice::openAndUnplug()
{
    auto line = makeLine();
    QVERIFY(line);
    VirtualClock clock;
    SimPortDevice device(*line, clock);
    QByteArray buffer;
    // Not open: nothing moves.
    QVERIFY(!device.isOpen());
    QVERIFY(!device.write("$01M\r"));
    QCOMPARE(device.read(buffer, 10), PortDevice::ReadResult::Failed);

    // Opening again drops a reply that was still on its way.
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QCOMPARE(device.baud(), 9600);
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QCOMPARE(device.read(buffer, 10), PortDevice::ReadResult::Timeout);

    // Pulled out while open, then plugged in again.
    device.setUnplugged(true);
    QVERIFY(!device.write("$01M\r"));
    QCOMPARE(device.read(buffer, 10), PortDevice::ReadResult::Failed);
    device.close();
    QVERIFY(!device.isOpen());
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Missing);
    device.setUnplugged(false);
    QCOMPARE(device.open(9600), PortDevice::OpenResult::Ok);
    QVERIFY(device.write("$01M\r"));
    QCOMPARE(device.read(buffer, 10), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray("!012026\r"));
}

void TestSimPortDevice::devicesOfOneLineShareIt()
{
    auto line = makeLine();
    QVERIFY(line);
    VirtualClock clock;
    const telviox::PortDeviceFactory factory = telviox::sim::simDeviceFactory(*line, clock);
    auto first = factory(1, "/tmp/com1");
    auto second = factory(2, "/tmp/com2");
    QVERIFY(first && second);
    QCOMPARE(first->path(), QString("/tmp/com1"));
    QCOMPARE(first->open(9600), PortDevice::OpenResult::Ok);
    QCOMPARE(second->open(9600), PortDevice::OpenResult::Ok);
    QByteArray buffer;
    QVERIFY(first->write("#02+07.000\r"));
    QCOMPARE(first->read(buffer, 10), PortDevice::ReadResult::Data);
    QVERIFY(second->write("$026\r"));
    buffer.clear();
    QCOMPARE(second->read(buffer, 10), PortDevice::ReadResult::Data);
    QCOMPARE(buffer, QByteArray("!02+07.000\r"));
}

void TestSimPortDevice::serialLinkOnTheSimulatedLine()
{
    auto line = makeLine();
    QVERIFY(line);
    QTemporaryDir folder;
    VirtualClock clock;
    SerialLink link(clock, telviox::sim::simDeviceFactory(*line, clock), folder.path());
    QCOMPARE(link.Open_Com(1, 9600), telviox::LinkCode::Ok);
    QByteArray reply;
    QCOMPARE(link.Send_Receive_Cmd(1, "$01M", reply, 100, 0), telviox::LinkCode::Ok);
    QCOMPARE(reply, QByteArray("!012026"));

    // Checksum: the link adds and checks the digits the module wants.
    QCOMPARE(link.Open_Com(1, 19200), telviox::LinkCode::Ok);
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::Ok);
    QCOMPARE(reply, QByteArray("!000300"));
    // Without the checksum the module stays silent for the whole time-out.
    const qint64 before = clock.tickCount();
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 0), telviox::LinkCode::TimeOut);
    QCOMPARE(clock.tickCount() - before, 100);

    // Faults reach the link as its result codes.
    line->setFault(5, Fault{Fault::Kind::BadChecksum});
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::ChecksumError);
    line->setFault(5, Fault{Fault::Kind::Noise});
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::Ok);
    QCOMPARE(reply, QByteArray("!000300"));
    line->setFault(5, Fault{Fault::Kind::Cut});
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::TimeOut);
    line->setFault(5, Fault{Fault::Kind::Endless});
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::TimeOut);
    line->clearFault(5);
    QCOMPARE(link.Send_Receive_Cmd(1, "$056", reply, 100, 1), telviox::LinkCode::Ok);
}

QTEST_GUILESS_MAIN(TestSimPortDevice)
#include "tst_simportdevice.moc"
