#include "monitor/diagnosticsmodel.h"

namespace telviox {

DiagnosticsModel::DiagnosticsModel(const LineDiagnostics &diagnostics, QObject *parent)
    : QAbstractTableModel(parent), m_diagnostics(diagnostics)
{
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(DefaultRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &DiagnosticsModel::refresh);
    connect(&diagnostics, &LineDiagnostics::rowChanged, this, &DiagnosticsModel::scheduleRefresh);
    connect(&diagnostics, &LineDiagnostics::tickFinished, this, &DiagnosticsModel::scheduleRefresh);
    connect(&diagnostics, &LineDiagnostics::tableReset, this, &DiagnosticsModel::scheduleRefresh);
    refresh();
}

int DiagnosticsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DiagnosticsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString DiagnosticsModel::field(const ItemDiagnostics &row, int column)
{
    switch (column) {
    case Item:
        return QStringLiteral("Text%1").arg(row.position);
    case Conversation:
        return QString::number(row.conversation);
    case Model:
        return row.model;
    case Address:
        return row.address;
    case Rate:
        return QString::number(row.rate);
    case Quality:
        return row.qualityName();
    case Code:
        return row.visited ? QString::number(row.code) : QString();
    case Report:
        return row.report;
    case LastGood:
        return row.lastGood.isValid() ? row.lastGood.toString(QStringLiteral("HH:mm:ss.zzz"))
                                      : QString();
    case Good:
        return QString::number(row.good);
    case Failed:
        return QString::number(row.failed);
    case Timeouts:
        return QString::number(row.timeouts);
    case Ms:
        return row.visited ? QString::number(row.exchangeMs) : QString();
    case Stale:
        return row.stale ? QStringLiteral("yes") : QStringLiteral("no");
    default:
        return {};
    }
}

QVariant DiagnosticsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const ItemDiagnostics &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return field(row, index.column());
    case Qt::ToolTipRole:
        return index.column() == Report || index.column() == Quality ? row.report : QString();
    case ErrorRole:
        return row.visited && !row.isGood();
    default:
        return {};
    }
}

QVariant DiagnosticsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const Names[ColumnCount] = {
        "Item",   "Conversation", "Model", "Address", "Rate",      "Quality", "Code",
        "Report", "Last good",    "Good",  "Failed",  "Time-outs", "ms",      "Stale"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(Names[section]);
}

void DiagnosticsModel::refresh()
{
    m_refreshTimer.stop();
    const QList<ItemDiagnostics> rows = m_diagnostics.servedRows();
    bool samePositions = rows.size() == m_rows.size();
    for (int i = 0; samePositions && i < rows.size(); ++i)
        samePositions = rows.at(i).position == m_rows.at(i).position;
    if (!samePositions) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    m_rows = rows;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void DiagnosticsModel::scheduleRefresh()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

} // namespace telviox
