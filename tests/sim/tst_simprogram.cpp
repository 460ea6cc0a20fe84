// telvioxd-sim as a program: it serves its line on a pseudo-terminal behind a
// link, answers only at the rate the client set,
// logs the traffic, and removes its link when told to stop.

#include "sim/simline.h"

#include <QSerialPort>
#include <QtTest>

using telviox::sim::SimLine;

namespace {

// Generous limits: they only stop a broken run from hanging, they measure nothing.
constexpr int StartLimitMs = 30000;
constexpr int ReplyLimitMs = 5000;
constexpr int SilenceMs = 300; // silent this long counts as not answering

QString program()
{
    return qEnvironmentVariable("TELVIOXD_BIN") + QStringLiteral("/telvioxd-sim");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray exchange(QSerialPort &port, const QByteArray &command, int limitMs = ReplyLimitMs)
{
    port.write(command + '\r');
    port.waitForBytesWritten(ReplyLimitMs);
    QByteArray reply;
    QDeadlineTimer deadline(limitMs);
    while (!reply.endsWith('\r') && port.waitForReadyRead(int(deadline.remainingTime())))
        reply += port.readAll();
    return reply;
}

int run(const QStringList &arguments, QByteArray *error)
{
    QProcess process;
    process.start(program(), arguments);
    process.waitForFinished(StartLimitMs);
    *error = process.readAllStandardError();
    return process.exitCode();
}

} // namespace

class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void servesOnAPseudoTerminal();
    void refusesBadStarts();
    void refusesBadOptions_data();
    void refusesBadOptions();

private:
    QTemporaryDir m_dir;
};

void TestSimProgram::servesOnAPseudoTerminal()
{
    const QString lineFile = m_dir.filePath("line.json");
    QVERIFY(writeFile(lineFile, R"({"modules": [
        {"name": "2026D", "address": 1, "baud": 9600, "inputs": [4.5]},
        {"name": "2065", "address": 2, "baud": 19200, "checksum": true, "digitalInputs": 9}]})"));
    // A stale link is in the way.
    const QString link = m_dir.filePath("com7");
    const QString logFile = m_dir.filePath("traffic.log");
    QVERIFY(QFile::link("/nonexistent/pts", link));

    QProcess sim;
    auto stop = qScopeGuard([&sim] {
        sim.kill();
        sim.waitForFinished();
    });
    sim.start(program(),
              {"--line", lineFile, "--link", link, "--turnaround", "0", "--log", logFile});
    QByteArray output;
    while (!output.contains("serving") && sim.waitForReadyRead(StartLimitMs))
        output += sim.readAllStandardOutput();
    QVERIFY2(output.contains("serving 2 modules on " + link.toUtf8()),
             output + sim.readAllStandardError() + sim.errorString().toUtf8());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));

    // The rate QSerialPort sets is the rate the simulator hears.
    QSerialPort port(link);
    port.setBaudRate(9600);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QCOMPARE(exchange(port, "#01"), ">+04.500\r");
    const QByteArray name2 = "$02M" + SimLine::checksumOf("$02M");
    QCOMPARE(exchange(port, name2, SilenceMs), QByteArray());
    QVERIFY(port.setBaudRate(19200));
    QCOMPARE(exchange(port, "$01M", SilenceMs), QByteArray());
    QCOMPARE(exchange(port, name2), "!022065" + SimLine::checksumOf("!022065") + '\r');
    port.close();

    // SIGTERM: a clean exit that takes the link away.
    sim.terminate();
    QVERIFY(sim.waitForFinished(StartLimitMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());

    QFile log(logFile);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY2(text.contains(" RX   9600 #01<CR>") && text.contains(" TX   9600 >+04.500<CR>") &&
                 text.contains(" RX  19200 $01M<CR>"),
             text.left(400));
}

void TestSimProgram::refusesBadStarts()
{
    // A line the simulator cannot serve is a usage error, before any link.
    const QString bad = m_dir.filePath("bad.json");
    QVERIFY(writeFile(bad, R"({"modules": []})"));
    QByteArray error;
    const QString link = m_dir.filePath("bad/com1");
    QCOMPARE(run({"--line", bad, "--link", link}, &error), 2);
    QVERIFY2(error.contains("modules: lists no module"), error);
    QVERIFY(!QFileInfo::exists(link));

    // A file where the link should go is not replaced.
    const QString good = m_dir.filePath("good.json");
    const QString occupied = m_dir.filePath("occupied");
    QVERIFY(writeFile(good, R"({"modules": [{"name": "2026", "address": 1}]})") &&
            writeFile(occupied, "keep me"));
    QCOMPARE(run({"--line", good, "--link", occupied}, &error), 1);
    QVERIFY2(error.contains("exists and is not a link"), error);
    QFile kept(occupied);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), "keep me");
}

void TestSimProgram::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("stray argument")
        << QStringList{"--line", "a", "--link", "b", "c"} << QByteArray("unexpected argument c");
    QTest::newRow("turnaround too long")
        << QStringList{"--line", "a", "--link", "b", "--turnaround", "60001"}
        << QByteArray("--turnaround takes 0 to 60000 milliseconds");
}

// A mistake is one line and a pointer to --help, not the whole help.
void TestSimProgram::refusesBadOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    QByteArray error;
    QCOMPARE(run(args, &error), 2);
    QCOMPARE(error,
             "telvioxd-sim: " + message + "\nTry 'telvioxd-sim --help' for more information.\n");
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
