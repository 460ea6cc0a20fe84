// The module function library: the exact command each function sends, how it
// decodes the reply into the parameter blocks, what it refuses without
// sending, and round trips against the in-process simulator on virtual time.

#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

using namespace telviox;

namespace {

// The far end of a scripted line: every frame written is recorded (CR
// stripped) and answered with the next queued reply; an empty queue leaves
// the module silent.
struct ScriptedLine
{
    VirtualClock clock;
    QByteArrayList sent;
    QByteArrayList replies;
};

class ScriptedDevice final : public PortDevice
{
public:
    explicit ScriptedDevice(ScriptedLine &line) : m_line(line) {}

    OpenResult open(qint32) override
    {
        m_open = true;
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString path() const override { return QStringLiteral("scripted"); }
    bool write(const QByteArray &data) override
    {
        m_line.sent << (data.endsWith('\r') ? data.chopped(1) : data);
        if (!m_line.replies.isEmpty())
            m_pending += m_line.replies.takeFirst() + '\r';
        return true;
    }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        if (m_pending.isEmpty()) {
            m_line.clock.advance(timeoutMs);
            return ReadResult::Timeout;
        }
        buffer += m_pending;
        m_pending.clear();
        return ReadResult::Data;
    }

private:
    ScriptedLine &m_line;
    QByteArray m_pending;
    bool m_open = false;
};

constexpr int Port = 1;

struct Blocks
{
    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
    QByteArray szSend;
    QByteArray szReceive;
};

// Values in every element a call must leave alone, so that a stray write
// shows.
constexpr qint16 WordMark = 0x5A5A;
constexpr qint32 DWordMark = 0x5A5A5A5A;
constexpr float FloatMark = -7.25f;

qlonglong number(const QString &text)
{
    bool ok = false;
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    const qlonglong v = digits.startsWith(QLatin1String("0x")) ? digits.mid(2).toLongLong(&ok, 16)
                                                               : digits.toLongLong(&ok, 10);
    if (!ok)
        qFatal("bad number in test data: %s", qPrintable(text));
    return negative ? -v : v;
}

// Applies "e5=3 slot=2 f=1.5 chk=1": elements by number, slot = element 7,
// chk = element 3, f = fBuf(0).
void apply(const QString &assignments, bool wide, Blocks &b)
{
    for (const QString &part : assignments.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("f")) {
            b.f[0] = value.toFloat();
            continue;
        }
        int element = -1;
        if (key == QLatin1String("slot"))
            element = 7;
        else if (key == QLatin1String("chk"))
            element = 3;
        else if (key.startsWith(QLatin1Char('e')))
            element = key.mid(1).toInt();
        if (element < 0 || element > 15)
            qFatal("bad element in test data: %s", qPrintable(part));
        if (wide)
            b.dw[size_t(element)] = qint32(number(value));
        else
            b.w[size_t(element)] = qint16(number(value));
    }
}

Blocks prepared(bool wide, int address, const QString &type, const QString &inputs)
{
    Blocks b;
    b.w.fill(WordMark);
    b.dw.fill(DWordMark);
    b.f.fill(FloatMark);
    const qint32 code = catalogue::typeCodeOfName(type);
    const std::array<qint32, 7> head = {Port, address, code, 0, 100, WordMark, 0};
    for (size_t i = 0; i < head.size(); ++i) {
        if (i == 5)
            continue;
        b.w[i] = qint16(head[i]);
        b.dw[i] = head[i];
    }
    apply(inputs, wide, b);
    return b;
}

class Rig
{
public:
    Rig()
        : m_link(
              line.clock,
              [this](int, const QString &) { return std::make_unique<ScriptedDevice>(line); },
              m_folder.path()),
          library(m_link)
    {
        m_link.Open_Com(Port, 9600);
    }

    ScriptedLine line;

private:
    QTemporaryDir m_folder;
    SerialLink m_link;

public:
    ModuleLibrary library;
};

qint16 callByName(ModuleLibrary &library, const QString &name, Blocks &b)
{
    const ModuleLibrary::Function *function = ModuleLibrary::function(name);
    if (!function)
        qFatal("no function %s", qPrintable(name));
    return function->call(library, b.w, b.dw, b.f, b.szSend, b.szReceive);
}

bool isWide(const QString &function)
{
    const ModuleLibrary::Function *f = ModuleLibrary::function(function);
    return f && f->wide;
}

} // namespace

class TestModuleLibrary : public QObject
{
    Q_OBJECT

private:
    void addColumns();
    void runRow();

private slots:
    // Scripted line: exact commands and decoding.
    void exchanges_data();
    void exchanges() { runRow(); }
    void failedExchanges_data();
    void failedExchanges() { runRow(); }
    void refusedWithoutSending_data();
    void refusedWithoutSending() { runRow(); }
    void outputValueFormat_data();
    void outputValueFormat();
    void checksumFlagReachesTheLink();
    void elementsKeptAcrossCalls();
    void makeLong_data();
    void makeLong();
    void functionTable();

    // In-process simulator on virtual time.
    void simAnalogOutputReadsBack();
    void simDigitalOutputReadsBack();
    void simCounterCountsOverTime();
    void simSlotModulesOfMainUnit();
    void simCounterAndAlarmSettings();
    void simChecksumModule();
};

void TestModuleLibrary::addColumns()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("inputs");
    QTest::addColumn<QByteArray>("reply");   // empty: the module stays silent
    QTest::addColumn<QByteArray>("command"); // empty: nothing may be sent
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("outputs"); // elements expected to change
}

void TestModuleLibrary::runRow()
{
    QFETCH(QString, function);
    QFETCH(QString, type);
    QFETCH(int, address);
    QFETCH(QString, inputs);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, command);
    QFETCH(int, result);
    QFETCH(QString, outputs);

    Rig rig;
    if (!reply.isEmpty())
        rig.line.replies << reply;
    const bool wide = isWide(function);
    Blocks b = prepared(wide, address, type, inputs);
    Blocks expected = b;
    apply(outputs, wide, expected);

    QCOMPARE(callByName(rig.library, function, b), qint16(result));

    QCOMPARE(rig.line.sent, command.isEmpty() ? QByteArrayList() : QByteArrayList{command});
    QCOMPARE(b.szSend, command);
    if (!command.isEmpty() && !reply.isEmpty())
        QCOMPARE(b.szReceive, reply);
    for (size_t i = 0; i < 16; ++i) {
        const QByteArray where = "element " + QByteArray::number(int(i));
        if (wide)
            QVERIFY2(b.dw[i] == expected.dw[i], where + ": " + QByteArray::number(b.dw[i]) +
                                                    " instead of " +
                                                    QByteArray::number(expected.dw[i]));
        else
            QVERIFY2(b.w[i] == expected.w[i], where + ": " + QByteArray::number(b.w[i]) +
                                                  " instead of " +
                                                  QByteArray::number(expected.w[i]));
        QCOMPARE(b.f[i], expected.f[i]);
    }
}

void TestModuleLibrary::exchanges_data()
{
    addColumns();
    auto row = [](const char *name, const char *function, const char *type, int address,
                  const char *inputs, const char *reply, const char *command, const char *outputs) {
        QTest::newRow(name) << QString::fromLatin1(function) << QString::fromLatin1(type) << address
                            << QString::fromLatin1(inputs) << QByteArray(reply)
                            << QByteArray(command) << 0 << QString::fromLatin1(outputs);
    };
    // Analog inputs: a single-channel stand-alone input takes no channel digit,
    // slot and 92000 inputs always do.
    row("in single", "AnalogIn", "2026", 0x01, "e5=0", ">+05.123", "#01", "f=5.123");
    row("in 3000 twin", "AnalogIn", "3027", 0x02, "e5=0", ">-0012.5", "#02", "f=-12.5");
    row("in eight-channel", "AnalogIn", "2091", 0x1A, "e5=7", ">+1370.0", "#1A7", "f=1370");
    row("in two-channel", "AnalogIn", "2063", 0xFF, "e5=1", ">+00.010", "#FF1", "f=0.01");
    row("in slot", "AnalogIn_9K", "9091", 0x01, "slot=3 e5=2", ">+01.500", "#01S32", "f=1.5");
    row("in slot single", "AnalogIn_9K", "6067", 0x05, "slot=0 e5=0", ">+02.000", "#05S00", "f=2");
    row("in 92000", "AnalogIn_92K", "92027", 0x0A, "e5=2", ">-00.250", "#0A2", "f=-0.25");

    // Analog outputs and their read-backs; each read-back takes its channel
    // from its own element.
    row("out single", "AnalogOut", "2011", 0x01, "e5=0 f=5", ">", "#01+05.000", "");
    row("out negative", "AnalogOut", "2028", 0x10, "e5=3 f=-10", ">", "#103-10.000", "");
    row("out rounded", "AnalogOut", "2046", 0x01, "e5=1 f=12.3456", ">", "#011+12.346", "");
    row("out slot", "AnalogOut_9K", "9028", 0x01, "slot=1 e5=3 f=20", ">", "#01S13+20.000", "");
    row("out 92000", "AnalogOut_92K", "92010", 0x2B, "e5=0 f=0.004", ">", "#2B0+00.004", "");
    row("read-back single ignores 7", "AnalogOutReadBack", "2011", 0x01, "e7=9", "!01+04.000",
        "$016", "f=4");
    row("read-back channel in 7", "AnalogOutReadBack", "2028", 0x01, "e5=0 e7=3", "!01+12.000",
        "$0163", "f=12");
    row("read-back slot channel in 5", "AnalogOutReadBack_9K", "9046", 0x03, "slot=2 e5=1",
        "!03+08.000", "$03S261", "f=8");
    row("read-back 92000 channel in 7", "AnalogOutReadBack_92K", "92028", 0x01, "e5=0 e7=2",
        "!01-01.500", "$0162", "f=-1.5");

    // Digital status, decoded by the model's layout.
    row("in bits", "DigitalIn", "2065", 0x01, "", "!0F0300", "$016", "e5=0x03");
    row("out bits", "DigitalOutReadBack", "2065", 0x01, "e5=12", "!0F0300", "$016", "e5=0x0F");
    row("16 inputs, bit 15 as pattern", "DigitalIn", "2088", 0x01, "", "!FF0100", "$016",
        "e5=-255");
    row("alarm model input", "DigitalIn", "2026", 0x01, "", "!030100", "$016", "e5=1");
    row("alarm model outputs", "DigitalOutReadBack", "3080", 0x01, "e5=12", "!020100", "$016",
        "e5=2");
    row("slot inputs", "DigitalIn_9K", "9040", 0x01, "slot=3", "!018001", "$01S36", "e5=0x8001");
    row("slot outputs", "DigitalOutReadBack_9K", "6092", 0x01, "slot=0 e5=0", "!01A55A", "$01S06",
        "e5=0xA5");
    row("92000 inputs", "DigitalIn_92K", "92073", 0x1A, "", "!00AB00", "$1A6", "e5=0xAB");
    row("92000 outputs", "DigitalOutReadBack_92K", "92087", 0x01, "e5=0", "!FFFE00", "$016",
        "e5=0xFFFE");

    // Digital outputs: whole port (one or two bytes) and single bits.
    row("port 8 bits", "DigitalOut", "2065", 0x01, "e5=0x3C", ">", "@013C", "");
    row("port 16 bits", "DigitalOut", "2041", 0x01, "e5=-32767", ">", "@018001", "");
    row("port 8 bits low byte", "DigitalOut_92K", "92060", 0x01, "e5=0x1FF", ">", "@01FF", "");
    row("port slot", "DigitalOut_9K", "9044", 0x0C, "slot=7 e5=0x1234", ">", "@0CS71234", "");
    row("bit set", "DigitalBitOut", "2041", 0x01, "e5=0x10 e7=12 e8=1", ">", "#011C01", "");
    row("bit any state sets", "DigitalBitOut", "2065", 0x01, "e7=2 e8=5", ">", "#011201", "");
    row("bit slot", "DigitalBitOut_9K", "9087", 0x01, "slot=2 e5=1 e8=15", ">", "#01S21F01", "");
    row("bit 92000 clear", "DigitalBitOut_92K", "92060", 0x01, "e5=0xFF e7=2 e8=0", ">", "#011200",
        "");

    // Counter module and configuration reads.
    row("count top bit", "CounterIn_2032", "2032", 0x01, "e5=1", ">8000FFFF", "#011",
        "e7=-32768 e8=-1");
    row("count 3032", "CounterIn_2032", "3032", 0x02, "e5=0", ">0001E240", "#020", "e7=1 e8=-7616");
    row("alarm state", "ReadOutputAlarmState", "2026", 0x01, "e5=0", "!0120301", "@01DI",
        "e7=2 e8=3");
    row("alarm high", "ReadAlarmLimitValue", "2067", 0x01, "e5=0", "!01+08.500", "$01RH", "f=8.5");
    row("alarm low", "ReadAlarmLimitValue", "2080", 0x01, "e5=1", "!01-02.000", "$01RL", "f=-2");
    row("linear mapping", "ReadLinearMappingStatus", "2063", 0x01, "", "!011", "$01LS", "e5=1");
    row("level high", "ReadLevelVolt_2032", "2032", 0x01, "e5=0", "!0124", "$011H", "f=2.4");
    row("level low", "ReadLevelVolt_2032", "2032", 0x01, "e5=1", "!0108", "$011L", "f=0.8");
    row("counter status", "ReadCounterStatus_2032", "2032", 0x01, "e5=1", "!011", "$0151", "e7=1");
    row("min width beyond 32767", "ReadMinSignalWidth_2032", "2032", 0x01, "e5=0", "!0140000",
        "$0100", "e7=-25536");
    row("preset", "ReadPresetCounterValue_2032", "2032", 0x01, "e5=1", "!0100010002", "@01G1",
        "e7=1 e8=2");
    row("max value", "ReadCounterMaxValue_2032", "2032", 0x01, "e5=0", "!01FFFFFFFF", "$0130",
        "e7=-1 e8=-1");
    row("counter alarm limit", "ReadAlarmLimitValue_2032", "2032", 0x01, "e5=1", "!0100000064",
        "@01RP1", "e7=0 e8=100");
    row("module mode", "ReadModuleMode_2032", "2032", 0x01, "", "!011", "$01B", "e5=1");
    row("counter alarm state", "ReadOutputAlarmState_2032", "2032", 0x01, "e5=0", "!0110100",
        "@01DI", "e7=1 e8=1");
    row("input mode", "ReadInputSignalMode_2032", "2032", 0x01, "e5=0", "!012", "$01A", "e7=2");
}

void TestModuleLibrary::failedExchanges_data()
{
    addColumns();
    auto row = [](const char *name, const char *function, const char *type, const char *inputs,
                  const char *reply, const char *command, int result, const char *outputs) {
        QTest::newRow(name) << QString::fromLatin1(function) << QString::fromLatin1(type) << 1
                            << QString::fromLatin1(inputs) << QByteArray(reply)
                            << QByteArray(command) << result << QString::fromLatin1(outputs);
    };
    // Range marks are handed back with their code, so the reading shows them.
    row("under range", "AnalogIn", "2091", "e5=0", ">-99999", "#010", 19, "f=-99999");
    row("over range", "AnalogIn_92K", "92091", "e5=1", ">+99999.0", "#011", 20, "f=99999");
    // Every other failure leaves 0, never a value of an earlier call.
    row("refused by module", "AnalogIn", "2026", "e5=0", "?01", "#01", 13, "f=0");
    row("silent module", "AnalogIn", "2026", "e5=0", "", "#01", 15, "f=0");
    row("silent status", "DigitalIn", "2065", "", "", "$016", 15, "e5=0");
    row("wrong lead", "AnalogIn", "2026", "e5=0", "!01+05.000", "#01", 12, "f=0");
    row("lead only", "AnalogIn", "2091", "e5=0", ">", "#010", 12, "f=0");
    row("value with letter", "AnalogIn", "2091", "e5=0", ">+05.0x0", "#010", 12, "f=0");
    row("value with two points", "AnalogIn", "2091", "e5=0", ">+05.0.0", "#010", 12, "f=0");
    row("value with blank", "AnalogIn", "2091", "e5=0", "> 5.000", "#010", 12, "f=0");
    row("other address", "AnalogOutReadBack", "2011", "", "!02+04.000", "$016", 12, "f=0");
    row("status short", "DigitalIn", "2065", "", "!0F", "$016", 12, "e5=0");
    row("status not hex", "DigitalIn", "2065", "", "!0G0300", "$016", 12, "e5=0");
    row("slot status no address", "DigitalIn_9K", "9040", "slot=3", "!8001", "$01S36", 12, "e5=0");
    row("slot status short", "DigitalIn_9K", "9040", "slot=3", "!0180", "$01S36", 12, "e5=0");
    row("count 7 digits", "CounterIn_2032", "2032", "e5=0", ">1234567", "#010", 12, "e7=0 e8=0");
    row("count not hex", "CounterIn_2032", "2032", "e5=0", ">1234567G", "#010", 12, "e7=0 e8=0");
    row("ack with text", "DigitalOut", "2065", "e5=1", ">01", "@0101", 12, "");
    row("ack wrong lead", "AnalogOut", "2011", "e5=0 f=1", "!01", "#01+01.000", 12, "");
    row("ack refused", "DigitalBitOut", "2065", "e7=0 e8=1", "?01", "#011001", 13, "");
    row("alarm state short", "ReadOutputAlarmState", "2026", "", "!01203", "@01DI", 12,
        "e7=0 e8=0");
    row("min width beyond 16 bits", "ReadMinSignalWidth_2032", "2032", "e5=0", "!0170000", "$0100",
        12, "e7=0");
    row("mode digit missing", "ReadModuleMode_2032", "2032", "", "!01", "$01B", 12, "e5=0");
    row("level three digits", "ReadLevelVolt_2032", "2032", "e5=0", "!01245", "$011H", 12, "f=0");
}

void TestModuleLibrary::refusedWithoutSending_data()
{
    addColumns();
    auto row = [](const char *name, const char *function, const char *type, int address,
                  const char *inputs, int result, const char *outputs) {
        QTest::newRow(name) << QString::fromLatin1(function) << QString::fromLatin1(type) << address
                            << QString::fromLatin1(inputs) << QByteArray(">") << QByteArray()
                            << result << QString::fromLatin1(outputs);
    };
    // Type codes a function does not serve.
    row("stand-alone fn, slot model", "AnalogIn", "9091", 1, "e5=0", 17, "f=0");
    row("slot fn, stand-alone model", "AnalogIn_9K", "2091", 1, "slot=0 e5=0", 17, "f=0");
    row("92000 fn, slot model", "AnalogIn_92K", "9091", 1, "e5=0", 17, "f=0");
    row("input fn, output model", "AnalogIn", "2011", 1, "e5=0", 17, "f=0");
    row("unknown type code", "AnalogIn", "1234", 1, "e5=0", 17, "f=0");
    row("main unit", "DigitalIn_9K", "9000", 1, "slot=0", 17, "e5=0");
    row("port without outputs", "DigitalOut", "2058", 1, "e5=1", 17, "");
    row("slot port without outputs", "DigitalBitOut_9K", "9040", 1, "slot=0 e5=1 e8=0", 17, "");
    row("analog input without alarms", "DigitalIn", "2091", 1, "", 17, "e5=0");
    row("counter fn, analog model", "CounterIn_2032", "2026", 1, "e5=0", 17, "e7=0 e8=0");
    row("linear mapping, other model", "ReadLinearMappingStatus", "2026", 1, "", 17, "e5=0");
    row("alarm state, no alarms", "ReadOutputAlarmState", "2027", 1, "", 17, "e7=0 e8=0");
    row("address beyond 255", "AnalogIn_92K", "92091", 256, "e5=0", 17, "f=0");
    row("negative address", "AnalogIn", "2026", -1, "e5=0", 17, "f=0");
    // Channels, slots and bits beyond the model.
    row("channel 8 of 8", "AnalogIn", "2091", 1, "e5=8", 18, "f=0");
    row("negative channel", "AnalogIn", "2091", 1, "e5=-1", 18, "f=0");
    row("single-channel, channel 1", "AnalogIn", "2026", 1, "e5=1", 18, "f=0");
    row("output channel 2 of 2", "AnalogOut", "2046", 1, "e5=2 f=1", 18, "");
    row("read-back channel in 7", "AnalogOutReadBack", "2028", 1, "e5=0 e7=4", 18, "f=0");
    row("slot read-back channel in 5", "AnalogOutReadBack_9K", "9046", 1, "slot=0 e5=2", 18, "f=0");
    row("slot 8", "AnalogIn_9K", "9091", 1, "slot=8 e5=0", 18, "f=0");
    row("negative slot", "DigitalIn_9K", "9040", 1, "slot=-1", 18, "e5=0");
    row("bit beyond port", "DigitalBitOut", "2065", 1, "e7=8 e8=1", 18, "");
    row("slot bit index in 8", "DigitalBitOut_9K", "9015", 1, "slot=0 e5=1 e8=6", 18, "");
    row("alarm limit selector", "ReadAlarmLimitValue", "2026", 1, "e5=2", 18, "f=0");
    // Counters other than 0 and 1.
    row("counter 2", "CounterIn_2032", "2032", 1, "e5=2", 21, "e7=0 e8=0");
    row("counter -1", "ReadPresetCounterValue_2032", "2032", 1, "e5=-1", 21, "e7=0 e8=0");
    row("status of counter 2", "ReadCounterStatus_2032", "2032", 1, "e5=2", 21, "e7=0");
    // A value that is no number is not written as text the module would take.
    row("output value NaN", "AnalogOut", "2011", 1, "e5=0 f=nan", 1, "");
}

void TestModuleLibrary::outputValueFormat_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero") << 0.0f << QByteArray("+00.000");
    QTest::newRow("negative rounding to zero") << -0.0004f << QByteArray("+00.000");
    QTest::newRow("half a thousandth") << 0.0005f << QByteArray("+00.001");
    QTest::newRow("rounds into tens") << 9.9995f << QByteArray("+10.000");
    QTest::newRow("largest") << 99.999f << QByteArray("+99.999");
    QTest::newRow("rounds beyond format") << 99.9996f << QByteArray("+99.999");
    QTest::newRow("hundreds") << 150.0f << QByteArray("+99.999");
    QTest::newRow("negative hundreds") << -250.0f << QByteArray("-99.999");
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << QByteArray("+99.999");
    QTest::newRow("minus infinite")
        << -std::numeric_limits<float>::infinity() << QByteArray("-99.999");
}

void TestModuleLibrary::outputValueFormat()
{
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    Rig rig;
    rig.line.replies << ">";
    Blocks b = prepared(false, 1, QStringLiteral("2011"), QStringLiteral("e5=0"));
    b.f[0] = value;
    QCOMPARE(rig.library.AnalogOut(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(rig.line.sent, QByteArrayList{"#01" + text});
    // The caller's value stays, so what it shows is what it asked for.
    QCOMPARE(b.f[0], value);
}

void TestModuleLibrary::checksumFlagReachesTheLink()
{
    Rig rig;
    rig.line.replies << ">+05.000" + SerialLink::checksumDigits(">+05.000");
    Blocks b = prepared(false, 1, QStringLiteral("2026"), QStringLiteral("e5=0 chk=1"));
    QCOMPARE(rig.library.AnalogIn(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(rig.line.sent, QByteArrayList{"#01" + SerialLink::checksumDigits("#01")});
    QCOMPARE(b.f[0], 5.0f);
    // The texts handed back are the bare command and reply.
    QCOMPARE(b.szSend, QByteArray("#01"));
    QCOMPARE(b.szReceive, QByteArray(">+05.000"));
}

// One block reused the way the poll cycle reuses it: what a call does not
// set must survive for the next.
void TestModuleLibrary::elementsKeptAcrossCalls()
{
    Rig rig;
    Blocks b = prepared(false, 1, QStringLiteral("2065"), QStringLiteral("e5=0x20 e7=5 e8=1"));
    rig.line.replies << ">"
                     << "!FF0A00";
    QCOMPARE(rig.library.DigitalBitOut(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(rig.library.DigitalIn(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[5], qint16(0x0A));
    QCOMPARE(b.w[7], qint16(5));
    QCOMPARE(b.w[8], qint16(1));

    // The counter's words stay for an analog read of another module.
    b.w[2] = qint16(catalogue::typeCodeOfName(QStringLiteral("2032")));
    b.w[5] = 1;
    rig.line.replies << ">00020003";
    QCOMPARE(rig.library.CounterIn_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    b.w[2] = qint16(catalogue::typeCodeOfName(QStringLiteral("2091")));
    b.w[5] = 4;
    rig.line.replies << ">+03.250";
    QCOMPARE(rig.library.AnalogIn(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), 0x00020003);
    QCOMPARE(b.f[0], 3.25f);
    QCOMPARE(b.w[15], WordMark);
    QCOMPARE(b.f[15], FloatMark);
    QCOMPARE(rig.line.sent, (QByteArrayList{"#011501", "$016", "#011", "#014"}));
}

void TestModuleLibrary::makeLong_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<qint32>("value");
    QTest::newRow("small") << 0 << 7 << qint32(7);
    QTest::newRow("low not sign-extended") << 0 << -1 << qint32(0xFFFF);
    QTest::newRow("high word") << 2 << 3 << qint32(0x00020003);
    QTest::newRow("top bit makes it negative") << -32768 << 0 << qint32(0x80000000u);
    QTest::newRow("all bits") << -1 << -1 << qint32(-1);
}

void TestModuleLibrary::makeLong()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(qint32, value);
    QCOMPARE(MakeLong(qint16(high), qint16(low)), value);
}

void TestModuleLibrary::functionTable()
{
    QSet<QString> names;
    for (const ModuleLibrary::Function &f : ModuleLibrary::functions()) {
        const QString name = QLatin1String(f.name);
        QVERIFY2(!names.contains(name), f.name);
        names.insert(name);
        // The slot and 92000 functions take the 32-bit block.
        QCOMPARE(f.wide,
                 name.endsWith(QLatin1String("_9K")) || name.endsWith(QLatin1String("_92K")));
        QCOMPARE(ModuleLibrary::function(name), &f);
        QCOMPARE(ModuleLibrary::function(name.toLower()), &f);
    }
    QVERIFY(ModuleLibrary::function(QStringLiteral("AnalogIn_93K")) == nullptr);
    QVERIFY(ModuleLibrary::function(QString()) == nullptr);
}

// --- In-process simulator -----------------------------------------------------

namespace {

class SimRig
{
public:
    explicit SimRig(const QByteArray &json)
    {
        QString error;
        line = sim::SimLine::load(json, &error);
        if (!line)
            qFatal("line file: %s", qPrintable(error));
        m_link = std::make_unique<SerialLink>(clock, sim::simDeviceFactory(*line, clock),
                                              m_folder.path());
        library = std::make_unique<ModuleLibrary>(*m_link);
        m_link->Open_Com(Port, 9600);
    }

    Blocks block(bool wide, int address, const char *type, const QString &inputs = {}) const
    {
        return prepared(wide, address, QLatin1String(type), inputs);
    }

    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<ModuleLibrary> library;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<SerialLink> m_link;
};

} // namespace

void TestModuleLibrary::simAnalogOutputReadsBack()
{
    SimRig rig(R"({"modules": [
        {"name": "2028", "address": "10", "range": "32"},
        {"name": "2011", "address": "11", "range": "32"},
        {"name": "92028", "address": "12", "range": "32"}]})");
    Blocks b = rig.block(false, 0x10, "2028", QStringLiteral("e5=2 f=7.5"));
    QCOMPARE(rig.library->AnalogOut(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    b.f[0] = 0;
    b.w[7] = 2;
    QCOMPARE(rig.library->AnalogOutReadBack(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.f[0], 7.5f);
    QCOMPARE(rig.line->analogOutput(0x10, 2), std::optional<double>(7.5));

    // Beyond what the format holds: the module clamps to its own range.
    Blocks single = rig.block(false, 0x11, "2011", QStringLiteral("e5=0 f=150"));
    QCOMPARE(rig.library->AnalogOut(single.w, single.f, single.szSend, single.szReceive),
             LinkCode::Ok);
    QCOMPARE(rig.library->AnalogOutReadBack(single.w, single.f, single.szSend, single.szReceive),
             LinkCode::Ok);
    QVERIFY(single.f[0] > 0.0f && single.f[0] <= 20.0f);
    QCOMPARE(double(single.f[0]), *rig.line->analogOutput(0x11, 0));

    Blocks wide = rig.block(true, 0x12, "92028", QStringLiteral("e5=3 f=-0.5"));
    QCOMPARE(rig.library->AnalogOut_92K(wide.dw, wide.f, wide.szSend, wide.szReceive),
             LinkCode::Ok);
    wide.dw[7] = 3;
    QCOMPARE(rig.library->AnalogOutReadBack_92K(wide.dw, wide.f, wide.szSend, wide.szReceive),
             LinkCode::Ok);
    QCOMPARE(double(wide.f[0]), *rig.line->analogOutput(0x12, 3));
}

void TestModuleLibrary::simDigitalOutputReadsBack()
{
    SimRig rig(R"({"modules": [
        {"name": "2041", "address": "20"},
        {"name": "2065", "address": "21"},
        {"name": "92092", "address": "22"}]})");
    Blocks b = rig.block(false, 0x20, "2041", QStringLiteral("e5=-32767"));
    QCOMPARE(rig.library->DigitalOut(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    b.w[5] = 12;
    QCOMPARE(rig.library->DigitalOutReadBack(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[5], qint16(-32767));
    QCOMPARE(rig.line->digitalOutputs(0x20), std::optional<quint32>(0x8001));

    Blocks port = rig.block(false, 0x21, "2065", QStringLiteral("e5=0x81"));
    QCOMPARE(rig.library->DigitalOut(port.w, port.f, port.szSend, port.szReceive), LinkCode::Ok);
    port.w[7] = 3;
    port.w[8] = 1;
    QCOMPARE(rig.library->DigitalBitOut(port.w, port.f, port.szSend, port.szReceive), LinkCode::Ok);
    port.w[7] = 7;
    port.w[8] = 0;
    QCOMPARE(rig.library->DigitalBitOut(port.w, port.f, port.szSend, port.szReceive), LinkCode::Ok);
    QCOMPARE(rig.library->DigitalOutReadBack(port.w, port.f, port.szSend, port.szReceive),
             LinkCode::Ok);
    QCOMPARE(port.w[5], qint16(0x09));
    QVERIFY(rig.line->setDigitalInputs(0x21, 0x0A));
    QCOMPARE(rig.library->DigitalIn(port.w, port.f, port.szSend, port.szReceive), LinkCode::Ok);
    QCOMPARE(port.w[5], qint16(0x0A));

    Blocks wide = rig.block(true, 0x22, "92092", QStringLiteral("e5=0x5A"));
    QVERIFY(rig.line->setDigitalInputs(0x22, 0xC3));
    QCOMPARE(rig.library->DigitalOut_92K(wide.dw, wide.f, wide.szSend, wide.szReceive),
             LinkCode::Ok);
    QCOMPARE(rig.library->DigitalOutReadBack_92K(wide.dw, wide.f, wide.szSend, wide.szReceive),
             LinkCode::Ok);
    QCOMPARE(wide.dw[5], 0x5A);
    QCOMPARE(rig.library->DigitalIn_92K(wide.dw, wide.f, wide.szSend, wide.szReceive),
             LinkCode::Ok);
    QCOMPARE(wide.dw[5], 0xC3);
}

void TestModuleLibrary::simCounterCountsOverTime()
{
    SimRig rig(R"({"modules": [{"name": "2032", "address": "30", "counters": [
        {"start": 100, "countsPerSecond": 10},
        {"start": "FFFFFFF0", "countsPerSecond": 0}]}]})");
    Blocks b = rig.block(false, 0x30, "2032", QStringLiteral("e5=0"));
    for (const qint64 wait : {0, 2000, 60000}) {
        rig.clock.advance(wait);
        const qint64 before = rig.clock.tickCount();
        QCOMPARE(rig.library->CounterIn_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
        const qint64 after = rig.clock.tickCount();
        const qint32 count = MakeLong(b.w[7], b.w[8]);
        QVERIFY2(count >= 100 + before / 100 && count <= 100 + after / 100,
                 QByteArray::number(count));
    }
    // A count with its top bit set is negative once joined.
    b.w[5] = 1;
    QCOMPARE(rig.library->CounterIn_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), -16);
}

void TestModuleLibrary::simSlotModulesOfMainUnit()
{
    SimRig rig(R"({"modules": [{"name": "9300", "address": "05", "slots": [
        {"slot": 1, "name": "9028", "range": "32"},
        {"slot": 2, "name": "9091", "inputs": [0, 0, 0, 1.25]},
        {"slot": 3, "name": "9040"},
        {"slot": 0, "name": "9087"}]}]})");
    Blocks in = rig.block(true, 0x05, "9091", QStringLiteral("slot=2 e5=3"));
    QCOMPARE(rig.library->AnalogIn_9K(in.dw, in.f, in.szSend, in.szReceive), LinkCode::Ok);
    QCOMPARE(in.f[0], 1.25f);
    QCOMPARE(in.szSend, QByteArray("#05S23"));

    Blocks out = rig.block(true, 0x05, "9028", QStringLiteral("slot=1 e5=0 f=4"));
    QCOMPARE(rig.library->AnalogOut_9K(out.dw, out.f, out.szSend, out.szReceive), LinkCode::Ok);
    out.f[0] = 0;
    QCOMPARE(rig.library->AnalogOutReadBack_9K(out.dw, out.f, out.szSend, out.szReceive),
             LinkCode::Ok);
    QCOMPARE(out.f[0], 4.0f);
    QCOMPARE(rig.line->analogOutput(0x05, 0, 1), std::optional<double>(4.0));

    Blocks din = rig.block(true, 0x05, "9040", QStringLiteral("slot=3"));
    QVERIFY(rig.line->setDigitalInputs(0x05, 0xBEEF, 3));
    QCOMPARE(rig.library->DigitalIn_9K(din.dw, din.f, din.szSend, din.szReceive), LinkCode::Ok);
    QCOMPARE(din.dw[5], 0xBEEF);

    Blocks dout = rig.block(true, 0x05, "9087", QStringLiteral("slot=0 e5=0xF00F"));
    QCOMPARE(rig.library->DigitalOut_9K(dout.dw, dout.f, dout.szSend, dout.szReceive),
             LinkCode::Ok);
    dout.dw[5] = 0;
    dout.dw[8] = 15;
    QCOMPARE(rig.library->DigitalBitOut_9K(dout.dw, dout.f, dout.szSend, dout.szReceive),
             LinkCode::Ok);
    QCOMPARE(rig.library->DigitalOutReadBack_9K(dout.dw, dout.f, dout.szSend, dout.szReceive),
             LinkCode::Ok);
    QCOMPARE(dout.dw[5], 0x700F);

    // An empty slot does not answer as a module.
    Blocks empty = rig.block(true, 0x05, "9091", QStringLiteral("slot=6 e5=0"));
    QCOMPARE(rig.library->AnalogIn_9K(empty.dw, empty.f, empty.szSend, empty.szReceive),
             LinkCode::CmdError);
}

void TestModuleLibrary::simCounterAndAlarmSettings()
{
    SimRig rig(R"({"modules": [
        {"name": "2032", "address": "40", "mode": "frequency", "inputMode": 2,
         "levelHigh": 2.4, "levelLow": 0.8, "alarm": {"mode": "latch"},
         "counters": [{"preset": "12345678", "max": "0FFFFFFF", "alarmLimit": 500,
                       "minWidthUs": 40000, "counting": false}]},
        {"name": "2067", "address": "41", "linearMapping": 1,
         "alarm": {"mode": "momentary", "high": 8.5, "low": -2}}]})");
    Blocks b = rig.block(false, 0x40, "2032", QStringLiteral("e5=0"));
    QCOMPARE(rig.library->ReadPresetCounterValue_2032(b.w, b.f, b.szSend, b.szReceive),
             LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), 0x12345678);
    QCOMPARE(rig.library->ReadCounterMaxValue_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), 0x0FFFFFFF);
    QCOMPARE(rig.library->ReadAlarmLimitValue_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(MakeLong(b.w[7], b.w[8]), 500);
    QCOMPARE(rig.library->ReadMinSignalWidth_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(quint16(b.w[7]), quint16(40000));
    QCOMPARE(rig.library->ReadCounterStatus_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[7], qint16(0));
    QCOMPARE(rig.library->ReadLevelVolt_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.f[0], 2.4f);
    QCOMPARE(rig.library->ReadModuleMode_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[5], qint16(1));
    b.w[5] = 0;
    QCOMPARE(rig.library->ReadInputSignalMode_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[7], qint16(2));
    QCOMPARE(rig.library->ReadOutputAlarmState_2032(b.w, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.w[7], qint16(2));

    Blocks a = rig.block(false, 0x41, "2067", QStringLiteral("e5=0"));
    QCOMPARE(rig.library->ReadAlarmLimitValue(a.w, a.f, a.szSend, a.szReceive), LinkCode::Ok);
    QCOMPARE(a.f[0], 8.5f);
    a.w[5] = 1;
    QCOMPARE(rig.library->ReadAlarmLimitValue(a.w, a.f, a.szSend, a.szReceive), LinkCode::Ok);
    QCOMPARE(a.f[0], -2.0f);
    QCOMPARE(rig.library->ReadLinearMappingStatus(a.w, a.f, a.szSend, a.szReceive), LinkCode::Ok);
    QCOMPARE(a.w[5], qint16(1));
    a.w[5] = 0;
    QCOMPARE(rig.library->ReadOutputAlarmState(a.w, a.f, a.szSend, a.szReceive), LinkCode::Ok);
    QCOMPARE(a.w[7], qint16(1));
}

void TestModuleLibrary::simChecksumModule()
{
    SimRig rig(R"({"modules": [{"name": "92091", "address": "50", "checksum": true,
                                "inputs": [3.5]}]})");
    Blocks b = rig.block(true, 0x50, "92091", QStringLiteral("e5=0 chk=1"));
    QCOMPARE(rig.library->AnalogIn_92K(b.dw, b.f, b.szSend, b.szReceive), LinkCode::Ok);
    QCOMPARE(b.f[0], 3.5f);
    // Without the checksum the module ignores the command.
    b.dw[3] = 0;
    QCOMPARE(rig.library->AnalogIn_92K(b.dw, b.f, b.szSend, b.szReceive), LinkCode::TimeOut);
    QCOMPARE(b.f[0], 0.0f);
}

QTEST_GUILESS_MAIN(TestModuleLibrary)
#include "tst_modulelibrary.moc"
