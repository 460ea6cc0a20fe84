#pragma once

#include "server/ddeitemserver.h"
#include "server/serverinterfaces.h"

namespace telviox {

// The items the running server publishes: service "TELVIOXD", topic "Form5",
// items "Text1" to "Text32", one per polled conversation in table order.
class DdeProgramItems final : public DdeItemServer, public ServerItems
{
    Q_OBJECT

public:
    static constexpr int ItemCount = 32;
    static QString serviceName() { return QStringLiteral("TELVIOXD"); }
    static QString topicName() { return QStringLiteral("Form5"); }
    // "Text1" .. "Text32"; empty for any other position.
    static QString itemName(int position);
    // 1 .. 32 for "Text1" .. "Text32", else 0.
    static int positionOf(const QString &item);

    explicit DdeProgramItems(QObject *parent = nullptr);
    explicit DdeProgramItems(const QDBusConnection &connection, QObject *parent = nullptr);

    // Writes the item of a position and advises its clients; positions
    // outside 1 .. 32 are ignored.
    void FillText(int position, const QString &text);
    // The item's current text, poked or filled; empty outside 1 .. 32.
    QString text(int position) const;
    using DdeItemServer::text;

    // ServerItems, for the poll cycle.
    void setItemText(int position, const QString &text) override { FillText(position, text); }
    QString itemText(int position) const override { return text(position); }
};

} // namespace telviox
