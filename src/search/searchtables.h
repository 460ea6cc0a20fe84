#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

// The fixed tables of the module search: the rates it tries, the range tables
// of the configuration decoding and the descriptions of a main unit's slot
// modules. The settings dialog, the conversation dialogs and the output
// panels read the same tables.
namespace telviox::search {

// The rates the search tries, highest first; index i is flag i of SearchBauds.
constexpr int SearchBaudCount = 11;
constexpr std::array<qint32, SearchBaudCount> SearchBaudTable = {
    921600, 460800, 230400, 115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};

// One entry of a range table: the range code a module reports and its text.
// An entry's position in its table is the range index the found record keeps.
struct RangeEntry
{
    quint8 code;
    const char *text;
};

enum class RangeTable {
    A,          // thermocouple, mV, V, mA inputs
    AWithoutTc, // table A codes 00 to 06 only
    B,          // mV, V, mA inputs
    C,          // 8-channel thermocouple inputs
    D,          // RTD inputs
    DWith2A,    // 3-channel RTD inputs: table D and Pt1000
    E,          // 1-channel outputs
    F,          // 4-channel outputs
};

const std::vector<RangeEntry> &rangeTable(RangeTable table);

// Position of a range code in a table, if it is there.
std::optional<int> rangeIndexOf(RangeTable table, quint8 code);

// The 2-channel outputs describe each channel by the digit their per-channel
// configuration command answers (0, 1, 2). Channel 0's texts end in two blanks.
constexpr int TwoChannelRangeCount = 3;
QString twoChannelRangeText(int channel, int code);

// A slot module of a main unit, by its slot code (what follows the "90" of
// its name: "27", "91", "91H").
struct SlotDescription
{
    const char *code;
    const char *text;
    bool queried;     // analog: asked for its configuration after the slot lines
    RangeTable table; // where a queried module's range code is looked up
};
std::optional<SlotDescription> slotDescription(const QString &slotCode);

} // namespace telviox::search
