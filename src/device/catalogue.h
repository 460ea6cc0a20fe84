#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The fixed knowledge of module models. Every decision on the kind of a module
// is taken here; nothing else keeps a model list of its own.
namespace telviox::catalogue {

// The twelve acquisition routines of the poll cycle.
enum class Routine {
    PrepareData2026,
    PrepareData2091,
    PrepareDataAI_9K,
    PrepareDataAI_92K,
    PrepareData2011,
    PrepareData2028,
    PrepareDataAO_9K,
    PrepareDataAO_92K,
    PrepareData2032,
    PrepareDataElse,
    PrepareDataDIO9K,
    PrepareDataDIO92K,
};
const char *routineName(Routine routine);

enum class Family { Q2000, F3000, F9000, F6000, F92000, MainUnit, Other };

// What a module is, as the module functions and the simulator need to know it.
enum class Kind { AnalogInput, AnalogOutput, Digital, Counter, MainUnit, WatchDog };

struct ModelInfo
{
    const char *name; // normalised name, "2026", "92091", "9300"
    Kind kind;
    int channels;   // analog channels (inputs or outputs), counters: 2
    int inputBits;  // digital inputs
    int outputBits; // digital outputs
    bool alarms;    // has alarm outputs and limits (2026, 2080, 2067)
    int slotCount;  // main units: 4 or 8 ("slots" is a Qt keyword macro)
};

// Normalised name: five characters when the name begins "92", else four.
QString normaliseName(const QString &name);
// A name beginning "93" is handled as "9300", one beginning "99" as "9900";
// every other name is its normalised name.
QString handledName(const QString &name);
Family familyOf(const QString &name);
bool is92000(const QString &name);
bool isMainUnit(const QString &name);

// Type code: the normalised name's digits read as hexadecimal; a four-digit
// code is a 16-bit value widened with its sign (0x9040 -> 0xFFFF9040).
// A name whose digits are not hexadecimal gives 0.
qint32 typeCodeOfName(const QString &name);
// Model name of a type code: hexadecimal without leading zeros, cut to its
// last four digits, or five for the 92000 family.
QString modelNameOfTypeCode(qint32 typeCode);

// The setting list of the conversation setting dialog.
constexpr int SettingListSize = 82;
const QStringList &settingList();
QString listText(int index);           // empty outside 0..81
qint32 typeCodeOfListIndex(int index); // 0 outside 0..81
// The first entry whose type code a conversation stores; none for 0 or a code
// only a file can bring.
std::optional<int> listIndexOfTypeCode(qint32 typeCode);
// The list entry a found module's name selects (aliases included), if any.
std::optional<int> listIndexOfFoundName(const QString &name);

// Modules that sit in a main unit's slot (9000, 6000 and 92000 families).
bool isSlotModule(const QString &name);

// Dispatch of the poll cycle; every unknown code goes to PrepareDataElse.
Routine routineOfTypeCode(qint32 typeCode);

// Model data by name (aliases of the 3000 and 6000 families resolve to their
// twins; "9091H" to 9091) or by type code; nullptr when unknown.
const ModelInfo *modelInfo(const QString &name);
const ModelInfo *modelInfoOfTypeCode(qint32 typeCode);
// Every model the catalogue knows, for the simulator and the supported list.
const std::vector<ModelInfo> &models();
// Whether a model reports its alarm mode and output bits through the alarm
// read: the alarm-capable inputs and the strain gauge input, which has alarm
// outputs but no limits the module functions read.
bool answersAlarmRead(const QString &name);

// Table 4: the module class the search reports.
struct SearchClass
{
    const char *className;   // "digital input", "main unit", ...
    const char *description; // "14*DI", "range codes 08 to 0D", ...
};
std::optional<SearchClass> searchClass(const QString &name);

// How the search decodes a found module's configuration: one branch per class
// row above, and the watch-dog module ("WDT0"), which has no class row.
// For the digital branch the class description is the module's make-up text.
enum class SearchBranch {
    AlarmTableA,               // alarm-capable single input, range table A
    AlarmTableB,               // alarm-capable single input, range table B
    Rtd,                       // RTD input, range table D
    AlarmWithoutThermocouples, // range table A, codes 00 to 06
    EightChannelB,             // 8-channel input, range table B
    EightChannelC,             // 8-channel thermocouple input, range table C
    OneChannelOutput,          // range table E
    TwoChannelOutput,          // per-channel ranges
    FourChannelOutput,         // range table F
    ThreeChannelRtd,           // range table D and code 2A
    Digital,
    Counter,
    MainUnit,
    WatchDog,
};
std::optional<SearchBranch> searchBranch(const QString &name);

// The digital status reply: output and input bits as hexadecimal bytes at
// fixed reply positions (b(p) = the byte at characters p and p+1, counted from
// 1 at the lead). Slot modules of 9000/6000 units carry "!AA" before the data,
// so their bytes start at position 4; the others start at position 2.
struct DigitalLayout
{
    std::vector<int> outputPositions; // most significant byte first
    std::vector<int> inputPositions;
};
DigitalLayout digitalLayout(const QString &name);
struct DigitalValues
{
    quint32 outputs = 0;
    quint32 inputs = 0;
};
// Decodes a status reply; positions beyond the reply or not hexadecimal read as 0.
DigitalValues decodeDigitalStatus(const QString &name, const QByteArray &reply);
// Builds the data part of a status reply (without lead, address or trailing "00").
QByteArray encodeDigitalData(const QString &name, DigitalValues values);

// The channels a digital I/O panel shows for a model: the stand-alone panel
// (Q-2000/3000) or the slot panel (9000/6000/92000). Present channels are bits
// 0 upwards. bitsListed is the number of bit entries of the channel choice
// (the output count, or the input count for an input-only model); analogInput
// tells whether the panel offers reading an analog input. A model without a
// row of its own falls back to its model data.
enum class DioPanel { Standalone, Slot };
struct PanelChannels
{
    int inputs = 0;
    int outputs = 0;
    int bitsListed = 0;
    bool analogInput = false;
};
PanelChannels dioPanelChannels(const QString &name, DioPanel panel);

} // namespace telviox::catalogue
