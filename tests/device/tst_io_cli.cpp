// telvioxd-io as a user runs it: the built program against telvioxd-sim on a
// pseudo-terminal linked as COM1 in a program folder of the test's own. Also
// what every program answers to --help and a mistake, and the time stamps and
// CSV rows scripts read.

#include "core/scripttext.h"
#include "device/cli/iotool.h"
#include "device/portpath.h"
#include "scriptedline.h"
#include "simprogram.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

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

Run runProgram(const QString &name, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TELVIOXD_BIN") + QLatin1Char('/') + name, args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// A usage error is one line naming the program and the mistake, then a
// pointer to --help; never the whole help, never on stdout.
bool isUsageError(const QString &program, const Run &run, const QString &message)
{
    const QStringList lines = run.err.split(QLatin1Char('\n'));
    return run.exitCode == 2 && run.out.isEmpty() && lines.size() == 3 && lines.at(2).isEmpty() &&
           lines.at(0).startsWith(program + QStringLiteral(": ")) &&
           lines.at(0).contains(message) &&
           lines.at(1) == QStringLiteral("Try '%1 --help' for more information.").arg(program);
}

// An ISO time stamp to the millisecond with its offset, as a pattern.
const QString StampPattern =
    QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");

// IoTool on a scripted line on virtual time, its output in strings.
struct ToolRig
{
    explicit ToolRig(const QString &folder, telviox::io::Settings settings = {3, 19200, false, 100})
        : link(line.clock, telviox::test::scriptedFactory(line), folder), library(link),
          outStream(&out), errStream(&err),
          tool(library, settings, telviox::PortChoice::forPort(settings.port, folder), outStream,
               errStream)
    {
        link.Open_Com(settings.port, settings.baud);
    }

    telviox::test::ScriptedLine line;
    telviox::SerialLink link;
    telviox::ModuleLibrary library;
    QString out, err;
    QTextStream outStream, errStream;
    telviox::io::IoTool tool;
};

} // namespace

class TestIoCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyProgramAnswers_data();
    void everyProgramAnswers();
    void runs_data();
    void runs();
    void failuresNameDeviceAndRate_data();
    void failuresNameDeviceAndRate();
    void busyPortSaysSo();
    void writeThenReadBack();
    void readFailsOnAChannelWithoutAnswer();
    void repeatingRunEndsOnStopSignal();
    void timeStampsHaveMillisecondsAndOffset_data();
    void timeStampsHaveMillisecondsAndOffset();
    void csvFieldsAreQuotedWhereNeeded_data();
    void csvFieldsAreQuotedWhereNeeded();
    void csvRowsUnderOneHeader();
    void repeatedRunsCarryTheirTime();
    void permissionHint_data();
    void permissionHint();

private:
    // %DEV% stands for the simulator's device, %HOME% for the program folder
    // with the link to it, %EMPTY% for one without.
    QString expand(QString text) const
    {
        return text.replace(QLatin1String("%DEV%"), m_device)
            .replace(QLatin1String("%HOME%"), m_home.path())
            .replace(QLatin1String("%EMPTY%"), m_empty.path());
    }

    Run io(const QStringList &args, const QString &home = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TELVIOXD_HOME"), home.isEmpty() ? m_home.path() : home);
        return runProgram(QStringLiteral("telvioxd-io"), args, env);
    }

    QTemporaryDir m_home;
    QTemporaryDir m_empty;
    QString m_device;
    telviox::test::SimProgram m_sim;
};

void TestIoCli::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("TELVIOXD_BIN"), "TELVIOXD_BIN is not set");
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("ports")));
    QVERIFY(m_sim.start(m_home.path(), m_home.filePath(QStringLiteral("ports/com1")), LineFile));
    m_device = QFileInfo(m_home.filePath(QStringLiteral("ports/com1"))).symLinkTarget();
}

void TestIoCli::everyProgramAnswers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // for a usage error; else a word of the help
    const QStringList programs{"telvioxd", "telvioxd-io", "telvioxd-dde", "telvioxd-sim",
                               "telvioxd-cnv"};
    for (const QString &program : programs) {
        const QByteArray name = program.toLatin1();
        QTest::newRow(name + " --help") << program << QStringList{"--help"} << 0 << program;
    }
    QTest::newRow("io: unknown option")
        << "telvioxd-io" << QStringList{"--bogus", "raw", "$01M"} << 2 << "'bogus'";
    QTest::newRow("dde: no command") << "telvioxd-dde" << QStringList{} << 2 << "no command given";
    QTest::newRow("sim: no link") << "telvioxd-sim" << QStringList{"--line", "x.json"} << 2
                                  << "--link is required";
    QTest::newRow("cnv: no command") << "telvioxd-cnv" << QStringList{} << 2 << "no command given";
}

// Without a display or a bus: --help needs neither.
void TestIoCli::everyProgramAnswers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("TELVIOXD_HOME"), m_empty.path());
    const Run run = runProgram(program, args, env);
    if (exitCode == 2) {
        QVERIFY2(isUsageError(program, run, message), qPrintable(run.err));
        return;
    }
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    QVERIFY2(run.out.count(QLatin1Char('\n')) > 2 && run.out.contains(message),
             qPrintable(run.out));
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
    usage("unknown command", "scna 01", "unknown command scna");
    usage("port and device", "--port 2 --device /dev/null raw $01M", "not both");
    usage("count without repeat", "--count 3 raw $01M", "--count goes with --repeat");
    usage("unknown function", "call AnalogFoo addr=01 type=2026", "unknown function");
    usage("92000 type in 16 bits", "call AnalogIn addr=01 type=92091", "does not fit");
    usage("call without address", "call AnalogIn type=2026", "call needs addr=AA");
    usage("time-out beyond the 16-bit block", "--timeout 40000 call AnalogIn addr=01 type=2026",
          "--timeout does not fit the 16-bit block of AnalogIn");
    usage("value nan", "call AnalogOut addr=04 type=2028 ch=2 value=nan", "nan is not a number");
    usage("value too large", "call AnalogOut addr=04 type=2028 ch=2 value=1e39", "is not a number");
    usage("raw CR at the end", "raw $01M\r", "holds a CR");
    usage("read bad slot", "read 10 slot=9", "slot=9");
    usage("csv and scan lines", "--csv scan --lines", "give --csv or --lines, not both");
    row("raw", "raw $01M", 0, "!012026\n", "");
    row("raw refused", "raw $01X", 1, "", "error 13: Cmd Error ! (reply ?01) on COM1 (");
    row("raw checksum at 19200", "--baud 19200 --checksum raw $07M", 0, "!072058\n", "");
    row("call", "call AnalogIn addr=02 type=2091 ch=0", 0,
        "result=0 fBuf0=1.5 sent=#020 reply=>+01.500\n", "");
    row("call over range", "call AnalogIn addr=02 type=2091 ch=7", 1,
        "result=20 fBuf0=99999 sent=#027 reply=>+99999\n", "error 20: Exceed Input Range ! on");
    row("read eight inputs, one over", "read 02", 0,
        "02 2091: ch0=+1.500 ch1=+0.000 ch2=+0.000 ch3=+0.000 ch4=+0.000 ch5=+0.000 "
        "ch6=+0.000 ch7=over\n",
        "");
    row("read empty slot", "read 10 slot=1", 1, "", "10 S1: error 13: Cmd Error ! on COM1");
}

void TestIoCli::runs()
{
    QFETCH(QString, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run run = io(args.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (exitCode == 2) {
        QVERIFY2(isUsageError(QStringLiteral("telvioxd-io"), run, err), qPrintable(run.err));
        return;
    }
    QCOMPARE(run.out, out);
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    QCOMPARE(run.err.isEmpty(), exitCode == 0);
    QCOMPARE(run.exitCode, exitCode);
}

void TestIoCli::failuresNameDeviceAndRate_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<bool>("withLink"); // the program folder with ports/com1, or an empty one
    QTest::addColumn<QString>("err");
    const char *const linked = "on COM1 (%DEV% via %HOME%/ports/com1) at ";
    QTest::newRow("read at a rate the module does not use")
        << "--baud 19200 --timeout 100 read 01" << true
        << QStringLiteral("01: error 15: Time Out ! ") + linked + "19200 baud";
    QTest::newRow("device given") << "--device %DEV% --timeout 100 raw $3FM" << false
                                  << "error 15: Time Out ! on %DEV% at 9600 baud";
    QTest::newRow("device missing")
        << "--device %EMPTY%/missing raw $01M" << false
        << "telvioxd-io: cannot open %EMPTY%/missing at 9600 baud: error 2: COM Port Error ! "
           "(no such device)";
    // COM200 has no link in the folder: the fall-back, and where the link was looked for.
    QTest::newRow("fall-back to ttyS")
        << "--port 200 --baud 19200 raw $01M" << false
        << "telvioxd-io: cannot open COM200 (/dev/ttyS199; no ports/com200 in %EMPTY%) at "
           "19200 baud: error 2: COM Port Error ! (no such device)";
}

void TestIoCli::failuresNameDeviceAndRate()
{
    QFETCH(QString, args);
    QFETCH(bool, withLink);
    QFETCH(QString, err);
    const Run run = io(expand(args).split(QLatin1Char(' ')), withLink ? QString() : m_empty.path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(expand(err) + QLatin1Char('\n')), qPrintable(run.err));
    QVERIFY2(!run.out.contains(QLatin1String("error")), qPrintable(run.out));
}

void TestIoCli::busyPortSaysSo()
{
    QSerialPort holder(m_device);
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    const Run run = io({"raw", "$01M"});
    holder.close();
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(
        run.err.contains(expand("cannot open COM1 (%DEV% via %HOME%/ports/com1) at 9600 baud")) &&
            run.err.contains(QLatin1String("(the port is in use by another program)")),
        qPrintable(run.err));
    // Free again, the port answers.
    QCOMPARE(io({"raw", "$01M"}).out, QStringLiteral("!012026\n"));
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

// A module that gives its name and some of its values: the read shows what
// came, and still fails, naming the port.
void TestIoCli::readFailsOnAChannelWithoutAnswer()
{
    using namespace telviox;
    ToolRig rig(m_empty.path());
    test::ScriptedLine &line = rig.line;
    line.responder = [&line](const QByteArray &frame) {
        if (frame == "$02M\r")
            line.replyAfter(1, "!022091\r");
        else if (frame == "#020\r")
            line.replyAfter(1, ">+01.500\r");
        else if (frame == "#021\r")
            line.replyAfter(1, ">+99999\r");
    };
    QCOMPARE(rig.tool.read(2, std::nullopt), io::ExitFailure);
    QVERIFY2(rig.out.startsWith(QLatin1String("02 2091: ch0=+1.500 ch1=over ch2=E15 ")),
             qPrintable(rig.out));
    QCOMPARE(rig.err, expand("02: error 15: Time Out ! on COM3 (/dev/ttyS2; no ports/com3 in "
                             "%EMPTY%) at 19200 baud\n"));
}

// SIGTERM between runs: the port closed, a normal end with the runs' status.
void TestIoCli::repeatingRunEndsOnStopSignal()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), m_home.path());
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TELVIOXD_BIN") + QStringLiteral("/telvioxd-io"),
            {"--repeat", "60000", "raw", "$01M"});
    while (!p.canReadLine())
        QVERIFY(p.waitForReadyRead(60000));
    const QString line = QString::fromLatin1(p.readLine());
    QVERIFY2(line.contains(QRegularExpression(QLatin1Char('^') + StampPattern +
                                              QStringLiteral(" !012026\n$"))),
             qPrintable(line));
    p.terminate();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(io({"raw", "$01M"}).out, QStringLiteral("!012026\n"));
}

void TestIoCli::timeStampsHaveMillisecondsAndOffset_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("stamp");
    const QDate day(2026, 12, 6);
    QTest::newRow("UTC as +00:00, not Z")
        << QDateTime(day, QTime(22, 14, 3, 512), Qt::UTC) << "2026-12-06T22:14:03.512+00:00";
    QTest::newRow("whole milliseconds padded")
        << QDateTime(day, QTime(0, 0, 0, 7), QTimeZone(3600)) << "2026-12-06T00:00:00.007+01:00";
    QTest::newRow("half-hour offset") << QDateTime(day, QTime(9, 5, 59, 999), QTimeZone(19800))
                                      << "2026-12-06T09:05:59.999+05:30";
    QTest::newRow("west of UTC") << QDateTime(day, QTime(23, 59, 0, 0), QTimeZone(-12600))
                                 << "2026-12-06T23:59:00.000-03:30";
}

void TestIoCli::timeStampsHaveMillisecondsAndOffset()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, stamp);
    QCOMPARE(telviox::scripttext::isoTimeStamp(time), stamp);
}

void TestIoCli::csvFieldsAreQuotedWhereNeeded_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("row");
    QTest::newRow("plain, blanks and empty kept")
        << QStringList{"!012026", " +1.500 ", ""} << "!012026, +1.500 ,";
    QTest::newRow("comma") << QStringList{"FF,01,02"} << R"("FF,01,02")";
    QTest::newRow("quote doubled") << QStringList{R"(say "hi")", "x"} << R"("say ""hi""",x)";
    QTest::newRow("CR and LF") << QStringList{"a\rb", "c\nd"} << "\"a\rb\",\"c\nd\"";
}

void TestIoCli::csvFieldsAreQuotedWhereNeeded()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, row);
    QCOMPARE(telviox::scripttext::csvRow(fields), row);
}

// The header comes once per kind of row; each row starts with the time the
// result came, read from the link's clock.
void TestIoCli::csvRowsUnderOneHeader()
{
    using namespace telviox;
    io::Settings settings{3, 19200, false, 100};
    settings.csv = true;
    ToolRig rig(m_empty.path(), settings);
    rig.line.clock.setWallTime(QDateTime(QDate(2026, 12, 6), QTime(22, 14, 3, 512), QTimeZone(0)));
    test::ScriptedLine &line = rig.line;
    line.responder = [&line](const QByteArray &frame) {
        if (frame == "$02M\r")
            line.replyAfter(2, "!022091\r");
        else if (frame.startsWith("#02"))
            line.replyAfter(1, ">+01.500\r");
        else if (frame == "$01X\r")
            line.replyAfter(1, "!01\"A\",B\r");
    };
    const auto now = [&rig] { return scripttext::isoTimeStamp(rig.line.clock.wallTime()); };

    QCOMPARE(rig.tool.raw("$01X"), io::ExitOk);
    const QString first = now();
    QCOMPARE(first, QStringLiteral("2026-12-06T22:14:03.513+00:00"));
    QCOMPARE(rig.tool.raw("$01X"), io::ExitOk);
    QCOMPARE(rig.out, QStringLiteral("time,reply\n") + first + QStringLiteral(R"(,"!01""A"",B")") +
                          '\n' + now() + QStringLiteral(R"(,"!01""A"",B")") + '\n');

    // Another command's columns: a header of its own, once.
    rig.out.clear();
    QCOMPARE(rig.tool.read(2, std::nullopt), io::ExitOk);
    QCOMPARE(rig.tool.read(2, std::nullopt), io::ExitOk);
    const QStringList lines = rig.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 4 && lines.at(3).isEmpty(), qPrintable(rig.out));
    QCOMPARE(lines.at(0), QStringLiteral("time,address,model,ch0,ch1,ch2,ch3,ch4,ch5,ch6,ch7"));
    QCOMPARE(lines.at(2).section(QLatin1Char(','), 0, 0), now());
    QCOMPARE(lines.at(2).section(QLatin1Char(','), 1),
             QStringLiteral("02,2091,+1.500,+1.500,+1.500,+1.500,+1.500,+1.500,+1.500,+1.500"));

    // A failed raw exchange prints no row; its error line is not stamped
    // without --repeat.
    rig.out.clear();
    QCOMPARE(rig.tool.raw("$3FM"), io::ExitFailure);
    QVERIFY(rig.out.isEmpty());
    QVERIFY2(rig.err.startsWith(QLatin1String("error 15: Time Out ! on COM3")),
             qPrintable(rig.err));
}

// The built program: --repeat puts the time before every result and error
// line; --csv prints rows; scan's --csv keeps its columns.
void TestIoCli::repeatedRunsCarryTheirTime()
{
    const QRegularExpression stamped(QLatin1Char('^') + StampPattern + QStringLiteral(" !012026$"));
    Run run = io({"--repeat", "0", "--count", "2", "raw", "$01M"});
    QCOMPARE(run.exitCode, 0);
    QStringList lines = run.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 3 && lines.at(0).contains(stamped) && lines.at(1).contains(stamped),
             qPrintable(run.out));

    run = io({"--repeat", "0", "--count", "2", "--timeout", "50", "raw", "$3FM"});
    QCOMPARE(run.exitCode, 1);
    lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression timeOut(QLatin1Char('^') + StampPattern +
                                     QStringLiteral(" error 15: Time Out ! on COM1"));
    QVERIFY2(lines.size() == 2 && lines.at(0).contains(timeOut) && lines.at(1).contains(timeOut),
             qPrintable(run.err));

    run = io({"--csv", "read", "10", "slot=0"});
    QCOMPARE(run.exitCode, 0);
    lines = run.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 3 &&
                 lines.at(0).startsWith(QLatin1String("time,address,slot,model,ch0,ch1,")) &&
                 lines.at(1).contains(QRegularExpression(QLatin1Char('^') + StampPattern +
                                                         QStringLiteral(",10,0,9091,\\+4.500,"))),
             qPrintable(run.out));

    run = io({"--csv", "call", "AnalogIn", "addr=02", "type=2091", "ch=0"});
    lines = run.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() == 3 && lines.at(0) == QLatin1String("time,result,fBuf0,sent,reply") &&
                 lines.at(1).endsWith(QLatin1String(",0,1.5,#020,>+01.500")),
             qPrintable(run.out));

    run = io({"--csv", "scan", "--from", "01", "--to", "02", "--timeout", "50"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QLatin1String("address,baud,checksum,name,slot,decoded\n01,9600,0,"
                                              "2026,,")),
             qPrintable(run.out));
}

void TestIoCli::permissionHint_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("advice");
    QTest::newRow("dialout") << "dialout"
                             << "(sudo adduser $USER dialout) and log in again.";
    const QString udev = QStringLiteral("a udev rule, for example KERNEL==\"ttyUSB0\", "
                                        "GROUP=\"dialout\", MODE=\"0660\"");
    QTest::newRow("root") << "root" << udev;
    QTest::newRow("group without a name") << "1234" << udev;
    QTest::newRow("group unknown") << ""
                                   << "";
}

// Joining root or tty would open far more than the port: only a serial-port
// group is ever suggested.
void TestIoCli::permissionHint()
{
    QFETCH(QString, group);
    QFETCH(QString, advice);
    const QString hint = telviox::permissionHint(QStringLiteral("/dev/ttyUSB0"), group);
    QVERIFY2(hint.startsWith(QLatin1String("Cannot open /dev/ttyUSB0: permission denied.")) &&
                 hint.contains(advice),
             qPrintable(hint));
    QCOMPARE(hint.contains(QLatin1String("adduser $USER ") + group + QLatin1Char(')')),
             telviox::isSerialPortGroup(group));
    if (group.isEmpty())
        QCOMPARE(hint, QStringLiteral("Cannot open /dev/ttyUSB0: permission denied."));
}

QTEST_GUILESS_MAIN(TestIoCli)
#include "tst_io_cli.moc"
