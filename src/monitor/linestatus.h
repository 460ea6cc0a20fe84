#pragma once

#include <QDateTime>
#include <QString>

namespace telviox {

// The main window's permanent status field: the port, the device it maps to,
// the rate it is open at and the time of the last tick, e.g.
// "COM1 /work/x/ports/com1 9600 baud last tick 22:14:03.512"; "COM1 closed"
// while the port is not open; no tick time before the first tick.
QString lineStatusText(int port, const QString &device, qint32 baud, const QDateTime &lastTick);

} // namespace telviox
