#include "monitor/trafficmodel.h"

#include "core/filedialog.h"
#include "core/moduleerror.h"
#include "core/prompt.h"
#include "core/scripttext.h"
#include "core/textutil.h"

#include <QFileInfo>
#include <QSaveFile>

namespace telviox {

namespace {

QString directionName(TrafficRecord::Direction direction)
{
    switch (direction) {
    case TrafficRecord::Direction::Sent:
        return QStringLiteral("sent");
    case TrafficRecord::Direction::Received:
        return QStringLiteral("received");
    case TrafficRecord::Direction::Event:
        break;
    }
    return QStringLiteral("event");
}

QString resultText(qint16 code)
{
    return code == 0 ? QStringLiteral("OK") : moduleErrorDescription(code).trimmed();
}

} // namespace

TrafficModel::TrafficModel(TrafficLog &log, QObject *parent)
    : QAbstractTableModel(parent), m_log(log)
{
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(DefaultRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &TrafficModel::refresh);
    m_log.setAppendedHandler([this] { scheduleRefresh(); });
    rebuild();
}

TrafficModel::~TrafficModel()
{
    m_log.setAppendedHandler({});
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QStringList TrafficModel::headers()
{
    return {QStringLiteral("Time"),  QStringLiteral("Port"),     QStringLiteral("Device"),
            QStringLiteral("Rate"),  QStringLiteral("Checksum"), QStringLiteral("Direction"),
            QStringLiteral("Frame"), QStringLiteral("Code"),     QStringLiteral("Result"),
            QStringLiteral("ms")};
}

QString TrafficModel::field(const TrafficLine &line, int column, bool isoTime)
{
    switch (column) {
    case Time:
        return isoTime ? scripttext::isoTimeStamp(line.time)
                       : line.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    case Port:
        return QStringLiteral("COM%1").arg(line.port);
    case Device:
        return line.device;
    case Rate:
        return QString::number(line.baud);
    case Direction:
        return directionName(line.direction);
    case Frame:
        return line.isEvent() ? line.event
                              : QString::fromLatin1(textutil::visibleBytes(line.frame));
    default:
        break;
    }
    if (line.isEvent())
        return {};
    switch (column) {
    case Checksum:
        return line.checksum ? QStringLiteral("yes") : QStringLiteral("no");
    case Code:
        return QString::number(line.result);
    case Result:
        return resultText(line.result);
    case Ms:
        return line.direction == TrafficRecord::Direction::Received
                   ? QString::number(line.elapsedMs)
                   : QString();
    default:
        return {};
    }
}

QStringList TrafficModel::fields(const TrafficLine &line, bool isoTime)
{
    QStringList f;
    f.reserve(ColumnCount);
    for (int c = 0; c < ColumnCount; ++c)
        f << field(line, c, isoTime);
    return f;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    // A row whose line the log let go since the last refresh shows nothing
    // until the refresh removes it.
    const qint64 sequence = m_rows.at(std::size_t(index.row()));
    if (!m_log.contains(sequence))
        return {};
    const TrafficLine &line = m_log.line(sequence);
    switch (role) {
    case Qt::DisplayRole:
        return field(line, index.column(), false);
    case Qt::ToolTipRole:
        return index.column() == Time ? scripttext::isoTimeStamp(line.time) : QVariant();
    case ErrorRole:
        return line.isError();
    case EventRole:
        return line.isEvent();
    default:
        return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return headers().at(section);
}

bool TrafficModel::accepts(const TrafficLine &line) const
{
    if (line.isEvent())
        return true;
    if (m_errorsOnly && !line.isError())
        return false;
    if (!m_addressValid)
        return false;
    return !m_address || line.address == *m_address;
}

bool TrafficModel::setAddressFilter(const QString &text)
{
    const QString t = text.trimmed();
    std::optional<int> address;
    bool valid = true;
    if (!t.isEmpty()) {
        valid = t.size() <= 2 && std::all_of(t.begin(), t.end(), [](QChar c) {
                    return textutil::isHexDigit(c.unicode());
                });
        if (valid)
            address = t.toInt(nullptr, 16);
    }
    if (address != m_address || valid != m_addressValid) {
        m_address = address;
        m_addressValid = valid;
        rebuild();
    }
    return valid;
}

void TrafficModel::setErrorsOnly(bool errorsOnly)
{
    if (errorsOnly == m_errorsOnly)
        return;
    m_errorsOnly = errorsOnly;
    rebuild();
}

void TrafficModel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (!m_paused)
        refresh();
}

qint64 TrafficModel::arrivedWhilePaused() const
{
    return m_paused ? m_log.endSequence() - m_seenEnd : 0;
}

void TrafficModel::clear()
{
    beginResetModel();
    m_log.clear();
    m_rows.clear();
    m_seenEnd = m_log.endSequence();
    endResetModel();
}

void TrafficModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    // Paused, a new filter applies to what the table has seen, nothing newer.
    const qint64 end = m_paused ? std::max(m_seenEnd, m_log.firstSequence()) : m_log.endSequence();
    for (qint64 s = m_log.firstSequence(); s < end; ++s) {
        if (accepts(m_log.line(s)))
            m_rows.push_back(s);
    }
    m_seenEnd = end;
    endResetModel();
}

void TrafficModel::scheduleRefresh()
{
    if (!m_refreshTimer.isActive())
        m_refreshTimer.start();
}

void TrafficModel::refresh()
{
    m_refreshTimer.stop();
    const qint64 first = m_log.firstSequence();
    std::size_t lost = 0;
    while (lost < m_rows.size() && m_rows[lost] < first)
        ++lost;
    std::vector<qint64> fresh;
    if (!m_paused) {
        const qint64 end = m_log.endSequence();
        for (qint64 s = std::max(m_seenEnd, first); s < end; ++s) {
            if (accepts(m_log.line(s)))
                fresh.push_back(s);
        }
        m_seenEnd = end;
    }

    // A full table that lets as many lines go as it takes keeps its row count
    // and its rows move up: changed data to a view. Removing rows at the top
    // and inserting as many at the bottom would make the view move every row,
    // a cost that grows with the table.
    const std::size_t shifted = std::min(lost, fresh.size());
    if (shifted > 0) {
        m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(shifted));
        m_rows.insert(m_rows.end(), fresh.begin(), fresh.begin() + std::ptrdiff_t(shifted));
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    }
    if (lost > shifted) {
        const std::size_t gone = lost - shifted;
        beginRemoveRows({}, 0, int(gone) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + std::ptrdiff_t(gone));
        endRemoveRows();
    }
    if (fresh.size() > shifted) {
        const int row = rowCount();
        beginInsertRows({}, row, row + int(fresh.size() - shifted) - 1);
        m_rows.insert(m_rows.end(), fresh.begin() + std::ptrdiff_t(shifted), fresh.end());
        endInsertRows();
    }
    emit refreshed();
}

QByteArray TrafficModel::toText() const
{
    QByteArray out = headers().join(QLatin1Char('\t')).toUtf8() + '\n';
    for (const qint64 s : m_rows)
        out += fields(m_log.line(s), true).join(QLatin1Char('\t')).toUtf8() + '\n';
    return out;
}

QByteArray TrafficModel::toCsv() const
{
    QByteArray out = scripttext::csvRow(headers()).toUtf8() + '\n';
    for (const qint64 s : m_rows)
        out += scripttext::csvRow(fields(m_log.line(s), true)).toUtf8() + '\n';
    return out;
}

bool saveTraffic(const TrafficModel &model, const QString &path, QString *error)
{
    const bool csv =
        QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
    QSaveFile file(path);
    const QByteArray bytes = csv ? model.toCsv() : model.toText();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool saveTrafficAs(const TrafficModel &model, FileDialogs &dialogs, Prompt &prompt)
{
    const std::optional<QString> path = dialogs.getSaveFileName(
        QStringLiteral("Save Traffic"), QStringLiteral("Text file|*.txt|CSV file|*.csv"), 1);
    if (!path)
        return false;
    QString error;
    if (saveTraffic(model, *path, &error))
        return true;
    prompt.message(QStringLiteral("The traffic could not be saved to %1: %2").arg(*path, error),
                   BoxStyle::Exclamation, QStringLiteral("Line Monitor"));
    return false;
}

} // namespace telviox
