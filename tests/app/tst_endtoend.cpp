// The program as an operator runs it: telvioxd-sim serves the demonstration
// line on COM1 of a program folder of its own, telvioxd starts there with
// auto-run on the demonstration list, and the items are read and watched on a
// private session bus with the desktop's own D-Bus tools. A termination signal
// ends the program without touching its files.

#include "server/ddetestbus.h"
#include "support/endprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <optional>

namespace {

// Generous: the machine is shared; these bound a hang, they measure nothing.
constexpr int StartMs = 60000;
constexpr int StepMs = 30000;
const QString Topic =
    QStringLiteral("call --session --dest dde.TELVIOXD --object-path /Form5 --method ");

QString program(const char *name)
{
    return QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(QLatin1String(name));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs a short command to its end and returns its standard output.
QByteArray run(const QString &command, const QStringList &args, int *exitCode = nullptr)
{
    QProcess process;
    process.start(command, args);
    process.waitForFinished(StepMs);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// gdbus with blank-separated arguments.
QByteArray gdbus(const QString &args, int *exitCode = nullptr)
{
    return run(QStringLiteral("gdbus"), args.split(u' '), exitCode);
}

// What a process prints until `mark` appears or it falls silent.
QByteArray readUntil(QProcess &process, const char *mark)
{
    QByteArray out;
    while (!out.contains(mark) && process.waitForReadyRead(StartMs))
        out += process.readAllStandardOutput();
    return out;
}

// The text of an item through the Request method, as gdbus prints it:
// ('text',). Nothing when the call fails.
std::optional<QString> request(const QString &item)
{
    int code = 0;
    const QByteArray out = gdbus(Topic + "dde.Topic.Request " + item, &code);
    static const QRegularExpression text(QStringLiteral("^\\('(.*)',\\)$"));
    const auto match = text.match(QString::fromUtf8(out.trimmed()));
    if (code != 0 || !match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

// Polls an item until its text, without the alternating blank, is `wanted`.
bool itemBecomes(const QString &item, const QString &wanted)
{
    QDeadlineTimer deadline(StepMs);
    while (!deadline.hasExpired()) {
        const auto text = request(item);
        if (text && text->trimmed() == wanted)
            return true;
        QTest::qWait(100);
    }
    return false;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servesTheDemoLineUntilTerminated();
    void signalAtTheFirstStartBox_data();
    void signalAtTheFirstStartBox();
    void signalWhileASourceHangs();
    void cleanup()
    {
        stop(m_program);
        stop(m_source);
        stop(m_sim);
    }

private:
    void startDemo(const QDir &home);
    void startProgram(const QDir &home);
    static void stop(QProcess &process) { telviox::test::endProcess(process, StepMs); }

    telviox::test::TestBus m_bus;
    QTemporaryDir m_home;
    QProcess m_sim;
    QProcess m_source;
    QProcess m_program;
};

void TestEndToEnd::initTestCase()
{
    for (const char *tool : {"gdbus", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
    for (const char *name : {"telvioxd", "telvioxd-sim", "telvioxd-cnv", "telvioxd-dde"})
        QVERIFY2(QFile::exists(program(name)), name);
}

// The demonstration in a folder of its own: telvioxd-sim serves the line on
// COM1, telvioxd-dde the source of the output conversation, and telvioxd runs
// the list with auto-run.
void TestEndToEnd::startDemo(const QDir &home)
{
    QVERIFY(home.mkpath(QStringLiteral("ports")));
    int code = -1;
    const QByteArray written =
        run(program("telvioxd-cnv"),
            {"import", qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/demo-list.json",
             home.filePath("default.cnv")},
            &code);
    QVERIFY2(code == 0, written.constData());
    QFile config(home.filePath(QStringLiteral("lumvex.cfg")));
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("1,16,0,1\n") == 9);
    config.close();

    m_sim.setProcessChannelMode(QProcess::MergedChannels);
    m_sim.start(program("telvioxd-sim"),
                {"--line", qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/demo-line.json",
                 "--link", home.filePath("ports/com1"), "--log", home.filePath("sim.log")});
    const QByteArray simOut = readUntil(m_sim, "serving");
    QVERIFY2(simOut.contains("serving"), simOut.constData());

    // The other server whose item the list's output conversation follows.
    m_source.start(program("telvioxd-dde"), {"serve", "DemoSource", "Values", "Setpoint=2.5"});
    const QByteArray sourceOut = readUntil(m_source, "ready");
    QVERIFY2(sourceOut.contains("ready"), sourceOut.constData());
}

void TestEndToEnd::startProgram(const QDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::MergedChannels);
    m_program.start(program("telvioxd"), {});
    QVERIFY(m_program.waitForStarted(StartMs));
}

void TestEndToEnd::servesTheDemoLineUntilTerminated()
{
    const QDir home(m_home.path());
    startDemo(home);
    if (QTest::currentTestFailed())
        return;
    const QStringList kept = {"lumvex.cfg", "default.cnv", "default.dde"};
    QList<QByteArray> before;
    for (const QString &name : kept)
        before << contents(home.filePath(name));
    startProgram(home);
    if (QTest::currentTestFailed())
        return;

    // Auto-run starts the server: the service appears and Text1 gets the
    // thermocouple's value.
    std::optional<QString> first;
    QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired() && m_program.state() == QProcess::Running) {
        first = request(QStringLiteral("Text1"));
        if (first && !first->trimmed().isEmpty())
            break;
        QTest::qWait(200);
    }
    QVERIFY2(first && !first->trimmed().isEmpty(), m_program.readAll().constData());
    bool ok = false;
    const double celsius = first->trimmed().toDouble(&ok);
    QVERIFY2(ok && celsius > 19.0 && celsius < 31.0, qPrintable(*first));

    // Properties carry the same items; Text3 holds both counters. The items
    // answer during the tick, so Text3 may not be written yet when Text1 is.
    QByteArray property;
    const QRegularExpression counters(QStringLiteral("\\d{9}"));
    for (QDeadlineTimer filled(StartMs); !filled.hasExpired(); QTest::qWait(200)) {
        property = gdbus(Topic + "org.freedesktop.DBus.Properties.Get dde.Topic Text3");
        if (counters.match(QString::fromUtf8(property)).hasMatch())
            break;
    }
    QVERIFY2(counters.match(QString::fromUtf8(property)).hasMatch(), property.constData());

    // Watching: the counters move on every tick, so changes are announced.
    QProcess monitor;
    monitor.start(
        QStringLiteral("gdbus"),
        QStringLiteral("monitor --session --dest dde.TELVIOXD --object-path /Form5").split(u' '));
    QVERIFY(monitor.waitForStarted(StartMs));
    QByteArray seen;
    const QRegularExpression advise(
        QStringLiteral("dde\\.Topic\\.Advise \\('Text3', '([^']*)'\\)"));
    QStringList counterTexts;
    deadline.setRemainingTime(StartMs);
    while (counterTexts.size() < 2 && !deadline.hasExpired() && monitor.waitForReadyRead(StepMs)) {
        seen += monitor.readAllStandardOutput();
        counterTexts.clear();
        auto it = advise.globalMatch(QString::fromUtf8(seen));
        while (it.hasNext())
            counterTexts << it.next().captured(1).trimmed();
        counterTexts.removeDuplicates();
    }
    stop(monitor);
    QVERIFY2(counterTexts.size() >= 2, seen.constData());
    QVERIFY(seen.contains("PropertiesChanged"));

    // The output follows its source: what is poked there is written to the
    // module on the next tick and shown in the conversation's item.
    QVERIFY(itemBecomes(QStringLiteral("Text7"), QStringLiteral("+2.500")));
    int code = -1;
    run(program("telvioxd-dde"), {"poke", "DemoSource", "Values", "Setpoint", "4.25"}, &code);
    QCOMPARE(code, 0);
    QVERIFY(itemBecomes(QStringLiteral("Text7"), QStringLiteral("+4.250")));
    // The simulator writes its log in batches.
    QTRY_VERIFY_WITH_TIMEOUT(contents(home.filePath("sim.log")).contains("#03+04.250"), StepMs);

    // Ended by the system: no question, nothing written, the service gone.
    ::kill(pid_t(m_program.processId()), SIGTERM);
    QVERIFY(m_program.waitForFinished(StepMs));
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
    for (int i = 0; i < kept.size(); ++i)
        QVERIFY2(contents(home.filePath(kept.at(i))) == before.at(i), qPrintable(kept.at(i)));
    QVERIFY(QFileInfo(home.filePath("ports/com1")).isSymLink());
    QVERIFY(!gdbus("call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                   "--method org.freedesktop.DBus.NameHasOwner dde.TELVIOXD")
                 .contains("true"));
    QCOMPARE(m_sim.state(), QProcess::Running);
}

void TestEndToEnd::signalAtTheFirstStartBox_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// The first start in a folder of its own: no lumvex.cfg, so the program waits
// in the box saying so, which nobody can answer offscreen. A signal ends it,
// and nothing is written.
void TestEndToEnd::signalAtTheFirstStartBox()
{
    QFETCH(int, signalNumber);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("telviox.boxes.info=true"));
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::MergedChannels);
    m_program.start(program("telvioxd"), {});
    QVERIFY(m_program.waitForStarted(StartMs));
    const QByteArray out = readUntil(m_program, "box: File Not exist !!!");
    QVERIFY2(out.contains("box: File Not exist !!!"), out.constData());

    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(m_program.processId()), signalNumber);
    QVERIFY(m_program.waitForFinished(StepMs));
    qInfo("ended %lld ms after the signal", ending.elapsed());
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
    QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList());
}

// The output conversation's source takes the request and never answers (it
// is stopped): the tick waits for it, and with it the program's main thread.
// The items still answer reads from their own thread; a poke, which waits for
// the main thread, does not. A signal still ends the program, if not on the
// next turn of its loop, at its deadline.
void TestEndToEnd::signalWhileASourceHangs()
{
    QTemporaryDir folder;
    const QDir home(folder.path());
    startDemo(home);
    if (QTest::currentTestFailed())
        return;
    ::kill(pid_t(m_source.processId()), SIGSTOP);
    startProgram(home);
    if (QTest::currentTestFailed())
        return;
    // Stuck: the service is there but its thread does not answer.
    QDeadlineTimer deadline(StartMs);
    bool stuck = false;
    while (!stuck && !deadline.hasExpired() && m_program.state() == QProcess::Running) {
        int pokeCode = 0;
        int requestCode = 1;
        const QByteArray owned =
            gdbus("call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                  "--method org.freedesktop.DBus.NameHasOwner dde.TELVIOXD");
        if (owned.contains("true")) {
            gdbus("call --session --timeout 1 --dest dde.TELVIOXD --object-path /Form5 --method "
                  "dde.Topic.Poke Text1 'x'",
                  &pokeCode);
            gdbus("call --session --timeout 1 --dest dde.TELVIOXD --object-path /Form5 --method "
                  "dde.Topic.Request Text1",
                  &requestCode);
        }
        stuck = owned.contains("true") && pokeCode != 0 && requestCode == 0;
        if (!stuck)
            QTest::qWait(100);
    }
    QVERIFY(stuck);

    ::kill(pid_t(m_program.processId()), SIGTERM);
    QVERIFY(m_program.waitForFinished(StepMs));
    ::kill(pid_t(m_source.processId()), SIGCONT);
    QCOMPARE(contents(home.filePath("lumvex.cfg")), QByteArray("1,16,0,1\n"));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
