#include "search/searchsettings.h"

#include "conversations/sharedstate.h"

#include <algorithm>

namespace telviox::search {

QStringList comPortEntries()
{
    QStringList entries;
    entries.reserve(ComPortCount);
    for (int port = 1; port <= ComPortCount; ++port)
        entries << QStringLiteral("COM") + QString::number(port);
    return entries;
}

SearchSettings SearchSettings::load(const SharedState &state)
{
    SearchSettings s;
    // A port outside the list (an edited configuration file) shows as COM1
    // rather than as no entry at all.
    s.comIndex = state.ComPort >= 1 && state.ComPort <= ComPortCount ? state.ComPort - 1 : 0;
    for (size_t i = 0; i < s.bauds.size(); ++i)
        s.bauds[i] = state.SearchBauds[i] != 0;
    s.checksum = state.SearchChecksum != 0;
    return s;
}

void SearchSettings::store(SharedState &state) const
{
    state.ComPort = qint16(std::clamp(comIndex, 0, ComPortCount - 1) + 1);
    for (size_t i = 0; i < bauds.size(); ++i)
        state.SearchBauds[i] = bauds[i] ? 1 : 0;
    state.SearchChecksum = checksum ? 1 : 0;
}

} // namespace telviox::search
