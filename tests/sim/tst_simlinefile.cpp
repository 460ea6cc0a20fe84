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
    void defaultsAndValues();
};

void TestSimLineFile::errorsNameTheField_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    const auto one = [](const char *module) {
        return QByteArray(R"({"modules": [)") + module + "]}";
    };
    QTest::newRow("syntax") << QByteArray(R"({"modules": [)")
                            << "line file: unterminated array at offset 13";
    QTest::newRow("baud") << QByteArray(R"({"modules": [{"name": "2026", "address": 1},
            {"name": "2065", "address": 3, "baud": 9601}]})")
                          << "modules[1].baud: 9601 is not a supported baud rate";
    QTest::newRow("duplicate") << QByteArray(R"({"modules": [{"name": "2026", "address": "1F"},
            {"name": "2065", "address": 31}]})")
                               << "modules[1].address: 1F is already used at 9600 baud by "
                                  "modules[0]";
    QTest::newRow("alarm of a model without")
        << one(R"({"name": "2027", "address": 1, "alarm": {"mode": 1}})")
        << "modules[0].alarm: not used by model 2027";
    QTest::newRow("typo") << one(R"({"name": "2026", "address": 1, "bauds": 9600})")
                          << "modules[0].bauds: unknown field";
    QTest::newRow("slot taken")
        << one(R"({"name": "9900", "address": 1, "slots": [{"slot": 7, "name": "9040"},
                  {"slot": 7, "name": "9088"}]})")
        << "modules[0].slots[1].slot: 7 is already occupied";
    QTest::newRow("fault address") << QByteArray(R"({"modules": [{"name": "2026", "address": 1}],
                          "faults": [{"address": 2, "kind": "noReply"}]})")
                                   << "faults[0].address: no module at address 02";
}

void TestSimLineFile::errorsNameTheField()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString message;
    QVERIFY(!SimLine::load(json, &message));
    QCOMPARE(message, error);
    QVERIFY(!SimLine::load(json, nullptr));
    QVERIFY(!SimLine::loadFile("/nonexistent/line.json", &message));
    QVERIFY(message.startsWith("/nonexistent/line.json: "));
}

void TestSimLineFile::defaultsAndValues()
{
    // 9600 baud, no checksum, 0-10 V output at 0; numbers are decimal, texts
    // hexadecimal as on the wire; start outputs are clamped like written ones.
    QString error;
    auto line = SimLine::load(R"({"modules": [{"name": "2011", "address": 1},
        {"name": "2065", "address": 16, "digitalOutputs": 255, "digitalInputs": "0x0A"},
        {"name": "2011", "address": 2, "range": "31", "outputs": [1.0]}]})", &error);
    QVERIFY2(line, qPrintable(error));
    QCOMPARE(line->turnaroundMs(), 2);
    QCOMPARE(line->receive("$012\r", 9600, 0), "!01320600\r");
    QCOMPARE(line->receive("$016\r", 9600, 0), "!01+00.000\r");
    QCOMPARE(line->receive("$106\r", 9600, 0), "!FF0A00\r");
    QCOMPARE(line->analogOutput(2, 0), std::optional<double>(4.0));
}

QTEST_GUILESS_MAIN(TestSimLineFile)
#include "tst_simlinefile.moc"
