#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace telviox {

struct SharedState;

namespace search {

// The rates a search tries, highest first; index i is flag i of SearchBauds.
constexpr std::array<qint32, 11> SearchBaudTable = {921600, 460800, 230400, 115200, 57600, 38400,
                                                    19200,  9600,   4800,   2400,   1200};
constexpr int ComPortCount = 255;

// "COM1" to "COM255": entry i is port i + 1.
QStringList comPortEntries();

// What the search settings dialog shows and stores: the port, one flag per
// rate of the table and the checksum option.
struct SearchSettings
{
    int comIndex = 0; // list entry, port - 1
    std::array<bool, SearchBaudTable.size()> bauds{};
    bool checksum = false;

    static SearchSettings load(const SharedState &state);
    void store(SharedState &state) const;
};

} // namespace search
} // namespace telviox
