// The acquisition routines against the simulated line: the exact item texts,
// what reaches the modules, library errors and linked outputs.

#include "conversations/conversationfiles.h"
#include "server/serverrig.h"
#include "server/valuetext.h"

#include <QtTest>

using namespace telviox;
using namespace Qt::StringLiterals;
using namespace telviox::test;

namespace {

// One conversation served once by its routine; text is the item at tick
// parity 1. out: 'A' an analog output, 'B' the digital outputs are checked.
struct RoutineCase
{
    const char *model;
    int address, slot;
    qint16 channels, ioType, outData;
    float outValue;
    const char *text;
    char out;
    int outChannel;
    double outExpected;
};

const RoutineCase Cases[] = {
    {"2026", 1, -1, 1, 0, 0, 0, "1.500 ", 0, 0, 0},
    {"2091", 2, -1, 0xFF, 0, 0, 0, "+1.500 -0.250 0.000 +0.063 -0.063 +2.000 +3.000 +4.000 ", 0, 0,
     0},
    {"92091", 7, -1, 0x81, 0, 0, 0, "+0.500                                           -7.500 ", 0,
     0, 0},
    {"9091", 10, 1, 0x40, 0, 0, 0, "       +2.250                                           ", 0, 0,
     0},
    {"2011", 3, -1, 1, 0, 0, 2.5f, "+2.500 ", 'A', 0, 2.5},
    {"2028", 4, -1, 2, 0, 0, 1.25f, "+1.250 ", 'A', 2, 1.25},
    {"9028", 10, 2, 3, 0, 0, 7.5f, "+7.500 ", 'A', 3, 7.5},
    {"92028", 8, -1, 1, 0, 0, 0.0f, "0.000 ", 'A', 1, 0.0},
    // Counter 1 holds 0xFFFFFFF0: bit 31 set reads as a negative count.
    {"2032", 5, -1, 3, 0, 0, 0, "000000123 -000000016 ", 0, 0, 0},
    {"2032", 5, -1, 2, 0, 0, 0, "       -000000016 ", 0, 0, 0},
    {"3032", 5, -1, 1, 0, 0, 0, "000000123        ", 0, 0, 0},
    // The generic routine by io type: 1 inputs, 2 outputs, 3 analog, 0 none.
    {"2017", 6, -1, 0, 1, 0, 0, "5A ", 0, 0, 0},
    {"2017", 6, -1, 0, 2, 0xA5, 0, "A5 ", 'B', 0, 0xA5},
    {"2017", 6, -1, 3, 2, 0x10, 0, "10 ", 'B', 0, 0x04}, // bit 2 from bit 4 of 0x10
    {"2017", 6, -1, 0, 2, -1, 0, "FFFF ", 'B', 0, 0xFF},
    {"2063", 13, -1, 1, 3, 0, 0, "0.750 ", 0, 0, 0},
    {"2017", 6, -1, 0, 0, 0, 0, "", 0, 0, 0},
    {"9035", 10, 3, 0, 1, 0, 0, "3C ", 0, 0, 0},
    {"9035", 10, 3, 2, 2, 0x40, 0, "1 ", 'B', 0, 0x02}, // shows the bit's state
    {"92035", 9, -1, 0, 1, 0, 0, "C3 ", 0, 0, 0},
    {"92035", 9, -1, 2, 2, 0x40, 0, "40 ", 'B', 0, 0x02}, // shows the value
    {"92035", 9, -1, 0, 2, -2, 0, "FFFFFFFE ", 'B', 0, 0xFE},
};

// The conversation of a case, at index 4, on a rig whose modules hold known
// inputs and counts.
ConvRecord &setUp(ServerRig &rig, const RoutineCase &c)
{
    rig.line->setCounter(5, 0, 123, 0);
    rig.line->setCounter(5, 1, 0xFFFFFFF0u, 0);
    rig.line->setDigitalInputs(6, 0x5A);
    rig.line->setDigitalInputs(10, 0x3C, 3);
    rig.line->setDigitalInputs(9, 0xC3);
    rig.openAt(9600);
    ConvRecord &record = rig.configure(4, QLatin1String(c.model), c.address, 9600, c.channels);
    record.Slot = qint16(std::max(c.slot, 0));
    record.IoType = c.ioType;
    record.OutData = c.outData;
    record.OutValue = c.outValue;
    record.LinkActive = 1;
    return record;
}

} // namespace

class AcquisitionTest : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void routineTexts_data();
    void routineTexts();
    void checksumFlag_data();
    void checksumFlag();
    void indexesOutsideTheTable();
    void libraryErrors();
    void failedReopenIsNotRetried();
    void linkedOutputs_data();
    void linkedOutputs();
};

void AcquisitionTest::texts_data()
{
    // Edge cases of the item texts and of reading a linked source's text
    // that the routines' table does not reach.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    using namespace valuetext;
    QTest::newRow("negative zero no plus") << eightChannel(-0.0f, 1) << "0.000 ";
    QTest::newRow("tiny negative keeps sign") << eightChannel(-0.0001f, 1) << "-0.000 ";
    QTest::newRow("counter lowest")
        << counter(std::numeric_limits<qint32>::min(), 0) << " -2147483648";
    const auto read = [](const char *text) { return QString::number(readNumber(text)); };
    QTest::newRow("read leading blanks") << read(" \t-3.25") << "-3.25";
    QTest::newRow("read trailing letters") << read("12.5V") << "12.5";
    QTest::newRow("read second point") << read("1.2.3") << "1.2";
    QTest::newRow("read exponent") << read("1.5e2") << "150";
}

void AcquisitionTest::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void AcquisitionTest::routineTexts_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("parity");
    for (int i = 0; i < int(std::size(Cases)); ++i) {
        for (int parity : {1, 0})
            QTest::addRow("%d: %s, parity %d", i, Cases[i].model, parity) << i << parity;
    }
}

void AcquisitionTest::routineTexts()
{
    QFETCH(int, which);
    QFETCH(int, parity);
    const RoutineCase &c = Cases[which];
    ServerRig rig;
    ConvRecord &record = setUp(rig, c);
    rig.state.TickParity = quint8(parity);
    rig.items.texts[1] = u"old"_s;

    rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 4, 1);

    // Every field's blank goes before it at parity 0.
    const QString text = QString::fromLatin1(c.text);
    QCOMPARE(rig.items.texts[1], parity == 1 || text.isEmpty() ? text : ' ' + text.chopped(1));
    QCOMPARE(rig.items.writes, QList<int>{1});
    QCOMPARE(rig.status.history, QStringList());
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.portLog, QStringList());
    QCOMPARE(record.LinkActive, qint16(1)); // only linked outputs touch it
    QCOMPARE(rig.line->commands().isEmpty(), *c.text == 0);
    if (c.out == 'A') {
        const auto value = rig.line->analogOutput(c.address, c.outChannel, c.slot);
        QVERIFY(value);
        QCOMPARE(*value, c.outExpected);
    } else if (c.out == 'B') {
        const auto bits = rig.line->digitalOutputs(c.address, c.slot);
        QVERIFY(bits);
        QCOMPARE(double(*bits), c.outExpected);
    }
}

void AcquisitionTest::checksumFlag_data()
{
    QTest::addColumn<int>("which");
    for (int i = 0; i < int(std::size(Cases)); ++i) {
        if (*Cases[i].text != 0)
            QTest::addRow("%d: %s, io type %d", i, Cases[i].model, Cases[i].ioType) << i;
    }
}

// The same conversation with and without its checksum flag: the digital calls
// (io types 1 and 2) go without checksum whatever the flag says, every other
// call carries it.
void AcquisitionTest::checksumFlag()
{
    QFETCH(int, which);
    const RoutineCase &c = Cases[which];
    QByteArrayList frames[2];
    for (qint16 checksum : {0, 1}) {
        ServerRig rig;
        ConvRecord &record = setUp(rig, c);
        record.Checksum = checksum;
        rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 4, 1);
        frames[checksum] = rig.line->commands();
    }
    QVERIFY(!frames[0].isEmpty());
    QByteArrayList expected = frames[0];
    if (c.ioType != 1 && c.ioType != 2) {
        for (QByteArray &frame : expected)
            frame += sim::SimLine::checksumOf(frame);
    }
    QCOMPARE(frames[1], expected);
}

// An index from outside (a routine called directly, a damaged poll list)
// names no conversation: nothing is read, sent, linked or written.
void AcquisitionTest::indexesOutsideTheTable()
{
    ServerRig rig;
    rig.openAt(9600);
    for (int i = 0; i < ConvCount; ++i) {
        rig.configure(i, u"2017"_s, 6, 19200).IoType = 2;
        rig.state.Link[std::size_t(i)] = {u"calc"_s, u"sheet1"_s, u"R1C1"_s, 1};
    }
    rig.source.values[u"calc|sheet1|R1C1"_s] = u"1"_s;
    const QByteArray before = encodeCnv(rig.state.Conv);
    for (int routine = 0; routine <= int(catalogue::Routine::PrepareDataDIO92K); ++routine) {
        for (qint16 index :
             {qint16(-32768), qint16(-1), qint16(ConvCount), qint16(LinkCount), qint16(32767)})
            rig.acquisition().run(catalogue::Routine(routine), index, 1);
    }
    QCOMPARE(rig.line->commands(), QByteArrayList());
    QCOMPARE(rig.portLog, QStringList());
    QCOMPARE(rig.source.connects, QStringList());
    QCOMPARE(rig.items.writes, QList<int>());
    QCOMPARE(encodeCnv(rig.state.Conv), before);
}

void AcquisitionTest::libraryErrors()
{
    ServerRig rig;
    rig.openAt(9600);
    rig.state.TickParity = 1;
    const QString timeOut = u"  Error Code:  15    Time Out !"_s;

    // Single channel: beep, report, and the reading written all the same.
    rig.configure(0, u"2026"_s, 0x40);
    rig.acquisition().PrepareData2026(0, 1);
    QCOMPARE(rig.items.texts[1], u"0.000 "_s);
    QCOMPARE(rig.status.text, u"Error in Module: 2026"_s + timeOut);
    QCOMPARE(rig.prompt.beeps(), 1);

    // Eight channels: the failed channel says so in its field, nothing else.
    sim::Fault everySecondLost;
    everySecondLost.kind = sim::Fault::Kind::NoReply;
    everySecondLost.every = 2;
    rig.line->setFault(2, everySecondLost);
    rig.status.history.clear();
    rig.configure(1, u"2091"_s, 2, 9600, 0xE0);
    rig.acquisition().PrepareData2091(1, 2);
    QCOMPARE(rig.items.texts[2], u"+1.500  Error 0.000 "_s + QString(35, QLatin1Char(' ')));

    // Counters: reply 1 fine, 2 lost: the error replaces the whole text.
    rig.line->setCounter(5, 0, 7, 0);
    rig.line->setCounter(5, 1, 42, 0);
    rig.line->setFault(5, everySecondLost);
    ConvRecord &counter = rig.configure(5, u"2032"_s, 5, 9600, 3);
    rig.acquisition().PrepareData2032(5, 6);
    QCOMPARE(rig.items.texts[6], u" Error "_s);
    // Reply 3 fine on channel 0 alone; reply 4 lost, 5 fine: channel 1's
    // field follows the error.
    counter.Channels = 1;
    rig.acquisition().PrepareData2032(5, 6);
    QCOMPARE(rig.items.texts[6], u"000000007        "_s);
    counter.Channels = 3;
    rig.acquisition().PrepareData2032(5, 6);
    QCOMPARE(rig.items.texts[6], u" Error 000000042 "_s);
    // Neither is reported.
    QCOMPARE(rig.status.history, QStringList());
    QCOMPARE(rig.prompt.beeps(), 1);

    // The 2011 reports without a beep; the value sent is shown.
    rig.configure(2, u"2011"_s, 0x41).OutValue = 1.5f;
    rig.acquisition().PrepareData2011(2, 3);
    QCOMPARE(rig.items.texts[3], u"+1.500 "_s);
    QCOMPARE(rig.status.text, u"Error in Module: 2011"_s + timeOut);
    QCOMPARE(rig.prompt.beeps(), 1);

    // The other outputs beep.
    rig.configure(3, u"2028"_s, 0x42, 9600, 1).OutValue = -1.0f;
    rig.acquisition().PrepareData2028(3, 4);
    QCOMPARE(rig.items.texts[4], u"-1.000 "_s);
    QCOMPARE(rig.prompt.beeps(), 2);
}

void AcquisitionTest::failedReopenIsNotRetried()
{
    // A rate the port cannot take: reported once with a beep and taken as the
    // open rate all the same, so the next conversation does not try again.
    ServerRig rig;
    rig.openAt(9600);
    rig.state.TickParity = 1;
    rig.configure(1, u"2026"_s, 1, 12345);
    rig.configure(2, u"2091"_s, 2, 12345, 0x80);
    rig.acquisition().PrepareData2026(1, 2);
    rig.acquisition().PrepareData2091(2, 3);
    QCOMPARE(rig.portLog, QStringList{"close"});
    QCOMPARE(rig.state.OpenBaud, 12345);
    const QStringList expected = {
        u"Error in Module: 2026  Error Code:  3    Baud Rate Error !"_s,
        u"Error in Module: 2026  Error Code:  8    COM Port not open !"_s,
    };
    QCOMPARE(rig.status.history, expected);
    QCOMPARE(rig.prompt.beeps(), 2);
    QCOMPARE(rig.items.texts[3], u" Error "_s + QString(49, QLatin1Char(' ')));
}

void AcquisitionTest::linkedOutputs_data()
{
    // A null source is none at all. sent < 0: nothing may reach the line.
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("ioType");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("sent");

    const auto row = [](const char *tag, const char *model, int address, int ioType,
                        const QString &source, const char *text, double sent) {
        QTest::newRow(tag) << QString(model) << address << ioType << source << QString(text)
                           << sent;
    };
    row("2011 number", "2011", 3, 0, "2.5", "+2.500 ", 2.5);
    row("2011 letters", "2011", 3, 0, "volts", "0.000 ", 0.0);
    row("digital half to even", "2017", 6, 2, "2.5", "2 ", 2.0);
    row("digital negative", "2017", 6, 2, "-1", "FFFF ", 255.0);
    // The edges of the 16-bit value (rounded halves to even) and the 32-bit one.
    row("16-bit highest", "2017", 6, 2, "32767", "7FFF ", 255.0);
    row("16-bit lowest", "2017", 6, 2, "-32768.5", "8000 ", 0.0);
    row("16-bit one past", "2017", 6, 2, "32768", "32768", -1.0);
    row("16-bit half past", "2017", 6, 2, "32767.5", "32767.5", -1.0);
    row("16-bit one below", "2017", 6, 2, "-32769", "-32769", -1.0);
    row("32-bit highest", "92035", 9, 2, "2147483647", "7FFFFFFF ", 255.0);
    row("32-bit one past", "92035", 9, 2, "2147483648", "2147483648", -1.0);
    row("analog absent", "2011", 3, 0, {}, "old", -1.0);
    row("digital absent", "2017", 6, 2, {}, "old", -1.0);
    // A value too large stops the routine after the item took the source's text.
    row("16-bit overflow", "2017", 6, 2, "40000", "40000", -1.0);
    row("float overflow", "2011", 3, 0, "1e39", "1e39", -1.0);
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
    ConvRecord &record = rig.configure(7, model, address, 9600, 0);
    record.IoType = qint16(ioType);
    record.OutValue = 9.0f; // the fixed value, not used while linked
    record.OutData = 0x55;
    record.LinkActive = 1;
    rig.state.Link[7] = {u"calc"_s, u"sheet1"_s, u"R1C1"_s, 1};
    if (!source.isNull())
        rig.source.values[u"calc|sheet1|R1C1"_s] = source;
    rig.items.texts[3] = u"old"_s;
    rig.line->clearCommands();
    rig.state.TickParity = 1;

    rig.acquisition().run(catalogue::routineOfTypeCode(record.TypeCode), 7, 3);

    QCOMPARE(rig.source.connects, QStringList{"calc|sheet1|R1C1"});
    QCOMPARE(record.LinkActive, qint16(0));
    QCOMPARE(rig.items.texts[3], text);
    QCOMPARE(rig.prompt.beeps(), 0);
    QCOMPARE(rig.status.history, QStringList());
    if (sent < 0) {
        QCOMPARE(rig.line->commands(), QByteArrayList());
        return;
    }
    // The item first shows the source's text, then what was written.
    QCOMPARE(rig.items.writes, (QList<int>{3, 3}));
    if (ioType == 2) {
        const auto bits = rig.line->digitalOutputs(address);
        QVERIFY(bits);
        QCOMPARE(double(*bits), sent);
    } else {
        const auto value = rig.line->analogOutput(address, 0);
        QVERIFY(value);
        QCOMPARE(*value, sent);
    }
}

QTEST_GUILESS_MAIN(AcquisitionTest)
#include "tst_acquisition.moc"
