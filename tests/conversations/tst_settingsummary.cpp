// The setting summary's entries, each written out by hand column by column,
// and its print command (the printed page: tst_printer).

#include "conversations/settingsummary.h"
#include "conversations/sharedstate.h"
#include "core/printer.h"
#include "core/programnames.h"
#include "support/recordingprinter.h"
#include "support/scriptedprompt.h"

#include <QtTest>

using namespace telviox;
using test::RecordingPrinter;
using test::ScriptedPrompt;

namespace {

const QString Indent = QString(32, QLatin1Char(' '));

} // namespace

class TestSettingSummary : public QObject
{
    Q_OBJECT

private slots:
    void entries_data();
    void entries();
    void unusedAndOrder();
    void print_data();
    void print();
};

void TestSettingSummary::entries_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<qint32>("typeCode");
    QTest::addColumn<int>("address");
    QTest::addColumn<qint32>("baud");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("ioType");
    QTest::addColumn<int>("outData");
    QTest::addColumn<float>("outValue");
    QTest::addColumn<int>("linked");
    QTest::addColumn<QString>("expected");

    QTest::newRow("analog input, with display")
        << 3 << 0x2026 << 16 << 9600 << 1 << 0 << 0 << 0.0f << 0
        << "03:   2026(D)16[10]   9600      Analog Input\r\n";
    QTest::newRow("slot eight channels")
        << 9 << qint32(qint16(0x9091)) << 2 << 19200 << 0xFF << 0 << 0 << 0.0f << 0
        << "09:   9091   2[2]     19200     Analog Input Channels:FF[h]\r\n";
    QTest::newRow("6000 twin of the slot input")
        << 10 << 0x6091 << 2 << 19200 << 0x80 << 0 << 0 << 0.0f << 0
        << "10:   6091   2[2]     19200     Analog Input Channels:80[h]\r\n";
    QTest::newRow("92000 without own row: Channel 0#")
        << 12 << 0x92091 << 1 << 115200 << 0x81 << 0 << 0 << 0.0f << 0
        << "12:   92091  1[1]     115200    Channel:81  In/Out Type:0  Out Data:0  Value:0\r\n";
    QTest::newRow("other: one digit padded")
        << 31 << qint32(qint16(0x9010)) << 10 << 4800 << 1 << 3 << 0xAB << 2.5f << 0
        << "31:   9010   10[A]    4800      Channel:01  In/Out Type:3  Out Data:AB  Value:2.5\r\n";
    QTest::newRow("other: hex letters unchanged")
        << 1 << 0x92087 << 0 << 2400 << 0x0A << 2 << 0 << 0.0f << 0
        << "01:   92087  0[0]     2400      Channel:A  In/Out Type:2  Out Data:0  Value:0\r\n";
    QTest::newRow("single output read back")
        << 4 << 0x2011 << 3 << 9600 << 1 << 0 << 0 << 12.4f << 0
        << "04:   2011   3[3]     9600      Output ReadBack A/O: 12.4V\r\n";
    QTest::newRow("four channels, assigned")
        << 7 << 0x2028 << 32 << 38400 << 2 << 0 << 0 << 1.5f << 2
        << "07:   2028   32[20]   38400     Output Channel:2\r\n" + Indent +
               "Output Assign A/O:1.5V\r\n";
    QTest::newRow("four channels, from a source")
        << 8 << 0x2028 << 32 << 38400 << 3 << 0 << 0 << 0.0f << 1
        << "08:   2028   32[20]   38400     Output Channel:3\r\n" + Indent +
               "Service:dde.calc\r\n" + Indent + "Topic:Sheet1\r\n" + Indent + "Item:R1C1\r\n";
    QTest::newRow("counter") << 2 << 0x2032 << 1 << 57600 << 2 << 0 << 0 << 0.0f << 0
                             << "02:   2032(D)1[1]     57600     Selected Channels:2[h]\r\n";
    QTest::newRow("digital input, whatever the link")
        << 14 << 0x2065 << 5 << 9600 << 0 << 1 << 7 << 0.0f << 1
        << "14:   2065   5[5]     9600      Digital Input\r\n";
    QTest::newRow("digital output read back")
        << 15 << 0x2065 << 5 << 9600 << 0 << 2 << 15 << 0.0f << 0
        << "15:   2065   5[5]     9600      Output ReadBack DO: 15\r\n";
    QTest::newRow("digital output 15 is a bit, not a sign")
        << 16 << qint32(qint16(0x9087)) << 5 << 9600 << 0 << 2 << -32768 << 0.0f << 2
        << "16:   9087   5[5]     9600      Output Assign DO: 32768\r\n";
    QTest::newRow("6000 digital twin from a source")
        << 17 << 0x6040 << 5 << 9600 << 0 << 2 << 0 << 0.0f << 1
        << "17:   6040   5[5]     9600      Service:dde.calc\r\n" + Indent + "Topic:Sheet1\r\n" +
               Indent + "Item:R1C1\r\n";
    // Values no dialog writes, only a file can bring: kept whole, still parted.
    QTest::newRow("address and rate too wide")
        << 18 << 0x2026 << -1 << -2147483647 - 1 << 1 << 0 << 0 << 0.0f << 0
        << "18:   2026(D)-1[FFFF] -2147483648 Analog Input\r\n";
    QTest::newRow("ten-digit rate fills its column")
        << 19 << 0x2026 << 300 << 2147483647 << 1 << 0 << 0 << 0.0f << 0
        << "19:   2026(D)300[12C] 2147483647Analog Input\r\n";
}

void TestSettingSummary::entries()
{
    QFETCH(int, index);
    QFETCH(qint32, typeCode);
    QFETCH(int, address);
    QFETCH(qint32, baud);
    QFETCH(int, channels);
    QFETCH(int, ioType);
    QFETCH(int, outData);
    QFETCH(float, outValue);
    QFETCH(int, linked);
    QFETCH(QString, expected);

    SharedState state;
    ConvRecord &r = state.Conv[size_t(index)];
    r.InUse = 1;
    r.TypeCode = typeCode;
    r.Address = qint16(address);
    r.BaudRate = baud;
    r.Channels = qint16(channels);
    r.IoType = qint16(ioType);
    r.OutData = qint16(outData);
    r.OutValue = outValue;
    state.Link[size_t(index)] = {"dde.calc", "Sheet1", "R1C1", qint16(linked)};

    QCOMPARE(settingSummaryEntry(state, index), expected);
    QCOMPARE(settingSummaryText(state), expected);
}

void TestSettingSummary::unusedAndOrder()
{
    SharedState state;
    QCOMPARE(settingSummaryText(state), QString());
    state.Conv[20] = {1, 0x2026, 9600, 1, 0, 1, 0, 0, 0, 0.0f, 0};
    state.Conv[2] = {1, 0x2026, 9600, 2, 0, 1, 0, 0, 0, 0.0f, 0};
    state.Conv[7] = {0, 0x2026, 9600, 7, 0, 1, 0, 0, 0, 0.0f, 0};
    QCOMPARE(settingSummaryText(state),
             QString("02:   2026(D)2[2]     9600      Analog Input\r\n"
                     "20:   2026(D)1[1]     9600      Analog Input\r\n"));
    QCOMPARE(settingSummaryEntry(state, 7), QString());
    QCOMPARE(settingSummaryEntry(state, 32), QString());
    QCOMPARE(settingSummaryEntry(state, -1), QString());
}

void TestSettingSummary::print_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("printed");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("beeps");
    QTest::newRow("yes") << int(Answer::Yes) << true << 1 << 2;
    QTest::newRow("no") << int(Answer::No) << true << 0 << 1;
    QTest::newRow("yes, page not out") << int(Answer::Yes) << false << 1 << 1;
}

void TestSettingSummary::print()
{
    QFETCH(int, answer);
    QFETCH(bool, printed);
    QFETCH(int, jobs);
    QFETCH(int, beeps);

    ScriptedPrompt prompt;
    RecordingPrinter printer;
    printer.succeed = printed;
    prompt.expect("To Print setting information", 0x24, ProgramTitle, Answer(answer));
    if (jobs && printed)
        prompt.expect("Print Complete !!!", 0, ProgramTitle, Answer::Ok);
    SettingSummaryCommands commands(prompt, printer);
    commands.print("x\r\n");
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(printer.jobs.size(), jobs);
    if (jobs)
        QCOMPARE(printer.jobs.first().at(4), QString("x"));
    QCOMPARE(prompt.beeps(), beeps);
}

QTEST_GUILESS_MAIN(TestSettingSummary)
#include "tst_settingsummary.moc"
