#include "serve/headlessviews.h"

#include "serve/servelog.h"
#include "server/ddeprogramitems.h"

#include <algorithm>

namespace telviox {

int HeadlessEstablish::tickedCount() const
{
    return int(std::count(m_ticks.begin(), m_ticks.end(), true));
}

void HeadlessServerView::showServerWindow()
{
    if (m_loaded)
        return;
    m_loaded = true;
    if (!m_items)
        return;
    // A new window starts with empty boxes, and clients find the service only
    // while it is loaded.
    for (int position = 1; position <= DdeProgramItems::ItemCount; ++position)
        m_items->FillText(position, QString());
    if (!m_items->publish()) {
        const QString reason = m_items->errorString();
        m_log.write(QStringLiteral("service %1 is not available to D-Bus clients: %2")
                        .arg(DdeProgramItems::serviceName(),
                             reason.isEmpty() ? QStringLiteral("no session bus") : reason));
    }
}

void HeadlessServerView::unloadServerWindow()
{
    m_loaded = false;
    if (m_items)
        m_items->unpublish();
}

} // namespace telviox
