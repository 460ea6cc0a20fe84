#pragma once

#include "server/ddeclient.h"
#include "server/serverinterfaces.h"

#include <functional>
#include <memory>
#include <unordered_map>

namespace telviox {

// The client links of the server's items: each position linked to an item of
// another server (or of this program) is read through a DdeClient. A link is
// automatic: while it stands, every change the source advises is handed to
// the follower, so the linked item shows its source between ticks.
class DdeLinkSource final : public LinkSource
{
public:
    using Follower = std::function<void(int position, const QString &text)>;

    explicit DdeLinkSource(const QDBusConnection &connection = QDBusConnection::sessionBus());
    ~DdeLinkSource() override;

    void setFollower(Follower follower);

    // Fails at once when the source's service has no server.
    bool connectItem(int position, const LinkSourceName &source, int timeoutMs) override;
    std::optional<QString> requestItem(int position) override;
    void disconnectAll() override;

    bool isLinked(int position) const { return m_links.count(position) != 0; }
    // Why the last connectItem or requestItem failed.
    QString lastError() const { return m_lastError; }

private:
    struct Link
    {
        LinkSourceName source;
        int timeoutMs = DdeClient::DefaultTimeoutMs;
        // Hears the source's changes while the link stands; the connection
        // goes with it.
        std::unique_ptr<QObject> listener;
    };

    // Through the bus, or straight from the server when it is this program's.
    std::unique_ptr<QObject> listen(int position, const LinkSourceName &source);

    QDBusConnection m_connection;
    DdeClient m_client;
    Follower m_follower;
    std::unordered_map<int, Link> m_links;
    QString m_lastError;
};

} // namespace telviox
