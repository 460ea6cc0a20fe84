// The acquisition routines against the simulated line: the exact item texts,
// what reaches the modules, library errors, linked outputs and the error trap.

#include "server/serverrig.h"
#include "server/valuetext.h"

#include <QtTest>

#include <functional>

using namespace telviox;
using namespace telviox::test;
using catalogue::Routine;

namespace {

// One conversation served once by its routine, at both tick parities.
struct RoutineCase
{
    const char *name;
    Routine routine;
    const char *model;
    int address;
    int slot;
    qint16 channels;
    qint16 ioType;
    qint16 outData;
    float outValue;
    const char *textParity1;
    const char *textParity0;
    // What the module must show afterwards; empty when nothing to check.
    std::function<QString(ServerRig &)> check;
    bool noExchange = false;
};

QString outputIs(ServerRig &rig, int address, int channel, double expected, int slot = -1)
{
    const auto value = rig.line->analogOutput(address, channel, slot);
    if (!value || std::abs(*value - expected) > 1e-6)
        return QStringLiteral("output %1 is %2, expected %3")
            .arg(channel)
            .arg(value ? QString::number(*value) : QStringLiteral("missing"))
            .arg(expected);
    return {};
}

QString bitsAre(ServerRig &rig, int address, quint32 expected, int slot = -1)
{
    const auto bits = rig.line->digitalOutputs(address, slot);
    if (!bits || *bits != expected)
        return QStringLiteral("outputs are %1, expected %2")
            .arg(bits ? QString::number(*bits, 16) : QStringLiteral("missing"))
            .arg(expected, 0, 16);
    return {};
}

const QString Blanks7 = QStringLiteral("       ");

const std::vector<RoutineCase> &routineCases()
{
    static const std::vector<RoutineCase> cases = {
        {"2026 single channel", Routine::PrepareData2026, "2026", 1, -1, 1, 0, 0, 0,
         "1.500 ", " 1.500", {}},
        {"2091 all channels", Routine::PrepareData2091, "2091", 2, -1, 0xFF, 0, 0, 0,
         "+1.500 -0.250 0.000 +0.063 -0.063 +2.000 +3.000 +4.000 ",
         " +1.500 -0.250 0.000 +0.063 -0.063 +2.000 +3.000 +4.000", {}},
        {"2091 channel 0 only", Routine::PrepareData2091, "2091", 2, -1, 0x80, 0, 0, 0,
         "+1.500                                                  ",
         " +1.500                                                 ", {}},
        {"2091 no channel", Routine::PrepareData2091, "2091", 2, -1, 0, 0, 0, 0,
         "                                                        ",
         "                                                        ", {}, true},
        {"92091 channels 0 and 7", Routine::PrepareDataAI_92K, "92091", 7, -1, 0x81, 0, 0, 0,
         "+0.500                                           -7.500 ",
         " +0.500                                           -7.500", {}},
        {"9091 in slot 1, channel 1", Routine::PrepareDataAI_9K, "9091", 10, 1, 0x40, 0, 0, 0,
         "       +2.250                                           ",
         "        +2.250                                          ", {}},
        {"2011 fixed value", Routine::PrepareData2011, "2011", 3, -1, 1, 0, 0, 2.5f, "+2.500 ",
         " +2.500", [](ServerRig &rig) { return outputIs(rig, 3, 0, 2.5); }},
        {"2028 channel 2", Routine::PrepareData2028, "2028", 4, -1, 2, 0, 0, 1.25f, "+1.250 ",
         " +1.250", [](ServerRig &rig) { return outputIs(rig, 4, 2, 1.25); }},
        {"9028 in slot 2, channel 3", Routine::PrepareDataAO_9K, "9028", 10, 2, 3, 0, 0, 7.5f,
         "+7.500 ", " +7.500", [](ServerRig &rig) { return outputIs(rig, 10, 3, 7.5, 2); }},
        {"92028 zero on channel 1", Routine::PrepareDataAO_92K, "92028", 8, -1, 1, 0, 0, 0.0f,
         "0.000 ", " 0.000", [](ServerRig &rig) { return outputIs(rig, 8, 1, 0.0); }},
        {"2032 both counters", Routine::PrepareData2032, "2032", 5, -1, 3, 0, 0, 0,
         "000000123 -000000016 ", " 000000123 -000000016", {}},
        {"2032 counter 1 only", Routine::PrepareData2032, "2032", 5, -1, 2, 0, 0, 0,
         "       -000000016 ", "        -000000016", {}},
        {"3032 served as 2032", Routine::PrepareData2032, "3032", 5, -1, 1, 0, 0, 0,
         "000000123        ", " 000000123       ", {}},
        {"generic digital input", Routine::PrepareDataElse, "2017", 6, -1, 0, 1, 0, 0, "5A ",
         " 5A", {}},
        {"generic whole port", Routine::PrepareDataElse, "2017", 6, -1, 0, 2, 0xA5, 0, "A5 ",
         " A5", [](ServerRig &rig) { return bitsAre(rig, 6, 0xA5); }},
        {"generic bit 2 from 0x10", Routine::PrepareDataElse, "2017", 6, -1, 3, 2, 0x10, 0,
         "10 ", " 10", [](ServerRig &rig) { return bitsAre(rig, 6, 0x04); }},
        {"generic negative output", Routine::PrepareDataElse, "2017", 6, -1, 0, 2, -1, 0,
         "FFFF ", " FFFF", [](ServerRig &rig) { return bitsAre(rig, 6, 0xFF); }},
        {"generic analog channel 0", Routine::PrepareDataElse, "2063", 13, -1, 1, 3, 0, 0,
         "0.750 ", " 0.750", {}},
        {"generic nothing to do", Routine::PrepareDataElse, "2017", 6, -1, 0, 0, 0, 0, "", "",
         {}, true},
        {"generic unknown io type", Routine::PrepareDataElse, "2017", 6, -1, 0, 7, 0, 0, "", "",
         {}, true},
        {"9035 inputs in slot 3", Routine::PrepareDataDIO9K, "9035", 10, 3, 0, 1, 0, 0, "3C ",
         " 3C", {}},
        {"9035 bit 1 shows its state", Routine::PrepareDataDIO9K, "9035", 10, 3, 2, 2, 0x40, 0,
         "1 ", " 1", [](ServerRig &rig) { return bitsAre(rig, 10, 0x02, 3); }},
        {"9035 analog io type is none", Routine::PrepareDataDIO9K, "9035", 10, 3, 0, 3, 0, 0, "",
         "", {}, true},
        {"92035 inputs", Routine::PrepareDataDIO92K, "92035", 9, -1, 0, 1, 0, 0, "C3 ", " C3",
         {}},
        {"92035 bit 1 shows the value", Routine::PrepareDataDIO92K, "92035", 9, -1, 2, 2, 0x40,
         0, "40 ", " 40", [](ServerRig &rig) { return bitsAre(rig, 9, 0x02); }},
        {"92035 negative whole port", Routine::PrepareDataDIO92K, "92035", 9, -1, 0, 2, -2, 0,
         "FFFFFFFE ", " FFFFFFFE", [](ServerRig &rig) { return bitsAre(rig, 9, 0xFE); }},
    };
    return cases;
}

void prepareLine(ServerRig &rig)
{
    rig.line->setCounter(5, 0, 123, 0);
    rig.line->setCounter(5, 1, 0xFFFFFFF0u, 0);
    rig.line->setDigitalInputs(6, 0x5A);
    rig.line->setDigitalInputs(10, 0x3C, 3);
    rig.line->setDigitalInputs(9, 0xC3);
}

} // namespace

class AcquisitionTest : public QObject
{
    Q_OBJECT

private slots:
    void valueTexts_data();
    void valueTexts();
    void linkedNumbers_data();
    void linkedNumbers();
    void conversions();

    void routineTexts_data();
    void routineTexts();
    void blocksAsTheModulesNeedThem();

    void libraryErrors();
    void counterErrors();
    void digitalCallsGoWithoutChecksum();
    void portCheck();

    void linkedOutputs_data();
    void linkedOutputs();
    void linkedSourceFailures_data();
    void linkedSourceFailures();
};

// ---------------------------------------------------------------------------
// Texts

void AcquisitionTest::valueTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    using namespace valuetext;
    QTest::newRow("single 1.5 after") << singleChannel(1.5f, 1) << "1.500 ";
    QTest::newRow("single 1.5 before") << singleChannel(1.5f, 0) << " 1.500";
    QTest::newRow("single positive has no plus") << singleChannel(2.0f, 1) << "2.000 ";
    QTest::newRow("eight positive plus") << eightChannel(1.5f, 0) << " +1.500";
    QTest::newRow("eight zero no plus") << eightChannel(0.0f, 1) << "0.000 ";
    QTest::newRow("eight negative zero no plus") << eightChannel(-0.0f, 1) << "0.000 ";
    QTest::newRow("eight tiny positive") << eightChannel(0.0001f, 1) << "+0.000 ";
    QTest::newRow("eight tiny negative keeps sign") << eightChannel(-0.0001f, 1) << "-0.000 ";
    QTest::newRow("eight -0.25") << eightChannel(-0.25f, 0) << " -0.250";
    QTest::newRow("half away from zero") << singleChannel(0.0625f, 1) << "0.063 ";
    QTest::newRow("negative half away") << singleChannel(-0.0625f, 1) << "-0.063 ";
    QTest::newRow("float noise below half") << singleChannel(1.0005f, 1) << "1.000 ";
    QTest::newRow("large value") << singleChannel(123456.789f, 1) << "123456.789 ";
    QTest::newRow("digital no leading zeros") << digital16(0x0A, 1) << "A ";
    QTest::newRow("digital zero") << digital16(0, 0) << " 0";
    QTest::newRow("digital 16 negative") << digital16(-2, 1) << "FFFE ";
    QTest::newRow("digital 16 lowest") << digital16(-32768, 1) << "8000 ";
    QTest::newRow("digital 32 negative") << digital32(-1, 0) << " FFFFFFFF";
    QTest::newRow("digital 32 positive") << digital32(0x1234ABCD, 1) << "1234ABCD ";
    QTest::newRow("counter zero") << counter(0, 1) << "000000000 ";
    QTest::newRow("counter before") << counter(42, 0) << " 000000042";
    QTest::newRow("counter negative") << counter(-16, 1) << "-000000016 ";
    QTest::newRow("counter ten digits") << counter(1234567890, 1) << "1234567890 ";
    QTest::newRow("counter lowest") << counter(std::numeric_limits<qint32>::min(), 0)
                                    << " -2147483648";
}

void AcquisitionTest::valueTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void AcquisitionTest::linkedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "2.5" << 2.5;
    QTest::newRow("leading blanks") << "   -3.25" << -3.25;
    QTest::newRow("leading tab") << "\t7" << 7.0;
    QTest::newRow("plus sign") << "+4" << 4.0;
    QTest::newRow("trailing letters") << "12.5V" << 12.5;
    QTest::newRow("stops at a blank") << "4 5" << 4.0;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("exponent") << "1.5e2" << 150.0;
    QTest::newRow("exponent without digits") << "2e" << 2.0;
    QTest::newRow("comma is no point") << "2,5" << 2.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("tiny exponent") << "1e-999" << 0.0;
}

void AcquisitionTest::linkedNumbers()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(valuetext::readNumber(text), expected);
}

void AcquisitionTest::conversions()
{
    using namespace valuetext;
    // Halves go to the even neighbour.
    QCOMPARE(toInt16(2.5), std::optional<qint16>(2));
    QCOMPARE(toInt16(3.5), std::optional<qint16>(4));
    QCOMPARE(toInt16(-2.5), std::optional<qint16>(-2));
    QCOMPARE(toInt16(2.4999), std::optional<qint16>(2));
    QCOMPARE(toInt16(32767.4), std::optional<qint16>(32767));
    QCOMPARE(toInt16(-32768.5), std::optional<qint16>(-32768));
    QVERIFY(!toInt16(32767.5));
    QVERIFY(!toInt16(40000));
    QVERIFY(!toInt16(-32769));
    QCOMPARE(toInt32(2147483647.4), std::optional<qint32>(2147483647));
    QCOMPARE(toInt32(-2147483648.5), std::optional<qint32>(std::numeric_limits<qint32>::min()));
    QVERIFY(!toInt32(2147483647.5));
    QVERIFY(!toInt32(1e10));
    QCOMPARE(toSingle(2.5), std::optional<float>(2.5f));
    QVERIFY(toSingle(3e38));
    QVERIFY(!toSingle(1e39));
    QVERIFY(!toSingle(readNumber(QStringLiteral("1e999"))));
    QVERIFY(!toInt16(readNumber(QStringLiteral("-1e999"))));
}

// ---------------------------------------------------------------------------
// Every routine

void AcquisitionTest::routineTexts_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("parity");
    for (int i = 0; i < int(routineCases().size()); ++i) {
        for (int parity : {1, 0}) {
            QTest::addRow("%s, parity %d", routineCases()[std::size_t(i)].name, parity)
                << i << parity;
        }
    }
}

void AcquisitionTest::routineTexts()
{
    QFETCH(int, which);
    QFETCH(int, parity);
    const RoutineCase &c = routineCases()[std::size_t(which)];
    ServerRig rig;
    prepareLine(rig);
    rig.openAt(9600);
    ConvRecord &record = rig.configure(4, QLatin1String(c.model), c.address, 9600, c.channels);
    record.Slot = qint16(c.slot < 0 ? 0 : c.slot);
    record.IoType = c.ioType;
    record.OutData = c.outData;
    record.OutValue = c.outValue;
    record.LinkActive = 1;
    QCOMPARE(catalogue::routineOfTypeCode(record.TypeCode), c.routine);
    rig.state.TickParity = quint8(parity);
    rig.items.texts[1] = QStringLiteral("old");
    rig.line->clearCommands();

    rig.acquisition().run(c.routine, 4, 1);

    QCOMPARE(rig.items.texts[1], QString::fromLatin1(parity == 1 ? c.textParity1 : c.textParity0));
    QCOMPARE(rig.items.writes, QList<int>{1});
    QCOMPARE(rig.status.history, QStringList());
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.portLog, QStringList());
    // Only the error trap and the linked outputs touch LinkActive.
    QCOMPARE(record.LinkActive, qint16(1));
    if (c.noExchange)
        QCOMPARE(rig.line->commands(), QByteArrayList());
    else
        QVERIFY(!rig.line->commands().isEmpty());
    if (c.check) {
        const QString problem = c.check(rig);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
}

void AcquisitionTest::blocksAsTheModulesNeedThem()
{
    ServerRig rig;
    prepareLine(rig);
    rig.openAt(9600);

    // A 3000-family counter is driven as the 2032.
    ConvRecord &counter = rig.configure(0, QStringLiteral("3032"), 5, 9600, 1);
    counter.Checksum = 0;
    rig.acquisition().PrepareData2032(0, 1);
    QCOMPARE(rig.acquisition().wBuf()[2], qint16(0x2032));
    QCOMPARE(rig.acquisition().wBuf()[4], qint16(500));

    // A four-digit code with its top digit 8 or more is widened with its sign:
    // the slot routines pass all 32 bits, the Q-2000 ones the low 16.
    ConvRecord &slotInput = rig.configure(1, QStringLiteral("9091"), 10, 9600, 0x40);
    slotInput.Slot = 1;
    rig.acquisition().PrepareDataAI_9K(1, 2);
    QCOMPARE(rig.acquisition().dwBuf()[2], qint32(0xFFFF9091));
    QCOMPARE(rig.acquisition().dwBuf()[5], qint32(1));
    QCOMPARE(rig.acquisition().dwBuf()[7], qint32(1));
    QCOMPARE(rig.acquisition().inputFBuf()[0], 2.25f);

    // The slot inputs keep their own float block: the Q-2000 reading that
    // follows does not disturb it.
    rig.configure(2, QStringLiteral("2026"), 1);
    rig.acquisition().PrepareData2026(2, 3);
    QCOMPARE(rig.acquisition().fBuf()[0], 1.5f);
    QCOMPARE(rig.acquisition().inputFBuf()[0], 2.25f);

    // The 92000 digital input leaves element 7 as the last call left it.
    ConvRecord &dio = rig.configure(3, QStringLiteral("92035"), 9, 9600, 0);
    dio.IoType = 1;
    dio.Slot = 5;
    rig.acquisition().PrepareDataDIO92K(3, 4);
    QCOMPARE(rig.acquisition().dwBuf()[7], qint32(1));
    QCOMPARE(rig.items.texts[4], QStringLiteral(" C3"));
}

// ---------------------------------------------------------------------------
// Errors

void AcquisitionTest::libraryErrors()
{
    ServerRig rig;
    rig.openAt(9600);
    rig.state.TickParity = 1;
    const QString timeOut = QStringLiteral("  Error Code:  15    Time Out !");

    // Single channel: beep, report, and the reading written all the same.
    rig.configure(0, QStringLiteral("2026"), 0x40);
    rig.acquisition().PrepareData2026(0, 1);
    QCOMPARE(rig.items.texts[1], QStringLiteral("0.000 "));
    QCOMPARE(rig.status.text, QStringLiteral("Error in Module: 2026") + timeOut);
    QCOMPARE(rig.prompt.beeps(), 1);

    // Eight channels: the failed channel says so in its field, nothing else.
    sim::Fault noReply;
    noReply.kind = sim::Fault::Kind::NoReply;
    noReply.every = 2;
    rig.line->setFault(2, noReply);
    rig.status.history.clear();
    rig.configure(1, QStringLiteral("2091"), 2, 9600, 0xE0);
    rig.acquisition().PrepareData2091(1, 2);
    QCOMPARE(rig.items.texts[2],
             QStringLiteral("+1.500  Error 0.000 ") + QString(35, QLatin1Char(' ')));
    QCOMPARE(rig.status.history, QStringList());
    QCOMPARE(rig.prompt.beeps(), 1);

    // The single-channel output reports without a beep; the value sent is shown.
    rig.configure(2, QStringLiteral("2011"), 0x41).OutValue = 1.5f;
    rig.acquisition().PrepareData2011(2, 3);
    QCOMPARE(rig.items.texts[3], QStringLiteral("+1.500 "));
    QCOMPARE(rig.status.text, QStringLiteral("Error in Module: 2011") + timeOut);
    QCOMPARE(rig.prompt.beeps(), 1);

    // The other outputs beep.
    rig.configure(3, QStringLiteral("2028"), 0x42, 9600, 1).OutValue = -1.0f;
    rig.acquisition().PrepareData2028(3, 4);
    QCOMPARE(rig.items.texts[4], QStringLiteral("-1.000 "));
    QCOMPARE(rig.prompt.beeps(), 2);
    rig.configure(4, QStringLiteral("92028"), 0x43, 9600, 0);
    rig.acquisition().PrepareDataAO_92K(4, 5);
    QCOMPARE(rig.status.text, QStringLiteral("Error in Module: 92028") + timeOut);
    QCOMPARE(rig.prompt.beeps(), 3);

    // A 92000 digital output error is reported like any other and the server
    // goes on: the next routine is served and nothing ends the program.
    ConvRecord &dio = rig.configure(5, QStringLiteral("92035"), 0x44, 9600, 0);
    dio.IoType = 2;
    dio.OutData = 0x21;
    rig.acquisition().PrepareDataDIO92K(5, 6);
    QCOMPARE(rig.items.texts[6], QStringLiteral("21 "));
    QCOMPARE(rig.status.text, QStringLiteral("Error in Module: 92035") + timeOut);
    QCOMPARE(rig.prompt.beeps(), 4);
    dio.Channels = 1;
    rig.acquisition().PrepareDataDIO92K(5, 6);
    QCOMPARE(rig.prompt.beeps(), 5);
    QCOMPARE(rig.quits, 0);
    rig.acquisition().PrepareData2026(0, 1);
    QCOMPARE(rig.prompt.beeps(), 6);

    // A type code no function serves: reported under its model name.
    ConvRecord &unknown = rig.configure(6, QStringLiteral("9063"), 1, 9600, 0);
    unknown.TypeCode = 0;
    unknown.IoType = 1;
    rig.acquisition().PrepareDataElse(6, 7);
    QCOMPARE(rig.status.text,
             QStringLiteral("Error in Module: 0000  Error Code:  17    ModuleID Error !"));
    QCOMPARE(rig.items.texts[7], QStringLiteral("0 "));
}

void AcquisitionTest::counterErrors()
{
    ServerRig rig;
    rig.openAt(9600);
    rig.line->setCounter(5, 0, 7, 0);
    rig.line->setCounter(5, 1, 42, 0);
    sim::Fault noReply;
    noReply.kind = sim::Fault::Kind::NoReply;
    noReply.every = 2;
    rig.line->setFault(5, noReply);

    rig.state.TickParity = 1;

    // First reply fine, second lost: the error replaces the whole text.
    ConvRecord &record = rig.configure(0, QStringLiteral("2032"), 5, 9600, 3);
    rig.acquisition().PrepareData2032(0, 1);
    QCOMPARE(rig.items.texts[1], QStringLiteral(" Error "));

    // Third reply fine on channel 0 alone; channel 1 not read leaves its blanks.
    record.Channels = 1;
    rig.acquisition().PrepareData2032(0, 1);
    QCOMPARE(rig.items.texts[1], QStringLiteral("000000007        "));

    // Fourth lost, fifth fine: channel 1's field follows the error.
    record.Channels = 3;
    rig.acquisition().PrepareData2032(0, 1);
    QCOMPARE(rig.items.texts[1], QStringLiteral(" Error 000000042 "));

    // Counter errors are never reported.
    QCOMPARE(rig.status.history, QStringList());
    QCOMPARE(rig.prompt.beeps(), 0);
}

void AcquisitionTest::digitalCallsGoWithoutChecksum()
{
    // Module 12 expects checksums: the digital calls pass flag 0 whatever the
    // conversation says, so it keeps silent.
    ServerRig rig(R"({"modules": [
        {"name": "2017", "address": 12, "baud": 9600, "checksum": true},
        {"name": "2063", "address": 14, "baud": 9600, "checksum": true, "inputs": [4.5]}
    ]})");
    rig.openAt(9600);
    ConvRecord &dio = rig.configure(0, QStringLiteral("2017"), 12, 9600, 0);
    dio.Checksum = 1;
    dio.IoType = 1;
    rig.acquisition().PrepareDataElse(0, 1);
    QCOMPARE(rig.acquisition().wBuf()[3], qint16(0));
    QCOMPARE(rig.line->commands(), QByteArrayList{"$0C6"});
    QCOMPARE(rig.prompt.beeps(), 1);

    // The analog channel of the generic routine passes the conversation's flag.
    rig.state.TickParity = 1;
    ConvRecord &analog = rig.configure(1, QStringLiteral("2063"), 14, 9600, 1);
    analog.Checksum = 1;
    analog.IoType = 3;
    rig.acquisition().PrepareDataElse(1, 2);
    QCOMPARE(rig.items.texts[2], QStringLiteral("4.500 "));
    QCOMPARE(rig.prompt.beeps(), 1);
}

void AcquisitionTest::portCheck()
{
    ServerRig rig;
    rig.openAt(9600);
    rig.state.TickParity = 1;
    rig.configure(0, QStringLiteral("2026"), 11, 19200);
    const qint64 before = rig.clock.tickCount();
    rig.acquisition().PrepareData2026(0, 1);
    QCOMPARE(rig.portLog, (QStringList{"close", "open 19200"}));
    QCOMPARE(rig.state.OpenBaud, 19200);
    QCOMPARE(rig.items.texts[1], QStringLiteral("-3.125 "));
    // The re-open waits before opening and before the first exchange.
    QVERIFY(rig.clock.tickCount() - before >= 230);

    // A rate the port cannot take: reported once with a beep, taken as the
    // open rate all the same, so the next conversation does not try again.
    rig.portLog.clear();
    rig.configure(1, QStringLiteral("2026"), 1, 12345);
    rig.configure(2, QStringLiteral("2091"), 2, 12345, 0x80);
    rig.acquisition().PrepareData2026(1, 2);
    rig.acquisition().PrepareData2091(2, 3);
    QCOMPARE(rig.portLog, QStringList{"close"});
    QCOMPARE(rig.state.OpenBaud, 12345);
    const QStringList expected = {
        QStringLiteral("Error in Module: 2026  Error Code:  3    Baud Rate Error !"),
        QStringLiteral("Error in Module: 2026  Error Code:  8    COM Port not open !"),
    };
    QCOMPARE(rig.status.history, expected);
    QCOMPARE(rig.prompt.beeps(), 2);
    QCOMPARE(rig.items.texts[3], QStringLiteral(" Error ") + QString(49, QLatin1Char(' ')));
}

// ---------------------------------------------------------------------------
// Linked outputs

void AcquisitionTest::linkedOutputs_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("ioType");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("sent");

    QTest::newRow("2011 number") << "2011" << 3 << 0 << "2.5" << "+2.500 " << 2.5;
    QTest::newRow("2011 letters") << "2011" << 3 << 0 << "volts" << "0.000 " << 0.0;
    QTest::newRow("2011 padded") << "2011" << 3 << 0 << "  1.25 V" << "+1.250 " << 1.25;
    QTest::newRow("92028 number") << "92028" << 8 << 0 << "3.75" << "+3.750 " << 3.75;
    QTest::newRow("digital half to even") << "2017" << 6 << 2 << "2.5" << "2 " << 2.0;
    QTest::newRow("digital rounds up") << "2017" << 6 << 2 << "3.5" << "4 " << 4.0;
    QTest::newRow("digital negative") << "2017" << 6 << 2 << "-1" << "FFFF " << 255.0;
    QTest::newRow("92000 digital wide value") << "92035" << 9 << 2 << "40000" << "9C40 "
                                              << 64.0;
}

void AcquisitionTest::linkedOutputs()
{
    QFETCH(QString, model);
    QFETCH(int, address);
    QFETCH(int, ioType);
    QFETCH(QString, source);
    QFETCH(QString, text);
    QFETCH(double, sent);

    ServerRig rig;
    rig.openAt(9600);
    ConvRecord &record = rig.configure(7, model, address, 9600, model == "92028" ? 2 : 0);
    record.IoType = qint16(ioType);
    record.OutValue = 9.0f;   // the fixed value, not used while linked
    record.OutData = 0x55;
    record.LinkActive = 1;
    rig.state.Link[7] = {QStringLiteral("calc"), QStringLiteral("sheet1"), QStringLiteral("R1C1"), 1};
    rig.source.values[QStringLiteral("calc|sheet1|R1C1")] = source;
    rig.state.TickParity = 1;

    rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 7, 3);

    QCOMPARE(rig.source.connects, QStringList{"calc|sheet1|R1C1"});
    QCOMPARE(rig.source.lastTimeoutMs, 300000);
    QCOMPARE(record.LinkActive, qint16(0));
    // The item first shows the source's text, then what was written.
    QCOMPARE(rig.items.writes, (QList<int>{3, 3}));
    QCOMPARE(rig.items.texts[3], text);
    if (ioType == 2) {
        const auto bits = rig.line->digitalOutputs(address);
        QVERIFY(bits);
        QCOMPARE(double(*bits), sent);
    } else {
        const auto value = rig.line->analogOutput(address, model == "92028" ? 2 : 0);
        QVERIFY(value);
        QCOMPARE(*value, sent);
    }

    // The link is rebuilt on every tick.
    rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 7, 3);
    QCOMPARE(rig.source.connects.size(), 2);
}

void AcquisitionTest::linkedSourceFailures_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("ioType");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("itemText");

    QTest::newRow("analog source missing") << "2011" << 3 << 0 << false << false << "" << "old";
    QTest::newRow("analog request fails") << "2028" << 4 << 0 << true << true << "1" << "old";
    QTest::newRow("slot analog source missing")
        << "9028" << 10 << 0 << false << false << "" << "old";
    QTest::newRow("digital source missing") << "2017" << 6 << 2 << false << false << "" << "old";
    // A value too large for the output stops the routine after the item took
    // the source's text.
    QTest::newRow("16-bit overflow") << "2017" << 6 << 2 << true << false << "40000" << "40000";
    QTest::newRow("32-bit overflow") << "92035" << 9 << 2 << true << false << "3e9" << "3e9";
    QTest::newRow("float overflow") << "2011" << 3 << 0 << true << false << "1e39" << "1e39";
}

void AcquisitionTest::linkedSourceFailures()
{
    QFETCH(QString, model);
    QFETCH(int, address);
    QFETCH(int, ioType);
    QFETCH(bool, registered);
    QFETCH(bool, silent);
    QFETCH(QString, source);
    QFETCH(QString, itemText);

    ServerRig rig;
    rig.openAt(9600);
    ConvRecord &record = rig.configure(7, model, address, 9600, 1);
    record.Slot = 2;
    record.IoType = qint16(ioType);
    record.LinkActive = 1;
    rig.state.Link[7] = {QStringLiteral("calc"), QStringLiteral("sheet1"), QStringLiteral("R1C1"), 1};
    if (registered)
        rig.source.values[QStringLiteral("calc|sheet1|R1C1")] = source;
    rig.source.silent = silent;
    rig.items.texts[3] = QStringLiteral("old");
    rig.line->clearCommands();

    rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 7, 3);

    QCOMPARE(record.LinkActive, qint16(0));
    QCOMPARE(rig.items.texts[3], itemText);
    QCOMPARE(rig.line->commands(), QByteArrayList());
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.status.history, QStringList());

    // The next conversation is served normally.
    rig.configure(8, QStringLiteral("2026"), 1);
    rig.acquisition().PrepareData2026(8, 4);
    QCOMPARE(rig.items.texts[4], QStringLiteral(" 1.500"));
}

QTEST_GUILESS_MAIN(AcquisitionTest)
#include "tst_acquisition.moc"
