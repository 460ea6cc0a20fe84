#include "server/ddelinksource.h"

namespace telviox {

DdeLinkSource::DdeLinkSource(const QDBusConnection &connection) : m_client(connection) {}

bool DdeLinkSource::connectItem(int position, const LinkSourceName &source, int timeoutMs)
{
    m_links.remove(position);
    const DdeResult present = m_client.checkService(source.service);
    if (!present.ok()) {
        m_lastError = present.error;
        return false;
    }
    m_links.insert(position, {source, timeoutMs});
    return true;
}

std::optional<QString> DdeLinkSource::requestItem(int position)
{
    const auto it = m_links.constFind(position);
    if (it == m_links.constEnd()) {
        m_lastError = QObject::tr("Item %1 is not linked").arg(position);
        return std::nullopt;
    }
    const DdeResult result =
        m_client.request(it->source.service, it->source.topic, it->source.item, it->timeoutMs);
    if (!result.ok()) {
        m_lastError = result.error;
        return std::nullopt;
    }
    return result.text;
}

} // namespace telviox
