#include "publish/itemquality.h"

#include "core/scripttext.h"
#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"

#include <QJsonValue>

namespace telviox {

ItemQuality itemQuality(const LineDiagnostics *diagnostics, const QString &item)
{
    const int position = DdeProgramItems::positionOf(item);
    if (!diagnostics || position == 0)
        return {};
    const ItemDiagnostics row = diagnostics->row(position);
    ItemQuality quality;
    quality.quality = row.qualityName();
    quality.lastGood = row.lastGood;
    quality.code = row.code;
    quality.report = row.report;
    return quality;
}

QJsonObject qualityObject(const ItemQuality &quality)
{
    return {
        {QStringLiteral("quality"), quality.quality},
        {QStringLiteral("lastGood"), quality.lastGood.isValid()
                                         ? QJsonValue(scripttext::isoTimeStamp(quality.lastGood))
                                         : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("code"), quality.code},
        {QStringLiteral("report"), quality.report},
    };
}

} // namespace telviox
