// Addresses as typed, the telvioxd.ini sections, and the MQTT topics.

#include "publish/hostport.h"
#include "publish/mqtt/mqttsettings.h"
#include "publish/publishing.h"
#include "publish/publishoptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace telviox;
using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "host:port user password ca-file-name"; empty when there is none.
QString described(const std::optional<MqttSettings> &m)
{
    if (!m)
        return {};
    const QString ca = m->caFile.isEmpty() ? QString() : QFileInfo(m->caFile).fileName();
    return u"%1 %2 %3 %4"_s.arg(formatHostPort(m->host, m->effectivePort()), m->user, m->password,
                                ca);
}

// "address:port"; empty when there is none.
QString described(const std::optional<HttpSettings> &h)
{
    return h ? formatHostPort(h->address.toString(), h->port) : QString();
}

} // namespace

class TestPublishSettings : public QObject
{
    Q_OBJECT

private slots:
    void hostPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");     // 0: none given
        QTest::addColumn<QString>("error");

        QTest::newRow("name") << u"broker.plant"_s << u"broker.plant"_s << 0 << QString();
        QTest::newRow("name and port") << u" broker:1884 "_s << u"broker"_s << 1884 << QString();
        QTest::newRow("v6 bracketed") << u"[::1]:8883"_s << u"::1"_s << 8883 << QString();
        QTest::newRow("empty") << u""_s << QString() << 0 << u"no host"_s;
        QTest::newRow("port only") << u":1883"_s << QString() << 0 << u"no host"_s;
        QTest::newRow("port 0") << u"b:0"_s << QString() << 0 << u"bad port \"0\""_s;
        QTest::newRow("port too big") << u"b:65536"_s << QString() << 0 << u"bad port"_s;
        QTest::newRow("signed port") << u"b:+80"_s << QString() << 0 << u"bad port"_s;
        QTest::newRow("open bracket") << u"[::1:80"_s << QString() << 0 << u"missing \"]\""_s;
        QTest::newRow("after bracket") << u"[::1]80"_s << QString() << 0 << u"unexpected"_s;
        QTest::newRow("blank in host") << u"my broker"_s << QString() << 0 << u"bad host"_s;
        QTest::newRow("url") << u"mqtt://b"_s << QString() << 0 << u"bad"_s;
    }

    void hostPort()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, error);
        QString why;
        const std::optional<HostPort> parsed = parseHostPort(text, &why);
        QCOMPARE(parsed.has_value(), !host.isEmpty());
        if (!parsed) {
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QCOMPARE(parsed->host, host);
        QCOMPARE(parsed->port.value_or(0), port);
    }

    void listenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("port") << u"8080"_s << true << QString() << 8080;
        QTest::newRow("any v4") << u"0.0.0.0:8080"_s << true << u"0.0.0.0"_s << 8080;
        QTest::newRow("v6") << u"[::1]:81"_s << true << u"::1"_s << 81;
        QTest::newRow("name") << u"localhost:8080"_s << false << QString() << 0;
        QTest::newRow("no address") << u":8080"_s << false << QString() << 0;
        QTest::newRow("port 0") << u"0"_s << false << QString() << 0;
        QTest::newRow("empty") << u""_s << false << QString() << 0;
    }

    void listenAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString why;
        const std::optional<HostPort> parsed = parseListenAddress(text, &why);
        QCOMPARE(parsed.has_value(), ok);
        if (!ok) {
            QVERIFY(why.contains(text.isEmpty() ? u"no port"_s : text));
            return;
        }
        QCOMPARE(parsed->host, host);
        QCOMPARE(parsed->port.value_or(0), port);
    }

    void ini_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // a part of the only error; empty: none
        QTest::addColumn<QString>("mqtt");  // "host:port user password ca"; empty: none
        QTest::addColumn<QString>("http");  // "address:port"; empty: none

        QTest::newRow("no sections") << u"[other]\nx=1\n"_s << QString() << QString() << QString();
        QTest::newRow("both") << u"[mqtt]\nbroker=b:1884\nuser=u\npassword=p\n"
                                 u"[http]\nlisten=8080\n"_s
                              << QString() << u"b:1884 u p "_s << u"127.0.0.1:8080"_s;
        QTest::newRow("password file") << u"[mqtt]\nbroker=b\nuser=u\npassword_file=secret.txt\n"_s
                                       << QString() << u"b:1883 u from-file "_s << QString();
        QTest::newRow("tls port") << u"[mqtt]\nbroker=b\ntls_ca=secret.txt\n"_s << QString()
                                  << u"b:8883   secret.txt"_s << QString();
        QTest::newRow("comments and quotes")
            << u"; publishing\n[mqtt]\nbroker=b:1884   ; the broker\nuser=u\n"
               u"password=\"a;b,c\"   ; quoted\n[http]\nlisten=8080 ; local\n"_s
            << QString() << u"b:1884 u a;b,c "_s << u"127.0.0.1:8080"_s;
        QTest::newRow("no broker")
            << u"[mqtt]\nuser=u\n"_s << u"[mqtt] needs broker"_s << QString() << QString();
        QTest::newRow("bad broker")
            << u"[mqtt]\nbroker=b:x\n"_s << u"[mqtt] broker: bad port"_s << QString() << QString();
        QTest::newRow("two passwords")
            << u"[mqtt]\nbroker=b\nuser=u\npassword=p\npassword_file=secret.txt\n"_s
            << u"both password and password_file"_s << QString() << QString();
        QTest::newRow("missing password file")
            << u"[mqtt]\nbroker=b\nuser=u\npassword_file=none.txt\n"_s << u"does not exist"_s
            << QString() << QString();
        QTest::newRow("password without user") << u"[mqtt]\nbroker=b\npassword=p\n"_s
                                               << u"needs a user name"_s << QString() << QString();
        QTest::newRow("certificate without key")
            << u"[mqtt]\nbroker=b\ntls_ca=secret.txt\ntls_cert=secret.txt\n"_s << u"needs its key"_s
            << QString() << QString();
        QTest::newRow("missing CA")
            << u"[mqtt]\nbroker=b\ntls_ca=ca.pem\n"_s << u"CA file"_s << QString() << QString();
        QTest::newRow("misspelt key")
            << u"[mqtt]\nbroker=b\nuesr=u\n"_s << u"unknown key \"uesr\" in [mqtt]"_s
            << u"b:1883   "_s << QString();
        QTest::newRow("bad listen")
            << u"[http]\nlisten=host:80\n"_s
            << u"[http] listen: \"host\" in \"host:80\" is not an IP address"_s << QString()
            << QString();
    }

    void ini()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(QString, mqtt);
        QFETCH(QString, http);
        QTemporaryDir dir;
        const QString ini = dir.filePath(PublishIni::FileName);
        QVERIFY(writeFile(ini, text.toUtf8()));
        QVERIFY(writeFile(dir.filePath(u"secret.txt"_s), "from-file\r\nsecond line\n"));

        const PublishIniResult result = readPublishIni(dir.path());
        if (error.isEmpty()) {
            QCOMPARE(result.errors, QStringList());
        } else {
            QVERIFY2(result.errors.size() >= 1, qPrintable(result.errors.join(u'\n')));
            QVERIFY2(result.errors.first().contains(error), qPrintable(result.errors.first()));
            QVERIFY(result.errors.first().startsWith(ini));
        }
        QCOMPARE(described(result.settings.mqtt), mqtt);
        QCOMPARE(described(result.settings.http), http);
    }

    void noFileNoPublishing()
    {
        QTemporaryDir dir;
        const PublishIniResult result = readPublishIni(dir.path());
        QVERIFY(result.errors.isEmpty());
        QVERIFY(result.settings.isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error"); // part of the usage error; empty: none
        QTest::addColumn<QString>("mqtt");  // "host:port user password ca"; empty: none
        QTest::addColumn<QString>("http");  // "address:port"; empty: none

        QTest::newRow("nothing") << QStringList() << QString() << QString() << QString();
        QTest::newRow("both") << QStringList{u"--mqtt"_s, u"b"_s, u"--http"_s, u"8080"_s}
                              << QString() << u"b:1883   "_s << u"127.0.0.1:8080"_s;
        QTest::newRow("user and password file")
            << QStringList{u"--mqtt=b:1884"_s, u"--mqtt-user=u"_s,
                           u"--mqtt-password-file=PASSWORDS"_s}
            << QString() << u"b:1884 u from-file "_s << QString();
        QTest::newRow("http anywhere")
            << QStringList{u"--http=0.0.0.0:80"_s} << QString() << QString() << u"0.0.0.0:80"_s;
        QTest::newRow("user without broker")
            << QStringList{u"--mqtt-user=u"_s} << u"--mqtt-user needs --mqtt"_s << QString()
            << QString();
        QTest::newRow("bad broker")
            << QStringList{u"--mqtt=b:99999"_s} << u"--mqtt: bad port"_s << QString() << QString();
        QTest::newRow("bad http") << QStringList{u"--http=name:80"_s} << u"--http: \"name\" in"_s
                                  << QString() << QString();
        QTest::newRow("missing password file")
            << QStringList{u"--mqtt=b"_s, u"--mqtt-user=u"_s, u"--mqtt-password-file=/none"_s}
            << u"--mqtt-password-file: password file /none does not exist"_s << QString()
            << QString();
        QTest::newRow("key without certificate")
            << QStringList{u"--mqtt=b"_s, u"--mqtt-tls-ca=PASSWORDS"_s,
                           u"--mqtt-tls-key=PASSWORDS"_s}
            << u"needs its certificate"_s << QString() << QString();
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QFETCH(QString, mqtt);
        QFETCH(QString, http);
        QTemporaryDir dir;
        const QString passwords = dir.filePath(u"passwords"_s);
        QVERIFY(writeFile(passwords, "from-file\n"));
        args.replaceInStrings(u"PASSWORDS"_s, passwords);

        QCommandLineParser parser;
        const PublishCommandLine options;
        options.addTo(parser);
        QVERIFY(parser.parse(QStringList{u"program"_s} + args));
        QString message;
        const std::optional<PublishSettings> settings = options.read(parser, &message);
        QCOMPARE(settings.has_value(), error.isEmpty());
        if (!settings) {
            QVERIFY2(message.contains(error), qPrintable(message));
            return;
        }
        QCOMPARE(described(settings->mqtt), mqtt);
        QCOMPARE(described(settings->http), http);
    }

    void setTopics_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("item");
        QTest::newRow("item") << u"telvioxd/TELVIOXD/Form5/Text3/set"_s << u"Text3"_s;
        QTest::newRow("the item itself") << u"telvioxd/TELVIOXD/Form5/Text3"_s << QString();
        QTest::newRow("quality") << u"telvioxd/TELVIOXD/Form5/Text3/quality"_s << QString();
        QTest::newRow("no item") << u"telvioxd/TELVIOXD/Form5//set"_s << QString();
        QTest::newRow("other topic") << u"telvioxd/TELVIOXD/Form6/Text3/set"_s << QString();
    }

    void setTopics()
    {
        QFETCH(QString, topic);
        QFETCH(QString, item);
        QCOMPARE(mqtttopics::itemOfSet(u"TELVIOXD"_s, u"Form5"_s, topic), item);
    }
};

QTEST_GUILESS_MAIN(TestPublishSettings)
#include "tst_publishsettings.moc"
