#pragma once

#include "publish/itemquality.h"
#include "publish/mqtt/mqttsettings.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace telviox {

class DdeItemServer;
class LineDiagnostics;

// Publishes a topic's items to an MQTT broker and takes writes from it.
//
// Every item goes out retained on "telvioxd/<service>/<topic>/<item>" with
// its exact text whenever it changes, and all of them again on every
// (re)connect, so a broker that restarted empty is filled at once. With
// diagnostics, "…/<item>/quality" carries a JSON object (see
// qualityObject()). "telvioxd/<service>/status" is "online" while connected
// and "offline" after a clean stop or, as the last will, when the program
// vanishes. A message on "…/<item>/set" is a poke of that item.
//
// The network runs on a thread of its own (connect, read, write, the waits
// before reconnecting), which alone calls the broker's library, so a slow or
// unreachable broker never holds up the poll cycle. A change costs the
// items' thread only a hand-over: the latest text of each topic waits for
// the network thread, which sends it within a few milliseconds, and a text
// changed again before it went out is sent once. Everything the network learns is handed
// to the thread this object lives on, the items' thread, and the items are
// only read and poked there.
//
// An empty text is an empty retained message, which a broker keeps as no
// message at all: a new subscriber hears nothing of an empty item.
//
// Values go out at QoS 0 (a lost one is republished on reconnect anyway, and
// nothing piles up while the broker is away); the status, the last will and
// the subscription use QoS 1.
class MqttPublisher final : public QObject
{
    Q_OBJECT

public:
    // Writes larger than this are refused: no item holds such a text.
    static constexpr int MaxSetBytes = 64 * 1024;

    MqttPublisher(DdeItemServer &items, const LineDiagnostics *diagnostics, MqttSettings settings,
                  QObject *parent = nullptr);
    ~MqttPublisher() override;
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Starts connecting in the background. False, with *error, when the
    // settings cannot work (see checkMqttSettings) or TLS cannot be set up.
    bool start(QString *error);
    // Says "offline", disconnects and ends the network thread. Safe to call
    // twice; the destructor calls it.
    void stop();

    bool isConnected() const { return m_connected; }
    const MqttSettings &settings() const { return m_settings; }
    QString brokerName() const;

signals:
    void connectedChanged(bool connected);
    // One line for the log: connected, lost, refused, a write ignored. A
    // failure repeated while retrying is told once.
    void message(const QString &line);

private:
    // Network thread.
    void run();
    // Serves one connection until it ends (or the stop's goodbye is out);
    // the library's code of the failure, if one ended it.
    int serve();
    void waitBeforeRetry();
    // True when something went out.
    bool sendPending();
    int napTimeout(std::chrono::steady_clock::time_point lastSent);
    void wake();
    static void onConnect(mosquitto *mosq, void *self, int rc);
    static void onDisconnect(mosquitto *mosq, void *self, int rc);
    static void onMessage(mosquitto *mosq, void *self, const mosquitto_message *message);
    void tell(const QString &line);

    // Items' thread.
    void sessionStarted();
    void sessionEnded(const QString &why);
    void setReceived(const QString &topic, const QByteArray &payload, bool retained);
    void publishAll();
    void publishText(const QString &item, const QString &text);
    void publishQuality(const QString &item, bool always);
    void publishQualityAt(int position);
    // Hands a retained QoS 0 message to the network thread; dropped while
    // no session is up.
    void publish(const QString &topic, const QByteArray &payload);

    DdeItemServer &m_items;
    const LineDiagnostics *m_diagnostics;
    MqttSettings m_settings;
    QString m_service;
    QString m_topic;

    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    // The broker accepted the session (set on the network thread).
    std::atomic<bool> m_sessionUp{false};
    int m_wakeFd = -1; // an eventfd: the network thread's poll wakes on it
    // The network thread sleeps until woken (nothing changed for a while).
    std::atomic<bool> m_napping{false};
    // Topic -> latest payload, in the order first changed.
    std::mutex m_pendingMutex;
    QHash<QByteArray, QByteArray> m_pending;
    QList<QByteArray> m_pendingOrder;
    int m_retrySeconds = 1;  // network thread only
    QString m_lastTold;      // network thread only
    bool m_accepted = false; // the broker took this connection (network thread)
    bool m_refused = false;  // the broker refused it (network thread)

    bool m_connected = false; // items' thread
    QHash<QString, ItemQuality> m_publishedQuality;
};

} // namespace telviox
