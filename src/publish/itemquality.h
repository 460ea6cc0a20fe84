#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace telviox {

class LineDiagnostics;

// How far an item's text can be trusted, as published beside it.
struct ItemQuality
{
    QString quality = QStringLiteral("unknown"); // good, stale, bad or unknown
    QDateTime lastGood;                          // invalid: never good yet
    int code = 0;                                // the module error code, 0 when good
    QString report;                              // the error's one-line report

    friend bool operator==(const ItemQuality &a, const ItemQuality &b)
    {
        return a.quality == b.quality && a.lastGood == b.lastGood && a.code == b.code &&
               a.report == b.report;
    }
    friend bool operator!=(const ItemQuality &a, const ItemQuality &b) { return !(a == b); }
};

// The quality of one of the program's items ("Text1".."Text32"); "unknown"
// without diagnostics or for any other name.
ItemQuality itemQuality(const LineDiagnostics *diagnostics, const QString &item);

// {"quality":"good","lastGood":"2026-12-06T22:14:03.512+01:00","code":0,"report":""};
// lastGood is null before the first good exchange.
QJsonObject qualityObject(const ItemQuality &quality);

} // namespace telviox
