#include "conversations/conversationtable.h"

#include <QtGlobal>

namespace telviox {

void clearConversation(SharedState &state, int index)
{
    // An index from outside the table names no conversation.
    if (index < 0 || index >= ConvCount)
        return;
    ConvRecord &record = state.Conv[static_cast<std::size_t>(index)];
    record.InUse = 0;
    record.TypeCode = 0;
}

void replaceTables(SharedState &state, const ConvTable &conv, const LinkTable &link)
{
    state.Conv = conv;
    state.Link = link;
}

void resetForEstablishWindow(SharedState &state)
{
    state.CurConv = 0;
    for (int n = 0; n < ConvCount; ++n)
        state.Link[static_cast<std::size_t>(n)].Linked = 0;
}

void resetLinkActive(SharedState &state)
{
    for (ConvRecord &record : state.Conv)
        record.LinkActive = 0;
}

void setIntervalEntry(SharedState &state, int interval)
{
    LinkRecord &entry = state.Link[IntervalEntry];
    entry.Service = QStringLiteral("Timer Interval");
    entry.Topic.clear();
    entry.Item.clear();
    entry.Linked = static_cast<qint16>(interval);
}

} // namespace telviox
