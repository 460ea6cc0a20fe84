#pragma once

#include "publish/http/itemshttpserver.h"
#include "publish/mqtt/mqttsettings.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

namespace telviox {

class Clock;
class DdeItemServer;
class LineDiagnostics;
class MqttPublisher;

// What to publish beyond the bus; either may be absent.
struct PublishSettings
{
    std::optional<MqttSettings> mqtt;
    std::optional<HttpSettings> http;

    bool isEmpty() const { return !mqtt && !http; }
};

// "telvioxd.ini" in the program's folder:
//
//   [mqtt]
//   broker=HOST[:PORT]        required; 1883, or 8883 with TLS
//   user=NAME
//   password=SECRET           or password_file=PATH (its first line)
//   tls_ca=PATH               turns TLS on
//   tls_cert=PATH             client certificate, with tls_key=PATH
//   client_id=ID
//
//   [http]
//   listen=[ADDRESS:]PORT     127.0.0.1 unless an address is given
//
// Relative paths are taken from the file's folder.
namespace PublishIni {
inline const QString FileName = QStringLiteral("telvioxd.ini");
}

struct PublishIniResult
{
    PublishSettings settings; // the sections that could be read
    QStringList errors;       // one line each, naming the file and key
};

// A missing file is no error: nothing is published then.
PublishIniResult readPublishIni(const QString &folder);

// Publishes an item store (and the quality from its diagnostics, if any)
// over MQTT and HTTP as the settings ask. Lives on the items' thread.
class Publishing final : public QObject
{
    Q_OBJECT

public:
    Publishing(DdeItemServer &items, const LineDiagnostics *diagnostics, const Clock &clock,
               QObject *parent = nullptr);
    ~Publishing() override;
    Publishing(const Publishing &) = delete;
    Publishing &operator=(const Publishing &) = delete;

    // Starts what the settings ask (stopping what ran before). Returns one
    // line for each part that could not start; the others run.
    QStringList start(const PublishSettings &settings);
    // Starts what telvioxd.ini in the folder asks; its errors and those of
    // the start, one line each. No file: nothing runs, no error.
    QStringList startFromIni(const QString &folder);
    void stop();

    // Null when not running.
    MqttPublisher *mqtt() const { return m_mqtt.get(); }
    ItemsHttpServer *http() const { return m_http.get(); }

signals:
    // A line for the log (connects, losses, ignored writes, the HTTP address).
    void message(const QString &line);

private:
    DdeItemServer &m_items;
    const LineDiagnostics *m_diagnostics;
    const Clock &m_clock;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<ItemsHttpServer> m_http;
};

} // namespace telviox
