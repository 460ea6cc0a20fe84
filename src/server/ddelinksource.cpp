#include "server/ddelinksource.h"

#include <utility>

namespace telviox {

namespace {

bool sameSource(const LinkSourceName &a, const LinkSourceName &b)
{
    return a.service == b.service && a.topic == b.topic && a.item == b.item;
}

} // namespace

DdeLinkSource::DdeLinkSource(const QDBusConnection &connection)
    : m_connection(connection), m_client(connection)
{}

DdeLinkSource::~DdeLinkSource() = default;

void DdeLinkSource::setFollower(Follower follower)
{
    m_follower = std::move(follower);
}

bool DdeLinkSource::connectItem(int position, const LinkSourceName &source, int timeoutMs)
{
    // The link is set up again on every tick; listening to the same source
    // goes on undisturbed, so no change slips through between two ticks.
    std::unique_ptr<DdeAdviseLink> advise;
    if (const auto it = m_links.find(position); it != m_links.end()) {
        if (sameSource(it->second.source, source))
            advise = std::move(it->second.advise);
        m_links.erase(it);
    }
    const DdeResult present = m_client.checkService(source.service);
    if (!present.ok()) {
        m_lastError = present.error;
        return false;
    }
    if (!advise) {
        advise = std::make_unique<DdeAdviseLink>(m_connection, source.service, source.topic,
                                                 source.item);
        QObject::connect(advise.get(), &DdeAdviseLink::advised, advise.get(),
                         [this, position](const QString &, const QString &text) {
                             if (m_follower)
                                 m_follower(position, text);
                         });
    }
    m_links[position] = Link{source, timeoutMs, std::move(advise)};
    return true;
}

std::optional<QString> DdeLinkSource::requestItem(int position)
{
    const auto it = m_links.find(position);
    if (it == m_links.end()) {
        m_lastError = QObject::tr("Item %1 is not linked").arg(position);
        return std::nullopt;
    }
    const LinkSourceName &source = it->second.source;
    const DdeResult result =
        m_client.request(source.service, source.topic, source.item, it->second.timeoutMs);
    if (!result.ok()) {
        m_lastError = result.error;
        return std::nullopt;
    }
    return result.text;
}

void DdeLinkSource::disconnectAll()
{
    m_links.clear();
}

} // namespace telviox
