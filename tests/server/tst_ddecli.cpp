// The client side against servers in processes of their own (telvioxd-dde
// serve), so that a client here may block: the command-line tool and the
// client the server uses for its linked sources.

#include "ddetestbus.h"
#include "server/ddeclient.h"

#include <QTest>
#include <csignal>

using namespace telviox;
using namespace Qt::StringLiterals;
using namespace telviox::test;

namespace {

ToolRun dde(const QStringList &args)
{
    return runTool(programPath(u"telvioxd-dde"_s), args);
}

// "serve SERVICE TOPIC items...", waiting for its ready line.
bool serve(LineProcess &server, const QStringList &args, const QString &ready)
{
    QString line;
    return server.start(programPath(u"telvioxd-dde"_s), QStringList{"serve"} + args) &&
           server.nextLine(&line) && line == ready;
}

bool stop(LineProcess &process, int signal)
{
    return ::kill(pid_t(process.process().processId()), signal) == 0 &&
           process.process().waitForFinished(30000) &&
           process.process().exitStatus() == QProcess::NormalExit &&
           process.process().exitCode() == 0;
}

} // namespace

class TestDdeCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void serveRequestPokeAndAdvise();
    void failuresNameTheirCause();

private:
    TestBus m_bus;
};

void TestDdeCli::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
}

void TestDdeCli::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "no command given";
    QTest::newRow("request long") << QStringList{"request", "S", "T", "I", "x"} << "request takes";
    QTest::newRow("serve nameless item") << QStringList{"serve", "S", "T", "=1"} << "needs a name";
    QTest::newRow("timeout zero") << QStringList{"--timeout", "0", "request", "S", "T", "I"}
                                  << "positive number";
    QTest::newRow("unknown option")
        << QStringList{"--verbose", "request", "S", "T", "I"} << "unknown option --verbose";
}

void TestDdeCli::usageErrorsExitTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const ToolRun run = dde(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(u"telvioxd-dde: "_s) && run.err.contains(message) &&
                 run.err.contains(u"usage:"_s),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestDdeCli::serveRequestPokeAndAdvise()
{
    LineProcess server;
    QVERIFY2(serve(server, {"Plant 2", "Line.A", "Temp=21.5", "Flow=", "Note=a=b"},
                   u"ready dde.Plant_202 /Line_2EA"_s),
             qPrintable(server.errors()));
    ToolRun run = dde({"request", "Plant 2", "Line.A", "Temp"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, u"21.5\n"_s);
    // Only the first "=" splits name from text.
    QCOMPARE(dde({"request", "Plant 2", "Line.A", "Note"}).out, u"a=b\n"_s);

    LineProcess watcher;
    QVERIFY(watcher.start(programPath(u"telvioxd-dde"_s), {"advise", "Plant 2", "Line.A", "Temp"}));
    // The current value comes first, printed once the watch is in place.
    QString line;
    QVERIFY2(watcher.nextLine(&line), qPrintable(watcher.errors()));
    QCOMPARE(line, u"21.5"_s);

    // A negative number is a text, not an option.
    run = dde({"poke", "Plant 2", "Line.A", "Temp", "-2.5"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(server.nextLine(&line));
    QCOMPARE(line, u"Temp=-2.5"_s);
    QVERIFY(watcher.nextLine(&line));
    QCOMPARE(line, u"-2.5"_s);

    // Other items, a repeat and a broken line are not printed; the next
    // change of the item is.
    server.write("Flow=3\nTemp=-2.5\nbroken line\nTemp=22\n");
    QVERIFY(watcher.nextLine(&line));
    QCOMPARE(line, u"22"_s);
    QCOMPARE(dde({"request", "Plant 2", "Line.A", "Flow"}).out, u"3\n"_s);

    // Both run until told to stop, and stop cleanly.
    QVERIFY(stop(watcher, SIGTERM));
    QVERIFY(stop(server, SIGINT));
    QVERIFY(server.errors().contains(u"ignored input line \"broken line\""_s));
}

void TestDdeCli::failuresNameTheirCause()
{
    // Nobody serves it: the bus says so at once, not after the full wait.
    ToolRun run = dde({"request", "Nobody", "T", "I"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"telvioxd-dde: No server for service \"Nobody\"\n"_s);
    QCOMPARE(dde({"advise", "Nobody", "T", "I"}).exitCode, 1);
    const DdeClient client;
    QCOMPARE(client.poke("Nobody", "T", "I", "x").status, DdeResult::Status::NoService);
    QCOMPARE(client.request(QString(), "T", "I").status, DdeResult::Status::InvalidName);

    LineProcess server;
    QVERIFY2(serve(server, {"TELVIOXD", "Form5", "Text1=1"}, u"ready dde.TELVIOXD /Form5"_s),
             qPrintable(server.errors()));
    DdeResult result = client.request("TELVIOXD", "Form9", "Text1");
    QCOMPARE(result.status, DdeResult::Status::NoTopic);
    QVERIFY2(result.error.contains(u"Form9"), qPrintable(result.error));
    QCOMPARE(client.request("TELVIOXD", "Form5", "Text2").status, DdeResult::Status::NoItem);
    // The reason comes from the server's own answer, unchanged.
    run = dde({"poke", "TELVIOXD", "Form5", "Text2", "x"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"telvioxd-dde: No item \"Text2\"\n"_s);
    // A second server for a taken name gives no ready line.
    run = dde({"serve", "TELVIOXD", "Form5", "Text1=2"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"dde.TELVIOXD") && run.err.contains(u"taken"), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());

    // Gone again: missing, not silent.
    QVERIFY(stop(server, SIGTERM));
    QCOMPARE(client.request("TELVIOXD", "Form5", "Text1").status, DdeResult::Status::NoService);
}

QTEST_GUILESS_MAIN(TestDdeCli)
#include "tst_ddecli.moc"
