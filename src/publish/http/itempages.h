#pragma once

#include "publish/itemquality.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace telviox {

class DdeItemServer;
class LineDiagnostics;

// One row of the item pages.
struct ItemRow
{
    QString item;
    QString text;
    ItemQuality quality;
};

// Every item of the topic in its own order, with its quality when
// diagnostics are given.
QList<ItemRow> itemRows(const DdeItemServer &items, const LineDiagnostics *diagnostics);

// What the pages answer, apart from the transport.
struct HttpReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray allow; // for 405
};

// The answer to a request for path with method ("GET", "HEAD", ...);
// read-only, so only GET and HEAD are served (HEAD gets GET's headers, the
// transport drops the body).
//   /, /items.html  one table of item name and text, for a spreadsheet's link
//   /items.csv      item,text,quality,lastGood
//   /items.json     service, topic, time, and every item with its quality
//   /items/<item>   the item's exact text, text/plain
HttpReply replyTo(const QByteArray &method, const QString &path, const QString &service,
                  const QString &topic, const QList<ItemRow> &rows, const QDateTime &now);

QString htmlEscaped(const QString &text);
QByteArray itemsHtml(const QString &service, const QString &topic, const QList<ItemRow> &rows);
QByteArray itemsCsv(const QList<ItemRow> &rows);
QByteArray itemsJson(const QString &service, const QString &topic, const QList<ItemRow> &rows,
                     const QDateTime &now);

} // namespace telviox
