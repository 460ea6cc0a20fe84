#pragma once

#include "server/ddeitemserver.h"

#include <QObject>
#include <QSet>

namespace telviox {

class LineDiagnostics;

// The served items' quality and statistics on the items' own object, as
// interface "telvioxd.Diagnostics": one read-only a{sv} property per item
// ("Text1".."Text32") and the method Table, which returns every row at once.
class DiagnosticsInterface final : public DdeObjectInterface
{
public:
    static QString interfaceName() { return QStringLiteral("telvioxd.Diagnostics"); }

    explicit DiagnosticsInterface(const LineDiagnostics &diagnostics);

    QString name() const override { return interfaceName(); }
    QString introspection() const override;
    QVariantMap properties() const override;
    QDBusMessage call(const QDBusMessage &message) const override;

private:
    const LineDiagnostics &m_diagnostics;
};

// Announces the rows that changed during a tick in one PropertiesChanged at
// its end, so a busy line costs one signal per tick rather than one per item.
class DiagnosticsAnnouncer final : public QObject
{
    Q_OBJECT

public:
    DiagnosticsAnnouncer(const LineDiagnostics &diagnostics, DdeItemServer &items,
                         QObject *parent = nullptr);

private:
    void flush();

    const LineDiagnostics &m_diagnostics;
    DdeItemServer &m_items;
    QSet<int> m_changed;
};

} // namespace telviox
