#pragma once

#include "search/searchtables.h"

#include <QString>
#include <QStringList>
#include <array>

namespace telviox {

struct SharedState;

namespace search {

constexpr int ComPortCount = 255;

// "COM1" to "COM255": entry i is port i + 1.
QStringList comPortEntries();

// What the search settings dialog shows and stores: the port, one flag per
// rate of the table and the checksum option.
struct SearchSettings
{
    int comIndex = 0; // list entry, port - 1
    std::array<bool, SearchBaudCount> bauds{};
    bool checksum = false;

    static SearchSettings load(const SharedState &state);
    void store(SharedState &state) const;
};

} // namespace search
} // namespace telviox
