#include "server/ddelinksource.h"

#include "server/ddeitemserver.h"

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
    std::unique_ptr<QObject> listener;
    if (const auto it = m_links.find(position); it != m_links.end()) {
        if (sameSource(it->second.source, source))
            listener = std::move(it->second.listener);
        m_links.erase(it);
    }
    const DdeResult present = m_client.checkService(source.service);
    if (!present.ok()) {
        m_lastError = present.error;
        return false;
    }
    if (!listener)
        listener = listen(position, source);
    m_links.emplace(position, Link{source, timeoutMs, std::move(listener)});
    return true;
}

std::unique_ptr<QObject> DdeLinkSource::listen(int position, const LinkSourceName &source)
{
    const auto follow = [this, position](const QString &text) {
        if (m_follower)
            m_follower(position, text);
    };
    if (DdeItemServer *local =
            DdeItemServer::localServer(m_connection, source.service, source.topic)) {
        auto listener = std::make_unique<QObject>();
        QObject::connect(local, &DdeItemServer::textChanged, listener.get(),
                         [follow, item = source.item](const QString &changed, const QString &text) {
                             if (changed == item)
                                 follow(text);
                         });
        return listener;
    }
    auto advise =
        std::make_unique<DdeAdviseLink>(m_connection, source.service, source.topic, source.item);
    QObject::connect(advise.get(), &DdeAdviseLink::advised, advise.get(),
                     [follow](const QString &, const QString &text) { follow(text); });
    return advise;
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
