// telvioxd-serve publishing the demonstration line: the items on a real
// broker and over HTTP while it serves, "offline" after its stop, and the
// start refused for publishing options that cannot work.

#include "brokerfixture.h"
#include "support/endprocess.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace telviox;
using namespace telviox::test;
using namespace Qt::StringLiterals;

namespace {

const QString Base = u"telvioxd/TELVIOXD/Form5/"_s;
const QString Status = u"telvioxd/TELVIOXD/status"_s;

QString program(const QString &name)
{
    return QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(name);
}

QString source(const QString &name)
{
    return QDir(qEnvironmentVariable("TELVIOXD_SOURCE")).filePath(name);
}

QByteArray httpGet(quint16 port, const QString &path)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply =
        manager.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1%2"_s.arg(port).arg(path))));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(Patience);
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

} // namespace

class TestServePublishing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!Broker::installed())
            QSKIP("mosquitto is not installed");
        QString reason;
        if (!m_bus.start(&reason))
            QSKIP(qPrintable(reason));
        QVERIFY(m_home.isValid());
        QVERIFY(QDir(m_home.path()).mkpath(u"ports"_s));
        m_cnv = QDir(m_home.path()).filePath(u"demo.cnv"_s);
        QCOMPARE(runTool(program(u"telvioxd-cnv"_s),
                         {u"import"_s, source(u"sim/demo-list.json"_s), m_cnv})
                     .exitCode,
                 0);
    }

    void cleanup()
    {
        endProcess(m_serve, Patience);
        endProcess(m_sim, Patience);
    }

    void publishesWhileServing()
    {
        Broker broker;
        QVERIFY(broker.start());
        m_sim.setProcessChannelMode(QProcess::MergedChannels);
        m_sim.start(program(u"telvioxd-sim"_s),
                    {u"--line"_s, source(u"sim/demo-line.json"_s), u"--link"_s,
                     QDir(m_home.path()).filePath(u"ports/com1"_s)});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += m_sim.readAll()).contains("serving"), Patience);

        const quint16 httpPort = freePort();
        m_serve.start(program(u"telvioxd-serve"_s),
                      {u"--home"_s, m_home.path(), u"--mqtt"_s,
                       u"127.0.0.1:%1"_s.arg(broker.port()), u"--http"_s, QString::number(httpPort),
                       m_cnv});
        QVERIFY(m_serve.waitForStarted(Patience));

        // The first conversation's value, on the broker and on the page.
        QTRY_VERIFY_WITH_TIMEOUT(!broker.retainedText(Base + u"Text1"_s).trimmed().isEmpty(),
                                 Patience * 2);
        QCOMPARE(broker.retainedText(Status), u"online"_s);
        QVERIFY(broker.retainedText(Base + u"Text1/quality"_s).contains(u"\"good\""_s));
        QVERIFY(!httpGet(httpPort, u"/items/Text1"_s).trimmed().isEmpty());
        QVERIFY(httpGet(httpPort, u"/items.html"_s).contains("<tr><td>Text1</td><td>"));

        // A write through the broker reaches the item on the page.
        QVERIFY(broker.publish(Base + u"Text20/set"_s, "from the broker"));
        QTRY_COMPARE_WITH_TIMEOUT(httpGet(httpPort, u"/items/Text20"_s), "from the broker"_ba,
                                  Patience);

        m_serve.terminate();
        QVERIFY(m_serve.waitForFinished(Patience));
        QCOMPARE(m_serve.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_serve.exitCode(), 0);
        QCOMPARE(broker.retainedText(Status), u"offline"_s);
    }

    void refusedStarts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad broker") << QStringList{u"--mqtt=b:0"_s} << 2 << u"--mqtt: bad port"_s;
        QTest::newRow("port in use") << QStringList{u"--http=PORT"_s} << 1 << u"is in use"_s;
    }

    void refusedStarts()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        args.replaceInStrings(u"PORT"_s, QString::number(taken.serverPort()));
        const ToolRun result =
            runTool(program(u"telvioxd-serve"_s),
                    QStringList{u"--home"_s, m_home.path()} + args + QStringList{m_cnv});
        QCOMPARE(result.exitCode, status);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
    }

private:
    TestBus m_bus;
    QTemporaryDir m_home;
    QString m_cnv;
    QProcess m_sim;
    QProcess m_serve;
};

QTEST_GUILESS_MAIN(TestServePublishing)
#include "tst_servepublishing.moc"
