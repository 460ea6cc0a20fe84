#include "server/diagnosticsinterface.h"

#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"

#include <QDBusMetaType>

namespace telviox {

DiagnosticsInterface::DiagnosticsInterface(const LineDiagnostics &diagnostics)
    : m_diagnostics(diagnostics)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

QString DiagnosticsInterface::introspection() const
{
    QString xml = QStringLiteral("  <interface name=\"%1\">\n"
                                 "    <method name=\"Table\">\n"
                                 "      <arg name=\"rows\" type=\"aa{sv}\" direction=\"out\"/>\n"
                                 "    </method>\n")
                      .arg(interfaceName());
    for (int position = 1; position <= LineDiagnostics::ItemCount; ++position) {
        xml += QStringLiteral("    <property name=\"%1\" type=\"a{sv}\" access=\"read\">\n"
                              "      <annotation name=\"org.freedesktop.DBus.Property."
                              "EmitsChangedSignal\" value=\"true\"/>\n"
                              "    </property>\n")
                   .arg(DdeProgramItems::itemName(position));
    }
    xml += QStringLiteral("  </interface>\n");
    return xml;
}

QVariantMap DiagnosticsInterface::properties() const
{
    QVariantMap values;
    for (const ItemDiagnostics &row : m_diagnostics.table())
        values.insert(DdeProgramItems::itemName(row.position), row.toVariantMap());
    return values;
}

QDBusMessage DiagnosticsInterface::call(const QDBusMessage &message) const
{
    if (message.member() != u"Table")
        return message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
            QStringLiteral("No method \"%1\" in %2").arg(message.member(), interfaceName()));
    if (!message.signature().isEmpty())
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                        QStringLiteral("Table takes no arguments"));
    QList<QVariantMap> rows;
    for (const ItemDiagnostics &row : m_diagnostics.table())
        rows.append(row.toVariantMap());
    return message.createReply(QVariant::fromValue(rows));
}

DiagnosticsAnnouncer::DiagnosticsAnnouncer(const LineDiagnostics &diagnostics,
                                           DdeItemServer &items, QObject *parent)
    : QObject(parent), m_diagnostics(diagnostics), m_items(items)
{
    connect(&diagnostics, &LineDiagnostics::rowChanged, this,
            [this](int position) { m_changed.insert(position); });
    connect(&diagnostics, &LineDiagnostics::tickFinished, this, &DiagnosticsAnnouncer::flush);
    connect(&diagnostics, &LineDiagnostics::tableReset, this, [this] {
        for (int position = 1; position <= LineDiagnostics::ItemCount; ++position)
            m_changed.insert(position);
        flush();
    });
}

void DiagnosticsAnnouncer::flush()
{
    if (m_changed.isEmpty())
        return;
    QVariantMap changed;
    for (int position : std::as_const(m_changed)) {
        changed.insert(DdeProgramItems::itemName(position),
                       m_diagnostics.row(position).toVariantMap());
    }
    m_changed.clear();
    m_items.announceProperties(DiagnosticsInterface::interfaceName(), changed);
}

} // namespace telviox
