#include "device/catalogue.h"

#include "core/textutil.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace telviox::catalogue {

namespace {

// ---------------------------------------------------------------------------
// Setting list: the order the conversation setting dialog offers the models.
// The index is what a conversation's type code is derived from, so the order
// must never change.
constexpr std::array<const char *, SettingListSize> SettingTexts = {
    "2026/D", "2080/D", "2027/D", "2067/D", "2063",  "2091",  "2086",   "2011",  "2046",  "2028",
    "2096",   "2058",   "2099",   "2041",   "2065",  "2017",  "2073",   "2088",  "2015",  "2061",
    "2012",   "2039",   "2079",   "2032/D", "9027",  "9063",  "9091/H", "9086",  "9046",  "9028",
    "9010",   "9024",   "9058",   "9099",   "9017",  "9040",  "9073",   "9088",  "9035",  "9092",
    "9044",   "9087",   "9015",   "9061",   "9013",  "9012",  "9039",   "9060",  "9023",  "9089",
    "9084",   "9095",   "9032",   "9054",   "9029",  "9052",  "9045",   "9081",  "9043",  "9480",
    "9467",   "9499",   "9465",   "92027",  "92063", "92091", "92086",  "92046", "92028", "92010",
    "92040",  "92073",  "92088",  "92035",  "92092", "92087", "92061",  "92013", "92012", "92039",
    "92060",  "92029",
};

// ---------------------------------------------------------------------------
// Dispatch of the poll cycle: the first row holding a type code decides. The
// 3000 and 6000 codes are here because conversation files may carry them.
struct DispatchRow
{
    Routine routine;
    std::vector<const char *> models;
};

const std::vector<DispatchRow> &dispatchRows()
{
    static const std::vector<DispatchRow> rows = {
        {Routine::PrepareData2026,
         {"3026", "3080", "3027", "3067", "2026", "2080", "2027", "2067"}},
        {Routine::PrepareData2091, {"3091", "3086", "2091", "2086", "2096"}},
        {Routine::PrepareDataAI_9K,
         {"9027", "9067", "9091", "9086", "6027", "6067", "6091", "6086"}},
        {Routine::PrepareDataAI_92K, {"92027", "92067", "92091", "92086"}},
        {Routine::PrepareData2011, {"3011", "2011"}},
        {Routine::PrepareData2028, {"3046", "3028", "2046", "2028"}},
        {Routine::PrepareDataAO_9K, {"9046", "9028", "9010", "6046", "6028", "6010"}},
        {Routine::PrepareDataAO_92K, {"92046", "92028", "92010"}},
        {Routine::PrepareData2032, {"3032", "2032"}},
        {Routine::PrepareDataDIO9K,
         {"9040", "9073", "9088", "9035", "9092", "9044", "9087", "9015", "9061", "9060",
          "6040", "6073", "6088", "6035", "6092", "6044", "6087", "6015", "6061", "6060"}},
        // 92044 and 92015 are deliberately absent: they go to the generic routine.
        {Routine::PrepareDataDIO92K,
         {"92040", "92073", "92088", "92035", "92092", "92087", "92061", "92060"}},
    };
    return rows;
}

// ---------------------------------------------------------------------------
// Model data. Only the canonical names are held; 3000, 6000 and "H" variants
// resolve to them (canonicalName below).
constexpr Kind AI = Kind::AnalogInput;
constexpr Kind AO = Kind::AnalogOutput;
constexpr Kind DIO = Kind::Digital;

const std::vector<ModelInfo> &modelTable()
{
    // name, kind, channels, inputBits, outputBits, alarms, slotCount
    static const std::vector<ModelInfo> table = {
        // Stand-alone analog inputs. The alarm-capable ones also carry one
        // digital input and two alarm outputs, read through the digital status.
        {"2026", AI, 1, 1, 2, true, 0},
        {"2080", AI, 1, 1, 2, true, 0},
        {"2027", AI, 1, 0, 0, false, 0},
        {"2067", AI, 1, 1, 2, true, 0},
        {"2063", AI, 2, 0, 0, false, 0},
        {"2091", AI, 8, 0, 0, false, 0},
        {"2086", AI, 8, 0, 0, false, 0},
        {"2096", AI, 3, 0, 0, false, 0},
        // Stand-alone analog outputs.
        {"2011", AO, 1, 0, 0, false, 0},
        {"2046", AO, 2, 0, 0, false, 0},
        {"2028", AO, 4, 0, 0, false, 0},
        // Stand-alone digital I/O, counts from the make-up texts.
        {"2058", DIO, 0, 14, 0, false, 0},
        {"2099", DIO, 0, 0, 13, false, 0},
        {"2041", DIO, 0, 0, 16, false, 0},
        {"2065", DIO, 0, 4, 8, false, 0},
        {"2017", DIO, 0, 7, 8, false, 0},
        // Its make-up text says "8*DO", but it is an input module: the status
        // reply carries only an input byte and the panel lays out 8 inputs.
        {"2073", DIO, 0, 8, 0, false, 0},
        {"2088", DIO, 0, 16, 0, false, 0},
        {"2015", DIO, 0, 4, 4, false, 0},
        {"2061", DIO, 0, 8, 3, false, 0},
        {"2012", DIO, 0, 4, 5, false, 0},
        {"2039", DIO, 0, 0, 7, false, 0},
        {"2079", DIO, 0, 0, 7, false, 0},
        {"2032", Kind::Counter, 2, 0, 0, false, 0},

        // Slot modules of the 9000/6000 units.
        {"9027", AI, 3, 0, 0, false, 0},
        // Two-channel strain gauge input like its stand-alone namesake.
        {"9063", AI, 2, 0, 0, false, 0},
        // Served by the slot analog input routine; no make-up is known, so it
        // is taken as single-channel like its stand-alone namesake.
        {"9067", AI, 1, 0, 0, false, 0},
        {"9091", AI, 8, 0, 0, false, 0},
        {"9086", AI, 7, 0, 0, false, 0},
        {"9046", AO, 2, 0, 0, false, 0},
        {"9028", AO, 4, 0, 0, false, 0},
        {"9010", AO, 1, 0, 0, false, 0},
        {"9017", DIO, 0, 16, 0, false, 0},
        {"9040", DIO, 0, 16, 0, false, 0},
        {"9073", DIO, 0, 8, 0, false, 0},
        {"9088", DIO, 0, 16, 0, false, 0},
        {"9035", DIO, 0, 8, 8, false, 0},
        {"9092", DIO, 0, 8, 8, false, 0},
        {"9044", DIO, 0, 0, 16, false, 0},
        {"9087", DIO, 0, 0, 16, false, 0},
        {"9015", DIO, 0, 0, 6, false, 0},
        {"9061", DIO, 0, 4, 4, false, 0},
        {"9060", DIO, 0, 0, 8, false, 0},
        {"9013", DIO, 0, 0, 8, false, 0},
        {"9012", DIO, 0, 0, 8, false, 0},
        {"9039", DIO, 0, 0, 8, false, 0},
        // No make-up known; counts borrowed from the stand-alone namesakes.
        {"9058", DIO, 0, 14, 0, false, 0},
        {"9099", DIO, 0, 0, 13, false, 0},
        // No make-up known and served only by the generic digital routine:
        // simulated as a plain 8-in/8-out port.
        {"9024", DIO, 0, 8, 8, false, 0},
        {"9023", DIO, 0, 8, 8, false, 0},
        {"9089", DIO, 0, 8, 8, false, 0},
        {"9084", DIO, 0, 8, 8, false, 0},
        {"9095", DIO, 0, 8, 8, false, 0},
        {"9032", DIO, 0, 8, 8, false, 0},
        {"9054", DIO, 0, 8, 8, false, 0},
        {"9029", DIO, 0, 8, 8, false, 0},
        {"9052", DIO, 0, 8, 8, false, 0},
        {"9045", DIO, 0, 8, 8, false, 0},
        {"9081", DIO, 0, 8, 8, false, 0},
        {"9043", DIO, 0, 8, 8, false, 0},
        {"9480", DIO, 0, 8, 8, false, 0},
        {"9467", DIO, 0, 8, 8, false, 0},
        {"9499", DIO, 0, 8, 8, false, 0},
        {"9465", DIO, 0, 8, 8, false, 0},

        // 92000 family.
        {"92027", AI, 3, 0, 0, false, 0},
        {"92063", AI, 2, 0, 0, false, 0},
        {"92067", AI, 1, 0, 0, false, 0},
        {"92091", AI, 8, 0, 0, false, 0},
        {"92086", AI, 8, 0, 0, false, 0},
        {"92046", AO, 2, 0, 0, false, 0},
        {"92028", AO, 4, 0, 0, false, 0},
        {"92010", AO, 1, 0, 0, false, 0},
        {"92040", DIO, 0, 16, 0, false, 0},
        {"92073", DIO, 0, 8, 0, false, 0},
        {"92088", DIO, 0, 16, 0, false, 0},
        {"92035", DIO, 0, 8, 8, false, 0},
        {"92092", DIO, 0, 8, 8, false, 0},
        {"92087", DIO, 0, 0, 16, false, 0},
        {"92061", DIO, 0, 4, 4, false, 0},
        {"92060", DIO, 0, 0, 8, false, 0},
        {"92013", DIO, 0, 0, 8, false, 0},
        {"92012", DIO, 0, 4, 5, false, 0},
        {"92039", DIO, 0, 0, 8, false, 0},
        // No make-up known: a plain 8-in/8-out port, as the other unknowns.
        {"92029", DIO, 0, 8, 8, false, 0},

        // Main units and the watch-dog module.
        {"9000", Kind::MainUnit, 0, 0, 0, false, 4},
        {"6000", Kind::MainUnit, 0, 0, 0, false, 4},
        {"9300", Kind::MainUnit, 0, 0, 0, false, 4},
        {"9900", Kind::MainUnit, 0, 0, 0, false, 8},
        {"WDT0", Kind::WatchDog, 0, 0, 0, false, 0},
    };
    return table;
}

// ---------------------------------------------------------------------------
// Search classes by name (first match wins).
struct SearchRow
{
    std::vector<const char *> names;
    SearchClass searchClass;
    SearchBranch branch;
};

const std::vector<SearchRow> &searchRows()
{
    static const std::vector<SearchRow> rows = {
        {{"3026", "2026"},
         {"thermocouple, mV, V or mA input", "input-range codes 00 to 06 and 0E to 16"},
         SearchBranch::AlarmTableA},
        {{"3080", "2080", "3067", "2067"},
         {"mV, V or mA input", "range codes 08 to 0D"},
         SearchBranch::AlarmTableB},
        {{"3027", "2027", "92027"}, {"RTD input", "range codes 20 to 29"}, SearchBranch::Rtd},
        {{"3063", "2063"},
         {"strain gauge input", "no range text"},
         SearchBranch::AlarmWithoutThermocouples},
        {{"3091", "2091", "92091"},
         {"8-channel analog input", "range codes 08 to 0D"},
         SearchBranch::EightChannelB},
        {{"3086", "2086", "92086"},
         {"8-channel thermocouple input", "range codes 00 to 06 and 0E to 16"},
         SearchBranch::EightChannelC},
        {{"3011", "2011"},
         {"1-channel analog output", "output-range codes 30 to 32"},
         SearchBranch::OneChannelOutput},
        {{"3046", "2046"},
         {"2-channel analog output",
          "one range text per channel, beginning \"CH:0 \" and \"CH:1 \""},
         SearchBranch::TwoChannelOutput},
        {{"3028", "2028", "92028"},
         {"4-channel analog output", "output-range codes 30 to 35"},
         SearchBranch::FourChannelOutput},
        {{"3096", "2096"},
         {"3-channel RTD input", "range codes 20 to 2A"},
         SearchBranch::ThreeChannelRtd},
        {{"2058"}, {"digital input", "14*DI"}, SearchBranch::Digital},
        {{"2099"}, {"digital output", "13*DO"}, SearchBranch::Digital},
        {{"2041"}, {"digital output", "16*DO"}, SearchBranch::Digital},
        {{"2065"}, {"digital input and output", "4*DI+8*DO"}, SearchBranch::Digital},
        {{"3017", "2017"}, {"digital input and output", "7*DI+8*DO"}, SearchBranch::Digital},
        {{"3073", "2073"}, {"digital I/O", "8*DO"}, SearchBranch::Digital},
        {{"3088", "2088"}, {"digital input", "16*DI"}, SearchBranch::Digital},
        {{"3015", "2015"}, {"digital input and relay output", "4*DI+4*DO"}, SearchBranch::Digital},
        {{"3061", "2061"}, {"digital input and relay output", "8*DI+3*DO"}, SearchBranch::Digital},
        {{"2012"}, {"digital input and relay output", "4*DI+5*DO"}, SearchBranch::Digital},
        {{"3039", "2039", "3079", "2079"}, {"relay output", "7*DO"}, SearchBranch::Digital},
        {{"3032", "2032"},
         {"counter/frequency input, 2 counters", "\"Counter Mode\" or \"Frequency Mode\""},
         SearchBranch::Counter},
        {{"92040"}, {"digital input", "16*D/I"}, SearchBranch::Digital},
        {{"92073"}, {"digital input", "8*isolated D/I"}, SearchBranch::Digital},
        {{"92088"}, {"digital input", "16*isolated D/I"}, SearchBranch::Digital},
        {{"92035", "92092"}, {"digital input and output", "8*D/I+8*D/O"}, SearchBranch::Digital},
        {{"92087"}, {"digital output", "16*isolated D/O"}, SearchBranch::Digital},
        {{"92061"},
         {"digital input and relay output", "4*isolated D/I+4*relay(4C),220V"},
         SearchBranch::Digital},
        {{"92060"}, {"relay output", "8*relay(8A),120V"}, SearchBranch::Digital},
        {{"6000", "9000", "9300", "9900"},
         {"main unit", "its slots are listed"},
         SearchBranch::MainUnit},
    };
    return rows;
}

// ---------------------------------------------------------------------------
// Digital status layout: reply positions of the output and input bytes, most
// significant byte first. Models not listed use the default layout.
struct LayoutRow
{
    std::vector<const char *> names;
    std::vector<int> outputs;
    std::vector<int> inputs;
};

const std::vector<LayoutRow> &layoutRows()
{
    static const std::vector<LayoutRow> rows = {
        {{"2099", "2041"}, {2, 4}, {}},
        {{"2058", "3088", "2088"}, {}, {2, 4}},
        {{"2065", "3017", "2017", "3015", "2015"}, {2}, {4}},
        {{"3079", "2079"}, {2}, {}},
        {{"3073", "2073"}, {}, {2}},
        {{"3061", "2061", "3012", "2012", "92092", "92035", "92061"}, {2}, {4}},
        {{"3039", "2039", "92060"}, {2}, {}},
        {{"92040", "92088"}, {}, {2, 4}},
        {{"92087"}, {2, 4}, {}},
        {{"6073", "9073", "92073"}, {}, {4}},
        {{"6040", "9040", "6088", "9088"}, {}, {4, 6}},
        {{"6087", "9087", "6044", "9044"}, {4, 6}, {}},
        {{"9092", "9035", "6035", "6092", "9061", "6061"}, {4}, {6}},
        {{"6015", "9015", "6060", "9060"}, {4}, {}},
    };
    return rows;
}

// ---------------------------------------------------------------------------
// Channels shown by the digital I/O panels; first matching row applies. They
// agree with the model data: a panel offering a channel the module lacks makes
// every write of it fail with a channel error.
struct PanelRow
{
    std::vector<const char *> names;
    int inputs;
    int outputs;
    bool analogInput;
    int bitsListed = 0; // 0: the output count, or the input count of an input-only model
};

const std::vector<PanelRow> &standalonePanelRows()
{
    static const std::vector<PanelRow> rows = {
        // Only one output bit can be chosen on its own here.
        {{"3026", "3080", "3067", "2026", "2080", "2067"}, 1, 2, true, 1},
        {{"3058", "2058"}, 14, 0, false},
        {{"3099", "2099"}, 0, 13, false},
        {{"3041", "2041"}, 0, 16, false},
        {{"3065", "2065"}, 4, 8, false},
        {{"3017", "2017"}, 7, 8, false},
        {{"3073", "2073"}, 8, 0, false},
        {{"3088", "2088"}, 16, 0, false},
        {{"3015", "2015"}, 4, 4, false},
        {{"3061", "2061"}, 8, 3, false},
        {{"3012", "2012"}, 4, 5, false},
        {{"3039", "2039", "3079", "2079"}, 0, 7, false},
    };
    return rows;
}

const std::vector<PanelRow> &slotPanelRows()
{
    static const std::vector<PanelRow> rows = {
        {{"92017"}, 7, 8, false},
        {{"92073"}, 8, 0, false},
        {{"92088"}, 16, 0, false},
        {{"92015"}, 4, 4, false},
        {{"92061"}, 4, 4, false},
        {{"92012"}, 4, 5, false},
        {{"92039", "92079"}, 0, 8, false},
        {{"6073", "9073"}, 8, 0, false},
        {{"6040", "9040", "6088", "9088", "92040"}, 16, 0, false},
        {{"9092", "92092", "9035", "92035", "6092", "6035"}, 8, 8, false},
        {{"9087", "92087", "6087", "6044", "9044", "92044"}, 0, 16, false},
        {{"6015", "9015"}, 0, 6, false},
        {{"9061", "6061"}, 4, 4, false},
        {{"6013", "6012", "6039", "6060", "9013", "9012", "9039", "9060", "92013", "92060"},
         0,
         8,
         false},
    };
    return rows;
}

template <typename Names> bool holds(const Names &names, const QString &name)
{
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char *n) { return name == QLatin1String(n); });
}

bool isHexText(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return textutil::hexValue(c.unicode()) >= 0;
    });
}

// The name under which the model data are held: main-unit handling, then the
// 3000 -> Q-2000 and 6000 -> 9000 twins.
QString canonicalName(const QString &name)
{
    const QString handled = handledName(name);
    if (handled == QLatin1String("6000"))
        return handled;
    if (handled.size() == 4 && handled.startsWith(QLatin1String("30")))
        return QLatin1Char('2') + handled.mid(1);
    if (handled.size() == 4 && handled.startsWith(QLatin1String("60")))
        return QLatin1Char('9') + handled.mid(1);
    return handled;
}

int firstDataPosition(const QString &name)
{
    const Family family = familyOf(name);
    return (family == Family::F9000 || family == Family::F6000) ? 4 : 2;
}

int byteCount(int bits)
{
    return std::max(1, (bits + 7) / 8);
}

// Strictly two hex digits: a sign or blank in a garbled reply must not count.
int readByte(const QByteArray &reply, int position)
{
    if (position < 1 || position + 1 > reply.size())
        return 0;
    const int high = textutil::hexValue(reply.at(position - 1));
    const int low = textutil::hexValue(reply.at(position));
    return (high < 0 || low < 0) ? 0 : high * 16 + low;
}

quint32 readBytes(const QByteArray &reply, const std::vector<int> &positions)
{
    quint32 value = 0;
    for (int position : positions)
        value = (value << 8) | quint32(readByte(reply, position));
    return value;
}

} // namespace

const char *routineName(Routine routine)
{
    switch (routine) {
    case Routine::PrepareData2026:
        return "PrepareData2026";
    case Routine::PrepareData2091:
        return "PrepareData2091";
    case Routine::PrepareDataAI_9K:
        return "PrepareDataAI_9K";
    case Routine::PrepareDataAI_92K:
        return "PrepareDataAI_92K";
    case Routine::PrepareData2011:
        return "PrepareData2011";
    case Routine::PrepareData2028:
        return "PrepareData2028";
    case Routine::PrepareDataAO_9K:
        return "PrepareDataAO_9K";
    case Routine::PrepareDataAO_92K:
        return "PrepareDataAO_92K";
    case Routine::PrepareData2032:
        return "PrepareData2032";
    case Routine::PrepareDataElse:
        return "PrepareDataElse";
    case Routine::PrepareDataDIO9K:
        return "PrepareDataDIO9K";
    case Routine::PrepareDataDIO92K:
        return "PrepareDataDIO92K";
    }
    return "PrepareDataElse";
}

QString normaliseName(const QString &name)
{
    return name.left(name.startsWith(QLatin1String("92")) ? 5 : 4);
}

QString handledName(const QString &name)
{
    if (name.startsWith(QLatin1String("93")))
        return QStringLiteral("9300");
    if (name.startsWith(QLatin1String("99")))
        return QStringLiteral("9900");
    return normaliseName(name);
}

Family familyOf(const QString &name)
{
    if (isMainUnit(name))
        return Family::MainUnit;
    const QString n = normaliseName(name);
    if (n.size() == 5 && n.startsWith(QLatin1String("92")))
        return Family::F92000;
    if (n.size() != 4 || !isHexText(n))
        return Family::Other;
    switch (n.at(0).unicode()) {
    case u'2':
        return Family::Q2000;
    case u'3':
        return Family::F3000;
    case u'9':
        return Family::F9000;
    case u'6':
        return Family::F6000;
    default:
        return Family::Other;
    }
}

bool is92000(const QString &name)
{
    return name.startsWith(QLatin1String("92"));
}

bool isMainUnit(const QString &name)
{
    const QString n = normaliseName(name);
    return n == QLatin1String("9000") || n == QLatin1String("6000") ||
           name.startsWith(QLatin1String("93")) || name.startsWith(QLatin1String("99"));
}

qint32 typeCodeOfName(const QString &name)
{
    const QString n = normaliseName(name);
    if (!isHexText(n))
        return 0;
    bool ok = false;
    const quint32 value = n.toUInt(&ok, 16);
    if (!ok)
        return 0;
    if (n.size() == 5)
        return qint32(value);
    // Four digits are a 16-bit value; widening keeps its sign.
    return qint32(qint16(quint16(value)));
}

QString modelNameOfTypeCode(qint32 typeCode)
{
    // Plain hexadecimal, as the error line has always shown it: code 0 is "0".
    const QString hex = textutil::hexString(quint32(typeCode));
    const QString five = hex.right(5);
    if (five.size() == 5 && five.startsWith(QLatin1String("92")))
        return five;
    return hex.right(4);
}

const QStringList &settingList()
{
    static const QStringList list = [] {
        QStringList l;
        for (const char *text : SettingTexts)
            l << QLatin1String(text);
        return l;
    }();
    return list;
}

QString listText(int index)
{
    if (index < 0 || index >= SettingListSize)
        return {};
    return settingList().at(index);
}

qint32 typeCodeOfListIndex(int index)
{
    if (index < 0 || index >= SettingListSize)
        return 0;
    return typeCodeOfName(listText(index));
}

std::optional<int> listIndexOfTypeCode(qint32 typeCode)
{
    if (typeCode == 0)
        return std::nullopt;
    for (int index = 0; index < SettingListSize; ++index) {
        if (typeCodeOfListIndex(index) == typeCode)
            return index;
    }
    return std::nullopt;
}

std::optional<int> listIndexOfFoundName(const QString &name)
{
    // Entries by their own names first ("9091H" normalises to 9091), then a
    // 3000 name selects the Q-2000 entry and a 6000 name the 9000 entry with
    // the same last two digits.
    const QStringList &list = settingList();
    for (const QString &wanted : {normaliseName(name), canonicalName(name)}) {
        for (int i = 0; i < list.size(); ++i) {
            if (!wanted.isEmpty() && normaliseName(list.at(i)) == wanted)
                return i;
        }
    }
    return std::nullopt;
}

bool isSlotModule(const QString &name)
{
    const Family family = familyOf(name);
    return family == Family::F9000 || family == Family::F6000 || family == Family::F92000;
}

Routine routineOfTypeCode(qint32 typeCode)
{
    // The codes are formed by the same rule as the stored ones, so codes read
    // from files dispatch like codes chosen in the dialog. Formed once: the
    // poll cycle asks on every tick.
    static const std::vector<std::pair<qint32, Routine>> codes = [] {
        std::vector<std::pair<qint32, Routine>> list;
        for (const DispatchRow &row : dispatchRows()) {
            for (const char *model : row.models)
                list.emplace_back(typeCodeOfName(QLatin1String(model)), row.routine);
        }
        return list;
    }();
    const auto it = std::find_if(codes.begin(), codes.end(),
                                 [typeCode](const auto &entry) { return entry.first == typeCode; });
    return it == codes.end() ? Routine::PrepareDataElse : it->second;
}

const ModelInfo *modelInfo(const QString &name)
{
    const QString canonical = canonicalName(name);
    const auto &table = modelTable();
    const auto it = std::find_if(table.begin(), table.end(), [&](const ModelInfo &info) {
        return canonical == QLatin1String(info.name);
    });
    return it == table.end() ? nullptr : &*it;
}

const ModelInfo *modelInfoOfTypeCode(qint32 typeCode)
{
    if (typeCode == 0)
        return nullptr;
    return modelInfo(modelNameOfTypeCode(typeCode));
}

const std::vector<ModelInfo> &models()
{
    return modelTable();
}

bool answersAlarmRead(const QString &name)
{
    // Exactly the models the search's decoding asks for their alarm state.
    const std::optional<SearchBranch> branch = searchBranch(name);
    return branch == SearchBranch::AlarmTableA || branch == SearchBranch::AlarmTableB ||
           branch == SearchBranch::AlarmWithoutThermocouples;
}

std::optional<SearchClass> searchClass(const QString &name)
{
    const QString handled = handledName(name);
    for (const SearchRow &row : searchRows()) {
        if (holds(row.names, handled))
            return row.searchClass;
    }
    return std::nullopt;
}

std::optional<SearchBranch> searchBranch(const QString &name)
{
    const QString handled = handledName(name);
    // The watch-dog module reports a name of letters and has no class row.
    if (handled == QLatin1String("WDT0"))
        return SearchBranch::WatchDog;
    for (const SearchRow &row : searchRows()) {
        if (holds(row.names, handled))
            return row.branch;
    }
    return std::nullopt;
}

DigitalLayout digitalLayout(const QString &name)
{
    // A twin without a row of its own is laid out like its twin.
    for (const QString &n : {normaliseName(name), canonicalName(name)}) {
        for (const LayoutRow &row : layoutRows()) {
            if (holds(row.names, n))
                return {row.outputs, row.inputs};
        }
    }
    // Not listed: output byte(s) first, input byte(s) after them.
    const ModelInfo *info = modelInfo(name);
    const int outBytes = byteCount(info ? info->outputBits : 0);
    const int inBytes = byteCount(info ? info->inputBits : 0);
    DigitalLayout layout;
    int position = firstDataPosition(name);
    for (int i = 0; i < outBytes; ++i, position += 2)
        layout.outputPositions.push_back(position);
    for (int i = 0; i < inBytes; ++i, position += 2)
        layout.inputPositions.push_back(position);
    return layout;
}

DigitalValues decodeDigitalStatus(const QString &name, const QByteArray &reply)
{
    const DigitalLayout layout = digitalLayout(name);
    DigitalValues values;
    values.outputs = readBytes(reply, layout.outputPositions);
    values.inputs = readBytes(reply, layout.inputPositions);
    return values;
}

QByteArray encodeDigitalData(const QString &name, DigitalValues values)
{
    const DigitalLayout layout = digitalLayout(name);
    const int first = firstDataPosition(name);
    int last = first;
    for (int p : layout.outputPositions)
        last = std::max(last, p);
    for (int p : layout.inputPositions)
        last = std::max(last, p);

    // Every byte slot from the first data position on, unused ones "00".
    QByteArray data((last - first) / 2 * 2 + 2, '0');
    const auto put = [&](const std::vector<int> &positions, quint32 value) {
        const int count = int(positions.size());
        for (int i = 0; i < count; ++i) {
            const int shift = 8 * (count - 1 - i);
            const QByteArray byte = textutil::hexByte(value >> shift);
            const int offset = positions[size_t(i)] - first;
            if (offset >= 0 && offset + 1 < data.size())
                data.replace(offset, 2, byte);
        }
    };
    put(layout.outputPositions, values.outputs);
    put(layout.inputPositions, values.inputs);
    return data;
}

PanelChannels dioPanelChannels(const QString &name, DioPanel panel)
{
    PanelChannels channels;
    const QString n = normaliseName(name);
    const auto &rows = panel == DioPanel::Standalone ? standalonePanelRows() : slotPanelRows();
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const PanelRow &r) { return holds(r.names, n); });
    if (row != rows.end()) {
        channels.inputs = row->inputs;
        channels.outputs = row->outputs;
        channels.analogInput = row->analogInput;
        channels.bitsListed = row->bitsListed;
    } else if (const ModelInfo *info = modelInfo(name)) {
        channels.inputs = info->inputBits;
        channels.outputs = info->outputBits;
    }
    if (channels.bitsListed == 0)
        channels.bitsListed = channels.outputs > 0 ? channels.outputs : channels.inputs;
    return channels;
}

} // namespace telviox::catalogue
