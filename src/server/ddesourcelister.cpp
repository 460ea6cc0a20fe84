#include "ddesourcelister.h"

#include "ddeitemserver.h"
#include "ddenames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QXmlStreamReader>
#include <algorithm>
#include <tuple>

namespace telviox {

namespace {

const QString IntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");

QString childPath(const QString &path, const QString &name)
{
    return path.endsWith(u'/') ? path + name : path + u'/' + name;
}

} // namespace

DdeSourceLister::DdeSourceLister(const QDBusConnection &connection, int timeoutMs)
    : m_connection(connection), m_timeoutMs(timeoutMs)
{}

DdeSourceLister::Node DdeSourceLister::parseIntrospection(const QString &path, const QString &xml)
{
    Node node;
    QXmlStreamReader reader(xml);
    int depth = 0;
    bool inTopic = false;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView name = reader.name();
            const QString attribute = reader.attributes().value(QLatin1String("name")).toString();
            // depth 1 is the document's own node; children are nodes at depth 2
            if (name == u"node" && depth == 2 && !attribute.isEmpty()) {
                node.children.append(childPath(path, attribute));
            } else if (name == u"interface" && depth == 2) {
                inTopic = attribute == QLatin1String(DdeNames::Interface);
                node.isTopic = node.isTopic || inTopic;
            } else if (name == u"property" && depth == 3 && inTopic && !attribute.isEmpty()) {
                node.items.append(DdeNames::unescapeName(attribute));
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2)
                inTopic = false;
            --depth;
        }
    }
    if (reader.hasError())
        return {}; // a broken document tells nothing reliable
    return node;
}

std::vector<DdeSource> DdeSourceLister::list() const
{
    m_error.clear();
    std::vector<DdeSource> sources;
    if (!m_connection.isConnected() || !m_connection.interface()) {
        m_error = QStringLiteral("No session bus");
        return sources;
    }
    const auto names = m_connection.interface()->registeredServiceNames();
    if (!names.isValid()) {
        m_error = names.error().message();
        return sources;
    }
    QStringList busNames;
    for (const QString &name : names.value()) {
        if (!DdeNames::serviceOfBusName(name).isEmpty())
            busNames.append(name);
    }
    busNames.sort();
    for (const QString &busName : std::as_const(busNames))
        listService(busName, sources);
    std::stable_sort(sources.begin(), sources.end(), [](const DdeSource &a, const DdeSource &b) {
        return std::tie(a.service, a.topic) < std::tie(b.service, b.topic);
    });
    return sources;
}

void DdeSourceLister::listService(const QString &busName, std::vector<DdeSource> &out) const
{
    const QString service = DdeNames::serviceOfBusName(busName);
    // A name this very connection owns is served by this thread, which cannot
    // answer its own blocking call: its servers are asked directly.
    if (m_connection.interface()->serviceOwner(busName).value() == m_connection.baseService()) {
        for (const DdeItemServer *server : DdeItemServer::localServers(m_connection, service))
            out.push_back({service, server->topic(), server->items()});
        return;
    }
    // A topic is the object "/" + topic, so the root and its direct children
    // are all there is to visit.
    QStringList paths{QStringLiteral("/")};
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths.at(i);
        QDBusMessage call = QDBusMessage::createMethodCall(busName, path, IntrospectableInterface,
                                                           QStringLiteral("Introspect"));
        const QDBusMessage reply = m_connection.call(call, QDBus::Block, m_timeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            continue;
        const Node node = parseIntrospection(path, reply.arguments().constFirst().toString());
        if (node.isTopic) {
            const QString topic = path == u"/" ? QString() : DdeNames::unescapeName(path.mid(1));
            out.push_back({service, topic, node.items});
        }
        if (path == u"/")
            paths.append(node.children);
    }
}

} // namespace telviox
