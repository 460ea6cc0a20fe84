#pragma once

#include "monitor/trafficlog.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <optional>

namespace telviox {

class FileDialogs;
class Prompt;

// The traffic log as a table, filtered by module address and to errors, that
// can stop following (pause), be cleared and be written out.
//
// The table takes what the log gained in one batch, at most every
// refreshInterval() ms: a person reads no faster, and every update repaints
// the view, which costs far more than recording the frames. Paused, the table stands still: lines
// arriving meanwhile are kept in the log (still bounded) and counted, and shown on resume; a line
// that the log lets go while paused leaves the table too, so the table never
// holds more than the log.
//
// Events (a device lost or found again) concern the whole line: every filter
// shows them.
class TrafficModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Time,
        Port,
        Device,
        Rate,
        Checksum,
        Direction,
        Frame,
        Code,
        Result,
        Ms,
        ColumnCount
    };
    // True for a line of a failed exchange.
    static constexpr int ErrorRole = Qt::UserRole + 1;
    static constexpr int EventRole = Qt::UserRole + 2;

    explicit TrafficModel(TrafficLog &log, QObject *parent = nullptr);
    ~TrafficModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // One or two hexadecimal digits ("1", "01", "1f"); blank shows every
    // address. False for anything else, which then shows no frame at all.
    bool setAddressFilter(const QString &text);
    std::optional<int> addressFilter() const { return m_address; }
    bool addressFilterValid() const { return m_addressValid; }
    void setErrorsOnly(bool errorsOnly);
    bool errorsOnly() const { return m_errorsOnly; }
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // Lines the log gained since the pause began (also those it let go since).
    qint64 arrivedWhilePaused() const;
    // Forgets every line, in the log too.
    void clear();
    // Takes what the log gained now (otherwise at most every refreshInterval()).
    void refresh();
    static constexpr int DefaultRefreshMs = 1000;
    void setRefreshInterval(int ms) { m_refreshTimer.setInterval(ms); }
    int refreshInterval() const { return m_refreshTimer.interval(); }


    // The fields of a line as the table, the text file and the CSV file show
    // them; the time as ISO 8601 with the date for files, the time of day
    // to the millisecond for the table.
    static QString field(const TrafficLine &line, int column, bool isoTime);
    static QStringList fields(const TrafficLine &line, bool isoTime);
    static QStringList headers();
    // The lines the table shows, with a header line: tab-separated text, or CSV.
    QByteArray toText() const;
    QByteArray toCsv() const;

signals:
    // The table took what the log gained (or, paused, counted it).
    void refreshed();

private:
    bool accepts(const TrafficLine &line) const;
    void scheduleRefresh();
    void rebuild();

    TrafficLog &m_log;
    std::deque<qint64> m_rows; // sequences of the lines shown, oldest first
    qint64 m_seenEnd = 0;      // the log's end the table has looked at
    std::optional<int> m_address;
    bool m_addressValid = true;
    bool m_errorsOnly = false;
    bool m_paused = false;
    QTimer m_refreshTimer;
};

// Writes the lines the table shows to path: CSV for a ".csv" name, else text.
// Nothing is left half-written: the file is replaced only when all of it went
// to disk. On failure, false with the reason in *error.
bool saveTraffic(const TrafficModel &model, const QString &path, QString *error);

// "Save...": asks for a file and writes it; a file that cannot be written is
// reported. False when nothing was saved (cancelled or failed).
bool saveTrafficAs(const TrafficModel &model, FileDialogs &dialogs, Prompt &prompt);

} // namespace telviox
