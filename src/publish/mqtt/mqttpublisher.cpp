#include "publish/mqtt/mqttpublisher.h"

#include "publish/hostport.h"
#include "server/ddeitemserver.h"
#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"

#include <QFile>
#include <QJsonDocument>
#include <QMetaObject>
#include <QPointer>
#include <chrono>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace telviox {

namespace {

constexpr int PollTimeoutMs = 1000;
constexpr int BusyPollMs = 5;
constexpr auto BusyPeriod = std::chrono::seconds(1);
// How long a stop waits for "offline" and the goodbye to reach the broker.
constexpr auto StopFlushLimit = std::chrono::seconds(1);

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

} // namespace

MqttPublisher::MqttPublisher(DdeItemServer &items, const LineDiagnostics *diagnostics,
                             MqttSettings settings, QObject *parent)
    : QObject(parent), m_items(items), m_diagnostics(diagnostics), m_settings(std::move(settings)),
      m_service(items.service()), m_topic(items.topic())
{
    initLibrary();
    connect(&m_items, &DdeItemServer::textChanged, this, &MqttPublisher::publishText);
    if (m_diagnostics) {
        connect(m_diagnostics, &LineDiagnostics::rowChanged, this,
                &MqttPublisher::publishQualityAt);
        connect(m_diagnostics, &LineDiagnostics::tableReset, this, [this] {
            for (const QString &item : m_items.items())
                publishQuality(item, false);
        });
    }
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

QString MqttPublisher::brokerName() const
{
    return formatHostPort(m_settings.host, m_settings.effectivePort());
}

bool MqttPublisher::start(QString *error)
{
    if (m_mosq) {
        *error = QStringLiteral("MQTT publishing runs already");
        return false;
    }
    const QString why = checkMqttSettings(m_settings);
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    const QByteArray clientId = utf8(m_settings.clientId);
    m_mosq = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), true, this);
    if (!m_mosq) {
        *error = QStringLiteral("cannot set up an MQTT client: %1").arg(errorText(MOSQ_ERR_ERRNO));
        return false;
    }
    // Only the network thread calls the library once it runs, so it needs
    // no locks of its own (mosquitto_threaded_set stays off).
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::onDisconnect);
    mosquitto_message_callback_set(m_mosq, &MqttPublisher::onMessage);

    const auto fail = [this, error](const QString &what, int rc) {
        *error = QStringLiteral("%1: %2").arg(what, errorText(rc));
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
        return false;
    };
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.user.isEmpty()) {
        rc = mosquitto_username_pw_set(
            m_mosq, utf8(m_settings.user).constData(),
            m_settings.password.isEmpty() ? nullptr : utf8(m_settings.password).constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("MQTT user name"), rc);
    }
    if (m_settings.tls()) {
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        const QByteArray cert = QFile::encodeName(m_settings.certFile);
        const QByteArray key = QFile::encodeName(m_settings.keyFile);
        rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr,
                               cert.isEmpty() ? nullptr : cert.constData(),
                               key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("MQTT TLS files"), rc);
    }
    const QByteArray statusTopic = utf8(mqtttopics::status(m_service));
    rc = mosquitto_will_set(m_mosq, statusTopic.constData(), 7, "offline", 1, true);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(QStringLiteral("MQTT last will"), rc);

    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return fail(QStringLiteral("MQTT wake-up"), MOSQ_ERR_ERRNO);
    m_stopping = false;
    m_retrySeconds = qMax(1, m_settings.firstRetrySeconds);
    m_thread = std::thread([this] { run(); });
    return true;
}

void MqttPublisher::stop()
{
    if (!m_mosq)
        return;
    // The network thread says "offline" and goodbye, then ends.
    m_stopping = true;
    wake();
    if (m_thread.joinable())
        m_thread.join();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_sessionUp = false;
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pending.clear();
        m_pendingOrder.clear();
    }
    if (m_connected) {
        m_connected = false;
        emit connectedChanged(false);
    }
}

// ---------------------------------------------------------------------------
// Network thread

void MqttPublisher::run()
{
    const QByteArray host = utf8(m_settings.host);
    bool first = true;
    while (!m_stopping) {
        // Without waiting for the connection (only for the name's look-up):
        // a broker that never answers must not hold up a stop.
        const int rc =
            first ? mosquitto_connect_async(m_mosq, host.constData(), m_settings.effectivePort(),
                                            m_settings.keepAliveSeconds)
                  : mosquitto_reconnect_async(m_mosq);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Before a first connect the library knows no host: try it afresh.
            tell(QStringLiteral("MQTT: cannot connect to %1: %2; retrying")
                     .arg(brokerName(), errorText(rc)));
            waitBeforeRetry();
            continue;
        }
        first = false;
        m_accepted = false;
        m_refused = false;
        const int lost = serve();
        m_sessionUp = false;
        // The connection itself failed (refused, unreachable, TLS): told
        // here, as a refusal by the broker is told when it comes.
        if (!m_accepted && !m_refused && !m_stopping)
            tell(QStringLiteral("MQTT: cannot connect to %1: %2; retrying")
                     .arg(brokerName(),
                          errorText(lost == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : lost)));
        if (!m_stopping)
            waitBeforeRetry();
    }
}

int MqttPublisher::serve()
{
    std::optional<std::chrono::steady_clock::time_point> stopAt;
    std::chrono::steady_clock::time_point lastSent{};
    for (;;) {
        const int socket = mosquitto_socket(m_mosq);
        if (socket < 0)
            return MOSQ_ERR_SUCCESS; // closed: lost, or the goodbye went out
        pollfd fds[2] = {
            {socket, short(POLLIN | (mosquitto_want_write(m_mosq) ? POLLOUT : 0)), 0},
            {m_wakeFd, POLLIN, 0},
        };
        const int timeout = napTimeout(lastSent);
        const int ready = ::poll(fds, 2, timeout);
        m_napping = false;
        if (ready < 0 && errno != EINTR)
            return MOSQ_ERR_ERRNO;
        if (fds[1].revents & POLLIN) {
            quint64 count = 0;
            [[maybe_unused]] const auto drained = ::read(m_wakeFd, &count, sizeof count);
        }
        if (sendPending())
            lastSent = std::chrono::steady_clock::now();
        if (m_stopping && !stopAt) {
            // Still connecting: nothing was said that needs a goodbye.
            if (!m_sessionUp)
                return MOSQ_ERR_SUCCESS;
            mosquitto_publish(m_mosq, nullptr, utf8(mqtttopics::status(m_service)).constData(), 7,
                              "offline", 1, true);
            // The broker drops the last will on a goodbye.
            mosquitto_disconnect(m_mosq);
            stopAt = std::chrono::steady_clock::now() + StopFlushLimit;
        } else if (stopAt && std::chrono::steady_clock::now() > *stopAt) {
            // A broker that takes nothing any more must not hold the stop up.
            return MOSQ_ERR_SUCCESS;
        }
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            rc = mosquitto_loop_read(m_mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(m_mosq))
            rc = mosquitto_loop_write(m_mosq, 1);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_loop_misc(m_mosq);
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
    }
}

void MqttPublisher::waitBeforeRetry()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(m_retrySeconds);
    m_retrySeconds = qMin(m_retrySeconds * 2, qMax(1, m_settings.lastRetrySeconds));
    while (!m_stopping) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return;
        pollfd wakeUp{m_wakeFd, POLLIN, 0};
        if (::poll(&wakeUp, 1, int(qMin<qint64>(left, PollTimeoutMs))) > 0) {
            quint64 count = 0;
            [[maybe_unused]] const auto drained = ::read(m_wakeFd, &count, sizeof count);
        }
        sendPending(); // nothing goes out while away: it is dropped
    }
}

int MqttPublisher::napTimeout(std::chrono::steady_clock::time_point lastSent)
{
    // While items change, look for more every BusyPollMs instead of being
    // woken for each: a wake-up costs the items' thread more than the
    // hand-over itself. Once quiet, nap until woken.
    if (std::chrono::steady_clock::now() - lastSent < BusyPeriod || m_stopping)
        return BusyPollMs;
    m_napping = true;
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (!m_pendingOrder.isEmpty()) {
            m_napping = false;
            return 0;
        }
    }
    return PollTimeoutMs;
}

bool MqttPublisher::sendPending()
{
    QHash<QByteArray, QByteArray> pending;
    QList<QByteArray> order;
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        pending.swap(m_pending);
        order.swap(m_pendingOrder);
    }
    if (!m_sessionUp || order.isEmpty())
        return false;
    for (const QByteArray &topic : std::as_const(order)) {
        const QByteArray &payload = pending[topic];
        mosquitto_publish(m_mosq, nullptr, topic.constData(), int(payload.size()),
                          payload.constData(), 0, true);
    }
    return true;
}

void MqttPublisher::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void MqttPublisher::tell(const QString &line)
{
    if (line == m_lastTold)
        return;
    m_lastTold = line;
    QMetaObject::invokeMethod(
        this, [this, line] { emit message(line); }, Qt::QueuedConnection);
}

void MqttPublisher::onConnect(mosquitto *mosq, void *self, int rc)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    if (rc != 0) {
        publisher->m_refused = true;
        publisher->tell(
            QStringLiteral("MQTT: %1 refused the connection: %2; retrying")
                .arg(publisher->brokerName(), QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    publisher->m_accepted = true;
    publisher->m_retrySeconds = qMax(1, publisher->m_settings.firstRetrySeconds);
    publisher->m_lastTold.clear();
    const QByteArray filter = utf8(mqtttopics::setFilter(publisher->m_service, publisher->m_topic));
    mosquitto_subscribe(mosq, nullptr, filter.constData(), 1);
    const QByteArray status = utf8(mqtttopics::status(publisher->m_service));
    mosquitto_publish(mosq, nullptr, status.constData(), 6, "online", 1, true);
    publisher->m_sessionUp = true;
    QMetaObject::invokeMethod(
        publisher, [publisher] { publisher->sessionStarted(); }, Qt::QueuedConnection);
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    const bool wasUp = publisher->m_sessionUp.exchange(false);
    if (!wasUp || publisher->m_stopping)
        return;
    const QString why = rc == 0 ? QStringLiteral("closed") : errorText(rc);
    QMetaObject::invokeMethod(
        publisher, [publisher, why] { publisher->sessionEnded(why); }, Qt::QueuedConnection);
}

void MqttPublisher::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload),
                             message->payload ? message->payloadlen : 0);
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        publisher,
        [publisher, topic, payload, retained] { publisher->setReceived(topic, payload, retained); },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// Items' thread

void MqttPublisher::sessionStarted()
{
    if (!m_sessionUp)
        return; // lost again before this was handled; the next one comes
    publishAll();
    if (!m_connected) {
        m_connected = true;
        emit message(QStringLiteral("MQTT: connected to %1").arg(brokerName()));
        emit connectedChanged(true);
    }
}

void MqttPublisher::sessionEnded(const QString &why)
{
    if (!m_connected)
        return;
    m_connected = false;
    emit message(
        QStringLiteral("MQTT: connection to %1 lost (%2); reconnecting").arg(brokerName(), why));
    emit connectedChanged(false);
}

void MqttPublisher::setReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    const QString item = mqtttopics::itemOfSet(m_service, m_topic, topic);
    // A retained write would be replayed at every reconnect and undo
    // everything written since: only live writes count.
    if (retained) {
        emit message(QStringLiteral("MQTT: ignored a retained write on %1").arg(topic));
        return;
    }
    if (item.isEmpty() || !m_items.hasItem(item)) {
        emit message(QStringLiteral("MQTT: ignored a write to the unknown item %1").arg(topic));
        return;
    }
    if (payload.size() > MaxSetBytes) {
        emit message(QStringLiteral("MQTT: ignored a write of %1 bytes to %2 (at most %3)")
                         .arg(payload.size())
                         .arg(item)
                         .arg(MaxSetBytes));
        return;
    }
    m_items.poke(item, QString::fromUtf8(payload));
}

void MqttPublisher::publishAll()
{
    m_publishedQuality.clear();
    for (const QString &item : m_items.items()) {
        publishText(item, m_items.text(item));
        publishQuality(item, true);
    }
}

void MqttPublisher::publishText(const QString &item, const QString &text)
{
    if (!mqtttopics::isTopicLevel(item))
        return;
    publish(mqtttopics::item(m_service, m_topic, item), utf8(text));
}

void MqttPublisher::publishQualityAt(int position)
{
    publishQuality(DdeProgramItems::itemName(position), false);
}

void MqttPublisher::publishQuality(const QString &item, bool always)
{
    if (!m_diagnostics || !m_items.hasItem(item) || !mqtttopics::isTopicLevel(item))
        return;
    const ItemQuality quality = itemQuality(m_diagnostics, item);
    const auto known = m_publishedQuality.constFind(item);
    if (!always && known != m_publishedQuality.cend() && *known == quality)
        return;
    if (!m_sessionUp)
        return;
    publish(mqtttopics::quality(m_service, m_topic, item),
            QJsonDocument(qualityObject(quality)).toJson(QJsonDocument::Compact));
    m_publishedQuality.insert(item, quality);
}

void MqttPublisher::publish(const QString &topic, const QByteArray &payload)
{
    // Nothing is kept while away: the next session sends everything anew.
    if (!m_mosq || !m_sessionUp)
        return;
    const QByteArray name = utf8(topic);
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        auto known = m_pending.find(name);
        if (known == m_pending.end()) {
            m_pending.insert(name, payload);
            m_pendingOrder.append(name);
        } else {
            *known = payload;
        }
    }
    // A network thread that is busy anyway looks on its own.
    if (m_napping.exchange(false))
        wake();
}

} // namespace telviox
