#include "publish/publishoptions.h"

#include "publish/hostport.h"

#include <QDir>

namespace telviox {

namespace {

QCommandLineOption option(const char *name, const char *help, const char *value)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                              QString::fromLatin1(value));
}

QString absolute(const QString &path)
{
    return path.isEmpty() ? path : QDir::current().absoluteFilePath(path);
}

} // namespace

PublishCommandLine::PublishCommandLine()
    : m_mqtt(option("mqtt",
                    "Publish the items to the MQTT broker at HOST[:PORT] (1883, or 8883 "
                    "with TLS) under telvioxd/TELVIOXD/Form5/<item>.",
                    "HOST[:PORT]")),
      m_user(option("mqtt-user", "The user name for the broker.", "NAME")),
      m_passwordFile(option("mqtt-password-file",
                            "The broker password: the first line of this file.", "PATH")),
      m_ca(option("mqtt-tls-ca", "Talk TLS to the broker, trusting this CA file.", "PATH")),
      m_cert(
          option("mqtt-tls-cert", "A client certificate for TLS (with --mqtt-tls-key).", "PATH")),
      m_key(option("mqtt-tls-key", "The client certificate's key.", "PATH")),
      m_clientId(option("mqtt-client-id", "The client id (default: one made up).", "ID")),
      m_http(option("http",
                    "Serve the items read-only over HTTP on PORT of 127.0.0.1, or of ADDRESS: "
                    "/items.html, /items.csv, /items.json, /items/<item>.",
                    "[ADDRESS:]PORT"))
{}

void PublishCommandLine::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_mqtt, m_user, m_passwordFile, m_ca, m_cert, m_key, m_clientId, m_http});
}

std::optional<PublishSettings> PublishCommandLine::read(const QCommandLineParser &parser,
                                                        QString *message) const
{
    PublishSettings settings;
    QString why;
    if (parser.isSet(m_http)) {
        const std::optional<HostPort> address = parseListenAddress(parser.value(m_http), &why);
        if (!address) {
            *message = QStringLiteral("--http: %1").arg(why);
            return std::nullopt;
        }
        HttpSettings http;
        if (!address->host.isEmpty())
            http.address = QHostAddress(address->host);
        http.port = quint16(*address->port);
        settings.http = http;
    }
    const QCommandLineOption *const mqttOnly[] = {&m_user, &m_passwordFile, &m_ca,
                                                  &m_cert, &m_key,          &m_clientId};
    if (!parser.isSet(m_mqtt)) {
        for (const QCommandLineOption *other : mqttOnly) {
            if (parser.isSet(*other)) {
                *message = QStringLiteral("--%1 needs --mqtt").arg(other->names().constFirst());
                return std::nullopt;
            }
        }
        return settings;
    }
    const std::optional<HostPort> broker = parseHostPort(parser.value(m_mqtt), &why);
    if (!broker) {
        *message = QStringLiteral("--mqtt: %1").arg(why);
        return std::nullopt;
    }
    MqttSettings mqtt;
    mqtt.host = broker->host;
    mqtt.port = broker->port.value_or(0);
    mqtt.user = parser.value(m_user);
    if (parser.isSet(m_passwordFile)) {
        const std::optional<QString> password =
            readPasswordFile(absolute(parser.value(m_passwordFile)), &why);
        if (!password) {
            *message = QStringLiteral("--mqtt-password-file: %1").arg(why);
            return std::nullopt;
        }
        mqtt.password = *password;
    }
    mqtt.caFile = absolute(parser.value(m_ca));
    mqtt.certFile = absolute(parser.value(m_cert));
    mqtt.keyFile = absolute(parser.value(m_key));
    mqtt.clientId = parser.value(m_clientId);
    why = checkMqttSettings(mqtt);
    if (!why.isEmpty()) {
        *message = why;
        return std::nullopt;
    }
    settings.mqtt = mqtt;
    return settings;
}

} // namespace telviox
