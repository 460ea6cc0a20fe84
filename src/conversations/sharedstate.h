#pragma once

#include <QString>

#include <array>

namespace telviox {

// One conversation: a module on the line and what is exchanged with it. The
// field order is the order of a conversation file record.
struct ConvRecord
{
    qint16 InUse = 0;
    qint32 TypeCode = 0;
    qint32 BaudRate = 0;
    qint16 Address = 0;
    qint16 Checksum = 0;
    qint16 Channels = 0;
    qint16 LinkActive = 0;
    qint16 IoType = 0;
    qint16 OutData = 0;
    float OutValue = 0.0f;
    qint16 Slot = 0;
};

// The source of an output conversation on another server; entry 32 carries the
// poll interval in Linked.
struct LinkRecord
{
    QString Service;
    QString Topic;
    QString Item;
    qint16 Linked = 0;
};

// A module the last search found on the line, or a module in a slot of a main
// unit it found. The search fills name, unit, rate, address and checksum; the
// configuration decoding the rest.
struct FoundRecord
{
    quint8 Decoded = 0;
    QString ModelName;        // padded display form, 10 characters at most
    QString Unit;             // "MainUnit"
    qint32 BaudRate = 0;
    qint16 Address = 0;
    quint8 RangeIndex = 0;    // position in the family's range table; output panels read it
    quint8 Spare = 0;
    quint8 RangeCode = 0;     // the range code, read as a hexadecimal number
    quint8 Checksum = 0;      // 1 when found with the checksum retry
    quint8 DataFormat = 0;
    quint8 InputMode = 0;     // counters: $AAA
    quint8 ChannelInfo = 0;   // $AA6 mask of 8-channel inputs, $AA8 wiring of 3-channel RTDs
    quint8 Slot = 0;          // slot index of a slot module
    // Alarm and counter settings the decoding reads; nothing else reads them.
    qint16 AlarmState = 0;
    qint16 AlarmOutputs = 0;
    qint16 LinearMapping = 0;
    float AlarmLimits[2] = {0.0f, 0.0f};
    float LevelVolts[2] = {0.0f, 0.0f};
    qint16 CounterStatus[2] = {0, 0};
    qint32 PresetValue[2] = {0, 0};
    qint32 MinSignalWidth[2] = {0, 0};
    qint32 MaxValue[2] = {0, 0};
    qint32 CounterAlarmLimit[2] = {0, 0};
    qint16 ModuleMode = 0;
};

constexpr int FoundLineCount = 256;
constexpr int FoundLineWidth = 80;
constexpr int FoundRecordCount = 1500;
// The search stops once the count passes this; a main unit's slots may add up
// to 8 more entries.
constexpr int FoundLimit = 200;

// The found-module table of the last search: what the result window lists
// and prints and what the setting dialog and panels start from.
struct FoundModules
{
    qint16 FoundCount = 0;
    std::array<QString, FoundLineCount> ResultLines{};
    std::array<FoundRecord, FoundRecordCount> Records{};
    // Nonzero: no search runs, or the running one is to stop.
    qint16 StopFlag = 1;
};

constexpr int ConvCount = 32;
constexpr int LinkCount = 33;
constexpr int IntervalEntry = 32;

// The shared state of the running program, in one place. Windows and logic
// read and write it directly, as plain data on the one user-interface thread.
struct SharedState
{
    // Conversations and their sources
    std::array<ConvRecord, ConvCount> Conv{};
    std::array<LinkRecord, LinkCount> Link{};
    qint16 CurConv = 0;
    qint16 ComPort = 1;
    std::array<quint8, ConvCount> PollEnabled{};

    // Values the setting dialog's sub-dialogs and panels hand back
    qint16 DialogState = 0;
    qint16 SelChannels = 0;
    qint16 CounterChannels = 0;
    qint16 OutChannels = 0;
    float AssignValue = 0.0f;
    qint16 DioType = 0;
    qint16 DioData = 0;

    // The setting dialog's model and found-module choice, read by its panels
    QString ModelName;            // 10 characters, space-padded
    qint16 FoundIndex = 0;        // line last clicked in the found-module list
    qint16 PanelFromFound = 0;    // 1: the panel opening now fills itself from the found record

    // Server
    qint16 PollInterval = 1000;
    qint16 ServerRunning = 0;
    qint32 OpenBaud = 0;
    quint8 TickParity = 0;
    qint16 StatusTicks = 0;
    qint16 StartHidden = 0;

    // Start-up options (configuration file)
    qint16 AutoRun = 0;
    qint16 SearchBaudMask = 0;
    std::array<quint8, 11> SearchBauds{};
    qint16 SearchChecksum = 0;

    // The last search's result
    FoundModules Found;
};

} // namespace telviox
