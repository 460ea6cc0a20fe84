#include "conversations/establishview.h"

namespace telviox {

QString intervalLabel(int value)
{
    return QStringLiteral("Timer Interval: %1 mSec").arg(value);
}

QString intervalChanged(SharedState &state, int value)
{
    state.Link[IntervalEntry].Linked = static_cast<qint16>(value);
    return intervalLabel(value);
}

} // namespace telviox
