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
};

} // namespace telviox
