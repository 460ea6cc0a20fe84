#pragma once

// A real mosquitto broker on a free loopback port, and mosquitto_sub /
// mosquitto_pub runs (runTool keeps the test's event loop turning, so that
// what the publisher hands over is served while they run).

#include "server/ddetestbus.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace telviox::test {

using namespace Qt::StringLiterals;

// Generous limits: the machine is shared; nothing is timed.
constexpr int Patience = 30000;

inline QString findProgram(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/usr/local/sbin"_s});
    return path;
}

inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Broker
{
public:
    static QString program() { return findProgram(u"mosquitto"_s); }
    static bool installed()
    {
        return !program().isEmpty() && !findProgram(u"mosquitto_sub"_s).isEmpty() &&
               !findProgram(u"mosquitto_pub"_s).isEmpty();
    }

    ~Broker() { stop(); }

    // Writes the configuration (and a password file for user/password) and
    // starts the broker; true once it accepts connections.
    // extraConfig goes into the listener's configuration (TLS files).
    bool start(const QString &user = {}, const QString &password = {},
               const QString &extraConfig = {})
    {
        if (!m_dir.isValid())
            return false;
        if (m_port == 0)
            m_port = freePort();
        QString config = u"listener %1 127.0.0.1\nlog_type error\nlog_type warning\n"_s.arg(m_port);
        // Started by root, the broker would become the user "mosquitto" and
        // lose the password file in the test's private folder.
        if (::getuid() == 0)
            config += u"user root\n"_s;
        if (user.isEmpty()) {
            config += u"allow_anonymous true\n"_s;
        } else {
            const QString passwords = m_dir.filePath(u"passwords"_s);
            if (!QFileInfo::exists(passwords) &&
                runTool(findProgram(u"mosquitto_passwd"_s),
                        {u"-b"_s, u"-c"_s, passwords, user, password})
                        .exitCode != 0)
                return false;
            config += u"allow_anonymous false\npassword_file %1\n"_s.arg(passwords);
        }
        config += extraConfig;
        QFile file(m_dir.filePath(u"mosquitto.conf"_s));
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process->start(program(), {u"-c"_s, file.fileName()});
        if (!m_process->waitForStarted(Patience))
            return false;
        for (int attempt = 0; attempt < 300; ++attempt) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(1000))
                return true;
            if (m_process->state() == QProcess::NotRunning)
                return false;
            QTest::qWait(100);
        }
        return false;
    }

    // Ends the broker at once, as a crash or a restart would.
    void stop()
    {
        if (!m_process)
            return;
        m_process->kill();
        m_process->waitForFinished(Patience);
        m_process.reset();
    }

    quint16 port() const { return m_port; }

    // The retained messages under filter as "topic payload" lines: count of
    // them, waiting at most Patience. extra: more mosquitto_sub options.
    QStringList retained(const QString &filter, int count, const QStringList &extra = {}) const
    {
        QStringList args{u"-h"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(m_port),
                         u"-t"_s, filter};
        args << u"-v"_s << u"-C"_s << QString::number(count) << u"-W"_s
             << QString::number(Patience / 1000) << extra;
        return runTool(findProgram(u"mosquitto_sub"_s), args).out.split(u'\n', Qt::SkipEmptyParts);
    }

    // The retained payload of one topic ("" when there is none yet).
    QString retainedText(const QString &topic) const
    {
        const QStringList lines = retained(topic, 1);
        if (lines.isEmpty() || !lines.first().startsWith(topic + u' '))
            return {};
        return lines.first().mid(topic.size() + 1);
    }

    bool publish(const QString &topic, const QByteArray &payload, bool retain = false) const
    {
        QStringList args{u"-h"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(m_port),
                         u"-t"_s, topic,          u"-m"_s, QString::fromUtf8(payload)};
        if (retain)
            args << u"-r"_s;
        return runTool(findProgram(u"mosquitto_pub"_s), args).exitCode == 0;
    }

    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<QProcess> m_process;
};

// A CA and certificates signed by it, made with openssl in a folder: the
// broker's (for 127.0.0.1) and a client's; and a CA that signed neither.
class TlsFiles
{
public:
    static bool available() { return !findProgram(u"openssl"_s).isEmpty(); }

    bool make()
    {
        return m_dir.isValid() && selfSigned(u"ca"_s) && selfSigned(u"other-ca"_s) &&
               signedByCa(u"server"_s, u"subjectAltName=IP:127.0.0.1\n"_s) &&
               signedByCa(u"client"_s, u"extendedKeyUsage=clientAuth\n"_s);
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // The broker's TLS lines; a client certificate is required.
    QString brokerConfig() const
    {
        return u"cafile %1\ncertfile %2\nkeyfile %3\nrequire_certificate true\n"_s.arg(
            path(u"ca.pem"_s), path(u"server.pem"_s), path(u"server.key"_s));
    }

private:
    bool openssl(const QStringList &args) const
    {
        return runTool(findProgram(u"openssl"_s), args).exitCode == 0;
    }
    static QStringList newKey()
    {
        return {u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
                u"-nodes"_s};
    }
    bool selfSigned(const QString &name) const
    {
        return openssl(QStringList{u"req"_s, u"-x509"_s} + newKey() +
                       QStringList{u"-keyout"_s, path(name + u".key"_s), u"-out"_s,
                                   path(name + u".pem"_s), u"-days"_s, u"2"_s, u"-subj"_s,
                                   u"/CN=test "_s + name});
    }
    bool signedByCa(const QString &name, const QString &extensions) const
    {
        QFile ext(path(name + u".ext"_s));
        if (!ext.open(QIODevice::WriteOnly) || ext.write(extensions.toUtf8()) < 0)
            return false;
        ext.close();
        return openssl(QStringList{u"req"_s} + newKey() +
                       QStringList{u"-keyout"_s, path(name + u".key"_s), u"-out"_s,
                                   path(name + u".csr"_s), u"-subj"_s, u"/CN=127.0.0.1"_s}) &&
               openssl({u"x509"_s, u"-req"_s, u"-in"_s, path(name + u".csr"_s), u"-CA"_s,
                        path(u"ca.pem"_s), u"-CAkey"_s, path(u"ca.key"_s), u"-CAcreateserial"_s,
                        u"-out"_s, path(name + u".pem"_s), u"-days"_s, u"2"_s, u"-extfile"_s,
                        ext.fileName()});
    }

    QTemporaryDir m_dir;
};

} // namespace telviox::test
