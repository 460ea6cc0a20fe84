#include "monitor/itemcsvlogger.h"

#include "core/filedialog.h"
#include "core/prompt.h"
#include "core/scripttext.h"
#include "server/linediagnostics.h"
#include "server/serverinterfaces.h"

namespace telviox {

ItemCsvLogger::ItemCsvLogger(const LineDiagnostics &diagnostics, const ServerItems &items,
                             QObject *parent)
    : QObject(parent), m_diagnostics(diagnostics), m_items(items)
{
    connect(&diagnostics, &LineDiagnostics::tickFinished, this, &ItemCsvLogger::writeRow);
}

ItemCsvLogger::~ItemCsvLogger() = default;

bool ItemCsvLogger::start(const QString &path)
{
    stop();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error =
            QStringLiteral("The item log %1 cannot be written: %2").arg(path, file->errorString());
        return false;
    }
    m_file = std::move(file);
    m_path = path;
    m_error.clear();
    m_positions.clear();
    m_headerWritten = false;
    m_rows = 0;
    emit loggingChanged(true);
    return true;
}

void ItemCsvLogger::stop()
{
    if (!m_file)
        return;
    m_file->close();
    m_file.reset();
    emit loggingChanged(false);
}

bool ItemCsvLogger::writeLine(const QStringList &fields)
{
    const QByteArray bytes = scripttext::csvRow(fields).toUtf8() + '\n';
    return m_file->write(bytes) == bytes.size() && m_file->flush();
}

void ItemCsvLogger::fail()
{
    m_error = QStringLiteral("The item log %1 could not be written: %2. Logging stopped.")
                  .arg(m_path, m_file->errorString());
    stop();
    emit failed(m_error);
}

void ItemCsvLogger::writeRow(const QDateTime &time)
{
    if (!m_file)
        return;
    QList<int> positions;
    for (const ItemDiagnostics &row : m_diagnostics.servedRows())
        positions << row.position;
    if (!m_headerWritten || positions != m_positions) {
        QStringList header{QStringLiteral("Time")};
        for (int p : std::as_const(positions))
            header << QStringLiteral("Text%1").arg(p);
        if (!writeLine(header)) {
            fail();
            return;
        }
        m_positions = positions;
        m_headerWritten = true;
    }
    QStringList fields{scripttext::isoTimeStamp(time)};
    for (int p : std::as_const(m_positions))
        fields << m_items.itemText(p).trimmed();
    if (!writeLine(fields)) {
        fail();
        return;
    }
    ++m_rows;
}

bool logItemsToCsv(ItemCsvLogger &logger, FileDialogs &dialogs, Prompt &prompt)
{
    const std::optional<QString> path = dialogs.getSaveFileName(
        QStringLiteral("Log Items to CSV"), QStringLiteral("CSV file|*.csv|All File|*.*"), 1);
    if (!path)
        return false;
    if (logger.start(*path))
        return true;
    prompt.message(logger.errorString(), BoxStyle::Exclamation, QStringLiteral("Line Monitor"));
    return false;
}

} // namespace telviox
