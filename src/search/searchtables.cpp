#include "search/searchtables.h"

namespace telviox::search {

namespace {

const std::vector<RangeEntry> TableA = {
    {0x00, "+/- 15mV"},   {0x01, "+/- 50mV"},   {0x02, "+/- 100mV"},  {0x03, "+/- 500mV"},
    {0x04, "+/- 1V"},     {0x05, "+/- 2.5V"},   {0x06, "+/- 20mA"},   {0x0E, "T/C J-type"},
    {0x0F, "T/C K-type"}, {0x10, "T/C T-type"}, {0x11, "T/C E-type"}, {0x12, "T/C R-type"},
    {0x13, "T/C S-type"}, {0x14, "T/C B-type"}, {0x15, "T/C N-type"}, {0x16, "T/C C-type"},
};

// Codes 00 to 06 of table A are the first seven entries.
constexpr std::size_t NonThermocoupleCount = 7;

const std::vector<RangeEntry> TableB = {
    {0x08, "+/- 10V"},   {0x09, "+/- 5V"},    {0x0A, "+/- 1V"},
    {0x0B, "+/- 500mV"}, {0x0C, "+/- 125mV"}, {0x0D, "+/- 20mA"},
};

std::vector<RangeEntry> makeTableC()
{
    // The 8-channel thermocouple inputs spell their millivolt ranges apart.
    std::vector<RangeEntry> table = TableA;
    table[0].text = "+/-15 mV";
    table[1].text = "+/-50 mV";
    table[2].text = "+/-100 mV";
    table[3].text = "+/-500 mV";
    return table;
}

const std::vector<RangeEntry> TableD = {
    {0x20, "PT/.00385 +/-100 C"}, {0x21, "PT/.00385 0-100 C"},  {0x22, "PT/.00385 0-200 C"},
    {0x23, "PT/.00385 0-600 C"},  {0x24, "PT/.00392 +/-100 C"}, {0x25, "PT/.00392 0-100 C"},
    {0x26, "PT/.00392 0-200 C"},  {0x27, "PT/.00392 0-600 C"},  {0x28, "Ni/120 ohm -80-100 C"},
    {0x29, "Ni/120 ohm 0-100 C"},
};

std::vector<RangeEntry> makeTableDWith2A()
{
    std::vector<RangeEntry> table = TableD;
    table.push_back({0x2A, "Pt1000/.00385 -200-600 C"});
    return table;
}

const std::vector<RangeEntry> TableE = {
    {0x30, "0 to 20mA"}, {0x31, "4 to 20mA"}, {0x32, "0 to 10V"}};

const std::vector<RangeEntry> TableF = {
    {0x30, "O to 20mA"},  {0x31, "4 to 20mA"}, {0x32, "0 to 10V"},
    {0x33, "-10 to 10V"}, {0x34, "0 to 5V"},   {0x35, "-5 to 5V"},
};

const char *const TableG[2][TwoChannelRangeCount] = {
    {"CH:0 O-20mA  ", "CH:0 4-20mA  ", "CH:0 0-10V  "},
    {"CH:1 O-20mA", "CH:1 4-20mA", "CH:1 0-10V"},
};

const SlotDescription Slots[] = {
    {"27", "3-CH RTD", false, RangeTable::D},
    {"91", "8-CH Analog Input", true, RangeTable::B},
    {"91H", "8-CH High-Speed AI", true, RangeTable::B},
    {"86", "7-CH Thermo. Input", true, RangeTable::C},
    {"28", "4-CH Analog Input ", true, RangeTable::F},
    {"17", "16 Universal DI", false, RangeTable::A},
    {"40", "16 DI", false, RangeTable::A},
    {"73", "8 Isolation DI ", false, RangeTable::A},
    {"88", "16 Isolation DI ", false, RangeTable::A},
    {"35", "8 Isolation DI +8 Isolation DO", false, RangeTable::A},
    {"92", "8 DI +8 DO", false, RangeTable::A},
    {"44", "16 DO", false, RangeTable::A},
    {"87", "16 Isolation DO", false, RangeTable::A},
    {"15", "6 Relay DO", false, RangeTable::A},
    {"61", "4 DI + 4 Relay DO", false, RangeTable::A},
    {"60", "8 Relay DO", false, RangeTable::A},
};

} // namespace

const std::vector<RangeEntry> &rangeTable(RangeTable table)
{
    static const std::vector<RangeEntry> aWithoutTc(TableA.begin(),
                                                    TableA.begin() + NonThermocoupleCount);
    static const std::vector<RangeEntry> c = makeTableC();
    static const std::vector<RangeEntry> dWith2A = makeTableDWith2A();
    switch (table) {
    case RangeTable::A:
        return TableA;
    case RangeTable::AWithoutTc:
        return aWithoutTc;
    case RangeTable::B:
        return TableB;
    case RangeTable::C:
        return c;
    case RangeTable::D:
        return TableD;
    case RangeTable::DWith2A:
        return dWith2A;
    case RangeTable::E:
        return TableE;
    case RangeTable::F:
        return TableF;
    }
    return TableA;
}

std::optional<int> rangeIndexOf(RangeTable table, quint8 code)
{
    const std::vector<RangeEntry> &entries = rangeTable(table);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].code == code)
            return int(i);
    }
    return std::nullopt;
}

QString twoChannelRangeText(int channel, int code)
{
    if (channel < 0 || channel > 1 || code < 0 || code >= TwoChannelRangeCount)
        return {};
    return QString::fromLatin1(TableG[channel][code]);
}

std::optional<SlotDescription> slotDescription(const QString &slotCode)
{
    for (const SlotDescription &slot : Slots) {
        if (slotCode == QLatin1String(slot.code))
            return slot;
    }
    return std::nullopt;
}

} // namespace telviox::search
