#pragma once

#include "server/linediagnostics.h"

#include <QAbstractTableModel>
#include <QList>
#include <QTimer>

namespace telviox {

// The quality and statistics of every served item as a table, one row per
// item a conversation fills, read again at most every refreshInterval() ms
// after the diagnostics changed (every update repaints the view).
class DiagnosticsModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Item,
        Conversation,
        Model,
        Address,
        Rate,
        Quality,
        Code,
        Report,
        LastGood,
        Good,
        Failed,
        Timeouts,
        Ms,
        Stale,
        ColumnCount
    };
    // True for a row whose quality is bad or stale.
    static constexpr int ErrorRole = Qt::UserRole + 1;

    explicit DiagnosticsModel(const LineDiagnostics &diagnostics, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString field(const ItemDiagnostics &row, int column);
    const ItemDiagnostics &rowAt(int row) const { return m_rows.at(row); }
    // Reads the served rows again now.
    void refresh();
    static constexpr int DefaultRefreshMs = 1000;
    void setRefreshInterval(int ms) { m_refreshTimer.setInterval(ms); }

private:
    void scheduleRefresh();

    const LineDiagnostics &m_diagnostics;
    QList<ItemDiagnostics> m_rows;
    QTimer m_refreshTimer;
};

} // namespace telviox
