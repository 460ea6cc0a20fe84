#include "server/ddeitemserver.h"

#include "server/ddenames.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QVariantMap>

namespace telviox {

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString IntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString PeerInterface = QStringLiteral("org.freedesktop.DBus.Peer");
const QString ErrorInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString ErrorUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString ErrorUnknownInterface = QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface");
const QString ErrorUnknownProperty = QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty");

QString topicInterface()
{
    return QString::fromLatin1(DdeNames::Interface);
}

// Published servers of this process, for localServer() and for sharing a bus
// name between topics of one service on one connection.
struct Registry
{
    QMutex mutex;
    QList<DdeItemServer *> servers;
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

// Answers every call on the topic's object path: the dde.Topic methods, the
// standard property interface and introspection, which lists the items as
// properties so generic D-Bus tools can show and watch them.
class DdeTopicObject final : public QDBusVirtualObject
{
public:
    explicit DdeTopicObject(DdeItemServer &server) : m_server(server) {}

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    // The reply, or an invalid message when the answer comes later (a write
    // handed to the owner's thread).
    QDBusMessage handleTopicCall(const QDBusMessage &message, const QDBusConnection &connection);
    QDBusMessage handlePropertiesCall(const QDBusMessage &message,
                                      const QDBusConnection &connection);
    const DdeObjectInterface *addedInterface(const QString &name) const;
    // Pokes on the owner's thread, in the order they came, and answers then.
    void pokeLater(const QDBusMessage &message, const QDBusConnection &connection,
                   const QString &item, const QString &text);
    QString fullIntrospection() const;

    DdeItemServer &m_server;
};

QString DdeTopicObject::introspect(const QString &) const
{
    QString xml;
    xml += QStringLiteral("  <interface name=\"%1\">\n").arg(topicInterface());
    xml += QStringLiteral("    <method name=\"Request\">\n"
                          "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"text\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <method name=\"Poke\">\n"
                          "      <arg name=\"item\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"text\" type=\"s\" direction=\"in\"/>\n"
                          "    </method>\n"
                          "    <signal name=\"Advise\">\n"
                          "      <arg name=\"item\" type=\"s\"/>\n"
                          "      <arg name=\"text\" type=\"s\"/>\n"
                          "    </signal>\n");
    for (const QString &item : m_server.m_items) {
        const QString property = DdeNames::propertyName(item);
        if (property.isEmpty())
            continue; // reachable by Request and Poke only
        xml += QStringLiteral("    <property name=\"%1\" type=\"s\" access=\"readwrite\">\n"
                              "      <annotation name=\"org.freedesktop.DBus.Property."
                              "EmitsChangedSignal\" value=\"true\"/>\n"
                              "    </property>\n")
                   .arg(property);
    }
    xml += QStringLiteral("  </interface>\n");
    for (const auto &added : m_server.m_interfaces)
        xml += added->introspection();
    return xml;
}

const DdeObjectInterface *DdeTopicObject::addedInterface(const QString &name) const
{
    for (const auto &added : m_server.m_interfaces) {
        if (added->name() == name)
            return added.get();
    }
    return nullptr;
}

void DdeTopicObject::pokeLater(const QDBusMessage &message, const QDBusConnection &connection,
                               const QString &item, const QString &text)
{
    QMetaObject::invokeMethod(
        &m_server,
        [server = &m_server, message, connection, item, text] {
            server->poke(item, text);
            if (message.isReplyRequired())
                connection.send(message.createReply());
        },
        Qt::QueuedConnection);
}

QString DdeTopicObject::fullIntrospection() const
{
    return QStringLiteral(
               "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
               "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
               "<node>\n") +
           introspect(QString()) +
           QStringLiteral("  <interface name=\"org.freedesktop.DBus.Properties\">\n"
                          "    <method name=\"Get\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"value\" type=\"v\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <method name=\"Set\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"value\" type=\"v\" direction=\"in\"/>\n"
                          "    </method>\n"
                          "    <method name=\"GetAll\">\n"
                          "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"values\" type=\"a{sv}\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "    <signal name=\"PropertiesChanged\">\n"
                          "      <arg name=\"interface_name\" type=\"s\"/>\n"
                          "      <arg name=\"changed_properties\" type=\"a{sv}\"/>\n"
                          "      <arg name=\"invalidated_properties\" type=\"as\"/>\n"
                          "    </signal>\n"
                          "  </interface>\n"
                          "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                          "    <method name=\"Introspect\">\n"
                          "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "  </interface>\n"
                          "  <interface name=\"org.freedesktop.DBus.Peer\">\n"
                          "    <method name=\"Ping\"/>\n"
                          "    <method name=\"GetMachineId\">\n"
                          "      <arg name=\"machine_uuid\" type=\"s\" direction=\"out\"/>\n"
                          "    </method>\n"
                          "  </interface>\n"
                          "</node>\n");
}

bool DdeTopicObject::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface();
    const QString member = message.member();

    QDBusMessage reply;
    if (interface == topicInterface() ||
        (interface.isEmpty() && (member == u"Request" || member == u"Poke"))) {
        reply = handleTopicCall(message, connection);
    } else if (interface == PropertiesInterface ||
               (interface.isEmpty() &&
                (member == u"Get" || member == u"Set" || member == u"GetAll"))) {
        reply = handlePropertiesCall(message, connection);
    } else if ((interface == IntrospectableInterface || interface.isEmpty()) &&
               member == u"Introspect") {
        reply = message.createReply(fullIntrospection());
    } else if (const DdeObjectInterface *added = addedInterface(interface)) {
        reply = added->call(message);
    } else {
        return false; // Peer and the rest: the library's own answers
    }
    if (reply.type() == QDBusMessage::InvalidMessage || !message.isReplyRequired())
        return true;
    connection.send(reply);
    return true;
}

QDBusMessage DdeTopicObject::handleTopicCall(const QDBusMessage &message,
                                             const QDBusConnection &connection)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (member == u"Request") {
        if (message.signature() != u"s")
            return message.createErrorReply(ErrorInvalidArgs,
                                            QStringLiteral("Request takes (s item)"));
        const QString item = args.at(0).toString();
        if (!m_server.hasItem(item))
            return message.createErrorReply(QString::fromLatin1(DdeNames::ErrorUnknownItem),
                                            QStringLiteral("No item \"%1\"").arg(item));
        return message.createReply(m_server.text(item));
    }
    if (member == u"Poke") {
        if (message.signature() != u"ss")
            return message.createErrorReply(ErrorInvalidArgs,
                                            QStringLiteral("Poke takes (s item, s text)"));
        const QString item = args.at(0).toString();
        if (!m_server.hasItem(item))
            return message.createErrorReply(QString::fromLatin1(DdeNames::ErrorUnknownItem),
                                            QStringLiteral("No item \"%1\"").arg(item));
        pokeLater(message, connection, item, args.at(1).toString());
        return {};
    }
    return message.createErrorReply(
        ErrorUnknownMethod, QStringLiteral("No method \"%1\" in %2").arg(member, topicInterface()));
}

QDBusMessage DdeTopicObject::handlePropertiesCall(const QDBusMessage &message,
                                                  const QDBusConnection &connection)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    const QString signature = message.signature();

    auto checkInterface = [&](const QString &name) {
        // The standard interfaces carry no properties; anything else is unknown.
        return name.isEmpty() || name == topicInterface() || name == PropertiesInterface ||
               name == IntrospectableInterface || name == PeerInterface ||
               addedInterface(name) != nullptr;
    };

    if (member == u"GetAll") {
        if (signature != u"s")
            return message.createErrorReply(ErrorInvalidArgs, QStringLiteral("GetAll takes (s)"));
        const QString interface = args.at(0).toString();
        if (!checkInterface(interface))
            return message.createErrorReply(ErrorUnknownInterface,
                                            QStringLiteral("No interface \"%1\"").arg(interface));
        QVariantMap values;
        if (const DdeObjectInterface *added = addedInterface(interface))
            values = added->properties();
        if (interface.isEmpty() || interface == topicInterface()) {
            for (const QString &item : m_server.m_items) {
                const QString property = DdeNames::propertyName(item);
                if (!property.isEmpty())
                    values.insert(property, m_server.text(item));
            }
        }
        return message.createReply(QVariant::fromValue(values));
    }

    if (member != u"Get" && member != u"Set")
        return message.createErrorReply(
            ErrorUnknownMethod,
            QStringLiteral("No method \"%1\" in %2").arg(member, PropertiesInterface));
    if (signature != (member == u"Get" ? u"ss" : u"ssv"))
        return message.createErrorReply(ErrorInvalidArgs,
                                        QStringLiteral("Wrong arguments for %1").arg(member));
    const QString interface = args.at(0).toString();
    const QString property = args.at(1).toString();
    if (!checkInterface(interface))
        return message.createErrorReply(ErrorUnknownInterface,
                                        QStringLiteral("No interface \"%1\"").arg(interface));
    if (const DdeObjectInterface *added = addedInterface(interface)) {
        const QVariantMap values = added->properties();
        if (!values.contains(property))
            return message.createErrorReply(ErrorUnknownProperty,
                                            QStringLiteral("No property \"%1\"").arg(property));
        if (member == u"Set")
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                QStringLiteral("Property \"%1\" is read-only").arg(property));
        return message.createReply(QVariant::fromValue(QDBusVariant(values.value(property))));
    }
    const QString item = m_server.itemOfProperty(property);
    if (item.isEmpty() || (!interface.isEmpty() && interface != topicInterface()))
        return message.createErrorReply(ErrorUnknownProperty,
                                        QStringLiteral("No property \"%1\"").arg(property));
    if (member == u"Get")
        return message.createReply(QVariant::fromValue(QDBusVariant(m_server.text(item))));

    const QVariant value = args.at(2).value<QDBusVariant>().variant();
    if (value.metaType().id() != QMetaType::QString)
        return message.createErrorReply(
            ErrorInvalidArgs, QStringLiteral("Property \"%1\" holds a string").arg(property));
    pokeLater(message, connection, item, value.toString());
    return {};
}

DdeItemServer::DdeItemServer(const QString &service, const QString &topic, const QStringList &items,
                             QObject *parent)
    : DdeItemServer(QDBusConnection::sessionBus(), service, topic, items, parent)
{}

DdeItemServer::DdeItemServer(const QDBusConnection &connection, const QString &service,
                             const QString &topic, const QStringList &items, QObject *parent)
    : QObject(parent), m_connection(connection), m_service(service), m_topic(topic),
      m_object(std::make_unique<DdeTopicObject>(*this))
{
    addItems(items);
}

DdeItemServer::~DdeItemServer()
{
    unpublish();
}

void DdeItemServer::addItems(const QStringList &items)
{
    for (const QString &item : items) {
        if (item.isEmpty() || m_texts.contains(item))
            continue;
        m_items.append(item);
        m_itemSet.insert(item);
        m_texts.insert(item, QString());
        const QString property = DdeNames::propertyName(item);
        if (!property.isEmpty())
            m_itemOfProperty.insert(property, item);
    }
}

QString DdeItemServer::busName() const
{
    return DdeNames::busName(m_service);
}

QString DdeItemServer::objectPath() const
{
    return DdeNames::objectPath(m_topic);
}

bool DdeItemServer::publish()
{
    if (m_published)
        return true;
    m_error.clear();
    const QString name = busName();
    if (name.isEmpty()) {
        m_error = tr("\"%1\" cannot be a service name").arg(m_service);
        return false;
    }
    if (!m_connection.isConnected()) {
        m_error = tr("Not connected to the D-Bus session bus: %1")
                      .arg(m_connection.lastError().message());
        return false;
    }
    const QString path = objectPath();
    // The object answers on a thread of its own; the bus waits for each answer.
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("items %1/%2").arg(m_service, m_topic));
    m_object->moveToThread(m_thread.get());
    m_thread->start();
    if (!m_connection.registerVirtualObject(path, m_object.get(), QDBusConnection::SingleNode)) {
        stopThread();
        m_error = tr("Topic \"%1\" of service \"%2\" is already served in this program")
                      .arg(m_topic, m_service);
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_connection.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_connection.unregisterObject(path);
        stopThread();
        m_error =
            reply.isValid()
                ? tr("The D-Bus name %1 (service \"%2\") is taken by another program")
                      .arg(name, m_service)
                : tr("Cannot register the D-Bus name %1: %2").arg(name, reply.error().message());
        return false;
    }
    m_published = true;
    Registry &r = registry();
    const QMutexLocker lock(&r.mutex);
    r.servers.append(this);
    return true;
}

void DdeItemServer::unpublish()
{
    if (!m_published)
        return;
    m_published = false;
    bool nameShared = false;
    {
        Registry &r = registry();
        const QMutexLocker lock(&r.mutex);
        r.servers.removeAll(this);
        for (const DdeItemServer *other : std::as_const(r.servers))
            nameShared = nameShared || (other->m_connection.name() == m_connection.name() &&
                                        other->busName() == busName());
    }
    // Another topic of the same service on this connection keeps the name.
    if (!nameShared)
        m_connection.unregisterService(busName());
    m_connection.unregisterObject(objectPath());
    stopThread();
}

void DdeItemServer::stopThread()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    // Back on the owner's thread (allowed from here now that the topic's
    // thread has finished), so it can serve a later publish().
    m_object = std::make_unique<DdeTopicObject>(*this);
    m_thread.reset();
}

QString DdeItemServer::text(const QString &item) const
{
    const QReadLocker lock(&m_textsLock);
    return m_texts.value(item);
}

void DdeItemServer::addInterface(std::shared_ptr<const DdeObjectInterface> interface)
{
    Q_ASSERT(!m_published);
    m_interfaces.push_back(std::move(interface));
}

void DdeItemServer::announceProperties(const QString &interface, const QVariantMap &changed)
{
    if (!m_published || changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath(), PropertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    m_connection.send(signal);
}

bool DdeItemServer::setText(const QString &item, const QString &text)
{
    {
        const QWriteLocker lock(&m_textsLock);
        const auto it = m_texts.find(item);
        if (it == m_texts.end())
            return false;
        if (*it == text)
            return true;
        *it = text;
    }
    announce(item, text);
    return true;
}

bool DdeItemServer::poke(const QString &item, const QString &text)
{
    if (!setText(item, text))
        return false;
    emit poked(item, text);
    return true;
}

void DdeItemServer::announce(const QString &item, const QString &text)
{
    emit textChanged(item, text);
    if (!m_published)
        return;
    const QString path = objectPath();
    QDBusMessage advise =
        QDBusMessage::createSignal(path, topicInterface(), QStringLiteral("Advise"));
    advise << item << text;
    m_connection.send(advise);

    const QString property = DdeNames::propertyName(item);
    if (property.isEmpty())
        return;
    QDBusMessage changed =
        QDBusMessage::createSignal(path, PropertiesInterface, QStringLiteral("PropertiesChanged"));
    changed << topicInterface() << QVariantMap{{property, text}} << QStringList();
    m_connection.send(changed);
}

DdeItemServer *DdeItemServer::localServer(const QDBusConnection &connection, const QString &service,
                                          const QString &topic)
{
    DdeItemServer *candidate = nullptr;
    {
        Registry &r = registry();
        const QMutexLocker lock(&r.mutex);
        for (DdeItemServer *server : std::as_const(r.servers)) {
            if (server->m_service == service && server->m_topic == topic &&
                server->thread() == QThread::currentThread()) {
                candidate = server;
                break;
            }
        }
    }
    if (!candidate)
        return nullptr;
    if (candidate->m_connection.name() == connection.name())
        return candidate;
    // Another connection: the server is ours only if its connection owns the
    // name on the client's bus.
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << candidate->busName();
    const QDBusMessage owner = connection.call(ask);
    if (owner.type() == QDBusMessage::ReplyMessage && !owner.arguments().isEmpty() &&
        owner.arguments().at(0).toString() == candidate->m_connection.baseService())
        return candidate;
    return nullptr;
}

QList<const DdeItemServer *> DdeItemServer::localServers(const QDBusConnection &connection,
                                                        const QString &service)
{
    QList<const DdeItemServer *> found;
    Registry &r = registry();
    const QMutexLocker lock(&r.mutex);
    for (const DdeItemServer *server : std::as_const(r.servers)) {
        if (server->m_service == service && server->m_published &&
            server->thread() == QThread::currentThread() &&
            server->m_connection.name() == connection.name())
            found.append(server);
    }
    return found;
}

} // namespace telviox
