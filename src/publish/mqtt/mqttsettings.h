#pragma once

#include <QString>
#include <optional>

namespace telviox {

// Where and how the items are published to an MQTT broker.
struct MqttSettings
{
    static constexpr int PlainPort = 1883;
    static constexpr int TlsPort = 8883;

    QString host;
    int port = 0; // 0: the usual port, PlainPort or TlsPort
    QString user; // empty: no user name sent
    QString password;
    // TLS is on when a CA file is given; a client certificate needs its key.
    QString caFile;
    QString certFile;
    QString keyFile;
    QString clientId; // empty: the broker's library makes one up
    int keepAliveSeconds = 30;
    // Reconnecting waits firstRetrySeconds, doubling up to lastRetrySeconds.
    int firstRetrySeconds = 1;
    int lastRetrySeconds = 60;

    bool tls() const { return !caFile.isEmpty(); }
    int effectivePort() const { return port != 0 ? port : (tls() ? TlsPort : PlainPort); }
};

// Why the settings cannot work, or empty: a client certificate without its
// key (or the other way round), TLS files that cannot be read, a password
// without a user.
QString checkMqttSettings(const MqttSettings &settings);

// The first line of a password file (a trailing CR LF or LF dropped), so the
// password appears on no command line. nullopt and *error when unreadable.
std::optional<QString> readPasswordFile(const QString &path, QString *error);

// The topics of a service's items: "telvioxd/<service>/<topic>/<item>",
// beside it "…/<item>/quality", writes arrive on "…/<item>/set", and the
// server's state on "telvioxd/<service>/status".
namespace mqtttopics {
QString item(const QString &service, const QString &topic, const QString &item);
QString quality(const QString &service, const QString &topic, const QString &item);
QString status(const QString &service);
QString setFilter(const QString &service, const QString &topic);
// The item a "…/<item>/set" topic writes; empty for any other topic.
QString itemOfSet(const QString &service, const QString &topic, const QString &received);
// A name that can stand as one level of a topic (no '/', '+', '#', NUL).
bool isTopicLevel(const QString &name);
} // namespace mqtttopics

} // namespace telviox
