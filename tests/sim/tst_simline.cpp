// Replies of the simulated modules, character by character as on the wire,
// and how the line picks the module that answers; on the shipped search line,
// modules without checksum refuse commands that carry checksum digits.

#include "sim/simline.h"

#include <QtTest>

using telviox::sim::Fault;
using telviox::sim::SimLine;
using telviox::sim::SimReply;

namespace {

const char *const LineJson = R"({"modules": [
  {"name": "2026D", "address": "01", "range": "0E", "digitalInputs": 1,
   "inputs": [{"wave": "sine", "offset": 25.0, "amplitude": 5.0, "periodMs": 60000}],
   "alarm": {"mode": "momentary", "high": 29.0, "low": 21.0}},
  {"name": "2091", "address": "02", "range": "08", "channelMask": "0F",
   "inputs": [1370.0, {"wave": "triangle", "offset": 5.0, "amplitude": 4.0, "periodMs": 30000},
              {"wave": "square", "offset": -2.0, "amplitude": 1.0, "periodMs": 10000},
              {"value": 12.0, "max": 10.0}, {"value": -12.0, "min": -10.0}, -0.0004]},
  {"name": "2011", "address": "03", "range": "32", "outputs": [2.5]},
  {"name": "2011", "address": "03", "baud": 19200, "range": "30"},
  {"name": "2028", "address": "04", "baud": 19200, "range": "33"},
  {"name": "2046", "address": "05", "outputRanges": [1, 2]},
  {"name": "2065", "address": "06", "digitalInputs": "05", "digitalOutputs": "0F"},
  {"name": "2058", "address": "07", "baud": 19200, "checksum": true, "range": "40",
   "digitalInputs": "1234"},
  {"name": "2032", "address": "08", "inputMode": 1, "levelHigh": 2.4, "levelLow": 0.8,
   "counters": [{"start": 0, "countsPerSecond": 10, "minWidthUs": 100},
                {"start": "7FFFFFFF", "countsPerSecond": 1, "max": "FFFFFFFF",
                 "preset": "12", "alarmLimit": "80000100"}]},
  {"name": "92091", "address": "09", "baud": 19200, "range": "09", "inputs": [1.25]},
  {"name": "92035", "address": "0A", "digitalInputs": "A5"},
  {"name": "92028", "address": "0B", "range": "30"},
  {"name": "2096", "address": "0C", "range": "2A", "wiring": "03"},
  {"name": "2080", "address": "0D", "alarm": {"mode": "latch", "high": 29, "low": 21},
   "inputs": [{"wave": "sine", "offset": 25.0, "amplitude": 5.0, "periodMs": 60000}]},
  {"name": "2067", "address": "0E", "inputs": [30], "alarm": {"mode": 0, "high": 1, "outputs": 2}},
  {"name": "2032", "address": "12", "counters": [{"start": 95, "countsPerSecond": 10, "max": 99},
                {"start": 7, "countsPerSecond": 10, "counting": false}]},
  {"name": "2032", "address": "13", "mode": "frequency", "counters": [{"countsPerSecond": 123.4}]},
  {"name": "9300", "address": "10",
   "slots": [{"slot": 0, "name": "9091", "range": "08", "inputs": [0.5, -4.5]},
             {"slot": 2, "name": "9092", "digitalInputs": "3C", "digitalOutputs": "81"},
             {"slot": 3, "name": "9028", "range": "33"}]},
  {"name": "9900", "address": "11", "baud": 19200, "checksum": true,
   "slots": [{"slot": 0, "name": "9091H", "range": "0A"},
             {"slot": 5, "name": "9040", "digitalInputs": "BEEF"}]}]})";

// The search line that ships with the simulator.
std::unique_ptr<SimLine> shippedSearchLine()
{
    return SimLine::loadFile(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json",
                             nullptr);
}

QByteArray cs(const QByteArray &text)
{
    return text + SimLine::checksumOf(text);
}

// One command and the reply expected without its CR ("" = silence).
struct Step
{
    QByteArray command;
    QByteArray reply;
    qint32 baud = 9600;
    qint64 ms = 0;
};
using Steps = QList<Step>;

} // namespace

class TestSimLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void replies_data();
    void replies();
    void runTimeChangesReachTheWire();
    void framingAcrossChunks();
    void faults();
    void checksumDigitsAreRefused_data();
    void checksumDigitsAreRefused();
    void replyDelayLeavesOutTheCommand();

private:
    std::unique_ptr<SimLine> m_line;
};

void TestSimLine::init()
{
    QString error;
    m_line = SimLine::load(LineJson, &error);
    QVERIFY2(m_line, qPrintable(error));
}

void TestSimLine::replies_data()
{
    QTest::addColumn<Steps>("steps");
    const qint32 F = 19200;
    // clang-format off
    QTest::newRow("names and configuration")
        << Steps{{"$01M", "!012026D"}, {"$09M", "!0992091", F}, {"$10M", "!109300"},
                 {"$012", "!010E0600"}, {"$042", "!04330700", F}, {"$082", "!08500600"},
                 {cs("$072"), cs("!07400740"), F}, {"$0C8", "!0C03"}, {"$026", "!020F"}};
    QTest::newRow("waves over time")
        << Steps{{"#01", ">+25.000"}, {"#01", ">+30.000", 9600, 15000},
                 {"#01", ">+20.000", 9600, 45000}, {"#021", ">+09.000", 9600, 7500},
                 {"#021", ">+01.000", 9600, 22500}, {"#022", ">-01.000", 9600, 1000},
                 {"#022", ">-03.000", 9600, 6000}};
    QTest::newRow("wide, over, under, rounded to zero, unset")
        << Steps{{"#020", ">+1370.000"}, {"#023", ">+99999"}, {"#024", ">-99999"},
                 {"#025", ">+00.000"}, {"#027", ">+00.000"}};
    QTest::newRow("wrong channel forms")
        << Steps{{"#028", "?02"}, {"#02", "?02"}, {"#010", "?01"}, {"#0C3", "?0C"},
                 {"$02RH", "?02"}, {"%01", "?01"}};
    QTest::newRow("output clamped to 0-10 V")
        << Steps{{"$036", "!03+02.500"}, {"#03+05.125", ">"}, {"$036", "!03+05.125"},
                 {"#03+12.000", ">"}, {"$036", "!03+10.000"}, {"#03-03.000", ">"},
                 {"$036", "!03+00.000"}, {"#03+5.0x", "?03"}, {"$0360", "?03"}};
    QTest::newRow("same address, other rate, other module")
        << Steps{{"#03+25.000", ">", F}, {"$036", "!03+20.000", F}, {"$036", "!03+02.500"}};
    QTest::newRow("output channels and ranges")
        << Steps{{"#043-07.500", ">", F}, {"$0463", "!04-07.500", F}, {"#040-20.000", ">", F},
                 {"$0460", "!04-10.000", F}, {"#044+01.000", "?04", F}, {"$046", "?04", F},
                 {"$0590", "!051"}, {"$0591", "!052"}, {"#050+00.000", ">"},
                 {"$0560", "!05+04.000"}, {"#051+15.000", ">"}, {"$0561", "!05+10.000"},
                 {"#0B2+12.345", ">"}, {"$0B62", "!0B+12.345"}};
    QTest::newRow("digital port and bits")
        << Steps{{"$066", "!0F0500"}, {"@06A5", ">"}, {"$066", "!A50500"}, {"#061101", ">"},
                 {"#061700", ">"}, {"$066", "!270500"}, {"#061801", "?06"}, {"#061102", "?06"},
                 {"@061234", "?06"}, {"$066", "!270500"}, {cs("$076"), cs("!123400"), F},
                 {cs("@0701"), cs("?07"), F}, {"#0A1701", ">"}, {"$0A6", "!80A500"}};
    QTest::newRow("alarms")
        << Steps{{"$01RH", "!01+29.000"}, {"$01RL", "!01+21.000"}, {"@01DI", "!0110001"},
                 {"@01DI", "!0110101", 9600, 15000}, {"$016", "!010100", 9600, 15000},
                 {"@01DI", "!0110201", 9600, 45000}, {"@0DDI", "!0D20100", 9600, 15000},
                 {"@0DDI", "!0D20300", 9600, 45000}, {"@0DDI", "!0D20300", 9600, 60000},
                 {"@0EDI", "!0E00200"}};
    QTest::newRow("counting over time, past bit 31")
        << Steps{{"#080", ">00000000"}, {"#080", ">0000000F", 9600, 1500},
                 {"#080", ">000003E8", 9600, 100000}, {"#081", ">7FFFFFFF", 9600, 999},
                 {"#081", ">80000000", 9600, 1000}, {"#082", "?08"}, {"#08", "?08"}};
    QTest::newRow("counter maximum, stopped, frequency, settings")
        << Steps{{"#120", ">00000005", 9600, 1000}, {"#121", ">00000007", 9600, 1000},
                 {"$1250", "!121"}, {"$1251", "!120"}, {"#130", ">0000007B", 9600, 5000},
                 {"$13B", "!131"}, {"$132", "!13510600"}, {"$081H", "!0824"},
                 {"$081L", "!0808"}, {"@08G1", "!0800000012"}, {"$0830", "!08FFFFFFFF"},
                 {"@08RP1", "!0880000100"}, {"$0800", "!0800100"}, {"@08RP2", "?08"}};
    QTest::newRow("slot tables with an empty and a high-speed slot")
        << Steps{{"$10T", "!1091FF9228"}, {"$10T1", "?10"}, {cs("$11T"), cs("!111HFFFFFF"), F},
                 {cs("$11T1"), cs("!11FF40FFFF"), F}, {cs("$11S0M"), cs("!119091H"), F}};
    QTest::newRow("slot modules")
        << Steps{{"#10S01", ">-04.500"}, {"#10S08", "?10"}, {"$10S0B", "!100800"},
                 {"#10S32+07.500", ">"}, {"$10S362", "!10+07.500"}, {"#10S30-12.000", ">"},
                 {"$10S360", "!10-10.000"}, {"$10S26", "!10813C"}, {"@10S2A5", ">"},
                 {"#10S21001", ">"}, {"$10S26", "!10A53C"}, {cs("$11S56"), cs("!11BEEF"), F},
                 {"$10S1M", "?10"}, {"$10S4M", "?10"}, {"$10SXM", "?10"}, {"$10S", "?10"}};
    QTest::newRow("checksum on and off")
        << Steps{{"$07MD8", "!07205857", F}, {"$07Md8", "!07205857", F}, {"$07M", "", F},
                 {"$07MD9", "", F}, {"$07", "", F}, {cs("$07Q"), cs("?07"), F},
                 {cs("$01M"), "?01"}, {cs("#01"), "?01"}};
    QTest::newRow("wrong rate or address")
        << Steps{{"$01M", "", F}, {"$04M", ""}, {"$01M", "", 115200}, {"$3FM", ""},
                 {"$0aM", ""}, {"$0AM", "!0A92035"}, {"$03M", "!032011", F}, {"!01M", ""},
                 {"$0", ""}, {"", ""}};
    // clang-format on
}

void TestSimLine::replies()
{
    QFETCH(Steps, steps);
    for (const Step &s : steps) {
        const QByteArray reply = m_line->receive(s.command + '\r', s.baud, s.ms);
        QCOMPARE(reply, s.reply.isEmpty() ? s.reply : s.reply + '\r');
    }
}

void TestSimLine::runTimeChangesReachTheWire()
{
    QCOMPARE(SimLine::checksumOf("$012"), QByteArray("B7"));
    QVERIFY(m_line->setAnalogInput(2, 6, -7.125));
    QCOMPARE(m_line->receive("#026\r", 9600, 0), ">-07.125\r");
    QVERIFY(m_line->setAnalogInput(0x10, 1, 3.0, 0));
    QCOMPARE(m_line->receive("#10S01\r", 9600, 0), ">+03.000\r");
    QVERIFY(!m_line->setAnalogInput(2, 8, 1.0));
    QVERIFY(!m_line->setAnalogInput(0x3F, 0, 1.0));
    QVERIFY(m_line->setDigitalInputs(0x10, 0x0F, 2));
    QCOMPARE(m_line->receive("$10S26\r#10S32+07.500\r", 9600, 0), "!10810F\r>\r");
    QCOMPARE(m_line->analogOutput(0x10, 2, 3), std::optional<double>(7.5));
    // 32-bit wrap.
    QVERIFY(m_line->setCounter(8, 0, 0xFFFFFFFEu, 1.0, 2000));
    QCOMPARE(m_line->receive("#080\r", 9600, 2000), ">FFFFFFFE\r");
    QCOMPARE(m_line->receive("#080\r", 9600, 4000), ">00000000\r");
}

void TestSimLine::framingAcrossChunks()
{
    QCOMPARE(m_line->receive("$0", 9600, 0), QByteArray());
    QCOMPARE(m_line->receive("3M\r", 9600, 0), "!032011\r");
    QCOMPARE(m_line->receive("$01M\r$03M\r", 9600, 0), "!012026D\r!032011\r");
    // Noise before the lead is skipped; a rate change mid-command garbles it.
    QCOMPARE(m_line->receive(QByteArray("\xFF\x00zz$03M\r", 9), 9600, 0), "!032011\r");
    QCOMPARE(m_line->receive("$03", 9600, 0) + m_line->receive("M\r", 19200, 0), QByteArray());
    // Endless garbage without CR does not pile up.
    for (int i = 0; i < 100; ++i)
        QCOMPARE(m_line->receive(QByteArray(1000, 'x'), 9600, 0), QByteArray());
    QCOMPARE(m_line->receive("\r$03M\r", 9600, 0), "!032011\r");
}

void TestSimLine::faults()
{
    const QByteArray command = cs("$07M") + '\r', good = "!07205857\r";
    using K = Fault::Kind;
    const std::pair<Fault, QByteArray> cases[] = {
        {Fault{K::NoReply}, ""}, {Fault{K::BadChecksum}, "!07205858\r"},
        {Fault{K::Cut}, "!072"}, {Fault{K::Cut, 1, 7}, "!072058"},
        {Fault{K::Noise}, QByteArray("\xFF\x00\x7F", 3) + good},
        {Fault{K::Endless, 1, -1, {}, 40}, "!07205857!07205857!07205857!07205857!072"}};
    for (const auto &[fault, reply] : cases) {
        m_line->setFault(7, fault);
        QCOMPARE(m_line->receive(command, 19200, 0), reply);
    }
    QVERIFY(m_line->process(command, 19200, 0).at(0).endless);
    m_line->setFault(7, Fault{K::NoReply, 2}); // every second reply only
    QCOMPARE(m_line->receive(command, 19200, 0), good);
    QCOMPARE(m_line->receive(command, 19200, 0), QByteArray());
    QCOMPARE(m_line->receive("$01M\r", 9600, 0), "!012026D\r"); // faults stay on their address
    m_line->clearFault(7);
    QCOMPARE(m_line->receive(command, 19200, 0), good);
    QCOMPARE(m_line->receive(command, 19200, 0), good);

    auto fromFile = SimLine::load(R"({"modules": [{"name": "9300", "address": "20",
        "slots": [{"slot": 1, "name": "9040"}]}],
        "faults": [{"address": "20", "kind": "noise", "bytes": "~~"}]})", nullptr);
    QVERIFY(fromFile);
    QCOMPARE(fromFile->receive("$20S16\r", 9600, 0), "~~!200000\r");
}

void TestSimLine::checksumDigitsAreRefused_data()
{
    // A command, as a client with its checksum flag on sends it, to a module
    // whose checksum is off: refused, and nothing changes.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("refusal");
    QTest::addColumn<qint32>("baud");
    const auto row = [](const char *name, const QByteArray &text, const char *aa, qint32 baud) {
        QTest::newRow(name) << cs(text) << QByteArray('?' + QByteArray(aa)) << baud;
    };
    row("port byte", "@0C5A", "0C", 9600);
    row("slot port byte", "@12S6FF", "12", 19200);
    row("analog output", "#08+05.000", "08", 9600);
    row("configuration", "$012", "01", 9600);
    row("alarm read", "@04DI", "04", 9600);
    row("slot table", "$12T", "12", 19200);
}

void TestSimLine::checksumDigitsAreRefused()
{
    const auto searchLine = shippedSearchLine();
    QVERIFY(searchLine);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, refusal);
    QFETCH(qint32, baud);
    QCOMPARE(searchLine->receive(command + '\r', baud, 0), refusal + '\r');
    QCOMPARE(searchLine->digitalOutputs(0x0C), std::optional<quint32>(0xA5));
    QCOMPARE(searchLine->digitalOutputs(0x12, 6), std::optional<quint32>(0x81));
    QCOMPARE(searchLine->analogOutput(0x08, 0), std::optional<double>(12.0));
    QCOMPARE(searchLine->analogOutput(0x0A, 1), std::optional<double>(-1.0));
}

void TestSimLine::replyDelayLeavesOutTheCommand()
{
    const auto searchLine = shippedSearchLine();
    QVERIFY(searchLine);
    // At 1200 bit/s a configuration read must fit a 100 ms time-out: the
    // reply's 10 characters take 83 ms, the command's own 5 must not count.
    searchLine->setWireTime(true);
    const std::vector<SimReply> replies = searchLine->process("$0A2\r", 19200, 0);
    QCOMPARE(replies.size(), size_t(1));
    QCOMPARE(replies.front().bytes, "!0A330700\r");
    QVERIFY(searchLine->replyDelayUs(replies.front(), 1200) < 100000);
    QCOMPARE(searchLine->replyDelayUs(replies.front(), 1200),
             qint64(searchLine->turnaroundMs()) * 1000 + SimLine::wireTimeUs(10, 1200));
}

QTEST_GUILESS_MAIN(TestSimLine)
#include "tst_simline.moc"
