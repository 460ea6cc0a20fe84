// The line file: a broken one is refused with the offending field named, and
// the demonstration line that ships with the program loads and answers.

#include "sim/simline.h"

#include <QtTest>

using telviox::sim::SimLine;

class TestSimLineFile : public QObject
{
    Q_OBJECT

private slots:
    void errorsNameTheField_data();
    void errorsNameTheField();
    void defaultsAndTopLevelSettings();
    void valuesTakeNumbersOrHexText();
    void demoLineHasEveryKind();
    void missingFile();
};

void TestSimLineFile::errorsNameTheField_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    const auto one = [](const char *module) {
        return QByteArray(R"({"modules": [)") + module + "]}";
    };
    QTest::newRow("baud") << QByteArray(R"({"modules": [
            {"name": "2026", "address": 1}, {"name": "2011", "address": 2},
            {"name": "2065", "address": 3, "baud": 9601}]})")
                          << "modules[2].baud: 9601 is not a supported baud rate";
    QTest::newRow("syntax") << QByteArray(R"({"modules": [)")
                            << "line file: unterminated array at offset 13";
    QTest::newRow("not an object") << QByteArray("[]") << "line file: not a JSON object";
    QTest::newRow("no modules") << QByteArray("{}") << "modules: missing";
    QTest::newRow("unknown top field")
        << QByteArray(R"({"modules": [], "turnaround": 2})") << "turnaround: unknown field";
    QTest::newRow("turnaround") << QByteArray(R"({"modules": [], "turnaroundMs": -1})")
                                << "turnaroundMs: -1 is out of range 0 to 60000";
    QTest::newRow("wire time") << QByteArray(R"({"modules": [], "wireTime": "yes"})")
                               << "wireTime: \"yes\" is not true or false";
    QTest::newRow("name missing") << one(R"({"address": 1})") << "modules[0].name: missing";
    QTest::newRow("unknown model")
        << one(R"({"name": "2999", "address": 1})") << "modules[0].name: 2999 is not a known model";
    QTest::newRow("address missing") << one(R"({"name": "2026"})") << "modules[0].address: missing";
    QTest::newRow("address range")
        << one(R"({"name": "2026", "address": 256})") << "modules[0].address: 256 is beyond 0xFF";
    QTest::newRow("address text") << one(R"({"name": "2026", "address": "G1"})")
                                  << "modules[0].address: \"G1\" is neither a number nor "
                                     "hexadecimal digits";
    QTest::newRow("duplicate") << QByteArray(R"({"modules": [
            {"name": "2026", "address": "1F"}, {"name": "2011", "address": 2},
            {"name": "2065", "address": 31}]})")
                               << "modules[2].address: 1F is already used at 9600 baud by "
                                  "modules[0]";
    QTest::newRow("typo") << one(R"({"name": "2026", "address": 1, "bauds": 9600})")
                          << "modules[0].bauds: unknown field";
    QTest::newRow("field of another kind")
        << one(R"({"name": "2026", "address": 1, "outputs": [1]})")
        << "modules[0].outputs: not used by model 2026";
    QTest::newRow("too many channels")
        << one(R"({"name": "2063", "address": 1, "inputs": [1, 2, 3]})")
        << "modules[0].inputs[2]: model 2063 has 2 channels";
    QTest::newRow("wave shape")
        << one(R"({"name": "2026", "address": 1, "inputs": [{"wave": "saw"}]})")
        << "modules[0].inputs[0].wave: \"saw\" is not one of constant, sine, triangle, square";
    QTest::newRow("wave period")
        << one(R"({"name": "2026", "address": 1, "inputs": [{"wave": "sine", "periodMs": 0}]})")
        << "modules[0].inputs[0].periodMs: 0 is out of range 1 to 1099511627776";
    QTest::newRow("constant has no amplitude")
        << one(R"({"name": "2026", "address": 1, "inputs": [{"value": 1, "amplitude": 2}]})")
        << "modules[0].inputs[0].amplitude: unknown field";
    QTest::newRow("limits")
        << one(R"({"name": "2026", "address": 1, "inputs": [{"min": 5, "max": 1}]})")
        << "modules[0].inputs[0].min: greater than max";
    QTest::newRow("digital bits") << one(R"({"name": "2065", "address": 1, "digitalInputs": "1F"})")
                                  << "modules[0].digitalInputs: \"1F\" does not fit 4 inputs";
    QTest::newRow("output ranges")
        << one(R"({"name": "2046", "address": 1, "outputRanges": [1, 3]})")
        << "modules[0].outputRanges[1]: 3 is not 0 (0-20 mA), 1 (4-20 mA) or 2 (0-10 V)";
    QTest::newRow("alarm mode")
        << one(R"({"name": "2026", "address": 1, "alarm": {"mode": "often"}})")
        << "modules[0].alarm.mode: \"often\" is not one of disabled, momentary, latch (or 0 "
           "to 2)";
    QTest::newRow("counter rate")
        << one(R"({"name": "2032", "address": 1, "counters": [{}, {"countsPerSecond": -1}]})")
        << "modules[0].counters[1].countsPerSecond: must not be negative";
    QTest::newRow("counter start beyond max")
        << one(R"({"name": "2032", "address": 1, "counters": [{"start": 100, "max": 99}]})")
        << "modules[0].counters[0].start: is beyond max";
    QTest::newRow("three counters")
        << one(R"({"name": "2032", "address": 1, "counters": [{}, {}, {}]})")
        << "modules[0].counters[2]: model 2032 has 2 counters";
    QTest::newRow("level volts") << one(R"({"name": "2032", "address": 1, "levelHigh": 12})")
                                 << "modules[0].levelHigh: 12 is out of range 0 to 9.9 V";
    QTest::newRow("slot module alone") << one(R"({"name": "9040", "address": 1})")
                                       << "modules[0].name: 9040 sits in a slot of a main unit";
    QTest::newRow("slot number")
        << one(R"({"name": "9300", "address": 1, "slots": [{"slot": 4, "name": "9040"}]})")
        << "modules[0].slots[0].slot: 4 is out of range 0 to 3";
    QTest::newRow("slot missing")
        << one(R"({"name": "9900", "address": 1, "slots": [{"name": "9040"}]})")
        << "modules[0].slots[0].slot: missing";
    QTest::newRow("slot taken")
        << one(R"({"name": "9900", "address": 1, "slots": [{"slot": 7, "name": "9040"},
                  {"slot": 7, "name": "9088"}]})")
        << "modules[0].slots[1].slot: 7 is already occupied";
    QTest::newRow("stand-alone in a slot")
        << one(R"({"name": "9300", "address": 1, "slots": [{"slot": 0, "name": "2065"}]})")
        << "modules[0].slots[0].name: 2065 cannot sit in a slot of 9300";
    QTest::newRow("wrong family in a slot")
        << one(R"({"name": "6000", "address": 1, "slots": [{"slot": 0, "name": "9040"}]})")
        << "modules[0].slots[0].name: 9040 cannot sit in a slot of 6000";
    QTest::newRow("slot has no address")
        << one(R"({"name": "9300", "address": 1, "slots": [{"slot": 0, "name": "9040",
                  "address": 2}]})")
        << "modules[0].slots[0].address: not used by model 9040";
    QTest::newRow("fault address") << QByteArray(R"({"modules": [{"name": "2026", "address": 1}],
                          "faults": [{"address": 2, "kind": "noReply"}]})")
                                   << "faults[0].address: no module at address 02";
    QTest::newRow("fault kind")
        << QByteArray(R"({"modules": [{"name": "2026", "address": 1}],
                          "faults": [{"address": 1, "kind": "garble"}]})")
        << "faults[0].kind: \"garble\" is not one of none, noReply, badChecksum, cut, noise, "
           "endless";
    QTest::newRow("fault every") << QByteArray(R"({"modules": [{"name": "2026", "address": 1}],
                          "faults": [{"address": 1, "kind": "cut", "every": 0}]})")
                                 << "faults[0].every: 0 is out of range 1 to 1000000";
}

void TestSimLineFile::errorsNameTheField()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString message;
    QVERIFY(!SimLine::load(json, &message));
    QCOMPARE(message, error);
    // Callers that do not want the message still get the refusal.
    QVERIFY(!SimLine::load(json, nullptr));
}

void TestSimLineFile::defaultsAndTopLevelSettings()
{
    QString error;
    auto line =
        SimLine::load(R"({"modules": [{"name": "2011", "address": 1, "comment": "x"}]})", &error);
    QVERIFY2(line, qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(line->turnaroundMs(), 2);
    QVERIFY(!line->wireTime());
    // 9600 baud, no checksum, 0-10 V output at 0.
    QCOMPARE(line->receive("$012\r", 9600, 0), QByteArray("!01320600\r"));
    QCOMPARE(line->receive("$016\r", 9600, 0), QByteArray("!01+00.000\r"));

    line = SimLine::load(R"({"modules": [], "turnaroundMs": 0, "wireTime": true})", &error);
    QVERIFY2(line, qPrintable(error));
    QCOMPARE(line->turnaroundMs(), 0);
    QVERIFY(line->wireTime());
    QCOMPARE(line->moduleCount(), 0);
}

void TestSimLineFile::valuesTakeNumbersOrHexText()
{
    // Numbers are decimal, texts hexadecimal as on the wire.
    QString error;
    auto line = SimLine::load(R"({"modules": [
        {"name": "2065", "address": 16, "digitalOutputs": 255, "digitalInputs": "0x0A"},
        {"name": "2065", "address": "11", "digitalOutputs": "80"}]})",
                              &error);
    QVERIFY2(line, qPrintable(error));
    QCOMPARE(line->receive("$106\r", 9600, 0), QByteArray("!FF0A00\r"));
    QCOMPARE(line->receive("$116\r", 9600, 0), QByteArray("!800000\r"));
    // Initial outputs are clamped to the range like written ones.
    line = SimLine::load(R"({"modules": [{"name": "2011", "address": 1, "range": "31",
                                          "outputs": [1.0]}]})",
                         &error);
    QVERIFY2(line, qPrintable(error));
    QCOMPARE(line->analogOutput(1, 0), std::optional<double>(4.0));
}

void TestSimLineFile::demoLineHasEveryKind()
{
    const QString path = qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/demo-line.json";
    QString error;
    auto line = SimLine::loadFile(path, &error);
    QVERIFY2(line, qPrintable(error));
    QCOMPARE(line->turnaroundMs(), 2);

    const auto ask = [&](const QByteArray &command, qint32 baud) {
        return line->receive(command + '\r', baud, 0);
    };
    const auto nameAt = [&](int address, qint32 baud) {
        const QByteArray aa = QByteArray::number(address, 16).toUpper().rightJustified(2, '0');
        QByteArray reply = ask('$' + aa + 'M', baud);
        if (reply.isEmpty()) { // perhaps the checksum module: drop its digits
            reply = ask('$' + aa + 'M' + SimLine::checksumOf('$' + aa + 'M'), baud);
            reply.chop(3);
        }
        return reply.mid(3).trimmed();
    };
    QSet<QByteArray> names;
    QSet<qint32> bauds;
    for (int address = 0; address < 256; ++address) {
        for (qint32 baud : {9600, 19200}) {
            const QByteArray name = nameAt(address, baud);
            if (!name.isEmpty()) {
                names.insert(name);
                bauds.insert(baud);
            }
        }
    }
    for (const char *expected : {"2026D", "2091", "2011", "2028", "2046", "2065", "2058", "2032",
                                 "92091", "9300", "9900"}) {
        QVERIFY2(names.contains(expected), expected);
    }
    QCOMPARE(bauds.size(), 2);
    // The main units have an empty slot and a high-speed "1H" slot.
    QVERIFY(ask("$10T", 9600).contains("FF"));
    QVERIFY(ask("$11T", 19200).contains("1H"));
    // One module has its checksum on.
    QCOMPARE(ask("$07M", 19200), QByteArray());
    QCOMPARE(ask("$07MD8", 19200).left(7), QByteArray("!072058"));
}

void TestSimLineFile::missingFile()
{
    QString error;
    QVERIFY(!SimLine::loadFile("/nonexistent/line.json", &error));
    QVERIFY(error.startsWith("/nonexistent/line.json: "));
}

QTEST_GUILESS_MAIN(TestSimLineFile)
#include "tst_simlinefile.moc"
