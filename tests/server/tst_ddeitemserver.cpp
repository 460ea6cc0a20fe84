#include "ddetestbus.h"
#include "server/ddeclient.h"
#include "server/ddeitemserver.h"
#include "server/ddelinksource.h"
#include "server/ddeprogramitems.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

using namespace telviox;
using telviox::test::LineProcess;
using telviox::test::runTool;
using telviox::test::TestBus;
using telviox::test::ToolRun;

namespace {

const QString Service = QStringLiteral("TELVIOXD");
const QString Dest = QStringLiteral("dde.TELVIOXD");
const QString Path = QStringLiteral("/Form5");

QStringList callArgs(const QString &method, const QStringList &args)
{
    return QStringList{QStringLiteral("call"),          QStringLiteral("--session"),
                       QStringLiteral("--dest"),        Dest,
                       QStringLiteral("--object-path"), Path,
                       QStringLiteral("--method"),      method} +
           args;
}

// A call from another connection, answered while the event loop runs.
QDBusMessage asyncCall(const QDBusConnection &connection, const QDBusMessage &message)
{
    QDBusPendingCallWatcher watcher(connection.asyncCall(message));
    QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        done.wait(30000);
    return watcher.reply();
}

} // namespace

class TestDdeItemServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void gdbusReadsItemsByRequestAndProperty();
    void introspectionShowsItemsAsProperties();
    void malformedCallsAreRefusedNotFatal();
    void pokedTextStandsUntilItsItemIsWritten();
    void onlyChangesAreAdvised();
    void nameConflictsAreReported();
    void topicsOfOneServiceShareTheName();
    void clientReachesServerInOwnProcess();

private:
    QString gdbus(const QString &method, const QStringList &args, int *exitCode = nullptr);

    TestBus m_bus;
    QString m_gdbus;
    std::unique_ptr<DdeProgramItems> m_items;
};

void TestDdeItemServer::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    m_gdbus = QStandardPaths::findExecutable(QStringLiteral("gdbus"));
}

void TestDdeItemServer::init()
{
    m_items = std::make_unique<DdeProgramItems>();
    QVERIFY2(m_items->publish(), qPrintable(m_items->errorString()));
}

void TestDdeItemServer::cleanup()
{
    m_items.reset();
}

QString TestDdeItemServer::gdbus(const QString &method, const QStringList &args, int *exitCode)
{
    const ToolRun run = runTool(m_gdbus, callArgs(method, args));
    if (exitCode)
        *exitCode = run.finished ? run.exitCode : -1;
    return (run.out + run.err).trimmed();
}

void TestDdeItemServer::gdbusReadsItemsByRequestAndProperty()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    m_items->FillText(1, QStringLiteral(" +1.500"));
    m_items->FillText(32, QStringLiteral("last"));
    // Positions that name no item change nothing.
    m_items->FillText(0, QStringLiteral("zero"));
    m_items->FillText(33, QStringLiteral("beyond"));
    QCOMPARE(m_items->text(32), QStringLiteral("last"));

    QCOMPARE(gdbus(QStringLiteral("dde.Topic.Request"), {QStringLiteral("Text1")}),
             QStringLiteral("(' +1.500',)"));
    QCOMPARE(gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                   {QStringLiteral("dde.Topic"), QStringLiteral("Text32")}),
             QStringLiteral("(<'last'>,)"));
    const QString all = gdbus(QStringLiteral("org.freedesktop.DBus.Properties.GetAll"),
                              {QStringLiteral("dde.Topic")});
    QVERIFY2(all.contains(QStringLiteral("'Text1': <' +1.500'>")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("'Text31': <''>")), qPrintable(all));
    QCOMPARE(all.count(QStringLiteral("'Text")), 32);

    int exitCode = 0;
    const QString unknown =
        gdbus(QStringLiteral("dde.Topic.Request"), {QStringLiteral("Text33")}, &exitCode);
    QVERIFY(exitCode != 0);
    QVERIFY2(unknown.contains(QStringLiteral("dde.Error.UnknownItem")), qPrintable(unknown));
    const QString noProperty =
        gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Get"),
              {QStringLiteral("dde.Topic"), QStringLiteral("Text0")}, &exitCode);
    QVERIFY(exitCode != 0);
    QVERIFY2(noProperty.contains(QStringLiteral("UnknownProperty")), qPrintable(noProperty));
}

void TestDdeItemServer::introspectionShowsItemsAsProperties()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    m_items->FillText(2, QStringLiteral("two"));
    const ToolRun gd =
        runTool(m_gdbus, {QStringLiteral("introspect"), QStringLiteral("--session"),
                          QStringLiteral("--dest"), Dest, QStringLiteral("--object-path"), Path});
    QVERIFY2(gd.finished && gd.exitCode == 0, qPrintable(gd.err));
    for (const char *expected :
         {"interface dde.Topic", "Request(in  s item", "Poke(in  s item", "Advise(s item",
          "readwrite s Text1 = ''", "readwrite s Text2 = 'two'", "readwrite s Text32 = ''",
          "EmitsChangedSignal(\"true\")", "interface org.freedesktop.DBus.Properties"})
        QVERIFY2(gd.out.contains(QLatin1String(expected)), expected);

    // The topic is found from the root as a generic browser would walk it.
    const ToolRun root =
        runTool(m_gdbus, {QStringLiteral("introspect"), QStringLiteral("--session"),
                          QStringLiteral("--dest"), Dest, QStringLiteral("--object-path"),
                          QStringLiteral("/")});
    QVERIFY2(root.out.contains(QStringLiteral("node Form5")), qPrintable(root.out));

    const QString busctl = QStandardPaths::findExecutable(QStringLiteral("busctl"));
    if (busctl.isEmpty())
        return;
    const ToolRun bc = runTool(busctl, {QStringLiteral("--user"), QStringLiteral("introspect"),
                                        Dest, Path, QStringLiteral("dde.Topic")});
    QVERIFY2(bc.finished && bc.exitCode == 0, qPrintable(bc.err));
    QVERIFY2(bc.out.contains(QRegularExpression(
                 QStringLiteral("\\.Text2\\s+property\\s+s\\s+\"two\"\\s+emits-change writable"))),
             qPrintable(bc.out));
}

void TestDdeItemServer::malformedCallsAreRefusedNotFatal()
{
    QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("bad"));
    QVERIFY(other.isConnected());
    const auto call = [&](const QString &interface, const QString &member,
                          const QList<QVariant> &args) {
        QDBusMessage m = QDBusMessage::createMethodCall(Dest, Path, interface, member);
        m.setArguments(args);
        return asyncCall(other, m);
    };
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties");

    QDBusMessage reply = call(QStringLiteral("dde.Topic"), QStringLiteral("Request"), {5});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    reply = call(QStringLiteral("dde.Topic"), QStringLiteral("Request"), {});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    reply = call(QStringLiteral("dde.Topic"), QStringLiteral("Poke"), {QStringLiteral("Text1")});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    reply = call(QStringLiteral("dde.Topic"), QStringLiteral("Poke"),
                 {QStringLiteral("Nope"), QStringLiteral("x")});
    QCOMPARE(reply.errorName(), QStringLiteral("dde.Error.UnknownItem"));
    reply = call(QStringLiteral("dde.Topic"), QStringLiteral("Frobnicate"), {});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    reply = call(props, QStringLiteral("Set"),
                 {QStringLiteral("dde.Topic"), QStringLiteral("Text1"),
                  QVariant::fromValue(QDBusVariant(42))});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    reply = call(props, QStringLiteral("Get"),
                 {QStringLiteral("org.example.Other"), QStringLiteral("Text1")});
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"));
    QVERIFY(m_items->text(1).isEmpty());

    // Still serving, and an empty interface name is taken as dde.Topic.
    m_items->FillText(1, QStringLiteral("alive"));
    reply = call(QString(), QStringLiteral("Request"), {QStringLiteral("Text1")});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.arguments().value(0).toString(), QStringLiteral("alive"));
    reply = call(props, QStringLiteral("Get"), {QString(), QStringLiteral("Text1")});
    QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant().toString(),
             QStringLiteral("alive"));
    QDBusConnection::disconnectFromBus(QStringLiteral("bad"));
}

void TestDdeItemServer::pokedTextStandsUntilItsItemIsWritten()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    QSignalSpy poked(m_items.get(), &DdeItemServer::poked);
    // Two polled conversations fill Text1 and Text2; Text5 is never written.
    m_items->FillText(1, QStringLiteral("one"));
    m_items->FillText(2, QStringLiteral("two"));

    int exitCode = -1;
    gdbus(QStringLiteral("dde.Topic.Poke"), {QStringLiteral("Text2"), QStringLiteral("poked")},
          &exitCode);
    QCOMPARE(exitCode, 0);
    gdbus(QStringLiteral("org.freedesktop.DBus.Properties.Set"),
          {QStringLiteral("dde.Topic"), QStringLiteral("Text5"), QStringLiteral("<'set'>")},
          &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(poked.count(), 2);
    QCOMPARE(poked.at(0), (QList<QVariant>{QStringLiteral("Text2"), QStringLiteral("poked")}));
    QCOMPARE(poked.at(1), (QList<QVariant>{QStringLiteral("Text5"), QStringLiteral("set")}));
    QCOMPARE(m_items->itemText(2), QStringLiteral("poked"));
    QCOMPARE(gdbus(QStringLiteral("dde.Topic.Request"), {QStringLiteral("Text2")}),
             QStringLiteral("('poked',)"));

    // The next tick writes Text1 and Text2 again; Text5 keeps the poke.
    m_items->setItemText(1, QStringLiteral("one'"));
    m_items->setItemText(2, QStringLiteral("two'"));
    QCOMPARE(gdbus(QStringLiteral("dde.Topic.Request"), {QStringLiteral("Text2")}),
             QStringLiteral("(\"two'\",)"));
    QCOMPARE(gdbus(QStringLiteral("dde.Topic.Request"), {QStringLiteral("Text5")}),
             QStringLiteral("('set',)"));

    // A tick that writes what was poked is no change, but the item is the tick's.
    gdbus(QStringLiteral("dde.Topic.Poke"), {QStringLiteral("Text1"), QStringLiteral("same")});
    QSignalSpy changed(m_items.get(), &DdeItemServer::textChanged);
    m_items->FillText(1, QStringLiteral("same"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_items->text(1), QStringLiteral("same"));
}

void TestDdeItemServer::onlyChangesAreAdvised()
{
    if (m_gdbus.isEmpty())
        QSKIP("gdbus is not installed");
    LineProcess monitor;
    QVERIFY(monitor.start(m_gdbus, {QStringLiteral("monitor"), QStringLiteral("--session"),
                                    QStringLiteral("--dest"), Dest}));
    QVERIFY(monitor.waitForLine([](const QString &l) { return l.contains(u"is owned by"); }));
    // Its watch of the signals may come after that line: change Text32 until
    // the monitor shows it, and leave Text32's lines out from then on.
    bool heard = false;
    for (int n = 0; n < 60 && !heard; ++n) {
        m_items->FillText(32, QStringLiteral("warm-up %1").arg(n));
        heard = monitor.waitForLine([](const QString &l) { return l.contains(u"warm-up"); },
                                    nullptr, 500);
    }
    QVERIFY(heard);
    const auto nextSignal = [&monitor](QString *line) {
        return monitor.waitForLine([](const QString &l) { return !l.contains(u"'Text32'"); }, line);
    };

    QDBusConnection listener =
        QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("listener"));
    DdeAdviseLink link(listener, Service, QStringLiteral("Form5"), QStringLiteral("Text3"));
    QVERIFY2(link.isActive(), qPrintable(link.errorString()));
    QSignalSpy advised(&link, &DdeAdviseLink::advised);
    // A round trip on the listener's connection makes sure its match is in place.
    QVERIFY(DdeClient(listener).checkService(Service).ok());

    m_items->FillText(3, QStringLiteral("a"));
    m_items->FillText(3, QStringLiteral("a"));
    m_items->FillText(4, QStringLiteral("other item"));
    m_items->FillText(3, QStringLiteral("b"));

    QString line;
    QVERIFY(nextSignal(&line));
    QCOMPARE(line, QStringLiteral("/Form5: dde.Topic.Advise ('Text3', 'a')"));
    QVERIFY(nextSignal(&line));
    QCOMPARE(line, QStringLiteral("/Form5: org.freedesktop.DBus.Properties.PropertiesChanged "
                                  "('dde.Topic', {'Text3': <'a'>}, @as [])"));
    // The repeated "a" was no change: the next signal is Text4's.
    QVERIFY(nextSignal(&line));
    QCOMPARE(line, QStringLiteral("/Form5: dde.Topic.Advise ('Text4', 'other item')"));
    QVERIFY(nextSignal(&line));
    QVERIFY(nextSignal(&line));
    QCOMPARE(line, QStringLiteral("/Form5: dde.Topic.Advise ('Text3', 'b')"));

    // The link hears its own item only, each change once.
    while (advised.count() < 2)
        QVERIFY(advised.wait(30000));
    QCOMPARE(advised.at(0), (QList<QVariant>{QStringLiteral("Text3"), QStringLiteral("a")}));
    QCOMPARE(advised.at(1), (QList<QVariant>{QStringLiteral("Text3"), QStringLiteral("b")}));
    QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
}

void TestDdeItemServer::nameConflictsAreReported()
{
    // Another program (here: another connection) already holds the name.
    QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("other"));
    {
        DdeProgramItems second(other);
        QVERIFY(!second.publish());
        QVERIFY2(second.errorString().contains(Dest), qPrintable(second.errorString()));
        QVERIFY2(second.errorString().contains(QStringLiteral("taken")),
                 qPrintable(second.errorString()));
        // The items still work for the window that shows them.
        QSignalSpy changed(&second, &DdeItemServer::textChanged);
        second.FillText(7, QStringLiteral("kept"));
        QCOMPARE(second.text(7), QStringLiteral("kept"));
        QCOMPARE(changed.count(), 1);
    }
    // The same topic twice in one program.
    DdeItemServer twin(Service, QStringLiteral("Form5"), {QStringLiteral("Text1")});
    QVERIFY(!twin.publish());
    QVERIFY2(twin.errorString().contains(QStringLiteral("already served")),
             qPrintable(twin.errorString()));
    DdeItemServer nameless(QString(), QStringLiteral("T"), {QStringLiteral("I")});
    QVERIFY(!nameless.publish());
    QVERIFY(!nameless.errorString().isEmpty());

    // The failed attempts left the first server intact.
    m_items->FillText(1, QStringLiteral("first"));
    QDBusMessage ask = QDBusMessage::createMethodCall(Dest, Path, QStringLiteral("dde.Topic"),
                                                      QStringLiteral("Request"));
    ask << QStringLiteral("Text1");
    QCOMPARE(asyncCall(other, ask).arguments().value(0).toString(), QStringLiteral("first"));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

void TestDdeItemServer::topicsOfOneServiceShareTheName()
{
    QDBusConnection probe = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("probe"));
    const QString service = QStringLiteral("two topics");
    const QString busName = QStringLiteral("dde.two_20topics");
    const auto request = [&](const QString &path) {
        QDBusMessage m = QDBusMessage::createMethodCall(busName, path, QStringLiteral("dde.Topic"),
                                                        QStringLiteral("Request"));
        m << QStringLiteral("x");
        return asyncCall(probe, m);
    };
    {
        DdeItemServer a(service, QStringLiteral("A"), {QStringLiteral("x")});
        auto b = std::make_unique<DdeItemServer>(service, QStringLiteral("B"),
                                                 QStringList{QStringLiteral("x")});
        QVERIFY(a.publish());
        QVERIFY(b->publish());
        a.setText(QStringLiteral("x"), QStringLiteral("from A"));
        b.reset();
        // Withdrawing B must not take the name away from A.
        QDBusMessage reply = request(QStringLiteral("/A"));
        QCOMPARE(reply.arguments().value(0).toString(), QStringLiteral("from A"));
        reply = request(QStringLiteral("/B"));
        QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }
    QCOMPARE(DdeClient(probe).checkService(service).status, DdeResult::Status::NoService);
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
}

void TestDdeItemServer::clientReachesServerInOwnProcess()
{
    // An output linked to an item of this very program asks its own server: it
    // must be answered at once instead of waiting on its own blocked thread.
    m_items->FillText(4, QStringLiteral("2.5"));
    const int shortWait = 5000;
    const DdeClient client;
    DdeResult result =
        client.request(Service, QStringLiteral("Form5"), QStringLiteral("Text4"), shortWait);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.text, QStringLiteral("2.5"));
    result = client.request(Service, QStringLiteral("Form5"), QStringLiteral("Text99"), shortWait);
    QCOMPARE(result.status, DdeResult::Status::NoItem);

    QSignalSpy poked(m_items.get(), &DdeItemServer::poked);
    QVERIFY(client
                .poke(Service, QStringLiteral("Form5"), QStringLiteral("Text6"),
                      QStringLiteral("self"), shortWait)
                .ok());
    QCOMPARE(poked.count(), 1);
    QCOMPARE(m_items->text(6), QStringLiteral("self"));

    // The same through a second connection of this process.
    QDBusConnection second =
        QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("second"));
    result = DdeClient(second).request(Service, QStringLiteral("Form5"), QStringLiteral("Text4"),
                                       shortWait);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.text, QStringLiteral("2.5"));

    // The link source of the poll cycle, linked to this program's own item.
    DdeLinkSource source;
    QVERIFY(source.connectItem(1, {Service, QStringLiteral("Form5"), QStringLiteral("Text4")},
                               shortWait));
    QCOMPARE(source.requestItem(1).value_or(QString()), QStringLiteral("2.5"));
    QVERIFY(!source.requestItem(2));
    QVERIFY(!source.connectItem(
        1, {QStringLiteral("nobody"), QStringLiteral("Form5"), QStringLiteral("Text4")},
        shortWait));
    QVERIFY2(source.lastError().contains(QStringLiteral("nobody")), qPrintable(source.lastError()));
    QVERIFY(!source.requestItem(1));

    // A client on another thread goes over the bus while this thread serves.
    DdeResult fromThread;
    std::unique_ptr<QThread> worker(QThread::create([&fromThread] {
        fromThread = DdeClient().request(QStringLiteral("TELVIOXD"), QStringLiteral("Form5"),
                                         QStringLiteral("Text6"), 30000);
    }));
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->start();
    QVERIFY(finished.wait(60000));
    QVERIFY2(fromThread.ok(), qPrintable(fromThread.error));
    QCOMPARE(fromThread.text, QStringLiteral("self"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
}

QTEST_GUILESS_MAIN(TestDdeItemServer)
#include "tst_ddeitemserver.moc"
