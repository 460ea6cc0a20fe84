// telvioxd-io as a user runs it: the built program against telvioxd-sim on a
// pseudo-terminal linked as COM1 in a program folder of the test's own.

#include "simprogram.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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
    void runs_data();
    void runs();
    void writeThenReadBack();
    void deviceOption();

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
    telviox::test::SimProgram m_sim;
};

void TestIoCli::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("TELVIOXD_BIN"), "TELVIOXD_BIN is not set");
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("ports")));
    QVERIFY(m_sim.start(m_home.path(), m_home.filePath(QStringLiteral("ports/com1")), LineFile));
}

void TestIoCli::runs_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err"); // contained in what the run writes there
    auto row = [](const char *name, const char *args, int exitCode, const char *out,
                  const char *err) { QTest::newRow(name) << args << exitCode << out << err; };
    auto usage = [](const char *name, const char *args, const char *message) {
        QTest::newRow(name) << args << 2 << QString() << message;
    };
    usage("no command", "", "no command given");
    usage("port and device", "--port 2 --device /dev/null raw $01M", "not both");
    usage("unknown function", "call AnalogFoo addr=01 type=2026", "unknown function");
    usage("92000 type in 16 bits", "call AnalogIn addr=01 type=92091", "does not fit");
    usage("read bad slot", "read 10 slot=9", "slot=9");
    row("raw", "raw $01M", 0, "!012026\n", "");
    row("raw refused", "raw $01X", 1, "", "error 13: Cmd Error ! (reply ?01)\n");
    row("raw checksum at 19200", "--baud 19200 --checksum raw $07M", 0, "!072058\n", "");
    row("call", "call AnalogIn addr=02 type=2091 ch=0", 0,
        "result=0 fBuf0=1.5 sent=#020 reply=>+01.500\n", "");
    row("call over range", "call AnalogIn addr=02 type=2091 ch=7", 1,
        "result=20 fBuf0=99999 sent=#027 reply=>+99999  error: Exceed Input Range !\n", "");
    row("call type not served", "call AnalogIn addr=01 type=9091", 1,
        "result=17 fBuf0=0 sent= reply=  error: ModuleID Error !\n", "");
    row("read eight inputs, one over", "read 02", 0,
        "02 2091: ch0=+1.500 ch1=+0.000 ch2=+0.000 ch3=+0.000 ch4=+0.000 ch5=+0.000 "
        "ch6=+0.000 ch7=over\n",
        "");
    row("read empty slot", "read 10 slot=1", 1, "10 S1: error 13: Cmd Error !\n", "");
}

void TestIoCli::runs()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run run = io(args.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    QCOMPARE(run.out, out);
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    QVERIFY2(exitCode != 2 || run.err.contains(QLatin1String("Usage:")), qPrintable(run.err));
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

void TestIoCli::deviceOption()
{
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
