#include "server/ddeclient.h"

#include "server/ddeitemserver.h"
#include "server/ddenames.h"

#include <QDBusError>
#include <QDBusMessage>

namespace telviox {

namespace {

const QString AdviseSignal = QStringLiteral("Advise");

DdeResult failure(DdeResult::Status status, const QString &error)
{
    DdeResult result;
    result.status = status;
    result.error = error;
    return result;
}

// Sorts an error reply into what the caller can act on.
DdeResult fromError(const QDBusMessage &reply, const QString &service, const QString &topic)
{
    const QString name = reply.errorName();
    const QString message = reply.errorMessage();
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == u"org.freedesktop.DBus.Error.NameHasNoOwner")
        return failure(DdeResult::Status::NoService,
                       QObject::tr("No server for service \"%1\"").arg(service));
    if (name == u"org.freedesktop.DBus.Error.UnknownObject" ||
        name == u"org.freedesktop.DBus.Error.UnknownInterface" ||
        name == u"org.freedesktop.DBus.Error.UnknownMethod")
        return failure(DdeResult::Status::NoTopic,
                       QObject::tr("Service \"%1\" has no topic \"%2\"").arg(service, topic));
    if (name == QLatin1String(DdeNames::ErrorUnknownItem))
        return failure(DdeResult::Status::NoItem, message);
    if (name == u"org.freedesktop.DBus.Error.NoReply" ||
        name == u"org.freedesktop.DBus.Error.Timeout" ||
        name == u"org.freedesktop.DBus.Error.TimedOut")
        return failure(DdeResult::Status::NoReply,
                       QObject::tr("No answer from service \"%1\": %2").arg(service, message));
    if (name == u"org.freedesktop.DBus.Error.Disconnected")
        return failure(DdeResult::Status::NotConnected,
                       QObject::tr("Not connected to the D-Bus session bus: %1").arg(message));
    return failure(DdeResult::Status::Failed, QStringLiteral("%1: %2").arg(name, message));
}

} // namespace

DdeClient::DdeClient(const QDBusConnection &connection) : m_connection(connection) {}

std::optional<DdeResult> DdeClient::checkUsable(const QString &service,
                                                const QString &busName) const
{
    if (busName.isEmpty())
        return failure(DdeResult::Status::InvalidName,
                       QObject::tr("\"%1\" cannot be a service name").arg(service));
    if (!m_connection.isConnected())
        return failure(DdeResult::Status::NotConnected,
                       QObject::tr("Not connected to the D-Bus session bus: %1")
                           .arg(m_connection.lastError().message()));
    return std::nullopt;
}

DdeResult DdeClient::request(const QString &service, const QString &topic, const QString &item,
                             int timeoutMs) const
{
    if (DdeItemServer *local = DdeItemServer::localServer(m_connection, service, topic)) {
        if (!local->hasItem(item))
            return failure(DdeResult::Status::NoItem, QObject::tr("No item \"%1\"").arg(item));
        DdeResult result;
        result.text = local->text(item);
        return result;
    }
    return call(service, topic, QStringLiteral("Request"), {item}, timeoutMs);
}

DdeResult DdeClient::poke(const QString &service, const QString &topic, const QString &item,
                          const QString &text, int timeoutMs) const
{
    if (DdeItemServer *local = DdeItemServer::localServer(m_connection, service, topic)) {
        if (!local->poke(item, text))
            return failure(DdeResult::Status::NoItem, QObject::tr("No item \"%1\"").arg(item));
        return {};
    }
    DdeResult result = call(service, topic, QStringLiteral("Poke"), {item, text}, timeoutMs);
    result.text.clear();
    return result;
}

DdeResult DdeClient::checkService(const QString &service) const
{
    const QString busName = DdeNames::busName(service);
    if (const std::optional<DdeResult> unusable = checkUsable(service, busName))
        return *unusable;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << busName;
    const QDBusMessage reply = m_connection.call(ask);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return fromError(reply, service, QString());
    if (reply.arguments().isEmpty() || !reply.arguments().at(0).toBool())
        return failure(DdeResult::Status::NoService,
                       QObject::tr("No server for service \"%1\"").arg(service));
    return {};
}

QDBusMessage DdeClient::message(const QString &service, const QString &topic, const QString &member,
                                const QList<QVariant> &args) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(DdeNames::busName(service), DdeNames::objectPath(topic),
                                       QString::fromLatin1(DdeNames::Interface), member);
    message.setArguments(args);
    // A missing server must fail at once, never start something.
    message.setAutoStartService(false);
    return message;
}

DdeResult DdeClient::requestResult(const QDBusMessage &reply, const QString &service,
                                   const QString &topic)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return fromError(reply, service, topic);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(DdeResult::Status::Failed,
                       QObject::tr("Unexpected answer from service \"%1\"").arg(service));

    DdeResult result;
    if (!reply.arguments().isEmpty())
        result.text = reply.arguments().at(0).toString();
    return result;
}

QDBusPendingCall DdeClient::startRequest(const QString &service, const QString &topic,
                                         const QString &item, int timeoutMs) const
{
    if (const std::optional<DdeResult> unusable = checkUsable(service, DdeNames::busName(service)))
        return QDBusPendingCall::fromError(QDBusError(QDBusError::InvalidArgs, unusable->error));
    return m_connection.asyncCall(message(service, topic, QStringLiteral("Request"), {item}),
                                  timeoutMs);
}

DdeResult DdeClient::call(const QString &service, const QString &topic, const QString &member,
                          const QList<QVariant> &args, int timeoutMs) const
{
    if (const std::optional<DdeResult> unusable = checkUsable(service, DdeNames::busName(service)))
        return *unusable;
    return requestResult(
        m_connection.call(message(service, topic, member, args), QDBus::Block, timeoutMs), service,
        topic);
}

DdeAdviseLink::DdeAdviseLink(const QDBusConnection &connection, const QString &service,
                             const QString &topic, const QString &item, QObject *parent)
    : QObject(parent), m_connection(connection), m_busName(DdeNames::busName(service)),
      m_path(DdeNames::objectPath(topic)), m_item(item)
{
    if (m_busName.isEmpty()) {
        m_error = tr("\"%1\" cannot be a service name").arg(service);
        return;
    }
    // Matching the item on the bus keeps other items' changes off the wire.
    const QStringList match = item.isEmpty() ? QStringList() : QStringList{item};
    m_active = m_connection.connect(m_busName, m_path, QString::fromLatin1(DdeNames::Interface),
                                    AdviseSignal, match, QStringLiteral("ss"), this,
                                    SLOT(onAdvise(QString, QString)));
    if (!m_active)
        m_error = tr("Cannot listen to service \"%1\": %2")
                      .arg(service, m_connection.lastError().message());
}

DdeAdviseLink::~DdeAdviseLink()
{
    if (m_active) {
        const QStringList match = m_item.isEmpty() ? QStringList() : QStringList{m_item};
        m_connection.disconnect(m_busName, m_path, QString::fromLatin1(DdeNames::Interface),
                                AdviseSignal, match, QStringLiteral("ss"), this,
                                SLOT(onAdvise(QString, QString)));
    }
}

void DdeAdviseLink::onAdvise(const QString &item, const QString &text)
{
    if (m_item.isEmpty() || item == m_item)
        emit advised(item, text);
}

} // namespace telviox
