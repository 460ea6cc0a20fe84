// Replies of the simulated modules, checked character by character against
// the line protocol, and how the line picks the module that answers.

#include "device/catalogue.h"
#include "sim/simline.h"

#include <QtTest>

using telviox::sim::Fault;
using telviox::sim::SimLine;

namespace {

const char *const LineJson = R"({
  "turnaroundMs": 3,
  "modules": [
    {"name": "2026D", "address": "01", "baud": 9600, "range": "0E",
     "inputs": [{"wave": "sine", "offset": 25.0, "amplitude": 5.0, "periodMs": 60000}],
     "alarm": {"mode": "momentary", "high": 29.0, "low": 21.0}, "digitalInputs": 1},
    {"name": "2091", "address": "02", "baud": 9600, "range": "08", "channelMask": "0F",
     "inputs": [1370.0,
                {"wave": "triangle", "offset": 5.0, "amplitude": 4.0, "periodMs": 30000},
                {"wave": "square", "offset": -2.0, "amplitude": 1.0, "periodMs": 10000},
                {"value": 12.0, "max": 10.0}, {"value": -12.0, "min": -10.0}, -0.0004]},
    {"name": "2011", "address": "03", "baud": 9600, "range": "32", "outputs": [2.5]},
    {"name": "2028", "address": "04", "baud": 19200, "range": "33"},
    {"name": "2046", "address": "05", "baud": 9600, "outputRanges": [1, 2]},
    {"name": "2065", "address": "06", "baud": 9600, "digitalInputs": "05",
     "digitalOutputs": "0F"},
    {"name": "2058", "address": "07", "baud": 19200, "checksum": true, "range": "40",
     "digitalInputs": "1234"},
    {"name": "2032", "address": "08", "baud": 9600, "inputMode": 1,
     "levelHigh": 2.4, "levelLow": 0.8,
     "counters": [{"start": 0, "countsPerSecond": 10, "minWidthUs": 100},
                  {"start": "7FFFFFFF", "countsPerSecond": 1, "max": "FFFFFFFF",
                   "preset": "12", "alarmLimit": "80000100"}]},
    {"name": "92091", "address": "09", "baud": 19200, "range": "09", "inputs": [1.25]},
    {"name": "92035", "address": "0A", "baud": 9600, "digitalInputs": "A5"},
    {"name": "92028", "address": "0B", "baud": 9600, "range": "30"},
    {"name": "2096", "address": "0C", "baud": 9600, "range": "2A", "wiring": "03"},
    {"name": "2011", "address": "03", "baud": 19200, "range": "30"},
    {"name": "9300", "address": "10", "baud": 9600,
     "slots": [{"slot": 0, "name": "9091", "range": "08", "inputs": [0.5, -4.5]},
               {"slot": 2, "name": "9092", "digitalInputs": "3C", "digitalOutputs": "81"},
               {"slot": 3, "name": "9028", "range": "33"}]},
    {"name": "9900", "address": "11", "baud": 19200, "checksum": true,
     "slots": [{"slot": 0, "name": "9091H", "range": "0A"},
               {"slot": 5, "name": "9040", "digitalInputs": "BEEF"}]}
  ]
})";

std::unique_ptr<SimLine> makeLine(const QByteArray &json = LineJson)
{
    QString error;
    auto line = SimLine::load(json, &error);
    if (!line)
        qWarning("line file rejected: %s", qPrintable(error));
    return line;
}

QByteArray ask(SimLine &line, const QByteArray &command, qint32 baud = 9600, qint64 nowMs = 0)
{
    return line.receive(command + '\r', baud, nowMs);
}

QByteArray withChecksum(const QByteArray &text)
{
    return text + SimLine::checksumOf(text);
}

} // namespace

class TestSimLine : public QObject
{
    Q_OBJECT

private slots:
    void checksumDigitsFollowTheProtocolExample();
    void namesAndConfiguration();
    void analogInputsFollowTheirWaves();
    void analogInputsRefuseWrongChannelForms();
    void analogOutputsAreClampedAndReadBack();
    void digitalStatusAndOutputs();
    void everyDigitalModelDecodesToItsState();
    void alarmsFollowTheReading();
    void countersCountOverTime();
    void counterSettings();
    void mainUnitsAnswerForTheirSlots();
    void checksumModules();
    void onlyTheRightAddressAndBaudAnswer();
    void framingAcrossChunks();
    void faults();
};

void TestSimLine::checksumDigitsFollowTheProtocolExample()
{
    QCOMPARE(SimLine::checksumOf("$012"), QByteArray("B7"));
    QCOMPARE(SimLine::checksumOf(""), QByteArray("00"));
    // The sum wraps modulo 256.
    QCOMPARE(SimLine::checksumOf(QByteArray(3, char(0x80))), QByteArray("80"));
}

void TestSimLine::namesAndConfiguration()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "$01M"), QByteArray("!012026D\r"));
    QCOMPARE(ask(*line, "$09M", 19200), QByteArray("!0992091\r"));
    QCOMPARE(ask(*line, "$10M"), QByteArray("!109300\r"));
    // Range code, baud code, data format (bit 6 = checksum).
    QCOMPARE(ask(*line, "$012"), QByteArray("!010E0600\r"));
    QCOMPARE(ask(*line, "$042", 19200), QByteArray("!04330700\r"));
    QCOMPARE(ask(*line, withChecksum("$072"), 19200), withChecksum("!07400740") + '\r');
    // Counters report their mode as the range code: 50 counter, 51 frequency.
    QCOMPARE(ask(*line, "$082"), QByteArray("!08500600\r"));
    QCOMPARE(line->turnaroundMs(), 3);
    QVERIFY(!line->wireTime());
    QCOMPARE(line->moduleCount(), 15);
}

void TestSimLine::analogInputsFollowTheirWaves()
{
    auto line = makeLine();
    QVERIFY(line);
    // Sine: a quarter period up, three quarters down.
    QCOMPARE(ask(*line, "#01", 9600, 0), QByteArray(">+25.000\r"));
    QCOMPARE(ask(*line, "#01", 9600, 15000), QByteArray(">+30.000\r"));
    QCOMPARE(ask(*line, "#01", 9600, 45000), QByteArray(">+20.000\r"));
    QCOMPARE(ask(*line, "#01", 9600, 60000 + 15000), QByteArray(">+30.000\r"));
    // Wide values keep their integer digits.
    QCOMPARE(ask(*line, "#020"), QByteArray(">+1370.000\r"));
    // Triangle: middle, top, middle, bottom.
    QCOMPARE(ask(*line, "#021", 9600, 0), QByteArray(">+05.000\r"));
    QCOMPARE(ask(*line, "#021", 9600, 7500), QByteArray(">+09.000\r"));
    QCOMPARE(ask(*line, "#021", 9600, 15000), QByteArray(">+05.000\r"));
    QCOMPARE(ask(*line, "#021", 9600, 22500), QByteArray(">+01.000\r"));
    // Square: high half, low half.
    QCOMPARE(ask(*line, "#022", 9600, 1000), QByteArray(">-01.000\r"));
    QCOMPARE(ask(*line, "#022", 9600, 6000), QByteArray(">-03.000\r"));
    // Beyond the limits: over and under range.
    QCOMPARE(ask(*line, "#023"), QByteArray(">+99999\r"));
    QCOMPARE(ask(*line, "#024"), QByteArray(">-99999\r"));
    // A value that rounds to zero has no minus sign.
    QCOMPARE(ask(*line, "#025"), QByteArray(">+00.000\r"));
    // Channels without a signal read 0.
    QCOMPARE(ask(*line, "#027"), QByteArray(">+00.000\r"));
    QCOMPARE(ask(*line, "#090", 19200), QByteArray(">+01.250\r"));

    // Set at run time.
    QVERIFY(line->setAnalogInput(2, 6, -7.125));
    QCOMPARE(ask(*line, "#026"), QByteArray(">-07.125\r"));
    QVERIFY(line->setAnalogInput(2, 3, 9.5)); // within its limit again
    QCOMPARE(ask(*line, "#023"), QByteArray(">+09.500\r"));
    QVERIFY(line->setAnalogInput(0x10, 1, 3.0, 0));
    QCOMPARE(ask(*line, "#10S01"), QByteArray(">+03.000\r"));
    QVERIFY(!line->setAnalogInput(2, 8, 1.0));
    QVERIFY(!line->setAnalogInput(0x3F, 0, 1.0));

    // Configuration reads of the inputs.
    QCOMPARE(ask(*line, "$026"), QByteArray("!020F\r"));
    QCOMPARE(ask(*line, "$0C8"), QByteArray("!0C03\r"));
    QCOMPARE(ask(*line, "$0C2"), QByteArray("!0C2A0600\r"));
    QCOMPARE(ask(*line, "$01LS"), QByteArray("!010\r"));
}

void TestSimLine::analogInputsRefuseWrongChannelForms()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "#028"), QByteArray("?02\r")); // channel beyond 8
    QCOMPARE(ask(*line, "#02"), QByteArray("?02\r"));  // multi-channel needs N
    QCOMPARE(ask(*line, "#010"), QByteArray("?01\r")); // single-channel takes none
    QCOMPARE(ask(*line, "#09", 19200), QByteArray("?09\r"));
    QCOMPARE(ask(*line, "#0C3"), QByteArray("?0C\r"));  // 3 channels: 0 to 2
    QCOMPARE(ask(*line, "$02RH"), QByteArray("?02\r")); // no alarms on this model
    QCOMPARE(ask(*line, "$01Z"), QByteArray("?01\r"));
    QCOMPARE(ask(*line, "%01"), QByteArray("?01\r"));
}

void TestSimLine::analogOutputsAreClampedAndReadBack()
{
    auto line = makeLine();
    QVERIFY(line);
    // 2011: single channel, 0 to 10 V; the line file's value is the start value.
    QCOMPARE(ask(*line, "$036"), QByteArray("!03+02.500\r"));
    QCOMPARE(ask(*line, "#03+05.125"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$036"), QByteArray("!03+05.125\r"));
    QCOMPARE(line->analogOutput(3, 0), std::optional<double>(5.125));
    QCOMPARE(ask(*line, "#03+12.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$036"), QByteArray("!03+10.000\r"));
    QCOMPARE(ask(*line, "#03-03.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$036"), QByteArray("!03+00.000\r"));
    // Malformed values and channel digits on a single channel are refused.
    QCOMPARE(ask(*line, "#03+5.0x"), QByteArray("?03\r"));
    QCOMPARE(ask(*line, "#03"), QByteArray("?03\r"));
    QCOMPARE(ask(*line, "$0360"), QByteArray("?03\r"));
    // The same address at another rate is another module with its own range.
    QCOMPARE(ask(*line, "#03+25.000", 19200), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$036", 19200), QByteArray("!03+20.000\r"));
    QCOMPARE(ask(*line, "$036"), QByteArray("!03+00.000\r"));

    // 2028: four channels, -10 to 10 V.
    QCOMPARE(ask(*line, "#043-07.500", 19200), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0463", 19200), QByteArray("!04-07.500\r"));
    QCOMPARE(ask(*line, "#040-20.000", 19200), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0460", 19200), QByteArray("!04-10.000\r"));
    QCOMPARE(ask(*line, "#044+01.000", 19200), QByteArray("?04\r"));
    QCOMPARE(ask(*line, "$0464", 19200), QByteArray("?04\r"));
    QCOMPARE(ask(*line, "$046", 19200), QByteArray("?04\r"));
    QCOMPARE(line->analogOutput(4, 3), std::optional<double>(-7.5));
    QVERIFY(!line->analogOutput(4, 4));

    // 2046: per-channel ranges 4-20 mA and 0-10 V.
    QCOMPARE(ask(*line, "$0590"), QByteArray("!051\r"));
    QCOMPARE(ask(*line, "$0591"), QByteArray("!052\r"));
    QCOMPARE(ask(*line, "$0592"), QByteArray("?05\r"));
    QCOMPARE(ask(*line, "#050+00.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0560"), QByteArray("!05+04.000\r"));
    QCOMPARE(ask(*line, "#051+15.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0561"), QByteArray("!05+10.000\r"));

    // 92028 takes a channel digit; range 30 is 0 to 20 mA.
    QCOMPARE(ask(*line, "#0B2+12.345"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0B62"), QByteArray("!0B+12.345\r"));
    QCOMPARE(ask(*line, "#0B1-01.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0B61"), QByteArray("!0B+00.000\r"));
}

void TestSimLine::digitalStatusAndOutputs()
{
    auto line = makeLine();
    QVERIFY(line);
    // 2065: b(2) outputs, b(4) inputs, then "00".
    QCOMPARE(ask(*line, "$066"), QByteArray("!0F0500\r"));
    QCOMPARE(ask(*line, "@06A5"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$066"), QByteArray("!A50500\r"));
    QCOMPARE(line->digitalOutputs(6), std::optional<quint32>(0xA5));
    // Bit outputs: #AA1 bit 0 state.
    QCOMPARE(ask(*line, "#061101"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "#061700"), QByteArray(">\r"));
    QCOMPARE(line->digitalOutputs(6), std::optional<quint32>(0x27));
    QCOMPARE(ask(*line, "#061801"), QByteArray("?06\r")); // only 8 outputs
    QCOMPARE(ask(*line, "#061102"), QByteArray("?06\r"));
    QCOMPARE(ask(*line, "@06G1"), QByteArray("?06\r"));
    // A 16-bit write to an 8-bit port keeps the bits the port has.
    QCOMPARE(ask(*line, "@061234"), QByteArray(">\r"));
    QCOMPARE(line->digitalOutputs(6), std::optional<quint32>(0x34));
    QVERIFY(line->setDigitalInputs(6, 0xFF));
    QCOMPARE(ask(*line, "$066"), QByteArray("!340F00\r")); // 4 inputs only

    // 2058: 14 inputs as b(2) * 256 + b(4); no outputs to write.
    const QByteArray status = withChecksum("$076");
    QCOMPARE(ask(*line, status, 19200), withChecksum("!123400") + '\r');
    QCOMPARE(ask(*line, withChecksum("@0701"), 19200), withChecksum("?07") + '\r');

    // 92035: no address in the status, like the stand-alone modules.
    QCOMPARE(ask(*line, "$0A6"), QByteArray("!00A500\r"));
    QCOMPARE(ask(*line, "#0A1701"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$0A6"), QByteArray("!80A500\r"));
}

void TestSimLine::everyDigitalModelDecodesToItsState()
{
    // The status reply of every digital model must decode, with the catalogue's
    // one layout, to exactly the bits the module holds.
    namespace cat = telviox::catalogue;
    int checked = 0;
    for (const cat::ModelInfo &model : cat::models()) {
        if (model.kind != cat::Kind::Digital)
            continue;
        const QString name = QLatin1String(model.name);
        const quint32 inMask = model.inputBits >= 32 ? ~0u : (1u << model.inputBits) - 1;
        const quint32 outMask = model.outputBits >= 32 ? ~0u : (1u << model.outputBits) - 1;
        const quint32 inputs = 0xA5C3u & inMask;
        const quint32 outputs = 0x5A3Cu & outMask;
        QJsonObject module{{"name", name}};
        if (model.inputBits > 0)
            module.insert("digitalInputs", QString::number(inputs, 16));
        if (model.outputBits > 0)
            module.insert("digitalOutputs", QString::number(outputs, 16));
        const cat::Family family = cat::familyOf(name);
        const bool inSlot = (family == cat::Family::F9000 || family == cat::Family::F6000) &&
                            name.at(1) == QLatin1Char('0');
        QJsonObject top;
        if (inSlot) {
            module.insert("slot", 1);
            top = QJsonObject{{"name", name.startsWith('6') ? "6000" : "9300"},
                              {"address", "2F"},
                              {"slots", QJsonArray{module}}};
        } else {
            module.insert("address", "2F");
            top = module;
        }
        const QByteArray json = QJsonDocument(QJsonObject{{"modules", QJsonArray{top}}}).toJson();
        QString error;
        auto line = SimLine::load(json, &error);
        QVERIFY2(line, qPrintable(name + QLatin1String(": ") + error));
        const QByteArray reply = ask(*line, inSlot ? "$2FS16" : "$2F6");
        QVERIFY2(reply.startsWith('!') && reply.endsWith('\r'), qPrintable(name));
        const cat::DigitalValues values = cat::decodeDigitalStatus(name, reply.chopped(1));
        QVERIFY2(values.inputs == inputs && values.outputs == outputs,
                 qPrintable(name + QLatin1String(" replied ") + QString::fromLatin1(reply)));

        // A whole-port write reads back through the same layout.
        if (model.outputBits > 0) {
            const QByteArray value = model.outputBits > 8 ? "8001" : "81";
            const QByteArray write = (inSlot ? "@2FS1" : "@2F") + value;
            QCOMPARE(ask(*line, write), QByteArray(">\r"));
            const QByteArray after = ask(*line, inSlot ? "$2FS16" : "$2F6");
            QCOMPARE(cat::decodeDigitalStatus(name, after.chopped(1)).outputs,
                     value.toUInt(nullptr, 16) & outMask);
        }
        ++checked;
    }
    QVERIFY(checked > 40);
}

void TestSimLine::alarmsFollowTheReading()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "$01RH"), QByteArray("!01+29.000\r"));
    QCOMPARE(ask(*line, "$01RL"), QByteArray("!01+21.000\r"));
    // Momentary: bit 0 while above the high limit, bit 1 while below the low.
    QCOMPARE(ask(*line, "@01DI", 9600, 0), QByteArray("!0110001\r"));
    QCOMPARE(ask(*line, "@01DI", 9600, 15000), QByteArray("!0110101\r"));
    QCOMPARE(ask(*line, "$016", 9600, 15000), QByteArray("!010100\r"));
    QCOMPARE(ask(*line, "@01DI", 9600, 45000), QByteArray("!0110201\r"));
    QCOMPARE(ask(*line, "@01DI", 9600, 60000), QByteArray("!0110001\r"));

    // Latch: once set, a bit stays.
    auto latched = makeLine(R"({"modules": [{"name": "2080", "address": 1, "inputs": [30],
        "alarm": {"mode": "latch", "high": 29, "low": 21, "outputs": 0}}]})");
    QVERIFY(latched);
    QCOMPARE(ask(*latched, "@01DI"), QByteArray("!0120100\r"));
    QVERIFY(latched->setAnalogInput(1, 0, 20.0));
    QCOMPARE(ask(*latched, "@01DI"), QByteArray("!0120300\r"));
    QVERIFY(latched->setAnalogInput(1, 0, 25.0));
    QCOMPARE(ask(*latched, "@01DI"), QByteArray("!0120300\r"));

    // Disabled: the configured output bits.
    auto disabled = makeLine(R"({"modules": [{"name": "2067", "address": 1, "inputs": [30],
        "alarm": {"mode": 0, "high": 1, "outputs": 2}}]})");
    QVERIFY(disabled);
    QCOMPARE(ask(*disabled, "@01DI"), QByteArray("!0100200\r"));
}

void TestSimLine::countersCountOverTime()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "#080", 9600, 0), QByteArray(">00000000\r"));
    QCOMPARE(ask(*line, "#080", 9600, 1500), QByteArray(">0000000F\r"));
    QCOMPARE(ask(*line, "#080", 9600, 100000), QByteArray(">000003E8\r"));
    // Counter 1 passes bit 31 after one second: its count then reads negative.
    QCOMPARE(ask(*line, "#081", 9600, 999), QByteArray(">7FFFFFFF\r"));
    QCOMPARE(ask(*line, "#081", 9600, 1000), QByteArray(">80000000\r"));
    QCOMPARE(ask(*line, "#082"), QByteArray("?08\r"));
    QCOMPARE(ask(*line, "#08"), QByteArray("?08\r"));

    // 32-bit wrap, and a smaller maximum.
    QVERIFY(line->setCounter(8, 0, 0xFFFFFFFEu, 1.0, 2000));
    QCOMPARE(ask(*line, "#080", 9600, 2000), QByteArray(">FFFFFFFE\r"));
    QCOMPARE(ask(*line, "#080", 9600, 4000), QByteArray(">00000000\r"));
    auto small = makeLine(R"({"modules": [{"name": "2032", "address": 8,
        "counters": [{"start": 95, "countsPerSecond": 10, "max": 99},
                     {"start": 7, "countsPerSecond": 10, "counting": false}]}]})");
    QVERIFY(small);
    QCOMPARE(ask(*small, "#080", 9600, 1000), QByteArray(">00000005\r"));
    QCOMPARE(ask(*small, "#081", 9600, 1000), QByteArray(">00000007\r"));
    QCOMPARE(ask(*small, "$0850"), QByteArray("!081\r"));
    QCOMPARE(ask(*small, "$0851"), QByteArray("!080\r"));

    // Frequency mode reports the rate.
    auto frequency = makeLine(R"({"modules": [{"name": "2032", "address": 8, "mode": "frequency",
        "counters": [{"countsPerSecond": 123.4}]}]})");
    QVERIFY(frequency);
    QCOMPARE(ask(*frequency, "#080", 9600, 5000), QByteArray(">0000007B\r"));
    QCOMPARE(ask(*frequency, "$08B"), QByteArray("!081\r"));
    QCOMPARE(ask(*frequency, "$082"), QByteArray("!08510600\r"));
}

void TestSimLine::counterSettings()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "$081H"), QByteArray("!0824\r"));
    QCOMPARE(ask(*line, "$081L"), QByteArray("!0808\r"));
    QCOMPARE(ask(*line, "$0850"), QByteArray("!081\r"));
    QCOMPARE(ask(*line, "$0800"), QByteArray("!0800100\r"));
    QCOMPARE(ask(*line, "$0801"), QByteArray("!0800000\r"));
    QCOMPARE(ask(*line, "@08G1"), QByteArray("!0800000012\r"));
    QCOMPARE(ask(*line, "$0830"), QByteArray("!08FFFFFFFF\r"));
    QCOMPARE(ask(*line, "@08RP1"), QByteArray("!0880000100\r"));
    QCOMPARE(ask(*line, "$08B"), QByteArray("!080\r"));
    QCOMPARE(ask(*line, "$08A"), QByteArray("!081\r"));
    QCOMPARE(ask(*line, "@08DI"), QByteArray("!0800000\r"));
    QCOMPARE(ask(*line, "$0852"), QByteArray("?08\r"));
    QCOMPARE(ask(*line, "@08RP2"), QByteArray("?08\r"));
}

void TestSimLine::mainUnitsAnswerForTheirSlots()
{
    auto line = makeLine();
    QVERIFY(line);
    // Slot table: codes for slots 0-3, "FF" for the empty slot.
    QCOMPARE(ask(*line, "$10T"), QByteArray("!1091FF9228\r"));
    QCOMPARE(ask(*line, "$10T1"), QByteArray("?10\r")); // four slots only
    const auto ask11 = [&](const QByteArray &text) {
        return ask(*line, withChecksum(text), 19200);
    };
    QCOMPARE(ask11("$11T"), withChecksum("!111HFFFFFF") + '\r');
    QCOMPARE(ask11("$11T1"), withChecksum("!11FF40FFFF") + '\r');
    QCOMPARE(ask11("$11S0M"), withChecksum("!119091H") + '\r');

    // Analog input in slot 0.
    QCOMPARE(ask(*line, "#10S00"), QByteArray(">+00.500\r"));
    QCOMPARE(ask(*line, "#10S01"), QByteArray(">-04.500\r"));
    QCOMPARE(ask(*line, "#10S08"), QByteArray("?10\r"));
    QCOMPARE(ask(*line, "$10S0B"), QByteArray("!100800\r"));
    QCOMPARE(ask11("$11S0B"), withChecksum("!110A00") + '\r');
    // Digital I/O in slot 2: "!AA", b(4) outputs, b(6) inputs.
    QCOMPARE(ask(*line, "$10S26"), QByteArray("!10813C\r"));
    QCOMPARE(ask(*line, "@10S2A5"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "#10S21001"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$10S26"), QByteArray("!10A53C\r"));
    QCOMPARE(line->digitalOutputs(0x10, 2), std::optional<quint32>(0xA5));
    QVERIFY(line->setDigitalInputs(0x10, 0x0F, 2));
    QCOMPARE(ask(*line, "$10S26"), QByteArray("!10A50F\r"));
    QCOMPARE(ask11("$11S56"), withChecksum("!11BEEF") + '\r');
    // Analog output in slot 3, -10 to 10 V.
    QCOMPARE(ask(*line, "#10S32+07.500"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$10S362"), QByteArray("!10+07.500\r"));
    QCOMPARE(ask(*line, "#10S30-12.000"), QByteArray(">\r"));
    QCOMPARE(ask(*line, "$10S360"), QByteArray("!10-10.000\r"));
    QCOMPARE(line->analogOutput(0x10, 2, 3), std::optional<double>(7.5));
    // Empty slots, slots beyond the unit, and malformed slot digits.
    QCOMPARE(ask(*line, "$10S1M"), QByteArray("?10\r"));
    QCOMPARE(ask(*line, "$10S4M"), QByteArray("?10\r"));
    QCOMPARE(ask(*line, "$10SXM"), QByteArray("?10\r"));
    QCOMPARE(ask(*line, "$10S"), QByteArray("?10\r"));
    QVERIFY(!line->analogOutput(0x10, 0, 1));
}

void TestSimLine::checksumModules()
{
    auto line = makeLine();
    QVERIFY(line);
    // A checksum module answers only a command with the right digits, and
    // appends its own.
    QCOMPARE(ask(*line, "$07MD8", 19200), QByteArray("!07205857\r"));
    QCOMPARE(ask(*line, "$07Md8", 19200), QByteArray("!07205857\r"));
    QCOMPARE(ask(*line, "$07M", 19200), QByteArray());
    QCOMPARE(ask(*line, "$07MD9", 19200), QByteArray());
    QCOMPARE(ask(*line, "$07", 19200), QByteArray());
    // A refused command with a good checksum is answered with one too.
    QCOMPARE(ask(*line, withChecksum("$07Q"), 19200), withChecksum("?07") + '\r');
    // Without checksum, trailing digits make the command invalid.
    QCOMPARE(ask(*line, withChecksum("$01M")), QByteArray("?01\r"));
    QCOMPARE(ask(*line, withChecksum("#01")), QByteArray("?01\r"));
}

void TestSimLine::onlyTheRightAddressAndBaudAnswer()
{
    auto line = makeLine();
    QVERIFY(line);
    QCOMPARE(ask(*line, "$01M", 19200), QByteArray()); // module 01 is at 9600
    QCOMPARE(ask(*line, "$04M", 9600), QByteArray());  // module 04 is at 19200
    QCOMPARE(ask(*line, "$01M", 115200), QByteArray());
    QCOMPARE(ask(*line, "$3FM"), QByteArray()); // nobody there
    QCOMPARE(ask(*line, "$0aM"), QByteArray()); // address digits are upper case
    QCOMPARE(ask(*line, "$0AM"), QByteArray("!0A92035\r"));
    QCOMPARE(ask(*line, "$03M", 9600), QByteArray("!032011\r"));
    QCOMPARE(ask(*line, "$03M", 19200), QByteArray("!032011\r"));
    QCOMPARE(ask(*line, "!01M"), QByteArray()); // not a command lead
    QCOMPARE(ask(*line, "$0"), QByteArray());
    QCOMPARE(ask(*line, ""), QByteArray());
    // The line saw every frame, answered or not.
    QCOMPARE(line->commands().size(), 11);
    QCOMPARE(line->commands().first(), QByteArray("$01M"));
    line->clearCommands();
    QVERIFY(line->commands().isEmpty());
}

void TestSimLine::framingAcrossChunks()
{
    auto line = makeLine();
    QVERIFY(line);
    // A command in pieces is answered when its CR arrives.
    QCOMPARE(line->receive("$0", 9600, 0), QByteArray());
    QCOMPARE(line->receive("1", 9600, 0), QByteArray());
    QCOMPARE(line->receive("M\r", 9600, 0), QByteArray("!012026D\r"));
    // Two commands at once give two replies, in order.
    const auto replies = line->process("$01M\r$03M\r", 9600, 0);
    QCOMPARE(replies.size(), size_t(2));
    QCOMPARE(replies[0].bytes, QByteArray("!012026D\r"));
    QCOMPARE(replies[0].command, QByteArray("$01M"));
    QCOMPARE(replies[0].address, 1);
    QCOMPARE(replies[1].bytes, QByteArray("!032011\r"));
    // Noise before the lead is skipped.
    QCOMPARE(line->receive(QByteArray("\xFF\x00zz$03M\r", 9), 9600, 0), QByteArray("!032011\r"));
    // A rate change in the middle of a command garbles it.
    QCOMPARE(line->receive("$03", 9600, 0), QByteArray());
    QCOMPARE(line->receive("M\r", 19200, 0), QByteArray());
    QCOMPARE(line->receive("$03M\r", 9600, 0), QByteArray("!032011\r"));
    // Endless garbage without CR does not pile up, and the next command works.
    for (int i = 0; i < 100; ++i)
        QCOMPARE(line->receive(QByteArray(1000, 'x'), 9600, 0), QByteArray());
    QCOMPARE(line->receive("\r$03M\r", 9600, 0), QByteArray("!032011\r"));
}

void TestSimLine::faults()
{
    auto line = makeLine();
    QVERIFY(line);
    const QByteArray name = withChecksum("$07M");
    const QByteArray good = QByteArray("!07205857\r");

    line->setFault(7, Fault{Fault::Kind::NoReply});
    QCOMPARE(ask(*line, name, 19200), QByteArray());

    line->setFault(7, Fault{Fault::Kind::BadChecksum});
    QCOMPARE(ask(*line, name, 19200), QByteArray("!07205858\r"));

    Fault cut{Fault::Kind::Cut};
    line->setFault(7, cut);
    QCOMPARE(ask(*line, name, 19200), QByteArray("!072")); // half, no CR
    cut.keep = 7;
    line->setFault(7, cut);
    QCOMPARE(ask(*line, name, 19200), QByteArray("!072058"));

    line->setFault(7, Fault{Fault::Kind::Noise});
    QCOMPARE(ask(*line, name, 19200), QByteArray("\xFF\x00\x7F", 3) + good);

    Fault endless{Fault::Kind::Endless};
    endless.length = 40;
    line->setFault(7, endless);
    const auto replies = line->process(name + '\r', 19200, 0);
    QCOMPARE(replies.size(), size_t(1));
    QVERIFY(replies[0].endless);
    QCOMPARE(replies[0].bytes.size(), 40);
    QVERIFY(replies[0].bytes.startsWith("!07205857!07"));
    QVERIFY(!replies[0].bytes.contains('\r'));

    // Every second reply only.
    Fault second{Fault::Kind::NoReply};
    second.every = 2;
    line->setFault(7, second);
    QCOMPARE(ask(*line, name, 19200), good);
    QCOMPARE(ask(*line, name, 19200), QByteArray());
    QCOMPARE(ask(*line, name, 19200), good);

    // Faults stay on their address.
    QCOMPARE(ask(*line, "$01M"), QByteArray("!012026D\r"));
    line->clearFault(7);
    QCOMPARE(ask(*line, name, 19200), good);
    QCOMPARE(ask(*line, name, 19200), good);

    // From the line file, for slot replies as well.
    auto fromFile = makeLine(R"({"modules": [{"name": "9300", "address": "20",
        "slots": [{"slot": 1, "name": "9040"}]}],
        "faults": [{"address": "20", "kind": "noise", "bytes": "~~"}]})");
    QVERIFY(fromFile);
    QCOMPARE(ask(*fromFile, "$20S16"), QByteArray("~~!200000\r"));
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "tst_simline.moc"
