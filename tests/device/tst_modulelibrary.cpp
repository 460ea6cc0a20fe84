// The module function library: the exact command each function sends, how it
// decodes the reply, and what it refuses without sending. Its round trips
// with the simulator are the acquisition and search tests'.

#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "scriptedline.h"

#include <QTemporaryDir>
#include <QTest>

using namespace telviox;
using namespace telviox::test;

namespace {

constexpr int Port = 1;
// In every element a call must leave alone, so that a stray write shows.
constexpr qint16 WordMark = 0x5A5A;
constexpr qint32 DWordMark = 0x5A5A5A5A;
constexpr float FloatMark = -7.25f;

struct Blocks
{
    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
    QByteArray szSend, szReceive;
};

// "e5=3 slot=2 chk=1 f=1.5": elements by number, slot = 7, chk = 3, f = fBuf(0).
void apply(const QString &assignments, Blocks &b)
{
    for (const QString &part : assignments.split(' ', Qt::SkipEmptyParts)) {
        const QString key = part.section('=', 0, 0), value = part.section('=', 1);
        if (key == "f") {
            b.f[0] = value.toFloat();
            continue;
        }
        const auto element = size_t(key == "slot" ? 7 : key == "chk" ? 3 : key.mid(1).toInt());
        b.dw[element] = qint32(value.toLongLong(nullptr, 0));
        b.w[element] = qint16(b.dw[element]);
    }
}

// Port 1, address 1, the type code, no checksum, 100 ms, then the inputs; in
// both blocks, only the one the function takes is looked at.
Blocks block(const QString &type, const QString &inputs)
{
    Blocks b;
    b.w.fill(WordMark);
    b.dw.fill(DWordMark);
    b.f.fill(FloatMark);
    const qint32 code = catalogue::typeCodeOfName(type);
    apply(QStringLiteral("e0=%1 e1=1 e2=%2 e3=0 e4=100 e6=0 %3").arg(Port).arg(code).arg(inputs),
          b);
    return b;
}

// A scripted module: records every frame (CR stripped), answers with the next
// queued reply, silent when none is left.
struct Rig
{
    Rig()
    {
        link.Open_Com(Port, 9600);
        line.responder = [this](const QByteArray &frame) {
            sent << frame.chopped(1);
            if (!replies.isEmpty())
                line.replyAfter(0, replies.takeFirst() + '\r');
        };
    }
    ScriptedLine line;
    QTemporaryDir folder;
    SerialLink link{line.clock, scriptedFactory(line), folder.path()};
    ModuleLibrary library{link};
    QByteArrayList sent, replies;
};

qint16 call(ModuleLibrary &library, const QString &name, Blocks &b)
{
    const ModuleLibrary::Function *fn = ModuleLibrary::function(name);
    return fn ? fn->call(library, b.w, b.dw, b.f, b.szSend, b.szReceive) : qint16(-1);
}

} // namespace

class TestModuleLibrary : public QObject
{
    Q_OBJECT

private slots:
    void calls_data();
    void calls();
    void elementsKeptAcrossCalls();
};

void TestModuleLibrary::calls_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("inputs");
    QTest::addColumn<QByteArray>("reply");   // empty: the module stays silent
    QTest::addColumn<QByteArray>("command"); // empty: nothing may be sent
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("outputs"); // elements expected to change
    auto row = [](const char *name, const char *fn, const char *type, const char *inputs,
                  const char *reply, const char *command, int result, const char *outputs) {
        QTest::newRow(name) << QString(fn) << QString(type) << QString(inputs) << QByteArray(reply)
                            << QByteArray(command) << result << QString(outputs);
    };
    auto ok = [&row](const char *name, const char *fn, const char *type, const char *inputs,
                     const char *reply, const char *command, const char *outputs) {
        row(name, fn, type, inputs, reply, command, 0, outputs);
    };
    auto refused = [&row](const char *name, const char *fn, const char *type, const char *inputs,
                          int result, const char *outputs) {
        row(name, fn, type, inputs, ">", "", result, outputs);
    };

    // Analog inputs: a single-channel stand-alone input takes no channel digit.
    ok("in single", "AnalogIn", "2026", "e5=0", ">+05.123", "#01", "f=5.123");
    ok("in eight-channel", "AnalogIn", "2091", "e1=0x1A e5=7", ">+1370.0", "#1A7", "f=1370");
    // Analog outputs, their value format and read-backs; each read-back takes
    // its channel from its own element.
    ok("out rounds into tens", "AnalogOut", "2011", "e5=0 f=9.9995", ">", "#01+10.000", "");
    ok("out hundreds", "AnalogOut", "2011", "e5=0 f=-250", ">", "#01-99.999", "");
    ok("out infinite", "AnalogOut", "2011", "e5=0 f=inf", ">", "#01+99.999", "");
    ok("read-back single ignores 7", "AnalogOutReadBack", "2011", "e7=9", "!01+04.000", "$016",
       "f=4");
    ok("read-back channel in 7", "AnalogOutReadBack", "2028", "e5=0 e7=3", "!01+12.000", "$0163",
       "f=12");
    ok("read-back slot channel in 5", "AnalogOutReadBack_9K", "9046", "e1=3 slot=2 e5=1",
       "!03+08.000", "$03S261", "f=8");
    ok("read-back 92000 channel in 7", "AnalogOutReadBack_92K", "92028", "e1=0x2B slot=3 e5=1",
       "!2B-02.500", "$2B63", "f=-2.5");
    // Digital status, decoded by the model's layout.
    ok("in bits", "DigitalIn", "2065", "", "!0F0300", "$016", "e5=0x03");
    ok("out bits", "DigitalOutReadBack", "2065", "e5=12", "!0F0300", "$016", "e5=0x0F");
    ok("16 inputs, bit 15", "DigitalIn", "2088", "", "!FF0100", "$016", "e5=-255");
    ok("slot outputs", "DigitalOutReadBack_9K", "6092", "slot=0 e5=0", "!01A55A", "$01S06",
       "e5=0xA5");
    // Digital outputs: whole port (one or two bytes) and single bits.
    ok("port 8 bits", "DigitalOut", "2065", "e5=0x3C", ">", "@013C", "");
    ok("port 16 bits", "DigitalOut", "2041", "e5=-32767", ">", "@018001", "");
    ok("port slot", "DigitalOut_9K", "9044", "e1=0x0C slot=7 e5=0x1234", ">", "@0CS71234", "");
    ok("bit set", "DigitalBitOut", "2041", "e5=0x10 e7=12 e8=1", ">", "#011C01", "");
    ok("bit slot", "DigitalBitOut_9K", "9087", "slot=2 e5=1 e8=15", ">", "#01S21F01", "");
    ok("bit 92000 clear", "DigitalBitOut_92K", "92060", "e5=0xFF e7=2 e8=0", ">", "#011200", "");
    // Counter module and configuration reads.
    ok("count top bit", "CounterIn_2032", "2032", "e5=1", ">8000FFFF", "#011", "e7=-32768 e8=-1");
    ok("min width beyond 32767", "ReadMinSignalWidth_2032", "2032", "e5=0", "!0140000", "$0100",
       "e7=-25536 f=40000");
    // Five digits reach beyond the 16-bit element: fBuf(0) keeps the width.
    ok("min width beyond 65535", "ReadMinSignalWidth_2032", "2032", "e5=1", "!0199999", "$0101",
       "e7=-1 f=99999");

    // Range marks are handed back with their code; every other failure leaves
    // 0, never a value of an earlier call.
    row("under range", "AnalogIn", "2091", "e5=0", ">-99999", "#010", 19, "f=-99999");
    row("over range", "AnalogIn_92K", "92091", "e5=1", ">+99999.0", "#011", 20, "f=99999");
    row("refused by module", "AnalogIn", "2026", "e5=0", "?01", "#01", 13, "f=0");
    row("silent module", "AnalogIn", "2026", "e5=0", "", "#01", 15, "f=0");
    row("wrong lead", "AnalogIn", "2026", "e5=0", "!01+05.000", "#01", 12, "f=0");
    row("value with letter", "AnalogIn", "2091", "e5=0", ">+05.0x0", "#010", 12, "f=0");
    row("value beyond a float", "AnalogIn", "2091", "e5=0",
        ">+1000000000000000000000000000000000000000.0", "#010", 12, "f=0");
    row("status short", "DigitalIn", "2065", "", "!0F", "$016", 12, "e5=0");
    row("ack refused", "DigitalBitOut", "2065", "e7=0 e8=1", "?01", "#011001", 13, "");

    // Refused without sending: type codes a function does not serve...
    refused("stand-alone fn, slot model", "AnalogIn", "9091", "e5=0", 17, "f=0");
    refused("main unit", "DigitalIn_9K", "9000", "slot=0", 17, "e5=0");
    refused("address beyond 255", "AnalogIn_92K", "92091", "e1=256 e5=0", 17, "f=0");
    // ...channels, slots and bits beyond the model...
    refused("channel 8 of 8", "AnalogIn", "2091", "e5=8", 18, "f=0");
    refused("read-back channel in 7", "AnalogOutReadBack", "2028", "e5=0 e7=4", 18, "f=0");
    refused("slot 8", "AnalogIn_9K", "9091", "slot=8 e5=0", 18, "f=0");
    refused("bit beyond port", "DigitalBitOut", "2065", "e7=8 e8=1", 18, "");
    // ...counters other than 0 and 1, and a value that is no number.
    refused("counter 2", "CounterIn_2032", "2032", "e5=2", 21, "e7=0 e8=0");
    refused("output value NaN", "AnalogOut", "2011", "e5=0 f=nan", 1, "");
}

void TestModuleLibrary::calls()
{
    QFETCH(QString, function);
    QFETCH(QString, type);
    QFETCH(QString, inputs);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, command);
    QFETCH(int, result);
    QFETCH(QString, outputs);

    Rig rig;
    if (!reply.isEmpty())
        rig.replies << reply;
    const ModuleLibrary::Function *fn = ModuleLibrary::function(function);
    QVERIFY(fn);
    const bool wide = fn->wide;
    Blocks b = block(type, inputs);
    Blocks expected = b;
    apply(outputs, expected);

    QCOMPARE(call(rig.library, function, b), qint16(result));
    QCOMPARE(rig.sent, command.isEmpty() ? QByteArrayList() : QByteArrayList{command});
    QCOMPARE(b.szSend, command);
    if (!command.isEmpty() && !reply.isEmpty())
        QCOMPARE(b.szReceive, reply);
    for (size_t i = 0; i < 16; ++i) {
        const qint32 got = wide ? b.dw[i] : b.w[i], want = wide ? expected.dw[i] : expected.w[i];
        QVERIFY2(
            got == want,
            qPrintable(QStringLiteral("element %1: %2 instead of %3").arg(i).arg(got).arg(want)));
        QCOMPARE(b.f[i], expected.f[i]);
    }
}

// One block reused the way the poll cycle reuses it: what a call does not set
// must survive for the next.
void TestModuleLibrary::elementsKeptAcrossCalls()
{
    Rig rig;
    Blocks b = block("2065", "e5=0x20 e7=5 e8=1");
    rig.replies << ">"
                << "!FF0A00"
                << ">00020003"
                << ">+03.250";
    QCOMPARE(call(rig.library, "DigitalBitOut", b), LinkCode::Ok);
    QCOMPARE(call(rig.library, "DigitalIn", b), LinkCode::Ok);
    QCOMPARE(b.w[5], qint16(0x0A));
    QCOMPARE(b.w[7], qint16(5));
    QCOMPARE(b.w[8], qint16(1));
    // The counter's words stay for an analog read of another module.
    apply("e2=0x2032 e5=1", b);
    QCOMPARE(call(rig.library, "CounterIn_2032", b), LinkCode::Ok);
    apply("e2=0x2091 e5=4", b);
    QCOMPARE(call(rig.library, "AnalogIn", b), LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), 0x00020003);
    QCOMPARE(b.f[0], 3.25f);
    QCOMPARE(rig.sent, (QByteArrayList{"#011501", "$016", "#011", "#014"}));
    // The low word is not sign-extended into the high one.
    QCOMPARE(MakeLong(0, -1), qint32(0xFFFF));
    QCOMPARE(MakeLong(-32768, 0), qint32(0x80000000u));
}

QTEST_GUILESS_MAIN(TestModuleLibrary)
#include "tst_modulelibrary.moc"
