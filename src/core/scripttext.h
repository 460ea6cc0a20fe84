#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Output meant for scripts and logs: time stamps and CSV rows.
namespace telviox::scripttext {

// ISO 8601 to the millisecond with the time's own offset, always as +hh:mm
// (never "Z"), so every line of a log has the same width and form:
// "2026-12-06T22:14:03.512+01:00".
QString isoTimeStamp(const QDateTime &time);

// One field quoted where RFC 4180 needs it: a comma, a double quote, CR or LF
// inside; double quotes doubled.
QString csvField(const QString &text);
// The fields joined by commas, each quoted where needed; no line end.
QString csvRow(const QStringList &fields);

} // namespace telviox::scripttext
