// The items on a real mosquitto broker: retained texts and quality, the
// status and its last will, writes as pokes, reconnecting, a password.

#include "brokerfixture.h"
#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "device/seriallink.h"
#include "publish/mqtt/mqttpublisher.h"
#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace telviox;
using namespace telviox::test;
using namespace Qt::StringLiterals;

namespace {

const QString Base = u"telvioxd/TELVIOXD/Form5/"_s;
const QString Status = u"telvioxd/TELVIOXD/status"_s;

MqttSettings settingsFor(const Broker &broker)
{
    MqttSettings settings;
    settings.host = u"127.0.0.1"_s;
    settings.port = broker.port();
    settings.lastRetrySeconds = 2;
    return settings;
}

bool anyMessageContains(const QSignalSpy &spy, const QString &part)
{
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).toString().contains(part))
            return true;
    }
    return false;
}

// Started and connected within Patience.
bool connects(MqttPublisher &publisher)
{
    QString error;
    return publisher.start(&error) &&
           QTest::qWaitFor([&publisher] { return publisher.isConnected(); }, Patience);
}

// Line diagnostics with nothing on the line: visits are told by hand.
struct Diagnostics
{
    SharedState state;
    VirtualClock clock;
    SerialLink link{clock};
    LineDiagnostics diagnostics{state, link, clock};

    void failVisit(int position, qint16 code)
    {
        diagnostics.visitStarted(0, qint16(position));
        diagnostics.moduleError(code);
        diagnostics.visitEnded();
    }
};

} // namespace

class TestMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!Broker::installed())
            QSKIP("mosquitto is not installed");
    }

    void retainedItemsQualityAndStatus()
    {
        Broker broker;
        QVERIFY(broker.start());
        DdeProgramItems items;
        items.FillText(1, u"+01.500"_s);
        items.FillText(2, u"a b, \"c\""_s);
        items.FillText(3, u"25 °C"_s);
        Diagnostics line;
        line.failVisit(1, -5);

        MqttPublisher publisher(items, &line.diagnostics, settingsFor(broker));
        QVERIFY(connects(publisher));

        // The three filled items, every quality and the status; an empty
        // text is an empty retained message, which the broker keeps as none.
        QCOMPARE(broker.retained(u"telvioxd/#"_s, 36).size(), 36);
        QCOMPARE(broker.retainedText(Base + u"Text1"_s), u"+01.500"_s);
        QCOMPARE(broker.retainedText(Base + u"Text2"_s), u"a b, \"c\""_s);
        QCOMPARE(broker.retainedText(Base + u"Text3"_s), u"25 °C"_s);
        QCOMPARE(broker.retainedText(Status), u"online"_s);
        const QJsonObject quality =
            QJsonDocument::fromJson(broker.retainedText(Base + u"Text1/quality"_s).toUtf8())
                .object();
        QCOMPARE(quality.value(u"quality"_s).toString(), u"bad"_s);
        QCOMPARE(quality.value(u"code"_s).toInt(), -5);
        QVERIFY(quality.value(u"lastGood"_s).isNull());
        QVERIFY(!quality.value(u"report"_s).toString().isEmpty());

        // Changes follow: a text, and the quality after the table's reset.
        items.FillText(2, u"changed"_s);
        QTRY_COMPARE_WITH_TIMEOUT(broker.retainedText(Base + u"Text2"_s), u"changed"_s, Patience);
        line.diagnostics.reset();
        QTRY_VERIFY_WITH_TIMEOUT(
            broker.retainedText(Base + u"Text1/quality"_s).contains(u"\"unknown\""_s), Patience);

        // A clean stop says so.
        publisher.stop();
        QVERIFY(!publisher.isConnected());
        QCOMPARE(broker.retainedText(Status), u"offline"_s);
    }

    void writesArePokes()
    {
        Broker broker;
        QVERIFY(broker.start());
        DdeProgramItems items;
        QSignalSpy poked(&items, &DdeItemServer::poked);
        auto publisher = std::make_unique<MqttPublisher>(items, nullptr, settingsFor(broker));
        QSignalSpy messages(publisher.get(), &MqttPublisher::message);
        QVERIFY(connects(*publisher));

        QVERIFY(broker.publish(Base + u"Text5/set"_s, "42"));
        QTRY_COMPARE_WITH_TIMEOUT(items.text(5), u"42"_s, Patience);
        QCOMPARE(poked.size(), 1);
        // The poked text is published like any other change.
        QTRY_COMPARE_WITH_TIMEOUT(broker.retainedText(Base + u"Text5"_s), u"42"_s, Patience);

        // Writes that must not reach an item.
        QVERIFY(broker.publish(Base + u"Text99/set"_s, "1"));
        QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(messages, u"unknown item"_s), Patience);
        QVERIFY(
            broker.publish(Base + u"Text6/set"_s, QByteArray(MqttPublisher::MaxSetBytes + 1, 'x')));
        QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(messages, u"bytes to Text6"_s), Patience);
        QVERIFY(items.text(6).isEmpty());

        // A retained write takes effect once, when it is made ...
        QVERIFY(broker.publish(Base + u"Text7/set"_s, "first", true));
        QTRY_COMPARE_WITH_TIMEOUT(items.text(7), u"first"_s, Patience);
        items.poke(u"Text7"_s, u"second"_s);
        // ... and is not replayed over later writes by the next session.
        publisher = std::make_unique<MqttPublisher>(items, nullptr, settingsFor(broker));
        QSignalSpy again(publisher.get(), &MqttPublisher::message);
        QString error;
        QVERIFY(publisher->start(&error));
        QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(again, u"retained write"_s), Patience);
        QCOMPARE(items.text(7), u"second"_s);
        QCOMPARE(poked.size(), 3); // Text5, Text7 from the broker, Text7 here
    }

    void lastWillWhenThePublisherIsKilled()
    {
        Broker broker;
        QVERIFY(broker.start());
        QProcess helper;
        helper.start(QStringLiteral(PUBLISH_HELPER), {QString::number(broker.port())});
        QVERIFY(helper.waitForStarted(Patience));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += helper.readAllStandardOutput()).contains("connected"),
                                 Patience);

        QProcess watcher;
        watcher.start(findProgram(u"mosquitto_sub"_s),
                      {u"-h"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(broker.port()), u"-t"_s,
                       Status, u"-v"_s, u"-C"_s, u"2"_s, u"-W"_s,
                       QString::number(Patience / 1000)});
        QByteArray seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen += watcher.readAllStandardOutput()).contains("online"),
                                 Patience);
        QCOMPARE(broker.retainedText(Base + u"Text1"_s), u"alive"_s);

        ::kill(pid_t(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(Patience));
        QTRY_VERIFY_WITH_TIMEOUT(watcher.state() == QProcess::NotRunning, Patience * 2);
        seen += watcher.readAllStandardOutput();
        QCOMPARE(QString::fromUtf8(seen).split(u'\n', Qt::SkipEmptyParts),
                 QStringList({Status + u" online"_s, Status + u" offline"_s}));
        QCOMPARE(broker.retainedText(Status), u"offline"_s);
    }

    void reconnectsAfterTheBrokerRestarts()
    {
        Broker broker;
        QVERIFY(broker.start());
        DdeProgramItems items;
        items.FillText(1, u"before"_s);
        MqttPublisher publisher(items, nullptr, settingsFor(broker));
        QSignalSpy messages(&publisher, &MqttPublisher::message);
        QVERIFY(connects(publisher));

        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!publisher.isConnected(), Patience);
        QVERIFY(anyMessageContains(messages, u"lost"_s));
        items.FillText(1, u"while away"_s);

        // The new broker knows nothing: everything comes again.
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), Patience);
        QCOMPARE(broker.retainedText(Base + u"Text1"_s), u"while away"_s);
        QCOMPARE(broker.retainedText(Status), u"online"_s);
    }

    void stopsWhileTheBrokerSaysNothing()
    {
        // A listener that takes the connection and never answers: the stop
        // must not wait for the broker.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        DdeProgramItems items;
        MqttSettings settings;
        settings.host = u"127.0.0.1"_s;
        settings.port = silent.serverPort();
        MqttPublisher publisher(items, nullptr, settings);
        QString error;
        QVERIFY(publisher.start(&error));
        QVERIFY(silent.waitForNewConnection(Patience));
        items.FillText(1, u"nobody hears this"_s);
        publisher.stop();
        QVERIFY(!publisher.isConnected());
    }

    void toldWhenNoBrokerListens()
    {
        DdeProgramItems items;
        MqttSettings settings;
        settings.host = u"127.0.0.1"_s;
        settings.port = freePort();
        MqttPublisher publisher(items, nullptr, settings);
        QSignalSpy messages(&publisher, &MqttPublisher::message);
        QString error;
        QVERIFY(publisher.start(&error));
        QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(messages, u"cannot connect to 127.0.0.1:"_s),
                                 Patience);
        QVERIFY(!publisher.isConnected());
    }

    void tls_data()
    {
        QTest::addColumn<QString>("ca");
        QTest::addColumn<bool>("clientCertificate");
        QTest::addColumn<bool>("connects");
        QTest::newRow("trusted, with certificate") << u"ca.pem"_s << true << true;
        QTest::newRow("no client certificate") << u"ca.pem"_s << false << false;
        QTest::newRow("broker not trusted") << u"other-ca.pem"_s << true << false;
    }

    void tls()
    {
        QFETCH(QString, ca);
        QFETCH(bool, clientCertificate);
        QFETCH(bool, connects);
        if (!TlsFiles::available())
            QSKIP("openssl is not installed");
        TlsFiles files;
        QVERIFY(files.make());
        Broker broker;
        QVERIFY(broker.start({}, {}, files.brokerConfig()));
        DdeProgramItems items;
        items.FillText(9, u"secret"_s);
        MqttSettings settings = settingsFor(broker);
        settings.caFile = files.path(ca);
        if (clientCertificate) {
            settings.certFile = files.path(u"client.pem"_s);
            settings.keyFile = files.path(u"client.key"_s);
        }
        MqttPublisher publisher(items, nullptr, settings);
        QSignalSpy messages(&publisher, &MqttPublisher::message);
        QString error;
        QVERIFY2(publisher.start(&error), qPrintable(error));
        if (!connects) {
            QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(messages, u"cannot connect"_s), Patience);
            QVERIFY(!publisher.isConnected());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), Patience);
        const QStringList lines =
            broker.retained(Base + u"Text9"_s, 1,
                            {u"--cafile"_s, files.path(u"ca.pem"_s), u"--cert"_s,
                             files.path(u"client.pem"_s), u"--key"_s, files.path(u"client.key"_s)});
        QCOMPARE(lines, QStringList{Base + u"Text9 secret"_s});
    }

    void userAndPassword()
    {
        Broker broker;
        QVERIFY(broker.start(u"plant"_s, u"s3cret, too"_s));
        DdeProgramItems items;
        items.FillText(4, u"guarded"_s);

        MqttSettings wrong = settingsFor(broker);
        wrong.user = u"plant"_s;
        wrong.password = u"guess"_s;
        MqttPublisher refused(items, nullptr, wrong);
        QSignalSpy refusals(&refused, &MqttPublisher::message);
        QString error;
        QVERIFY(refused.start(&error));
        QTRY_VERIFY_WITH_TIMEOUT(anyMessageContains(refusals, u"refused"_s), Patience);
        QVERIFY(!refused.isConnected());
        refused.stop();

        MqttSettings right = wrong;
        right.password = u"s3cret, too"_s;
        MqttPublisher publisher(items, nullptr, right);
        QVERIFY(connects(publisher));
        const QStringList lines =
            broker.retained(Base + u"Text4"_s, 1, {u"-u"_s, u"plant"_s, u"-P"_s, u"s3cret, too"_s});
        QCOMPARE(lines, QStringList{Base + u"Text4 guarded"_s});
    }
};

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqttpublisher.moc"
