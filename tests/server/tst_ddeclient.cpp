#include "ddetestbus.h"
#include "server/ddeclient.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

using namespace telviox;
using telviox::test::LineProcess;
using telviox::test::programPath;
using telviox::test::TestBus;

namespace {

const QString Service = QStringLiteral("Other App");
const QString Topic = QStringLiteral("sheet 1");

// A server in a process of its own, so that the client here may block.
bool startServer(LineProcess &server, const QStringList &items)
{
    if (!server.start(programPath(QStringLiteral("telvioxd-dde")),
                      QStringList{QStringLiteral("serve"), Service, Topic} + items))
        return false;
    QString line;
    return server.nextLine(&line) && line == u"ready dde.Other_20App /sheet_201";
}

} // namespace

class TestDdeClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void requestAndPoke();
    void failuresNameTheirCause();
    void silentServerRunsIntoTheWait();
    void adviseLinkFollowsOneItemAcrossRestarts();

private:
    TestBus m_bus;
};

void TestDdeClient::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
}

void TestDdeClient::requestAndPoke()
{
    LineProcess server;
    QVERIFY2(startServer(server, {QStringLiteral("R1C1=2.5"), QStringLiteral("R2C1")}),
             qPrintable(server.errors()));
    const DdeClient client;

    DdeResult result = client.request(Service, Topic, QStringLiteral("R1C1"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.text, QStringLiteral("2.5"));
    result = client.request(Service, Topic, QStringLiteral("R2C1"));
    QVERIFY(result.ok());
    QCOMPARE(result.text, QString());

    result = client.poke(Service, Topic, QStringLiteral("R2C1"), QStringLiteral("-7 units"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QString line;
    QVERIFY(server.nextLine(&line));
    QCOMPARE(line, QStringLiteral("R2C1=-7 units"));
    QCOMPARE(client.request(Service, Topic, QStringLiteral("R2C1")).text,
             QStringLiteral("-7 units"));
}

void TestDdeClient::failuresNameTheirCause()
{
    const DdeClient client;
    // Nobody serves it: the bus says so at once, long before the full wait.
    DdeResult result = client.request(QStringLiteral("Absent"), Topic, QStringLiteral("R1C1"));
    QCOMPARE(result.status, DdeResult::Status::NoService);
    QVERIFY2(result.error.contains(QStringLiteral("\"Absent\"")), qPrintable(result.error));
    QCOMPARE(
        client.poke(QStringLiteral("Absent"), Topic, QStringLiteral("R1C1"), QStringLiteral("x"))
            .status,
        DdeResult::Status::NoService);
    QCOMPARE(client.checkService(QStringLiteral("Absent")).status, DdeResult::Status::NoService);
    QCOMPARE(client.request(QString(), Topic, QStringLiteral("R1C1")).status,
             DdeResult::Status::InvalidName);

    LineProcess server;
    QVERIFY2(startServer(server, {QStringLiteral("R1C1=1")}), qPrintable(server.errors()));
    QVERIFY(client.checkService(Service).ok());
    result = client.request(Service, QStringLiteral("sheet 2"), QStringLiteral("R1C1"));
    QCOMPARE(result.status, DdeResult::Status::NoTopic);
    QVERIFY2(result.error.contains(QStringLiteral("sheet 2")), qPrintable(result.error));
    result = client.request(Service, Topic, QStringLiteral("R9C9"));
    QCOMPARE(result.status, DdeResult::Status::NoItem);
    QVERIFY2(result.error.contains(QStringLiteral("R9C9")), qPrintable(result.error));
    result = client.poke(Service, Topic, QStringLiteral("R9C9"), QStringLiteral("x"));
    QCOMPARE(result.status, DdeResult::Status::NoItem);

    // Gone again: missing, not silent.
    server.stop();
    QCOMPARE(client.request(Service, Topic, QStringLiteral("R1C1")).status,
             DdeResult::Status::NoService);
}

void TestDdeClient::silentServerRunsIntoTheWait()
{
    LineProcess server;
    QVERIFY2(startServer(server, {QStringLiteral("R1C1=1")}), qPrintable(server.errors()));
    const auto pid = pid_t(server.process().processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    const DdeResult result = DdeClient().request(Service, Topic, QStringLiteral("R1C1"), 300);
    ::kill(pid, SIGCONT);
    QCOMPARE(result.status, DdeResult::Status::NoReply);
    QVERIFY(!result.error.isEmpty());
    // The late answer to the abandoned call does not confuse the next one.
    const DdeResult again = DdeClient().request(Service, Topic, QStringLiteral("R1C1"));
    QVERIFY2(again.ok(), qPrintable(again.error));
    QCOMPARE(again.text, QStringLiteral("1"));
}

void TestDdeClient::adviseLinkFollowsOneItemAcrossRestarts()
{
    DdeAdviseLink link(QDBusConnection::sessionBus(), Service, Topic, QStringLiteral("R1C1"));
    QVERIFY2(link.isActive(), qPrintable(link.errorString()));
    QSignalSpy advised(&link, &DdeAdviseLink::advised);

    for (int run = 1; run <= 2; ++run) {
        LineProcess server;
        QVERIFY2(startServer(server, {QStringLiteral("R1C1=0"), QStringLiteral("R1C2=0")}),
                 qPrintable(server.errors()));
        // R1C2 changes first: a link that heard other items would report it
        // before R1C1.
        server.write("R1C2=not heard\nR1C1=" + QByteArray::number(run) + "\n");
        while (advised.count() < run)
            QVERIFY(advised.wait(30000));
        QCOMPARE(advised.last(), (QList<QVariant>{QStringLiteral("R1C1"), QString::number(run)}));
    }
    QCOMPARE(advised.count(), 2);
}

QTEST_GUILESS_MAIN(TestDdeClient)
#include "tst_ddeclient.moc"
