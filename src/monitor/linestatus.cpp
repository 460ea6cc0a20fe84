#include "monitor/linestatus.h"

namespace telviox {

QString lineStatusText(int port, const QString &device, qint32 baud, const QDateTime &lastTick)
{
    QString text = QStringLiteral("COM%1").arg(port);
    if (device.isEmpty() || baud <= 0)
        text += QStringLiteral(" closed");
    else
        text += QStringLiteral(" %1 %2 baud").arg(device).arg(baud);
    if (lastTick.isValid())
        text += QStringLiteral(" last tick ") + lastTick.toString(QStringLiteral("HH:mm:ss.zzz"));
    return text;
}

} // namespace telviox
