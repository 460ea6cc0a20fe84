// The item pages through a real HTTP client: the three formats and a plain
// item, what is refused, and where the server listens.

#include "core/clock.h"
#include "publish/http/itemshttpserver.h"
#include "publish/publishing.h"
#include "server/ddeprogramitems.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace telviox;
using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 30000;

struct Answer
{
    int status = 0;
    QByteArray type;
    QByteArray allow;
    qint64 length = -1;
    QByteArray body;
};

Answer ask(const QByteArray &method, quint16 port, const QString &path)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(u"http://127.0.0.1:%1%2"_s.arg(port).arg(path)));
    // A custom "HEAD" would wait for the body its length announces.
    QNetworkReply *reply =
        method == "HEAD" ? manager.head(request) : manager.sendCustomRequest(request, method);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(Patience);
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    answer.allow = reply->rawHeader("Allow");
    answer.length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    answer.body = reply->readAll();
    reply->deleteLater();
    return answer;
}

} // namespace

class TestItemsHttpServer : public QObject
{
    Q_OBJECT

private:
    DdeProgramItems m_items;
    VirtualClock m_clock;
    ItemsHttpServer m_server{m_items, nullptr, m_clock};

private slots:
    void initTestCase()
    {
        m_items.FillText(1, u"+01.500"_s);
        m_items.FillText(2, u"a,b \"c\""_s);
        m_items.FillText(3, u"<b>&'x'"_s);
        m_items.FillText(4, u"25 °C"_s);
        QString error;
        QVERIFY2(m_server.listen(HttpSettings{}, &error), qPrintable(error));
    }

    void pages_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("part"); // in the body, or the whole plain body

        QTest::newRow("html") << "GET"_ba << u"/items.html"_s << 200 << "text/html"_ba
                              << "<tr><td>Text1</td><td>+01.500</td></tr>"_ba;
        QTest::newRow("html escapes")
            << "GET"_ba << u"/items.html"_s << 200 << "text/html"_ba
            << "<tr><td>Text3</td><td>&lt;b&gt;&amp;&#39;x&#39;</td></tr>"_ba;
        QTest::newRow("root is the table") << "GET"_ba << u"/"_s << 200 << "text/html"_ba
                                           << "<table id=\"items\""_ba;
        QTest::newRow("csv quotes") << "GET"_ba << u"/items.csv"_s << 200 << "text/csv"_ba
                                    << "\r\nText2,\"a,b \"\"c\"\"\",unknown,\r\n"_ba;
        QTest::newRow("csv utf-8")
            << "GET"_ba << u"/items.csv"_s << 200 << "text/csv"_ba << u"Text4,25 °C,"_s.toUtf8();
        QTest::newRow("plain item") << "GET"_ba << u"/items/Text2"_s << 200 << "text/plain"_ba
                                    << "a,b \"c\""_ba;
        QTest::newRow("empty item") << "GET"_ba << u"/items/Text32"_s << 200 << "text/plain"_ba
                                    << ""_ba;
        QTest::newRow("encoded name") << "GET"_ba << u"/items/Text%31"_s << 200 << "text/plain"_ba
                                      << "+01.500"_ba;
        QTest::newRow("unknown item") << "GET"_ba << u"/items/Text33"_s << 404 << "text/plain"_ba
                                      << "no item Text33"_ba;
        QTest::newRow("case matters") << "GET"_ba << u"/items/text1"_s << 404 << "text/plain"_ba
                                      << "no item"_ba;
        QTest::newRow("unknown page") << "GET"_ba << u"/secret"_s << 404 << "text/plain"_ba
                                      << "Not Found"_ba;
        QTest::newRow("post") << "POST"_ba << u"/items.html"_s << 405 << "text/plain"_ba
                              << "read-only"_ba;
        QTest::newRow("delete") << "DELETE"_ba << u"/items/Text1"_s << 405 << "text/plain"_ba
                                << "read-only"_ba;
    }

    void pages()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, part);
        const Answer answer = ask(method, m_server.serverPort(), path);
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.type.startsWith(type), answer.type.constData());
        if (answer.type.startsWith("text/plain") && status == 200)
            QCOMPARE(answer.body, part);
        else
            QVERIFY2(answer.body.contains(part), answer.body.constData());
        QCOMPARE(answer.length, answer.body.size());
        if (status == 405)
            QCOMPARE(answer.allow, "GET, HEAD"_ba);
        // Nothing written through the pages.
        QCOMPARE(m_items.text(1), u"+01.500"_s);
    }

    void everyItemOnce()
    {
        const QByteArray html = ask("GET", m_server.serverPort(), u"/items.html"_s).body;
        QCOMPARE(html.count("<tr><td>"), DdeProgramItems::ItemCount);
        const QList<QByteArray> csv =
            ask("GET", m_server.serverPort(), u"/items.csv"_s).body.split('\n');
        QCOMPARE(csv.size(), DdeProgramItems::ItemCount + 2); // header, rows, final empty
    }

    void json()
    {
        const Answer answer = ask("GET", m_server.serverPort(), u"/items.json"_s);
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.type.startsWith("application/json"));
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(answer.body, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray items = root.value(u"items"_s).toArray();
        QCOMPARE(items.size(), DdeProgramItems::ItemCount);
        const QJsonObject third = items.at(2).toObject();
        QCOMPARE(third.value(u"item"_s).toString(), u"Text3"_s);
        QCOMPARE(third.value(u"text"_s).toString(), u"<b>&'x'"_s);
        QCOMPARE(third.value(u"quality"_s).toString(), u"unknown"_s);
        QVERIFY(third.value(u"lastGood"_s).isNull());
    }

    void headHasNoBody()
    {
        const Answer get = ask("GET", m_server.serverPort(), u"/items.csv"_s);
        const Answer head = ask("HEAD", m_server.serverPort(), u"/items.csv"_s);
        QCOMPARE(head.status, 200);
        QVERIFY(head.body.isEmpty());
        QCOMPARE(head.length, get.body.size());
        // The connection is still fit for a following request.
        QCOMPARE(ask("GET", m_server.serverPort(), u"/items/Text1"_s).body, "+01.500"_ba);
    }

    void onlyLoopbackByDefault()
    {
        QCOMPARE(m_server.serverAddress(), QHostAddress(QHostAddress::LocalHost));
        QHostAddress outside;
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
                outside = address;
        }
        if (outside.isNull())
            QSKIP("this machine has no address beyond loopback");
        QTcpSocket socket;
        socket.connectToHost(outside, m_server.serverPort());
        QVERIFY(!socket.waitForConnected(Patience));
        QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
    }

    void portInUse()
    {
        ItemsHttpServer second(m_items, nullptr, m_clock);
        QString error;
        HttpSettings settings;
        settings.port = m_server.serverPort();
        QVERIFY(!second.listen(settings, &error));
        QVERIFY2(error.contains(u"127.0.0.1:%1 is in use"_s.arg(settings.port)), qPrintable(error));
        QVERIFY(!second.isListening());
    }

    void facadeReportsAndKeepsTheRest()
    {
        // HTTP cannot have its port, MQTT's settings are wrong: both told,
        // neither running; a good HTTP part runs beside a bad MQTT part.
        Publishing publishing(m_items, nullptr, m_clock);
        PublishSettings settings;
        settings.http = HttpSettings{};
        settings.http->port = m_server.serverPort();
        settings.mqtt = MqttSettings{};
        settings.mqtt->host = u"127.0.0.1"_s;
        settings.mqtt->certFile = u"/nonexistent/client.crt"_s;
        QStringList errors = publishing.start(settings);
        QCOMPARE(errors.size(), 2);
        QVERIFY(!publishing.http());
        QVERIFY(!publishing.mqtt());

        settings.http->port = 0;
        QSignalSpy told(&publishing, &Publishing::message);
        errors = publishing.start(settings);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().startsWith(u"MQTT: "_s));
        QVERIFY(publishing.http() && publishing.http()->isListening());
        QCOMPARE(told.size(), 1);
        QVERIFY(told.first().first().toString().contains(u"/items.html"_s));
        const quint16 port = publishing.http()->serverPort();
        QCOMPARE(ask("GET", port, u"/items/Text1"_s).body, "+01.500"_ba);
        publishing.stop();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!socket.waitForConnected(Patience));
    }
};

QTEST_GUILESS_MAIN(TestItemsHttpServer)
#include "tst_itemshttpserver.moc"
