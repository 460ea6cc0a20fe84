// telvioxd-serve as a service manager runs it: telvioxd-sim serves a line on
// a pseudo-terminal, the program serves a list imported with telvioxd-cnv,
// and the items are read on a private session bus with the desktop's D-Bus
// tools. Stops, reloads and refusals are driven by signals and command lines.

#include "conversations/conversationfiles.h"
#include "server/ddetestbus.h"
#include "support/endprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace telviox;

namespace {

// Generous: the machine is shared; these bound a hang, they measure nothing.
constexpr int StartMs = 60000;
constexpr int StepMs = 30000;

QString program(const char *name)
{
    return QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(QLatin1String(name));
}

QString source(const char *name)
{
    return QDir(qEnvironmentVariable("TELVIOXD_SOURCE")).filePath(QLatin1String(name));
}

struct Run
{
    int exitCode = -1; // -1: did not end normally
    QByteArray out;
    QByteArray err;
};

Run run(const QString &command, const QStringList &args)
{
    QProcess process;
    process.start(command, args);
    process.waitForFinished(StepMs);
    Run result;
    if (process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Every item of the server at once: its topic's properties. Empty when the
// service does not answer.
QMap<int, QString> items()
{
    const Run all = run(QStringLiteral("gdbus"),
                        QStringLiteral("call --session --timeout 2 --dest dde.TELVIOXD "
                                       "--object-path /Form5 --method "
                                       "org.freedesktop.DBus.Properties.GetAll dde.Topic")
                            .split(u' '));
    QMap<int, QString> texts;
    static const QRegularExpression item(QStringLiteral("'Text(\\d+)': <'([^']*)'>"));
    auto it = item.globalMatch(QString::fromUtf8(all.out));
    while (it.hasNext()) {
        const auto match = it.next();
        texts.insert(match.captured(1).toInt(), match.captured(2));
    }
    return texts;
}

// What an item's text looks like, whatever the values: digits and signs
// masked, the blank that alternates from tick to tick dropped.
QString shape(const QString &text)
{
    QString masked = text.trimmed();
    for (QChar &c : masked) {
        if (c.isDigit() || c == u'+' || c == u'-')
            c = u'#';
    }
    return masked;
}

// The items once every polled conversation has filled its own (positions
// 1..count), as shapes.
QStringList filledShapes(int count, const QProcess &server)
{
    QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired() && server.state() == QProcess::Running) {
        const QMap<int, QString> texts = items();
        bool filled = texts.size() == 32;
        for (int position = 1; filled && position <= count; ++position)
            filled = !texts.value(position).trimmed().isEmpty();
        if (filled) {
            QStringList shapes;
            for (const QString &text : texts)
                shapes << shape(text);
            return shapes;
        }
        QTest::qWait(200);
    }
    return {};
}

int conversationsInUse(const QString &cnv)
{
    QFile file(cnv);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    for (const ConvRecord &record : decodeCnv(file.readAll()))
        count += record.InUse != 0 ? 1 : 0;
    return count;
}

// Waits until the process has written `mark` on stderr; all of it so far.
QByteArray errUntil(QProcess &process, const QByteArray &mark, QByteArray &seen)
{
    QDeadlineTimer deadline(StartMs);
    while (!seen.contains(mark) && !deadline.hasExpired() && process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        seen += process.readAllStandardError();
    }
    seen += process.readAllStandardError();
    return seen;
}

} // namespace

class TestServe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void servesTheItemsOfTheDesktopProgram();
    void stopsAtOnceDuringABlockedExchange();
    void refusals_data();
    void refusals();
    void reloadsOnHangUp();
    void portThatAppearsLaterIsTaken();

private:
    bool importList(const QString &json, const QString &cnv);
    bool startSim(const QString &link);
    void startServe(const QStringList &args);
    static void stop(QProcess &process) { test::endProcess(process, StepMs); }

    test::TestBus m_bus;
    std::unique_ptr<QTemporaryDir> m_home;
    QDir m_dir;
    QProcess m_sim;
    QProcess m_source;
    QProcess m_desktop;
    QProcess m_serve;
};

void TestServe::initTestCase()
{
    for (const char *tool : {"gdbus", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
    for (const char *name :
         {"telvioxd", "telvioxd-serve", "telvioxd-sim", "telvioxd-cnv", "telvioxd-dde"})
        QVERIFY2(QFile::exists(program(name)), name);
}

void TestServe::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_dir = QDir(m_home->path());
    QVERIFY(m_dir.mkpath(QStringLiteral("ports")));
}

void TestServe::cleanup()
{
    for (QProcess *process : {&m_serve, &m_desktop, &m_source, &m_sim})
        stop(*process);
}

bool TestServe::importList(const QString &json, const QString &cnv)
{
    const Run imported = run(program("telvioxd-cnv"), {"import", json, cnv});
    if (imported.exitCode != 0)
        qWarning("%s", imported.err.constData());
    return imported.exitCode == 0;
}

bool TestServe::startSim(const QString &link)
{
    m_sim.setProcessChannelMode(QProcess::MergedChannels);
    m_sim.start(program("telvioxd-sim"), {"--line", source("sim/demo-line.json"), "--link", link,
                                          "--log", m_dir.filePath("sim.log")});
    QByteArray out;
    while (!out.contains("serving") && m_sim.waitForReadyRead(StartMs))
        out += m_sim.readAll();
    return out.contains("serving");
}

void TestServe::startServe(const QStringList &args)
{
    m_serve.start(program("telvioxd-serve"), QStringList{"--home", m_dir.path()} + args);
    QVERIFY(m_serve.waitForStarted(StartMs));
}

// Both programs serve the demonstration list on the same line: the same
// items, with values of the same form, and the items after the last polled
// conversation empty.
void TestServe::servesTheItemsOfTheDesktopProgram()
{
    const QString cnv = m_dir.filePath("default.cnv");
    QVERIFY(importList(source("sim/demo-list.json"), cnv));
    const int count = conversationsInUse(cnv);
    QVERIFY(count > 1);
    QVERIFY(startSim(m_dir.filePath("ports/com1")));
    m_source.start(program("telvioxd-dde"), {"serve", "DemoSource", "Values", "Setpoint=2.5"});
    QVERIFY(m_source.waitForReadyRead(StartMs));

    // The desktop program with auto-run, as the demonstration runs it.
    QFile config(m_dir.filePath("lumvex.cfg"));
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("1,16,0,1\n") == 9);
    config.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), m_dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_desktop.setProcessEnvironment(env);
    m_desktop.start(program("telvioxd"), {});
    QVERIFY(m_desktop.waitForStarted(StartMs));
    const QStringList desktop = filledShapes(count, m_desktop);
    stop(m_desktop);
    QVERIFY2(desktop.size() == 32, m_desktop.readAllStandardError().constData());

    startServe({cnv});
    const QStringList served = filledShapes(count, m_serve);
    QCOMPARE(served, desktop);
    for (int position = count + 1; position <= 32; ++position)
        QVERIFY(served.at(position - 1).isEmpty());
    // The linked output follows its source as in the desktop program.
    QCOMPARE(items().value(count).trimmed(), QStringLiteral("+2.500"));
}

// Eight channels of four conversations whose module has gone silent: a tick
// waits far longer than the program's ten-second deadline. SIGTERM still runs
// the stop steps and ends the program with status 0 long before that.
void TestServe::stopsAtOnceDuringABlockedExchange()
{
    QFile json(m_dir.filePath("slow.json"));
    QVERIFY(json.open(QIODevice::WriteOnly));
    QByteArray list = R"({"interval": 50, "conversations": [)";
    for (int conv = 0; conv < 4; ++conv) {
        list += QByteArray(conv ? "," : "") + R"({"conv": )" + QByteArray::number(conv) +
                R"(, "model": "2091", "address": "02", "baud": 9600, "checksum": false,)"
                R"( "slot": 0, "channels": [0,1,2,3,4,5,6,7], "io": "none", "outData": "0000",)"
                R"( "outValue": 0, "output": "read back"})";
    }
    list += "]}";
    QVERIFY(json.write(list) == list.size());
    json.close();
    const QString cnv = m_dir.filePath("slow.cnv");
    QVERIFY(importList(json.fileName(), cnv));
    QVERIFY(startSim(m_dir.filePath("ports/com1")));
    startServe({cnv});
    QVERIFY(!filledShapes(4, m_serve).isEmpty());

    // Blocked: the items still answer from their own thread, but a poke,
    // which waits for the poll cycle's thread, does not.
    ::kill(pid_t(m_sim.processId()), SIGSTOP);
    QDeadlineTimer deadline(StartMs);
    bool blocked = false;
    while (!blocked && !deadline.hasExpired()) {
        const Run poke = run(QStringLiteral("gdbus"),
                             QStringLiteral("call --session --timeout 1 --dest dde.TELVIOXD "
                                            "--object-path /Form5 --method dde.Topic.Poke "
                                            "Text9 'x'")
                                 .split(u' '));
        blocked = poke.exitCode != 0 && !items().isEmpty();
        if (!blocked)
            QTest::qWait(100);
    }
    QVERIFY(blocked);
    QCOMPARE(m_serve.state(), QProcess::Running);
    QByteArray seen;

    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(m_serve.processId()), SIGTERM);
    QVERIFY(m_serve.waitForFinished(StepMs));
    const qint64 took = ending.elapsed();
    seen += m_serve.readAllStandardError();
    QCOMPARE(m_serve.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_serve.exitCode(), 0);
    QVERIFY2(seen.contains("SIGTERM: stopping") && seen.contains("stopped"), seen.constData());
    // Far above the second it takes, far below one blocked tick.
    QVERIFY2(took < 5000, qPrintable(QStringLiteral("ended %1 ms after SIGTERM").arg(took)));
}

void TestServe::refusals_data()
{
    QTest::addColumn<QString>("setup"); // what the folder holds
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing file") << "" << QStringList{"none.cnv"} << 1 << "none.cnv: no such file";
    QTest::newRow("missing companion")
        << "no companion" << QStringList{"demo.cnv"} << 1 << "demo.dde: no such file";
    QTest::newRow("not a .cnv name")
        << "txt" << QStringList{"demo.txt"} << 1 << "demo.txt: not a conversation list";
    QTest::newRow("nothing in use")
        << "empty" << QStringList{"empty.cnv"} << 1 << "empty.cnv: no conversation is in use";
    QTest::newRow("bad interval in the companion")
        << "interval 0" << QStringList{"demo.cnv"} << 1 << "its timer interval 0 ms is not from";
    QTest::newRow("no such home") << "" << QStringList{"--home", "/nonexistent/tx", "demo.cnv"} << 1
                                  << "/nonexistent/tx: no such folder (--home)";
    QTest::newRow("bad option") << "" << QStringList{"--com", "0", "demo.cnv"} << 2
                                << "--com: 0 is not a number from 1 to 255";
}

void TestServe::refusals()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString cnv = m_dir.filePath("demo.cnv");
    QVERIFY(importList(source("sim/demo-list.json"), cnv));
    if (setup == "no companion")
        QVERIFY(QFile::remove(m_dir.filePath("demo.dde")));
    if (setup == "txt") {
        QVERIFY(QFile::copy(cnv, m_dir.filePath("demo.txt")));
        QVERIFY(QFile::copy(m_dir.filePath("demo.dde"), m_dir.filePath("demo.dde.txt")));
    }
    if (setup == "empty") {
        QFile empty(m_dir.filePath("empty.cnv"));
        QVERIFY(empty.open(QIODevice::WriteOnly) && empty.write(QByteArray(CnvFile::Size, 0)));
        QVERIFY(QFile::copy(m_dir.filePath("demo.dde"), m_dir.filePath("empty.dde")));
    }
    if (setup == "interval 0") {
        QFile companion(m_dir.filePath("demo.dde"));
        QVERIFY(companion.open(QIODevice::ReadWrite));
        QByteArray bytes = companion.readAll();
        LinkTable link = decodeCompanion(bytes);
        link[IntervalEntry].Linked = 0;
        const auto encoded = encodeCompanion(link);
        QVERIFY(encoded && companion.seek(0) && companion.write(*encoded) == encoded->size());
    }
    QProcess serve;
    serve.setWorkingDirectory(m_dir.path());
    serve.start(program("telvioxd-serve"), args);
    QVERIFY(serve.waitForFinished(StepMs));
    const QByteArray err = serve.readAllStandardError();
    QCOMPARE(serve.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serve.exitCode(), status);
    QVERIFY2(err.contains(message.toUtf8()), err.constData());
    QVERIFY2(err.count('\n') <= 2, err.constData()); // one clear line (and the pointer to --help)
    QVERIFY(serve.readAllStandardOutput().isEmpty());
}

// SIGHUP reads the list again: a new list replaces the running one; one that
// cannot be served is reported and the running one goes on.
void TestServe::reloadsOnHangUp()
{
    const QString cnv = m_dir.filePath("demo.cnv");
    QVERIFY(importList(source("sim/demo-list.json"), cnv));
    QVERIFY(startSim(m_dir.filePath("ports/com1")));
    startServe({cnv});
    // Up to the digital input; the linked output has no source here.
    const QStringList before = filledShapes(4, m_serve);
    QVERIFY(!before.isEmpty());

    // Only the digital input (conversation 3 of the list) now: its item moves
    // to Text1, the others empty.
    QFile json(m_dir.filePath("one.json"));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(
        R"({"interval": 200, "conversations": [{"conv": 3, "model": "2065",)"
        R"( "address": "06", "baud": 9600, "checksum": false, "slot": 0, "bit": "port",)"
        R"( "io": "read inputs", "outData": "0000", "outValue": 0, "output": "read back"}]})");
    json.close();
    QVERIFY(importList(json.fileName(), cnv));
    ::kill(pid_t(m_serve.processId()), SIGHUP);
    QByteArray seen;
    errUntil(m_serve, "reloading", seen);
    QTRY_VERIFY_WITH_TIMEOUT(items().value(2).isEmpty() && !items().value(1).trimmed().isEmpty(),
                             StepMs);
    QCOMPARE(shape(items().value(1)), before.at(3));

    // A list that cannot be read: refused, the running one keeps serving.
    QVERIFY(QFile::remove(m_dir.filePath("demo.dde")));
    ::kill(pid_t(m_serve.processId()), SIGHUP);
    errUntil(m_serve, "reload refused", seen);
    QVERIFY2(seen.contains("demo.dde: no such file; the list in use keeps serving"),
             seen.constData());
    QCOMPARE(m_serve.state(), QProcess::Running);
    QVERIFY(!items().value(1).trimmed().isEmpty());

    ::kill(pid_t(m_serve.processId()), SIGTERM);
    QVERIFY(m_serve.waitForFinished(StepMs));
    QCOMPARE(m_serve.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_serve.exitCode(), 0);
}

// Nobody answers the port error at the start: the server runs, and once the
// device is there (the simulator started, the adapter plugged in) the items
// fill without a restart.
void TestServe::portThatAppearsLaterIsTaken()
{
    const QString cnv = m_dir.filePath("demo.cnv");
    QVERIFY(importList(source("sim/demo-list.json"), cnv));
    const QString later = m_dir.filePath("later");
    startServe({"--device", later, cnv});
    QByteArray seen;
    errUntil(m_serve, "Quit this demo? [answered No]", seen);
    QVERIFY2(seen.contains("OPEN_COM Error Code: 2: Quit this demo? [answered No]"),
             seen.constData());
    QCOMPARE(m_serve.state(), QProcess::Running);

    QVERIFY(startSim(later));
    QVERIFY(!filledShapes(1, m_serve).isEmpty());
}

QTEST_GUILESS_MAIN(TestServe)
#include "tst_serveprogram.moc"
