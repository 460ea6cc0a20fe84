#pragma once

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <optional>

namespace telviox {

// Outcome of a client call. A failure carries a reason fit for the operator.
struct DdeResult
{
    enum class Status {
        Ok,
        InvalidName,  // the service cannot be a bus name
        NotConnected, // no session bus
        NoService,    // nobody serves the service
        NoTopic,      // the service has no such topic
        NoItem,       // the topic has no such item
        NoReply,      // no answer within the wait, or the server went away
        Failed        // any other error reply
    };

    Status status = Status::Ok;
    QString text;  // the item's text for a successful request
    QString error; // why it failed

    bool ok() const { return status == Status::Ok; }
};

// The client side of a link: asks another server (or this very program) for an
// item, or writes one. Calls block the calling thread until the answer or the
// wait runs out; a missing service fails at once, since the bus answers for it
// and no service is ever started on demand.
class DdeClient
{
public:
    // How long a linked input waits for its source.
    static constexpr int DefaultTimeoutMs = 300000;

    explicit DdeClient(const QDBusConnection &connection = QDBusConnection::sessionBus());

    DdeResult request(const QString &service, const QString &topic, const QString &item,
                      int timeoutMs = DefaultTimeoutMs) const;
    DdeResult poke(const QString &service, const QString &topic, const QString &item,
                   const QString &text, int timeoutMs = DefaultTimeoutMs) const;
    // Whether some client serves the service now; the bus answers at once.
    DdeResult checkService(const QString &service) const;

    // A request that does not block, for a caller whose event loop must go
    // on meanwhile; requestResult() reads its reply. Never answered by a
    // server of this very program.
    QDBusPendingCall startRequest(const QString &service, const QString &topic, const QString &item,
                                  int timeoutMs = DefaultTimeoutMs) const;
    static DdeResult requestResult(const QDBusMessage &reply, const QString &service,
                                   const QString &topic);

private:
    std::optional<DdeResult> checkUsable(const QString &service, const QString &busName) const;
    QDBusMessage message(const QString &service, const QString &topic, const QString &member,
                         const QList<QVariant> &args) const;
    DdeResult call(const QString &service, const QString &topic, const QString &member,
                   const QList<QVariant> &args, int timeoutMs) const;

    QDBusConnection m_connection;
};

// An advise link: reports every change of one item (or of every item, when
// the item is empty) of a topic. It follows the service's name, so a server
// that goes away and comes back is heard again.
class DdeAdviseLink : public QObject
{
    Q_OBJECT

public:
    DdeAdviseLink(const QDBusConnection &connection, const QString &service, const QString &topic,
                  const QString &item = QString(), QObject *parent = nullptr);
    ~DdeAdviseLink() override;

    bool isActive() const { return m_active; }
    QString errorString() const { return m_error; }

signals:
    void advised(const QString &item, const QString &text);

private slots:
    // A slot because the bus connects signals by signature only.
    void onAdvise(const QString &item, const QString &text);

private:
    QDBusConnection m_connection;
    QString m_busName;
    QString m_path;
    QString m_item;
    bool m_active = false;
    QString m_error;
};

} // namespace telviox
