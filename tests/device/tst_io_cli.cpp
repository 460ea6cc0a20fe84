// telvioxd-io as a user runs it: the built program against telvioxd-sim on a
// pseudo-terminal linked as COM1 in a program folder of the test's own.

#include "device/modulelibrary.h"
#include "simprogram.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace telviox;

namespace {

const QByteArray LineFile = R"({"modules": [
    {"name": "2026", "address": "01", "inputs": [5.0], "alarm": {"mode": "disabled"}},
    {"name": "2091", "address": "02", "inputs": [1.5, 0, 0, 0, 0, 0, 0, {"value": 12, "max": 10}]},
    {"name": "2028", "address": "04", "range": "33", "outputs": [0, 1, 2, 3]},
    {"name": "2041", "address": "09", "digitalOutputs": "0000"},
    {"name": "2058", "address": "07", "baud": 19200, "checksum": true, "digitalInputs": "1234"},
    {"name": "9300", "address": "10", "slots": [{"slot": 0, "name": "9091", "inputs": [4.5]},
        {"slot": 2, "name": "9092", "digitalInputs": "3C", "digitalOutputs": "81"}]}]})";

struct Run
{
    int exitCode = -1;
    QString out, err;
};

} // namespace

class TestIoCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void runs_data();
    void runs();
    void writeThenReadBack();
    void listAndPortOptions();

private:
    Run io(const QStringList &args, const QString &home = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TELVIOXD_HOME"), home.isEmpty() ? m_home.path() : home);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("TELVIOXD_BIN") + QStringLiteral("/telvioxd-io"), args);
        if (!p.waitForFinished(60000))
            p.kill();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

    QTemporaryDir m_home;
    test::SimProgram m_sim;
};

void TestIoCli::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("TELVIOXD_BIN"), "TELVIOXD_BIN is not set");
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("ports")));
    QVERIFY(m_sim.start(m_home.path(), m_home.filePath(QStringLiteral("ports/com1")), LineFile));
}

void TestIoCli::usageErrors_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << ""
                                << "no command given";
    QTest::newRow("unknown command") << "frob"
                                     << "unknown command frob";
    QTest::newRow("malformed timeout") << "--timeout 12x raw $01M"
                                       << "--timeout: 12x";
    QTest::newRow("count without repeat") << "--count 3 raw $01M"
                                          << "--count goes with";
    QTest::newRow("port and device") << "--port 2 --device /dev/null raw $01M"
                                     << "not both";
    QTest::newRow("option after command") << "raw $01M --baud 19200"
                                          << "raw takes one";
    QTest::newRow("unknown function") << "call AnalogFoo addr=01 type=2026"
                                      << "unknown function";
    QTest::newRow("address too long") << "call AnalogIn addr=100 type=2026"
                                      << "addr: 100";
    QTest::newRow("92000 type in 16 bits") << "call AnalogIn addr=01 type=92091"
                                           << "does not fit";
    QTest::newRow("missing type") << "call AnalogIn addr=01"
                                  << "type=CODE";
    QTest::newRow("channel where none") << "call DigitalIn addr=01 type=2065 ch=1"
                                        << "no channel";
    QTest::newRow("bits beyond 16") << "call DigitalOut addr=01 type=2065 value=0x10000"
                                    << "value: 0x10000";
    QTest::newRow("element 3") << "call AnalogIn addr=01 type=2026 e3=1"
                               << "unknown argument e3";
    QTest::newRow("read bad slot") << "read 10 slot=9"
                                   << "slot=9";
}

void TestIoCli::usageErrors()
{
    QFETCH(QString, args);
    QFETCH(QString, message);
    const Run run = io(args.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message) && run.err.contains(QLatin1String("Usage:")),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestIoCli::runs_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    auto row = [](const char *name, const char *args, int exitCode, const char *out,
                  const char *err) { QTest::newRow(name) << args << exitCode << out << err; };
    row("raw", "raw $01M", 0, "!012026\n", "");
    row("raw refused", "raw $01X", 1, "", "error 13: Cmd Error ! (reply ?01)\n");
    row("raw silent", "--timeout 200 raw $55M", 1, "", "error 15: Time Out !\n");
    row("raw checksum at 19200", "--baud 19200 --checksum raw $07M", 0, "!072058\n", "");
    row("call", "call AnalogIn addr=02 type=2091 ch=0", 0,
        "result=0 fBuf0=1.5 sent=#020 reply=>+01.500\n", "");
    row("call over range", "call AnalogIn addr=02 type=2091 ch=7", 1,
        "result=20 fBuf0=99999 sent=#027 reply=>+99999  error: Exceed Input Range !\n", "");
    row("call slot digital out", "call DigitalOutReadBack_9K addr=10 type=9092 slot=2", 0,
        "result=0 e5=0x0081 sent=$10S26 reply=!10813C\n", "");
    row("call type not served", "call AnalogIn addr=01 type=9091", 1,
        "result=17 fBuf0=0 sent= reply=  error: ModuleID Error !\n", "");
    row("read eight inputs, one over", "read 02", 0,
        "02 2091: ch0=+1.500 ch1=+0.000 ch2=+0.000 ch3=+0.000 ch4=+0.000 ch5=+0.000 "
        "ch6=+0.000 ch7=over\n",
        "");
    row("read main unit", "read 10", 0, "10 9300: slots=91,FF,92,FF\n", "");
    row("read empty slot", "read 10 slot=1", 1, "10 S1: error 13: Cmd Error !\n", "");
    row("repeat counts", "--repeat 0 --count 2 call AnalogIn addr=01 type=2026", 0,
        "result=0 fBuf0=5 sent=#01 reply=>+05.000\nresult=0 fBuf0=5 sent=#01 reply=>+05.000\n", "");
}

void TestIoCli::runs()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run run = io(args.split(QLatin1Char(' ')));
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.exitCode, exitCode);
}

// Each run is a process of its own: what one writes, the next reads back.
void TestIoCli::writeThenReadBack()
{
    QCOMPARE(io({"call", "AnalogOut", "addr=04", "type=2028", "ch=2", "value=7.25"}).exitCode, 0);
    QCOMPARE(io({"call", "AnalogOutReadBack", "addr=04", "type=2028", "ch=2"}).out,
             QStringLiteral("result=0 fBuf0=7.25 sent=$0462 reply=!04+07.250\n"));
    QCOMPARE(io({"call", "DigitalOut", "addr=09", "type=2041", "value=0x8001"}).exitCode, 0);
    QCOMPARE(io({"call", "DigitalBitOut", "addr=09", "type=2041", "ch=4", "value=1"}).exitCode, 0);
    QCOMPARE(io({"read", "09"}).out, QStringLiteral("09 2041: out=0x8011\n"));
}

void TestIoCli::listAndPortOptions()
{
    const Run list = io({"--list"});
    QCOMPARE(list.exitCode, 0);
    for (const ModuleLibrary::Function &fn : ModuleLibrary::functions())
        QVERIFY2(list.out.contains(QLatin1Char('\n') + QLatin1String(fn.name) + QLatin1Char(' ')) ||
                     list.out.startsWith(QLatin1String(fn.name) + QLatin1Char(' ')),
                 fn.name);

    // --device reaches the simulator without any ports folder.
    QTemporaryDir empty;
    const QString device = QFileInfo(m_home.filePath(QStringLiteral("ports/com1"))).symLinkTarget();
    QCOMPARE(io({"--device", device, "raw", "$01M"}, empty.path()).out,
             QStringLiteral("!012026\n"));
    const Run missing =
        io({"--device", empty.filePath(QStringLiteral("missing")), "raw", "$01M"}, empty.path());
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains(QLatin1String("error 2: COM Port Error !")),
             qPrintable(missing.err));
}

QTEST_GUILESS_MAIN(TestIoCli)
#include "tst_io_cli.moc"
