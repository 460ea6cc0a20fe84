#pragma once

#include "server/ddeclient.h"
#include "server/serverinterfaces.h"

#include <QHash>

namespace telviox {

// The client links of the server's items: each position linked to an item of
// another server (or of this program) is read through a DdeClient.
class DdeLinkSource final : public LinkSource
{
public:
    explicit DdeLinkSource(const QDBusConnection &connection = QDBusConnection::sessionBus());

    // Fails at once when the source's service has no server.
    bool connectItem(int position, const LinkSourceName &source, int timeoutMs) override;
    std::optional<QString> requestItem(int position) override;

    // Why the last connectItem or requestItem failed.
    QString lastError() const { return m_lastError; }

private:
    struct Link
    {
        LinkSourceName source;
        int timeoutMs = DdeClient::DefaultTimeoutMs;
    };

    DdeClient m_client;
    QHash<int, Link> m_links;
    QString m_lastError;
};

} // namespace telviox
