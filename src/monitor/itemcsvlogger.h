#pragma once

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

namespace telviox {

class FileDialogs;
class LineDiagnostics;
class Prompt;
class ServerItems;

// "Log items to CSV": after every tick one row, the tick's time stamp (ISO
// 8601 to the millisecond) and then the text of every served item, trimmed,
// under a header row of the item names ("Time,Text1,Text2,..."). When the
// served items change, a new header row comes before the next row. Every row
// reaches the file before the next tick, so a crash or a termination signal
// loses nothing written. A row that cannot be written stops the logging and
// is reported once (failed()), never dropped silently.
class ItemCsvLogger final : public QObject
{
    Q_OBJECT

public:
    ItemCsvLogger(const LineDiagnostics &diagnostics, const ServerItems &items,
                  QObject *parent = nullptr);
    ~ItemCsvLogger() override;

    // Starts logging into path, replacing the file. False, with the message
    // in errorString(), when the file cannot be made.
    bool start(const QString &path);
    void stop();
    bool isLogging() const { return m_file != nullptr; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    qint64 rowsWritten() const { return m_rows; }

    // Writes the row of a tick ended at time (the diagnostics' tickFinished).
    void writeRow(const QDateTime &time);

signals:
    // Logging stopped because a row could not be written.
    void failed(const QString &message);
    void loggingChanged(bool logging);

private:
    bool writeLine(const QStringList &fields);
    void fail();

    const LineDiagnostics &m_diagnostics;
    const ServerItems &m_items;
    std::unique_ptr<QFile> m_file;
    QString m_path;
    QString m_error;
    QList<int> m_positions; // the items of the last header row
    bool m_headerWritten = false;
    qint64 m_rows = 0;
};

// "Log items to CSV...": asks for the file and starts logging into it; a file
// that cannot be made is reported. False when not logging afterwards.
bool logItemsToCsv(ItemCsvLogger &logger, FileDialogs &dialogs, Prompt &prompt);

} // namespace telviox
