// telvioxd-io scan as a script runs it: the built program against
// telvioxd-sim on a pseudo-terminal, in a program folder of the test's own.

#include "device/simprogram.h"
#include "searchrig.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace telviox;
using namespace telviox::test;

class ScanCliTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void output_data();
    void output();
    void usageErrors_data();
    void usageErrors();
    void endsOnTerminationSignal();

private:
    QProcess *start(const QStringList &args);
    // Exit status, stdout, stderr of a finished run.
    std::tuple<int, QString, QString> runScan(const QStringList &args);

    QByteArray m_json;
    QTemporaryDir m_home;
    SimProgram m_sim;
    std::unique_ptr<QProcess> m_process;
};

void ScanCliTest::initTestCase()
{
    QFile file(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json");
    QVERIFY(file.open(QIODevice::ReadOnly));
    m_json = file.readAll();
    QVERIFY(QDir(m_home.path()).mkpath("ports"));
    QVERIFY(m_sim.start(m_home.path(), m_home.filePath("ports/com1"), m_json));
}

QProcess *ScanCliTest::start(const QStringList &args)
{
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TELVIOXD_HOME", m_home.path());
    m_process->setProcessEnvironment(env);
    m_process->start(qEnvironmentVariable("TELVIOXD_BIN") + "/telvioxd-io",
                     QStringList{"scan"} + args);
    return m_process.get();
}

std::tuple<int, QString, QString> ScanCliTest::runScan(const QStringList &args)
{
    QProcess *process = start(args);
    if (!process->waitForFinished(120000))
        process->kill();
    return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
            QString::fromLatin1(process->readAllStandardOutput()),
            QString::fromLatin1(process->readAllStandardError())};
}

void ScanCliTest::output_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("format");
    // The line's modules sit at addresses 01 to 12; nothing is asked beyond 13.
    const QStringList common = {"--baud", "19200", "--baud", "9600", "--checksum", "--to", "13"};
    QTest::newRow("lines") << (common + QStringList{"--lines"}) << "lines";
    QTest::newRow("csv") << (common + QStringList{"--csv"}) << "csv";
    QTest::newRow("plain") << common << "plain";
}

void ScanCliTest::output()
{
    QFETCH(QStringList, args);
    QFETCH(QString, format);

    // What the search window lists for the same line.
    SearchRig search(m_json, {9600, 19200});
    search.state.SearchChecksum = 1;
    search.engine.StartSearch();
    const QStringList expected = search.foundLines();

    const auto [status, out, err] = runScan(args);
    QCOMPARE(status, 0);
    QCOMPARE(err, QString());
    QStringList lines = out.split('\n');
    QCOMPARE(lines.takeLast(), QString());
    if (format == "lines") {
        QCOMPARE(lines, expected);
        return;
    }
    if (format == "csv")
        QCOMPARE(lines.takeFirst(), QString("address,baud,checksum,name,slot,decoded"));
    QCOMPARE(lines.size(), expected.size());
    const QString checksumModule = format == "csv"
                                       ? "0D,19200,1,2058,,Enable        14*DI"
                                       : "0D  19200   checksum  2058    -   Enable        14*DI";
    QVERIFY2(lines.contains(checksumModule), qPrintable(lines.join('\n')));
    const QString slot = format == "csv"
                             ? "12,19200,0,9091H,0,Disable       8-CH High-Speed AI"
                             : "12  19200   -         9091H   S0  Disable       8-CH High-Speed AI";
    QVERIFY2(lines.contains(slot), qPrintable(lines.join('\n')));
}

void ScanCliTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("range reversed")
        << QStringList{"--from", "20", "--to", "10"} << "--from is beyond --to";
    QTest::newRow("two formats") << QStringList{"--csv", "--lines"} << "not both";
    QTest::newRow("unknown word") << QStringList{"--fast"} << "unknown word";
}

void ScanCliTest::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const auto [status, out, err] = runScan(args);
    QCOMPARE(status, 2);
    QVERIFY(out.isEmpty());
    QVERIFY2(err.startsWith("telvioxd-io: scan: ") && err.contains(message), qPrintable(err));
}

void ScanCliTest::endsOnTerminationSignal()
{
    // A whole line at the slowest rate takes half a minute; a stop signal
    // ends it after the exchange under way, with the port closed.
    QProcess *process = start({"--baud", "1200"});
    QVERIFY(process->waitForStarted());
    // Under way once the line has heard a few addresses.
    QFile log(m_sim.logPath());
    for (int i = 0;
         i < 400 && !(log.open(QIODevice::ReadOnly) && log.readAll().contains(" 1200 $03M")); ++i) {
        log.close();
        QTest::qWait(25);
    }
    ::kill(pid_t(process->processId()), SIGTERM);
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 1);
}

QTEST_GUILESS_MAIN(ScanCliTest)
#include "tst_scancli.moc"
