#include "ddetestbus.h"

#include <QTest>
#include <csignal>

using telviox::test::LineProcess;
using telviox::test::programPath;
using telviox::test::runTool;
using telviox::test::TestBus;
using telviox::test::ToolRun;

namespace {

QString tool()
{
    return programPath(QStringLiteral("telvioxd-dde"));
}

ToolRun dde(const QStringList &args)
{
    return runTool(tool(), args);
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
    void failuresExitOneWithTheReason();

private:
    TestBus m_bus;
};

void TestDdeCli::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
    const ToolRun help = dde({QStringLiteral("--help")});
    QVERIFY2(help.finished, "telvioxd-dde does not run");
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith(QStringLiteral("usage: telvioxd-dde")));
}

void TestDdeCli::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"fetch", "S", "T", "I"} << "unknown command";
    QTest::newRow("request short") << QStringList{"request", "S", "T"} << "request takes";
    QTest::newRow("request long") << QStringList{"request", "S", "T", "I", "x"} << "request takes";
    QTest::newRow("poke short") << QStringList{"poke", "S", "T", "I"} << "poke takes";
    QTest::newRow("advise short") << QStringList{"advise", "S"} << "advise takes";
    QTest::newRow("serve no items") << QStringList{"serve", "S", "T"} << "serve takes";
    QTest::newRow("serve nameless item") << QStringList{"serve", "S", "T", "=1"} << "needs a name";
    QTest::newRow("serve item twice")
        << QStringList{"serve", "S", "T", "A=1", "A=2"} << "given twice";
    QTest::newRow("serve timeout")
        << QStringList{"--timeout", "5", "serve", "S", "T", "A"} << "does not apply";
    QTest::newRow("timeout missing")
        << QStringList{"request", "S", "T", "I", "--timeout"} << "needs a value";
    QTest::newRow("timeout not a number")
        << QStringList{"--timeout=soon", "request", "S", "T", "I"} << "positive number";
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
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QStringLiteral("telvioxd-dde: ")), qPrintable(run.err));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("usage:")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestDdeCli::serveRequestPokeAndAdvise()
{
    LineProcess server;
    QVERIFY(server.start(tool(), {QStringLiteral("serve"), QStringLiteral("Plant 2"),
                                  QStringLiteral("Line.A"), QStringLiteral("Temp=21.5"),
                                  QStringLiteral("Flow="), QStringLiteral("Note=a=b")}));
    QString line;
    QVERIFY2(server.nextLine(&line), qPrintable(server.errors()));
    QCOMPARE(line, QStringLiteral("ready dde.Plant_202 /Line_2EA"));

    ToolRun run = dde({QStringLiteral("request"), QStringLiteral("Plant 2"),
                       QStringLiteral("Line.A"), QStringLiteral("Temp")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("21.5\n"));
    // Only the first "=" splits name from text.
    run = dde({QStringLiteral("request"), QStringLiteral("Plant 2"), QStringLiteral("Line.A"),
               QStringLiteral("Note")});
    QCOMPARE(run.out, QStringLiteral("a=b\n"));

    LineProcess watcher;
    QVERIFY(watcher.start(tool(), {QStringLiteral("advise"), QStringLiteral("Plant 2"),
                                   QStringLiteral("Line.A"), QStringLiteral("Temp")}));
    // The current value comes first; it is printed once the watch is set up.
    QVERIFY2(watcher.nextLine(&line), qPrintable(watcher.errors()));
    QCOMPARE(line, QStringLiteral("21.5"));

    // A negative number is a text, not an option.
    run = dde({QStringLiteral("poke"), QStringLiteral("Plant 2"), QStringLiteral("Line.A"),
               QStringLiteral("Temp"), QStringLiteral("-2.5")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.isEmpty());
    QVERIFY(server.nextLine(&line));
    QCOMPARE(line, QStringLiteral("Temp=-2.5"));
    QVERIFY(watcher.nextLine(&line));
    QCOMPARE(line, QStringLiteral("-2.5"));

    // Changes made by the serving side, other items, and a repeat are not
    // printed; the next change of the item is.
    server.write("Flow=3\nTemp=-2.5\nTemp=22\nbroken line\n");
    QVERIFY(watcher.nextLine(&line));
    QCOMPARE(line, QStringLiteral("22"));
    run = dde({QStringLiteral("request"), QStringLiteral("Plant 2"), QStringLiteral("Line.A"),
               QStringLiteral("Flow")});
    QCOMPARE(run.out, QStringLiteral("3\n"));

    // Both run until told to stop, and stop cleanly.
    QCOMPARE(::kill(pid_t(watcher.process().processId()), SIGTERM), 0);
    QVERIFY(watcher.process().waitForFinished(30000));
    QCOMPARE(watcher.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(watcher.process().exitCode(), 0);
    QVERIFY(!watcher.nextLine(&line, 0));

    QCOMPARE(::kill(pid_t(server.process().processId()), SIGINT), 0);
    QVERIFY(server.process().waitForFinished(30000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
    QVERIFY2(server.errors().contains(QStringLiteral("ignored input line \"broken line\"")),
             "a bad input line is reported");
    run = dde({QStringLiteral("request"), QStringLiteral("Plant 2"), QStringLiteral("Line.A"),
               QStringLiteral("Temp")});
    QCOMPARE(run.exitCode, 1);
}

void TestDdeCli::failuresExitOneWithTheReason()
{
    ToolRun run = dde({QStringLiteral("request"), QStringLiteral("Nobody"), QStringLiteral("T"),
                       QStringLiteral("I")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("telvioxd-dde: No server for service \"Nobody\"\n"));
    run = dde({QStringLiteral("advise"), QStringLiteral("Nobody"), QStringLiteral("T"),
               QStringLiteral("I")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("No server")), qPrintable(run.err));

    LineProcess server;
    QVERIFY(server.start(tool(), {QStringLiteral("serve"), QStringLiteral("TELVIOXD"),
                                  QStringLiteral("Form5"), QStringLiteral("Text1=1")}));
    QString line;
    QVERIFY(server.nextLine(&line));

    run = dde({QStringLiteral("serve"), QStringLiteral("TELVIOXD"), QStringLiteral("Form5"),
               QStringLiteral("Text1=2")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("dde.TELVIOXD")) && run.err.contains(u"taken"),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty()); // no ready line for a server that is not

    // The reason comes from the server's own answer, unchanged.
    run = dde({QStringLiteral("poke"), QStringLiteral("TELVIOXD"), QStringLiteral("Form5"),
               QStringLiteral("Text2"), QStringLiteral("x")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("telvioxd-dde: No item \"Text2\"\n"));
}

QTEST_GUILESS_MAIN(TestDdeCli)
#include "tst_ddecli.moc"
