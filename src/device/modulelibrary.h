#pragma once

#include "core/wordutil.h"
#include "seriallink.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <type_traits>
#include <vector>

namespace telviox {

// Parameter blocks handed to every module function. Elements a call does not
// set keep their values; 0..4 are port, address, type code, checksum flag and
// time-out (ms); 5, 7 and 8 are per function.
using WordBlock = std::array<qint16, 16>;  // wBuf, Q-2000 functions
using DWordBlock = std::array<qint32, 16>; // dwBuf, _9K and _92K functions
using FloatBlock = std::array<float, 16>;  // fBuf, element 0 the analog value

// Elements 0 to 4 of a call's block, and 6 cleared; a 16-bit block carries the
// low half of the type code. The others are the caller's.
template <typename Block>
void fillCallHead(Block &block, int port, int address, qint32 typeCode, int checksum,
                  int timeoutMs)
{
    using Value = typename Block::value_type;
    block[0] = Value(port);
    block[1] = Value(address);
    if constexpr (std::is_same_v<Value, qint16>)
        block[2] = lowWord(quint32(typeCode));
    else
        block[2] = typeCode;
    block[3] = Value(checksum);
    block[4] = Value(timeoutMs);
    block[6] = 0;
}

// The module function library, on a SerialLink whose port the caller opened.
class ModuleLibrary
{
public:
    explicit ModuleLibrary(SerialLink &link);

    SerialLink &link() const { return m_link; }

    // Analog
    qint16 AnalogIn(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogIn_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogIn_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogOut(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogOut_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogOut_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 AnalogOutReadBack(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                             QByteArray &szReceive);
    qint16 AnalogOutReadBack_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                QByteArray &szReceive);
    qint16 AnalogOutReadBack_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                 QByteArray &szReceive);

    // Digital
    qint16 DigitalIn(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalIn_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalIn_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalOut(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalOut_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalOut_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalBitOut(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 DigitalBitOut_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                            QByteArray &szReceive);
    qint16 DigitalBitOut_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                             QByteArray &szReceive);
    qint16 DigitalOutReadBack(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                              QByteArray &szReceive);
    qint16 DigitalOutReadBack_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                 QByteArray &szReceive);
    qint16 DigitalOutReadBack_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                  QByteArray &szReceive);

    // Counters and configuration reads
    qint16 CounterIn_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend, QByteArray &szReceive);
    qint16 ReadOutputAlarmState(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                QByteArray &szReceive);
    qint16 ReadAlarmLimitValue(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                               QByteArray &szReceive);
    qint16 ReadLinearMappingStatus(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                   QByteArray &szReceive);
    qint16 ReadLevelVolt_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                              QByteArray &szReceive);
    qint16 ReadCounterStatus_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                  QByteArray &szReceive);
    qint16 ReadMinSignalWidth_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                   QByteArray &szReceive);
    qint16 ReadPresetCounterValue_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                       QByteArray &szReceive);
    qint16 ReadCounterMaxValue_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                    QByteArray &szReceive);
    qint16 ReadAlarmLimitValue_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                    QByteArray &szReceive);
    qint16 ReadModuleMode_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                               QByteArray &szReceive);
    qint16 ReadOutputAlarmState_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                     QByteArray &szReceive);
    qint16 ReadInputSignalMode_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                    QByteArray &szReceive);

    // What a call fills, for tools that print the outputs.
    enum Output : unsigned {
        OutValue = 1u, // fBuf(0)
        OutElement5 = 2u,
        OutElement7 = 4u,
        OutElement8 = 8u,
        OutLong = 16u, // 7 and 8 are the high and low word of one value
        OutBits = 32u, // element 5 holds a bit pattern
    };

    // Every function by name, for the command-line tool and scripts.
    struct Function
    {
        const char *name;
        bool wide; // takes dwBuf (true) or wBuf (false)
        std::function<qint16(ModuleLibrary &, WordBlock &, DWordBlock &, FloatBlock &, QByteArray &,
                             QByteArray &)>
            call;
        int channelElement = -1;  // channel, counter, selector or bit index; -1 none
        int valueElement = -1;    // digital bits or bit state written; -1 none
        bool analogValue = false; // fBuf(0) carries the value written
        unsigned outputs = 0;     // Output flags
    };
    static const std::vector<Function> &functions();
    // Exact name first, then ignoring case; nullptr when unknown.
    static const Function *function(const QString &name);

private:
    qint16 readCounterWords(WordBlock &w, QByteArray &szSend, QByteArray &szReceive, char lead,
                            const char *command);

    SerialLink &m_link;
};

} // namespace telviox
