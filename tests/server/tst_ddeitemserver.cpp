// The items on a private bus as other programs see them: names, gdbus calls,
// change signals, bad calls, name conflicts, and the command-line tool.

#include "ddetestbus.h"
#include "server/ddeclient.h"
#include "server/ddeitemserver.h"
#include "server/ddenames.h"
#include "server/ddeprogramitems.h"
#include "server/diagnosticsinterface.h"
#include "server/linediagnostics.h"
#include "conversations/sharedstate.h"
#include "device/catalogue.h"
#include "device/seriallink.h"

#include <QDBusArgument>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

using namespace telviox;
using namespace Qt::StringLiterals;
using namespace telviox::test;

namespace {

const QString Dest = u"dde.TELVIOXD"_s;
const QString Path = u"/Form5"_s;
const QString Topic = u"dde.Topic"_s;
const QString Props = u"org.freedesktop.DBus.Properties"_s;

// A call from another connection, answered while the event loop runs.
QDBusMessage asyncCall(const QDBusConnection &connection, const QString &dest, const QString &path,
                       const QString &interface, const QString &method, const QVariantList &args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(dest, path, interface, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(connection.asyncCall(message));
    QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        done.wait(30000);
    return watcher.reply();
}

ToolRun dde(const QStringList &args)
{
    return runTool(programPath(u"telvioxd-dde"_s), args);
}

bool stop(LineProcess &process, int signal)
{
    return ::kill(pid_t(process.process().processId()), signal) == 0 &&
           process.process().waitForFinished(30000) &&
           process.process().exitStatus() == QProcess::NormalExit &&
           process.process().exitCode() == 0;
}

} // namespace

class TestDdeItemServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QVERIFY2((m_items = std::make_unique<DdeProgramItems>())->publish(), "publish"); }
    void cleanup() { m_items.reset(); }

    void namesRoundTripOrAreRefused();
    void readsAnswerWhileTheOwnerIsBusy();
    void diagnosticsOnTheItemsObject();
    void gdbusPropertiesAndRequest();
    void badCallsAndNameConflictsAreRefused();
    void toolUsageErrorsExitTwo_data();
    void toolUsageErrorsExitTwo();
    void toolServesRequestsPokesAndAdvises();
    void toolFailuresNameTheirCause();
    void silentSourceRunsIntoTheWait();
    void adviseWaitsForTheServerAndFollowsItAway();

private:
    QString gdbus(const QString &method, const QStringList &args, int *exitCode = nullptr)
    {
        const ToolRun run =
            runTool(m_gdbus, QStringList{"call", "--session", "--dest", Dest, "--object-path", Path,
                                         "--method", method} +
                                 args);
        if (exitCode)
            *exitCode = run.exitCode;
        return (run.out + run.err).trimmed();
    }

    TestBus m_bus;
    QString m_gdbus;
    std::unique_ptr<DdeProgramItems> m_items;
    QStringList m_announced; // interfaces of PropertiesChanged received

public slots:
    void record(const QString &interface, const QVariantMap &, const QStringList &)
    {
        m_announced << interface;
    }
};

void TestDdeItemServer::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
    m_gdbus = QStandardPaths::findExecutable(u"gdbus"_s);
}

void TestDdeItemServer::namesRoundTripOrAreRefused()
{
    const QList<std::pair<QString, QString>> names = {
        {u"a b"_s, u"a_20b"_s},
        {u"a_41"_s, u"a_5F41"_s},
        {u"a.b-c/d"_s, u"a_2Eb_2Dc_2Fd"_s},
        {QString::fromUtf8("t\xF0\x9F\x98\x80"), u"t_F0_9F_98_80"_s}};
    for (const auto &[name, escaped] : names) {
        QCOMPARE(DdeNames::escapeName(name), escaped);
        QCOMPARE(DdeNames::unescapeName(escaped), name);
        QCOMPARE(DdeNames::serviceOfBusName(DdeNames::busName(name)), name);
    }
    // Stray underscores that are no escape stay as they are.
    QCOMPARE(DdeNames::unescapeName(u"a_zz_4"_s), u"a_zz_4"_s);
    // Names D-Bus cannot carry are refused rather than sent to fail later.
    QVERIFY(DdeNames::busName(QString(300, QLatin1Char('a'))).isEmpty());
    for (const char *other : {"Text0", "Text33", "Text01", "Text+1", "text1", "Text 1"})
        QCOMPARE(DdeProgramItems::positionOf(QString::fromLatin1(other)), 0);
}

// The owner's thread blocked, as on a module that does not answer: reads are
// answered from the items' own thread with the latest texts; a poke waits for
// the owner and lands after the busy spell.
void TestDdeItemServer::readsAnswerWhileTheOwnerIsBusy()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    m_items->FillText(2, u"before"_s);
    // The bus delivers nothing before the event loop has run once.
    QCoreApplication::processEvents();
    // Waiting for a client without running the event loop keeps this thread
    // as busy as a tick on a silent module.
    auto callWhileBusy = [this](const QStringList &args) {
        QProcess client;
        client.start(m_gdbus, QStringList{"call", "--session", "--timeout", "5", "--dest", Dest,
                                          "--object-path", Path, "--method"} +
                                  args);
        client.waitForFinished(30000);
        return client.exitCode() == 0 ? QString::fromUtf8(client.readAllStandardOutput()).trimmed()
                                      : QStringLiteral("failed");
    };
    QCOMPARE(callWhileBusy({u"dde.Topic.Request"_s, u"Text2"_s}), u"('before',)"_s);
    QCOMPARE(callWhileBusy({Props + ".Get", Topic, u"Text2"_s}), u"(<'before'>,)"_s);
    QVERIFY(callWhileBusy({Props + ".GetAll", Topic}).contains(u"'Text2': <'before'>"_s));
    QVERIFY(callWhileBusy({u"org.freedesktop.DBus.Introspectable.Introspect"_s})
                .contains(u"Text32"_s));
    // A poke waits for this thread: its caller times out, and it lands after.
    QCOMPARE(callWhileBusy({u"dde.Topic.Poke"_s, u"Text2"_s, u"poked"_s}), u"failed"_s);
    QCOMPARE(m_items->text(2), u"before"_s);
    QTRY_COMPARE(m_items->text(2), u"poked"_s);
}

// Quality and statistics on the items' own object: the whole table by one
// call, each item's row as a property, changes announced once per tick.
void TestDdeItemServer::diagnosticsOnTheItemsObject()
{
    m_items.reset();
    VirtualClock clock;
    SerialLink link(clock);
    SharedState state;
    state.Conv[4].TypeCode = catalogue::typeCodeOfName(u"2026"_s);
    state.Conv[4].Address = 0x1F;
    LineDiagnostics diagnostics(state, link, clock);
    m_items = std::make_unique<DdeProgramItems>();
    m_items->addInterface(std::make_shared<DiagnosticsInterface>(diagnostics));
    DiagnosticsAnnouncer announcer(diagnostics, *m_items);
    QVERIFY(m_items->publish());

    const QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"diagnostics-client"_s);
    QDBusConnection(other).connect(Dest, Path, Props, u"PropertiesChanged"_s, this,
                                   SLOT(record(QString, QVariantMap, QStringList)));
    diagnostics.visitStarted(4, 1);
    diagnostics.moduleError(LinkCode::TimeOut);
    diagnostics.visitEnded();
    diagnostics.tickEnded();

    const QDBusMessage table =
        asyncCall(other, Dest, Path, DiagnosticsInterface::interfaceName(), u"Table"_s, {});
    QCOMPARE(table.type(), QDBusMessage::ReplyMessage);
    QList<QVariantMap> rows;
    table.arguments().value(0).value<QDBusArgument>() >> rows;
    QCOMPARE(rows.size(), 32);
    QCOMPARE(rows.at(0).value(u"Conversation"_s).toInt(), 4);
    QCOMPARE(rows.at(0).value(u"Address"_s).toString(), u"1F"_s);
    QCOMPARE(rows.at(0).value(u"Quality"_s).toString(), u"bad"_s);
    QCOMPARE(rows.at(0).value(u"Code"_s).toInt(), int(LinkCode::TimeOut));
    QCOMPARE(rows.at(1).value(u"Quality"_s).toString(), u"unknown"_s);

    const QDBusMessage get = asyncCall(other, Dest, Path, Props, u"Get"_s,
                                       {DiagnosticsInterface::interfaceName(), u"Text1"_s});
    QVariantMap row;
    get.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>() >> row;
    QCOMPARE(row.value(u"Model"_s).toString(), u"2026"_s);
    const QDBusMessage set =
        asyncCall(other, Dest, Path, Props, u"Set"_s,
                  {DiagnosticsInterface::interfaceName(), u"Text1"_s,
                   QVariant::fromValue(QDBusVariant(QVariantMap()))});
    QCOMPARE(set.type(), QDBusMessage::ErrorMessage); // read-only
    QTRY_VERIFY(m_announced.contains(DiagnosticsInterface::interfaceName()));
    QCOMPARE(m_announced.count(DiagnosticsInterface::interfaceName()), 1);
    QDBusConnection::disconnectFromBus(u"diagnostics-client"_s);
}

void TestDdeItemServer::gdbusPropertiesAndRequest()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    QSignalSpy poked(m_items.get(), &DdeItemServer::poked);
    m_items->FillText(1, u" +1.500"_s);
    m_items->FillText(32, u"last"_s);
    m_items->FillText(33, u"beyond"_s); // no such item: no change
    QCOMPARE(gdbus(Props + ".Get", {Topic, "Text32"}), u"(<'last'>,)"_s);
    const QString all = gdbus(Props + ".GetAll", {Topic});
    QVERIFY2(all.contains(u"'Text1': <' +1.500'>"_s), qPrintable(all));
    QCOMPARE(all.count(u"'Text"_s), 32);
    // A poke by property stays until its item is written again.
    int exitCode = 0;
    gdbus(Props + ".Set", {Topic, "Text5", "<'set'>"}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(poked.at(0), (QList<QVariant>{u"Text5"_s, u"set"_s}));
    QCOMPARE(gdbus("dde.Topic.Request", {"Text5"}), u"('set',)"_s);
    m_items->setItemText(5, u"five"_s);
    QCOMPARE(gdbus("dde.Topic.Request", {"Text5"}), u"('five',)"_s);
}

void TestDdeItemServer::badCallsAndNameConflictsAreRefused()
{
    QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), u"other"_s);
    const auto error = [&](const QString &member, const QVariantList &args) {
        return asyncCall(other, Dest, Path, Topic, member, args).errorName();
    };
    const QString invalid = u"org.freedesktop.DBus.Error.InvalidArgs"_s;
    QCOMPARE(error("Request", {5}), invalid);
    QCOMPARE(error("Poke", {u"Text1"_s}), invalid);
    QCOMPARE(error("Poke", {u"Nope"_s, u"x"_s}), u"dde.Error.UnknownItem"_s);

    {
        DdeProgramItems second(other);
        QVERIFY(!second.publish());
        QVERIFY2(second.errorString().contains(Dest) && second.errorString().contains(u"taken"),
                 qPrintable(second.errorString()));
        // The items still work for the window that shows them.
        second.FillText(7, u"kept"_s);
        QCOMPARE(second.text(7), u"kept"_s);
    }

    // Two topics of one service share the name: withdrawing one keeps the other.
    const QString twoTopics = u"dde.two_20topics"_s;
    {
        DdeItemServer a(u"two topics"_s, u"A"_s, {u"x"_s});
        auto b = std::make_unique<DdeItemServer>(u"two topics"_s, u"B"_s, QStringList{u"x"_s});
        QVERIFY(a.publish() && b->publish());
        a.setText(u"x"_s, u"from A"_s);
        b.reset();
        QCOMPARE(asyncCall(other, twoTopics, "/A", Topic, "Request", {"x"}).arguments().value(0),
                 QVariant(u"from A"_s));
    }
    QCOMPARE(DdeClient(other).checkService(u"two topics"_s).status, DdeResult::Status::NoService);

    // The failed attempts left the first server intact.
    m_items->FillText(1, u"first"_s);
    QCOMPARE(asyncCall(other, Dest, Path, Topic, "Request", {"Text1"}).arguments().value(0),
             QVariant(u"first"_s));
    QDBusConnection::disconnectFromBus(u"other"_s);
}

void TestDdeItemServer::toolUsageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown command") << QStringList{"reqest", "S", "T", "I"} << "\"reqest\"";
    // After the command word every word is a text: an option there is one too many.
    QTest::newRow("option after the command")
        << QStringList{"request", "S", "T", "I", "--timeout", "5"} << "SERVICE TOPIC ITEM";
    QTest::newRow("serve nameless item") << QStringList{"serve", "S", "T", "=1"} << "needs a name";
    QTest::newRow("serve item twice")
        << QStringList{"serve", "S", "T", "A=1", "A=2"} << "given twice";
    QTest::newRow("serve with timeout")
        << QStringList{"--timeout", "5", "serve", "S", "T", "A"} << "does not apply to serve";
    QTest::newRow("csv with request")
        << QStringList{"--csv", "request", "S", "T", "I"} << "--csv goes with advise";
    QTest::newRow("timeout zero") << QStringList{"--timeout", "0", "request", "S", "T", "I"}
                                  << "positive number";
}

// One line with the mistake and a pointer to --help, on stderr only.
void TestDdeItemServer::toolUsageErrorsExitTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const ToolRun run = dde(args);
    QCOMPARE(run.exitCode, 2);
    const QStringList lines = run.err.split(u'\n');
    QVERIFY2(lines.size() == 3 && lines.at(0).startsWith(u"telvioxd-dde: "_s) &&
                 lines.at(0).contains(message) &&
                 lines.at(1) == u"Try 'telvioxd-dde --help' for more information."_s,
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestDdeItemServer::toolServesRequestsPokesAndAdvises()
{
    LineProcess server;
    QString line;
    QVERIFY(server.start(programPath(u"telvioxd-dde"_s),
                         {"serve", "Plant 2", "Line.A", "Temp=21.5", "Flow=", "Note=a=b"}));
    QVERIFY2(server.nextLine(&line), qPrintable(server.errors()));
    QCOMPARE(line, u"ready dde.Plant_202 /Line_2EA"_s);
    ToolRun run = dde({"request", "Plant 2", "Line.A", "Temp"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, u"21.5\n"_s);
    // Only the first "=" splits name from text.
    QCOMPARE(dde({"request", "Plant 2", "Line.A", "Note"}).out, u"a=b\n"_s);

    LineProcess watcher;
    QVERIFY(watcher.start(programPath(u"telvioxd-dde"_s), {"advise", "Plant 2", "Line.A", "Temp"}));
    // The current value comes first, printed once the watch is in place.
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

void TestDdeItemServer::toolFailuresNameTheirCause()
{
    // Nobody serves it: the bus says so at once, not after the full wait.
    ToolRun run = dde({"request", "Nobody", "T", "I"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"telvioxd-dde: No server for service \"Nobody\"\n"_s);
    // A server that is there but lacks the item: advise gives up at once too.
    run = dde({"advise", "TELVIOXD", "Form5", "Text99"});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, u"telvioxd-dde: No item \"Text99\"\n"_s);

    // The reason comes from the server's own answer, unchanged.
    run = dde({"request", "TELVIOXD", "Form9", "Text1"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"Form9"), qPrintable(run.err));
    // A second server for a taken name gives no ready line.
    run = dde({"serve", "TELVIOXD", "Form5", "Text1=2"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(u"dde.TELVIOXD") && run.err.contains(u"taken"), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    // Gone again: missing, not silent.
    m_items.reset();
    QCOMPARE(dde({"request", "TELVIOXD", "Form5", "Text1"}).exitCode, 1);
}

// A source that stops answering: the request gives up at its wait, and the
// late answer to the abandoned call is not taken for the next one.
void TestDdeItemServer::silentSourceRunsIntoTheWait()
{
    LineProcess server;
    QString line;
    QVERIFY(server.start(programPath(u"telvioxd-dde"_s), {"serve", "Slow", "T", "V=1"}));
    QVERIFY2(server.nextLine(&line), qPrintable(server.errors()));
    const auto pid = pid_t(server.process().processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    const DdeResult late = DdeClient().request(u"Slow"_s, u"T"_s, u"V"_s, 300);
    ::kill(pid, SIGCONT);
    QCOMPARE(late.status, DdeResult::Status::NoReply);
    const DdeResult again = DdeClient().request(u"Slow"_s, u"T"_s, u"V"_s);
    QVERIFY2(again.ok(), qPrintable(again.error));
    QCOMPARE(again.text, u"1"_s);
}

// advise started before its server: it says so and waits; then it follows the
// server leaving and coming back, on stderr with the time, reads the text
// anew and hears the new server's changes. CSV rows carry time, item, text.
void TestDdeItemServer::adviseWaitsForTheServerAndFollowsItAway()
{
    const QString stamp = uR"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d )"_s;
    const auto stamped = [&stamp](const QString &line, const QString &rest) {
        return QRegularExpression(stamp + QRegularExpression::escape(rest) + u'$')
            .match(line)
            .hasMatch();
    };
    LineProcess watcher;
    QString line;
    QVERIFY(watcher.start(programPath(u"telvioxd-dde"_s),
                          {"--csv", "advise", "Plant 3", "Line.A", "Temp"}));
    QVERIFY2(watcher.nextErrorLine(&line), qPrintable(watcher.errors()));
    QVERIFY2(stamped(line, u"server Plant 3 is not on the bus; waiting for it"_s),
             qPrintable(line));
    QVERIFY(watcher.nextLine(&line));
    QCOMPARE(line, u"time,item,text"_s);

    const QRegularExpression row(stamp.chopped(1) + u",Temp,(.*)$"_s);
    const auto nextText = [&watcher, &row](QString *text) {
        QString next;
        if (!watcher.nextLine(&next))
            return false;
        const QRegularExpressionMatch match = row.match(next);
        *text = match.hasMatch() ? match.captured(1) : u"no row: "_s + next;
        return true;
    };
    auto server = std::make_unique<LineProcess>();
    QVERIFY(
        server->start(programPath(u"telvioxd-dde"_s), {"serve", "Plant 3", "Line.A", "Temp=1,5"}));
    QVERIFY(watcher.nextErrorLine(&line));
    QVERIFY2(stamped(line, u"server Plant 3 is on the bus"_s), qPrintable(line));
    QVERIFY(nextText(&line));
    QCOMPARE(line, uR"("1,5")"_s);

    QVERIFY(stop(*server, SIGTERM));
    QVERIFY(watcher.nextErrorLine(&line));
    QVERIFY2(stamped(line, u"server Plant 3 left the bus"_s), qPrintable(line));

    // The same text again: a new server's reading is printed all the same.
    server = std::make_unique<LineProcess>();
    QVERIFY(
        server->start(programPath(u"telvioxd-dde"_s), {"serve", "Plant 3", "Line.A", "Temp=1,5"}));
    QVERIFY(watcher.nextErrorLine(&line));
    QVERIFY2(stamped(line, u"server Plant 3 came back"_s), qPrintable(line));
    QVERIFY(nextText(&line));
    QCOMPARE(line, uR"("1,5")"_s);
    server->write("Temp=say \"hi\"\n");
    QVERIFY(nextText(&line));
    QCOMPARE(line, uR"("say ""hi""")"_s);

    QVERIFY(stop(watcher, SIGTERM));
    QVERIFY(stop(*server, SIGTERM));
}

QTEST_GUILESS_MAIN(TestDdeItemServer)
#include "tst_ddeitemserver.moc"
