// telvioxd-io as a user runs it: the built program against telvioxd-sim on a
// pseudo-terminal linked as COM1 in a program folder of the test's own.

#include "device/modulelibrary.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace telviox;

namespace {

const QByteArray LineFile = R"({
  "modules": [
    {"name": "2026", "address": "01", "inputs": [5.0], "alarm": {"mode": "disabled"}},
    {"name": "2091", "address": "02", "inputs": [1.5, 0, 0, 0, 0, 0, 0, {"value": 12, "max": 10}]},
    {"name": "2028", "address": "04", "range": "33", "outputs": [0, 1, 2, 3]},
    {"name": "2065", "address": "06", "digitalInputs": "05", "digitalOutputs": "0F"},
    {"name": "2041", "address": "09", "digitalOutputs": "0000"},
    {"name": "2058", "address": "07", "baud": 19200, "checksum": true, "digitalInputs": "1234"},
    {"name": "2032", "address": "08", "counters": [
        {"start": 7, "countsPerSecond": 0}, {"start": "80000000", "countsPerSecond": 0}]},
    {"name": "9300", "address": "10", "slots": [
        {"slot": 0, "name": "9091", "inputs": [4.5]},
        {"slot": 2, "name": "9092", "digitalInputs": "3C", "digitalOutputs": "81"}]}
  ]
})";

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestIoCli : public QObject
{
    Q_OBJECT

private:
    Run io(const QStringList &args, const QString &home = {});
    QString m_bin;
    QTemporaryDir m_home;
    QProcess m_sim;

private slots:
    void initTestCase();
    void cleanupTestCase();

    void usageErrors_data();
    void usageErrors();
    void rawExchanges_data();
    void rawExchanges();
    void calls_data();
    void calls();
    void reads_data();
    void reads();
    void writeThenReadBack();
    void repeatRunsCountTimes();
    void listNamesEveryFunction();
    void portOptions();
};

Run TestIoCli::io(const QStringList &args, const QString &home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), home.isEmpty() ? m_home.path() : home);
    p.setProcessEnvironment(env);
    p.start(m_bin + QStringLiteral("/telvioxd-io"), args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void TestIoCli::initTestCase()
{
    m_bin = qEnvironmentVariable("TELVIOXD_BIN");
    QVERIFY2(!m_bin.isEmpty(), "TELVIOXD_BIN is not set");
    for (const char *program : {"telvioxd-io", "telvioxd-sim"}) {
        QVERIFY2(QFile::exists(m_bin + QLatin1Char('/') + QLatin1String(program)),
                 qPrintable(QStringLiteral("build %1 first").arg(QLatin1String(program))));
    }
    QVERIFY(m_home.isValid());
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("ports")));
    const QString lineFile = m_home.filePath(QStringLiteral("line.json"));
    QFile file(lineFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(LineFile);
    file.close();

    m_sim.start(m_bin + QStringLiteral("/telvioxd-sim"),
                {QStringLiteral("--line"), lineFile, QStringLiteral("--link"),
                 m_home.filePath(QStringLiteral("ports/com1")), QStringLiteral("--log"),
                 m_home.filePath(QStringLiteral("sim.log"))});
    QByteArray ready;
    while (!ready.contains('\n') && m_sim.waitForReadyRead(30000))
        ready += m_sim.readAllStandardOutput();
    QVERIFY2(ready.contains("serving 8 modules"), ready.constData() + m_sim.readAllStandardError());
}

void TestIoCli::cleanupTestCase()
{
    if (m_sim.state() == QProcess::NotRunning)
        return;
    m_sim.terminate();
    QVERIFY(m_sim.waitForFinished(30000));
    QCOMPARE(m_sim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(m_home.filePath(QStringLiteral("ports/com1"))));
}

void TestIoCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    auto row = [](const char *name, const QString &args, const char *message) {
        QTest::newRow(name) << args.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                            << QString::fromLatin1(message);
    };
    row("no command", QString(), "no command given");
    row("unknown option", QStringLiteral("--bogus raw $01M"), "bogus");
    row("unknown command", QStringLiteral("frob"), "unknown command frob");
    row("malformed timeout", QStringLiteral("--timeout 12x raw $01M"), "--timeout: 12x");
    row("negative port", QStringLiteral("--port -1 raw $01M"), "--port: -1");
    row("count without repeat", QStringLiteral("--count 3 raw $01M"), "--count goes with");
    row("port and device", QStringLiteral("--port 2 --device /dev/null raw $01M"), "not both");
    row("raw without text", QStringLiteral("raw"), "raw takes one command");
    row("option after command", QStringLiteral("raw $01M --baud 19200"), "raw takes one");
    row("unknown function", QStringLiteral("call AnalogFoo addr=01 type=2026"),
        "unknown function AnalogFoo");
    row("bad address", QStringLiteral("call AnalogIn addr=G1 type=2026"), "addr: G1");
    row("address too long", QStringLiteral("call AnalogIn addr=100 type=2026"), "addr: 100");
    row("bad type", QStringLiteral("call AnalogIn addr=01 type=20x6"), "type: 20x6");
    row("92000 type in 16 bits", QStringLiteral("call AnalogIn addr=01 type=92091"),
        "does not fit");
    row("missing type", QStringLiteral("call AnalogIn addr=01"), "type=CODE");
    row("missing address", QStringLiteral("call AnalogIn type=2026"), "addr=AA");
    row("channel where none", QStringLiteral("call DigitalIn addr=01 type=2065 ch=1"),
        "takes no channel");
    row("slot where none", QStringLiteral("call AnalogIn addr=01 type=2026 slot=1"),
        "takes no slot");
    row("value where none", QStringLiteral("call DigitalIn addr=01 type=2065 value=1"),
        "takes no value");
    row("analog value not a number", QStringLiteral("call AnalogOut addr=01 type=2011 value=abc"),
        "value: abc");
    row("bits beyond 16", QStringLiteral("call DigitalOut addr=01 type=2065 value=0x10000"),
        "value: 0x10000");
    row("channel not a number", QStringLiteral("call AnalogIn addr=01 type=2091 ch=1.5"),
        "ch: 1.5");
    row("element 3", QStringLiteral("call AnalogIn addr=01 type=2026 e3=1"), "unknown argument e3");
    row("no equals sign", QStringLiteral("call AnalogIn addr=01 type=2026 ch"), "KEY=VALUE");
    row("read bad address", QStringLiteral("read 1FF"), "1FF is not");
    row("read bad slot", QStringLiteral("read 10 slot=9"), "slot=9");
}

void TestIoCli::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run run = io(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("Usage:")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestIoCli::rawExchanges_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    auto row = [](const char *name, const QString &args, int exitCode, const QString &out,
                  const QString &err) {
        QTest::newRow(name) << args.split(QLatin1Char(' ')) << exitCode << out << err;
    };
    row("name", "raw $01M", 0, "!012026\n", "");
    row("refused", "raw $01X", 1, "", "error 13: Cmd Error ! (reply ?01)\n");
    row("silent", "--timeout 200 raw $55M", 1, "", "error 15: Time Out !\n");
    row("checksum at 19200", "--baud 19200 --checksum raw $07M", 0, "!072058\n", "");
    row("checksum missing", "--baud 19200 --timeout 200 raw $07M", 1, "", "error 15: Time Out !\n");
    row("slot table", "raw $10T", 0, "!1091FF92FF\n", "");
}

void TestIoCli::rawExchanges()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run run = io(args);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.exitCode, exitCode);
}

void TestIoCli::calls_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    auto row = [](const char *name, const QString &args, int exitCode, const QString &line) {
        QTest::newRow(name) << args << exitCode << line;
    };
    row("analog in", "AnalogIn addr=02 type=2091 ch=0", 0,
        "result=0 fBuf0=1.5 sent=#020 reply=>+01.500");
    row("over range", "AnalogIn addr=02 type=2091 ch=7", 1,
        "result=20 fBuf0=99999 sent=#027 reply=>+99999  error: "
        "Exceed Input Range !");
    row("slot input", "AnalogIn_9K addr=10 type=9091 slot=0 ch=0", 0,
        "result=0 fBuf0=4.5 sent=#10S00 reply=>+04.500");
    row("digital in", "DigitalIn addr=06 type=2065", 0,
        "result=0 e5=0x0005 sent=$066 reply=!0F0500");
    row("slot digital out", "DigitalOutReadBack_9K addr=10 type=9092 slot=2", 0,
        "result=0 e5=0x0081 sent=$10S26 reply=!10813C");
    row("count top bit", "CounterIn_2032 addr=08 type=2032 ch=1", 0,
        "result=0 e7=-32768 e8=0 long=-2147483648 sent=#081 "
        "reply=>80000000");
    row("count by raw elements", "CounterIn_2032 addr=08 type=2032 e5=0", 0,
        "result=0 e7=0 e8=7 long=7 sent=#080 "
        "reply=>00000007");
    row("type not served", "AnalogIn addr=01 type=9091", 1,
        "result=17 fBuf0=0 sent= reply=  error: ModuleID Error !");
    row("channel beyond", "AnalogIn addr=02 type=2091 ch=8", 1,
        "result=18 fBuf0=0 sent= reply=  error: AD Channel Error !");
    row("counter beyond", "CounterIn_2032 addr=08 type=2032 ch=2", 1,
        "result=21 e7=0 e8=0 long=0 sent= reply=  error: "
        "Invalidate Counter No !");
}

void TestIoCli::calls()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    const Run run = io(QStringList{QStringLiteral("call")} + args.split(QLatin1Char(' ')));
    QCOMPARE(run.out, line + QLatin1Char('\n'));
    QCOMPARE(run.exitCode, exitCode);
}

void TestIoCli::reads_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    auto row = [](const char *name, const QString &args, int exitCode, const QString &line) {
        QTest::newRow(name) << args << exitCode << line;
    };
    row("single input", "01", 0, "01 2026: ch0=+5.000");
    row("eight inputs, one over", "02", 0,
        "02 2091: ch0=+1.500 ch1=+0.000 ch2=+0.000 ch3=+0.000 ch4=+0.000 ch5=+0.000 "
        "ch6=+0.000 ch7=over");
    row("outputs", "04", 0, "04 2028: out0=+0.000 out1=+1.000 out2=+2.000 out3=+3.000");
    row("input-only port", "--baud 19200 --checksum read 07", 0, "07 2058: in=0x1234");
    row("counters", "08", 0, "08 2032: count0=7 count1=-2147483648");
    row("main unit", "10", 0, "10 9300: slots=91,FF,92,FF");
    row("slot module", "10 slot=0", 0,
        "10 S0 9091: ch0=+4.500 ch1=+0.000 ch2=+0.000 ch3=+0.000 "
        "ch4=+0.000 ch5=+0.000 ch6=+0.000 ch7=+0.000");
    row("empty slot", "10 slot=1", 1, "10 S1: error 13: Cmd Error !");
    row("nobody", "--timeout 200 read 55", 1, "55: error 15: Time Out !");
}

void TestIoCli::reads()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QStringList list = args.split(QLatin1Char(' '));
    if (!list.contains(QLatin1String("read")))
        list.prepend(QStringLiteral("read"));
    const Run run = io(list);
    QCOMPARE(run.out, line + QLatin1Char('\n'));
    QCOMPARE(run.exitCode, exitCode);
}

// Each run is a process of its own: what one writes, the next reads back
// from the module.
void TestIoCli::writeThenReadBack()
{
    Run run = io({"call", "AnalogOut", "addr=04", "type=2028", "ch=2", "value=7.25"});
    QCOMPARE(run.out, QStringLiteral("result=0 sent=#042+07.250 reply=>\n"));
    run = io({"call", "AnalogOutReadBack", "addr=04", "type=2028", "ch=2"});
    QCOMPARE(run.out, QStringLiteral("result=0 fBuf0=7.25 sent=$0462 reply=!04+07.250\n"));

    QCOMPARE(io({"call", "DigitalOut", "addr=09", "type=2041", "value=0x8001"}).exitCode, 0);
    QCOMPARE(io({"call", "DigitalBitOut", "addr=09", "type=2041", "ch=4", "value=1"}).exitCode, 0);
    run = io({"call", "DigitalOutReadBack", "addr=09", "type=2041"});
    QCOMPARE(run.out, QStringLiteral("result=0 e5=0x8011 sent=$096 reply=!801100\n"));
    QCOMPARE(io({"read", "09"}).out, QStringLiteral("09 2041: out=0x8011\n"));
}

void TestIoCli::repeatRunsCountTimes()
{
    Run run = io({"--repeat", "0", "--count", "3", "call", "AnalogIn", "addr=01", "type=2026"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("result=0 fBuf0=5 sent=#01 reply=>+05.000\n").repeated(3));

    // One failed run makes the whole run fail.
    run = io({"--timeout", "100", "--repeat", "0", "--count", "2", "raw", "$55M"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("error 15: Time Out !\n").repeated(2));
}

void TestIoCli::listNamesEveryFunction()
{
    const Run run = io({"--list"});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), int(ModuleLibrary::functions().size()));
    for (const ModuleLibrary::Function &fn : ModuleLibrary::functions()) {
        const auto it = std::find_if(lines.begin(), lines.end(), [&](const QString &line) {
            return line.section(QLatin1Char(' '), 0, 0) == QLatin1String(fn.name);
        });
        QVERIFY2(it != lines.end(), fn.name);
    }
    QVERIFY(run.out.contains(
        QRegularExpression(QStringLiteral("DigitalBitOut_9K +dwBuf slot=e7 ch=e8 value=e5\n"))));
}

void TestIoCli::portOptions()
{
    // --device reaches the simulator without any ports folder.
    QTemporaryDir empty;
    const QString device = QFileInfo(m_home.filePath(QStringLiteral("ports/com1"))).symLinkTarget();
    Run run = io({"--device", device, "--port", "4", "raw", "$01M"}, empty.path());
    QCOMPARE(run.exitCode, 2);
    run = io({"--device", device, "raw", "$01M"}, empty.path());
    QCOMPARE(run.out, QStringLiteral("!012026\n"));
    QCOMPARE(run.exitCode, 0);

    run = io({"--device", empty.filePath(QStringLiteral("missing")), "raw", "$01M"}, empty.path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("cannot open COM1")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("error 2: COM Port Error !")), qPrintable(run.err));

    run = io({"--baud", "1234", "raw", "$01M"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("error 3: Baud Rate Error !")), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestIoCli)
#include "tst_io_cli.moc"
