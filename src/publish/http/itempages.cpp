#include "publish/http/itempages.h"

#include "core/scripttext.h"
#include "server/ddeitemserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace telviox {

namespace {

const QByteArray HtmlType = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray CsvType = QByteArrayLiteral("text/csv; charset=utf-8");
const QByteArray JsonType = QByteArrayLiteral("application/json");
const QByteArray PlainType = QByteArrayLiteral("text/plain; charset=utf-8");
const QString ItemPrefix = QStringLiteral("/items/");

HttpReply plain(int status, const QByteArray &text)
{
    return {status, PlainType, text + '\n', {}};
}

QString lastGoodText(const ItemQuality &quality)
{
    return quality.lastGood.isValid() ? scripttext::isoTimeStamp(quality.lastGood) : QString();
}

} // namespace

QList<ItemRow> itemRows(const DdeItemServer &items, const LineDiagnostics *diagnostics)
{
    QList<ItemRow> rows;
    const QStringList names = items.items();
    rows.reserve(names.size());
    for (const QString &name : names)
        rows.append({name, items.text(name), itemQuality(diagnostics, name)});
    return rows;
}

QString htmlEscaped(const QString &text)
{
    QString escaped = text.toHtmlEscaped(); // & < > "
    escaped.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return escaped;
}

QByteArray itemsHtml(const QString &service, const QString &topic, const QList<ItemRow> &rows)
{
    const QString title = htmlEscaped(service + QLatin1Char(' ') + topic);
    QString page;
    page += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                           "<title>%1</title>\n</head>\n<body>\n"
                           "<table id=\"items\" border=\"1\">\n"
                           "<tr><th>Item</th><th>Text</th></tr>\n")
                .arg(title);
    for (const ItemRow &row : rows) {
        page += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                    .arg(htmlEscaped(row.item), htmlEscaped(row.text));
    }
    page += QStringLiteral("</table>\n</body>\n</html>\n");
    return page.toUtf8();
}

QByteArray itemsCsv(const QList<ItemRow> &rows)
{
    QString csv = QStringLiteral("item,text,quality,lastGood\r\n");
    for (const ItemRow &row : rows) {
        csv += scripttext::csvRow(
                   {row.item, row.text, row.quality.quality, lastGoodText(row.quality)}) +
               QStringLiteral("\r\n");
    }
    return csv.toUtf8();
}

QByteArray itemsJson(const QString &service, const QString &topic, const QList<ItemRow> &rows,
                     const QDateTime &now)
{
    QJsonArray items;
    for (const ItemRow &row : rows) {
        QJsonObject object = qualityObject(row.quality);
        object.insert(QStringLiteral("item"), row.item);
        object.insert(QStringLiteral("text"), row.text);
        items.append(object);
    }
    const QJsonObject root{
        {QStringLiteral("service"), service},
        {QStringLiteral("topic"), topic},
        {QStringLiteral("time"), scripttext::isoTimeStamp(now)},
        {QStringLiteral("items"), items},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

HttpReply replyTo(const QByteArray &method, const QString &path, const QString &service,
                  const QString &topic, const QList<ItemRow> &rows, const QDateTime &now)
{
    if (method != "GET" && method != "HEAD") {
        HttpReply reply =
            plain(405, QByteArrayLiteral("Method Not Allowed: the items are read-only"));
        reply.allow = QByteArrayLiteral("GET, HEAD");
        return reply;
    }
    if (path == QLatin1String("/") || path == QLatin1String("/items.html"))
        return {200, HtmlType, itemsHtml(service, topic, rows), {}};
    if (path == QLatin1String("/items.csv"))
        return {200, CsvType, itemsCsv(rows), {}};
    if (path == QLatin1String("/items.json"))
        return {200, JsonType, itemsJson(service, topic, rows, now), {}};
    if (path.startsWith(ItemPrefix)) {
        const QString name = path.mid(ItemPrefix.size());
        for (const ItemRow &row : rows) {
            if (row.item == name)
                return {200, PlainType, row.text.toUtf8(), {}};
        }
        return plain(404, QByteArrayLiteral("Not Found: no item ") + name.toUtf8());
    }
    return plain(404, QByteArrayLiteral("Not Found"));
}

} // namespace telviox
