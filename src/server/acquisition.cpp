#include "server/acquisition.h"

#include "core/clock.h"
#include "core/moduleerror.h"
#include "core/prompt.h"
#include "core/wordutil.h"
#include "device/seriallink.h"
#include "server/valuetext.h"

#include <array>
#include <limits>
#include <stdexcept>

namespace telviox {

namespace {

constexpr int ItemCount = 32;

// Waits of the exchange, in milliseconds.
constexpr int CloseToOpenWait = 30;
constexpr int OpenToExchangeWait = 200;
constexpr int ChannelWait = 10;

// Time-outs handed to the module functions, in milliseconds.
constexpr int SingleTimeout = 1000;
constexpr int ChannelTimeout = 500;
constexpr int DigitalTimeout = 500;
constexpr int OutputTimeout = 1000;

// What a digital conversation's IoType asks for; 0 asks for nothing.
constexpr qint16 IoReadInputs = 1;
constexpr qint16 IoWriteOutputs = 2;
constexpr qint16 IoAnalogChannel0 = 3;

// A failure inside a routine: the routine ends and its conversation's client
// link is given up until the next tick.
class RoutineFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The bit index of a digital bit output: Channels counts bits from 1. The
// arithmetic stays in 16 bits, where Channels = -32768 does not fit.
qint16 bitIndex(qint16 channels)
{
    if (channels == std::numeric_limits<qint16>::min())
        throw RoutineFailure("bit index out of range");
    return qint16(channels - 1);
}

bool validPosition(qint16 position)
{
    return position >= 1 && position <= ItemCount;
}

// A conversation index (0..31) also names its link entry (0..31 of 0..32).
bool validIndex(qint16 index)
{
    return index >= 0 && index < ConvCount;
}

// Channel n of an eight-channel input is selected when bit (7 - n) is set.
std::array<bool, 8> eightChannelSelection(qint16 channels)
{
    std::array<bool, 8> selected{};
    int m = channels;
    for (int d = 7; d >= 0; --d) {
        selected[std::size_t(d)] = m % 2 != 0;
        m /= 2;
    }
    return selected;
}

} // namespace

// What a library call is given besides port and address.
struct Acquisition::CallSetup
{
    qint32 typeCode;
    // Digital calls go without checksum whatever the conversation says.
    bool withChecksum;
    int timeoutMs;
    // Element 5; the digital calls leave it to the value written or read.
    std::optional<qint32> channel;
    // Element 7 of a wide block: the slot of a 9000/6000 module.
    bool slot;

    // Analog and counter calls: the conversation's checksum flag and a channel.
    static CallSetup channelCall(const ConvRecord &record, int timeoutMs, qint32 channel,
                                 bool slot = false)
    {
        return {record.TypeCode, true, timeoutMs, channel, slot};
    }
    static CallSetup digitalCall(const ConvRecord &record, bool slot = false)
    {
        return {record.TypeCode, false, DigitalTimeout, std::nullopt, slot};
    }
};

Acquisition::Acquisition(const ServerContext &context)
    : m_state(context.state), m_link(context.link), m_library(context.library),
      m_clock(context.clock), m_prompt(context.prompt), m_items(context.items),
      m_source(context.source), m_status(context.status), m_observer(context.observer),
      m_szSend(100, ' '), m_szReceive(100, ' ')
{
}

void Acquisition::run(catalogue::Routine routine, qint16 index, qint16 position)
{
    using catalogue::Routine;
    switch (routine) {
    case Routine::PrepareData2026:
        return PrepareData2026(index, position);
    case Routine::PrepareData2091:
        return PrepareData2091(index, position);
    case Routine::PrepareDataAI_9K:
        return PrepareDataAI_9K(index, position);
    case Routine::PrepareDataAI_92K:
        return PrepareDataAI_92K(index, position);
    case Routine::PrepareData2011:
        return PrepareData2011(index, position);
    case Routine::PrepareData2028:
        return PrepareData2028(index, position);
    case Routine::PrepareDataAO_9K:
        return PrepareDataAO_9K(index, position);
    case Routine::PrepareDataAO_92K:
        return PrepareDataAO_92K(index, position);
    case Routine::PrepareData2032:
        return PrepareData2032(index, position);
    case Routine::PrepareDataElse:
        return PrepareDataElse(index, position);
    case Routine::PrepareDataDIO9K:
        return PrepareDataDIO9K(index, position);
    case Routine::PrepareDataDIO92K:
        return PrepareDataDIO92K(index, position);
    }
}

// ---------------------------------------------------------------------------
// Steps every routine shares

ConvRecord &Acquisition::conv(qint16 index) const
{
    Q_ASSERT(validIndex(index));
    return m_state.Conv[std::size_t(index)];
}

const LinkRecord &Acquisition::link(qint16 index) const
{
    Q_ASSERT(validIndex(index));
    return m_state.Link[std::size_t(index)];
}

// The head always, 5 and 7 as the setup says; the rest keep what the last
// call left, as the library expects.
template <typename Block>
void Acquisition::fillBlock(Block &block, const ConvRecord &record, const CallSetup &setup) const
{
    fillCallHead(block, m_state.ComPort, record.Address, setup.typeCode,
                 setup.withChecksum ? record.Checksum : 0, setup.timeoutMs);
    if (setup.channel)
        block[5] = typename Block::value_type(*setup.channel);
    if (setup.slot)
        block[7] = record.Slot;
}

QString Acquisition::modelName(const ConvRecord &record) const
{
    return catalogue::modelNameOfTypeCode(record.TypeCode);
}

void Acquisition::report(const ConvRecord &record, qint16 code, bool withBeep)
{
    if (withBeep)
        m_prompt.beep();
    if (m_observer)
        m_observer->moduleError(code);
    ShowModuleError(modelName(record), code);
}

void Acquisition::FillText(qint16 position, const QString &text)
{
    if (validPosition(position))
        m_items.setItemText(position, text);
}

void Acquisition::ShowModuleError(const QString &moduleName, qint16 code)
{
    m_status.setStatusText(moduleErrorLine(moduleName, code));
}

void Acquisition::guarded(qint16 index, const std::function<void()> &routine)
{
    // No such conversation: nothing to exchange and no record to mark.
    if (!validIndex(index))
        return;
    try {
        routine();
    } catch (const std::exception &) {
        // Whatever went wrong, the poll goes on; the link is rebuilt next tick.
        conv(index).LinkActive = 0;
    }
}

void Acquisition::portCheck(const ConvRecord &record)
{
    if (record.BaudRate == m_state.OpenBaud)
        return;
    m_link.Close_Com(m_state.ComPort);
    m_clock.sleep(CloseToOpenWait);
    const qint16 result = m_link.Open_Com(m_state.ComPort, record.BaudRate, 8, 0, 0);
    if (result > 0)
        report(record, result, true);
    m_clock.sleep(OpenToExchangeWait);
    // Taken also after a failed open, so that the conversations after this one
    // at the same rate do not spend another re-open on it.
    m_state.OpenBaud = record.BaudRate;
}

double Acquisition::linkedInput(qint16 index, qint16 position)
{
    const LinkRecord &source = link(index);
    const bool connected =
        m_source.connectItem(position, {source.Service, source.Topic, source.Item}, LinkTimeoutMs);
    conv(index).LinkActive = 0;
    if (!connected)
        throw RoutineFailure("linked source refused");
    const std::optional<QString> received = m_source.requestItem(position);
    if (!received)
        throw RoutineFailure("linked source did not answer");
    // The item holds the source's text until the routine writes its own.
    FillText(position, *received);
    return valuetext::readNumber(validPosition(position) ? m_items.itemText(position)
                                                         : *received);
}

template <typename Value>
Value Acquisition::outputValue(qint16 index, qint16 position, Value fixed,
                               std::optional<Value> (*convert)(double))
{
    if (link(index).Linked != 1)
        return fixed;
    const std::optional<Value> value = convert(linkedInput(index, position));
    if (!value)
        throw RoutineFailure("linked value out of range");
    return *value;
}

// ---------------------------------------------------------------------------
// Analog inputs

void Acquisition::PrepareData2026(qint16 index, qint16 position)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        fillBlock(m_wBuf, record, CallSetup::channelCall(record, SingleTimeout, 0));
        const qint16 result = m_library.AnalogIn(m_wBuf, m_fBuf, m_szSend, m_szReceive);
        if (result != 0)
            report(record, result, true);
        // Written also after an error, from whatever the block holds.
        FillText(position, valuetext::singleChannel(m_fBuf[0], m_state.TickParity));
    });
}

QString Acquisition::eightChannelText(qint16 channels, const std::function<qint16(int)> &read,
                                      const FloatBlock &values)
{
    const std::array<bool, 8> selected = eightChannelSelection(channels);
    QString text;
    for (int n = 0; n < 8; ++n) {
        if (!selected[std::size_t(n)]) {
            text += valuetext::NotSelected;
            continue;
        }
        const qint16 result = read(n);
        m_clock.sleep(ChannelWait);
        // A failed channel shows in its field only; it is not reported.
        text += result > 0 ? valuetext::ErrorField
                           : valuetext::eightChannel(values[0], m_state.TickParity);
    }
    return text;
}

void Acquisition::PrepareData2091(qint16 index, qint16 position)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        fillBlock(m_wBuf, record, CallSetup::channelCall(record, ChannelTimeout, 0));
        const QString text = eightChannelText(
            record.Channels,
            [this](int channel) {
                m_wBuf[5] = qint16(channel);
                return m_library.AnalogIn(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            },
            m_fBuf);
        FillText(position, text);
    });
}

void Acquisition::wideInput(qint16 index, qint16 position, WideFamily family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        fillBlock(m_dwBuf, record, CallSetup::channelCall(record, ChannelTimeout, 0, true));
        const QString text = eightChannelText(
            record.Channels,
            [this, family](int channel) {
                m_dwBuf[5] = channel;
                return family == WideFamily::Series9000
                           ? m_library.AnalogIn_9K(m_dwBuf, m_fBufAI, m_szSendAI, m_szReceiveAI)
                           : m_library.AnalogIn_92K(m_dwBuf, m_fBufAI, m_szSendAI, m_szReceiveAI);
            },
            m_fBufAI);
        FillText(position, text);
    });
}

void Acquisition::PrepareDataAI_9K(qint16 index, qint16 position)
{
    wideInput(index, position, WideFamily::Series9000);
}

void Acquisition::PrepareDataAI_92K(qint16 index, qint16 position)
{
    wideInput(index, position, WideFamily::Series92000);
}

// ---------------------------------------------------------------------------
// Analog outputs

void Acquisition::q2000AnalogOutput(qint16 index, qint16 position, bool multiChannel)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_fBuf[0] = outputValue(index, position, record.OutValue, valuetext::toSingle);
        const qint16 channel = multiChannel ? record.Channels : qint16(0);
        fillBlock(m_wBuf, record, CallSetup::channelCall(record, OutputTimeout, channel));
        const qint16 result = m_library.AnalogOut(m_wBuf, m_fBuf, m_szSend, m_szReceive);
        // The single-channel output has always reported its errors without a beep.
        if (result != 0)
            report(record, result, multiChannel);
        FillText(position, valuetext::eightChannel(m_fBuf[0], m_state.TickParity));
    });
}

void Acquisition::PrepareData2011(qint16 index, qint16 position)
{
    q2000AnalogOutput(index, position, false);
}

void Acquisition::PrepareData2028(qint16 index, qint16 position)
{
    q2000AnalogOutput(index, position, true);
}

void Acquisition::wideAnalogOutput(qint16 index, qint16 position, WideFamily family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_fBuf[0] = outputValue(index, position, record.OutValue, valuetext::toSingle);
        fillBlock(m_dwBuf, record,
                  CallSetup::channelCall(record, OutputTimeout, record.Channels, true));
        const qint16 result = family == WideFamily::Series9000
                                  ? m_library.AnalogOut_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive)
                                  : m_library.AnalogOut_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
        if (result != 0)
            report(record, result, true);
        FillText(position, valuetext::eightChannel(m_fBuf[0], m_state.TickParity));
    });
}

void Acquisition::PrepareDataAO_9K(qint16 index, qint16 position)
{
    wideAnalogOutput(index, position, WideFamily::Series9000);
}

void Acquisition::PrepareDataAO_92K(qint16 index, qint16 position)
{
    wideAnalogOutput(index, position, WideFamily::Series92000);
}

// ---------------------------------------------------------------------------
// Counters

void Acquisition::PrepareData2032(qint16 index, qint16 position)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        // Channel n is selected when bit n is set.
        std::array<bool, 2> selected{};
        int m = record.Channels;
        for (bool &channel : selected) {
            channel = m % 2 != 0;
            m /= 2;
        }
        // Every counter model is driven as the 2032.
        CallSetup setup = CallSetup::channelCall(record, ChannelTimeout, 0);
        setup.typeCode = catalogue::typeCodeOfName(QStringLiteral("2032"));
        fillBlock(m_wBuf, record, setup);
        QString text;
        for (int n = 0; n < 2; ++n) {
            if (!selected[std::size_t(n)]) {
                text += valuetext::NotSelected;
                continue;
            }
            m_wBuf[5] = qint16(n);
            const qint16 result =
                m_library.CounterIn_2032(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            m_clock.sleep(ChannelWait);
            if (result > 0)
                text = valuetext::ErrorField; // replaces the fields built so far
            else
                text += valuetext::counter(MakeLong(m_wBuf[7], m_wBuf[8]), m_state.TickParity);
        }
        FillText(position, text);
    });
}

// ---------------------------------------------------------------------------
// Digital I/O and every other type code

void Acquisition::PrepareDataElse(qint16 index, qint16 position)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        QString text;
        switch (record.IoType) {
        case IoReadInputs: {
            fillBlock(m_wBuf, record, CallSetup::digitalCall(record));
            const qint16 result = m_library.DigitalIn(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital16(m_wBuf[5], m_state.TickParity);
            break;
        }
        case IoWriteOutputs: {
            m_wBuf[5] = outputValue(index, position, record.OutData, valuetext::toInt16);
            fillBlock(m_wBuf, record, CallSetup::digitalCall(record));
            qint16 result = 0;
            if (record.Channels == 0) {
                result = m_library.DigitalOut(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            } else {
                m_wBuf[8] = m_wBuf[5] != 0 ? 1 : 0;
                m_wBuf[7] = bitIndex(record.Channels);
                result = m_library.DigitalBitOut(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            }
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital16(m_wBuf[5], m_state.TickParity);
            break;
        }
        case IoAnalogChannel0: {
            fillBlock(m_wBuf, record, CallSetup::channelCall(record, ChannelTimeout, 0));
            const qint16 result = m_library.AnalogIn(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            if (result != 0)
                report(record, result, true);
            text = valuetext::singleChannel(m_fBuf[0], m_state.TickParity);
            break;
        }
        default:
            break;
        }
        FillText(position, text);
    });
}

void Acquisition::wideDigital(qint16 index, qint16 position, WideFamily family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        const bool f9000 = family == WideFamily::Series9000;
        // The 92000 units address their modules without a slot.
        const CallSetup setup = CallSetup::digitalCall(record, f9000);
        QString text;
        switch (record.IoType) {
        case IoReadInputs: {
            fillBlock(m_dwBuf, record, setup);
            const qint16 result =
                f9000 ? m_library.DigitalIn_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive)
                      : m_library.DigitalIn_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital32(m_dwBuf[5], m_state.TickParity);
            break;
        }
        case IoWriteOutputs: {
            m_dwBuf[5] = outputValue(index, position, qint32(record.OutData), valuetext::toInt32);
            fillBlock(m_dwBuf, record, setup);
            qint16 result = 0;
            if (record.Channels == 0) {
                result = f9000 ? m_library.DigitalOut_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive)
                               : m_library.DigitalOut_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
            } else if (f9000) {
                // The 9000 bit output takes the bit state in element 5.
                m_dwBuf[5] = m_dwBuf[5] != 0 ? 1 : 0;
                m_dwBuf[8] = bitIndex(record.Channels);
                result = m_library.DigitalBitOut_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
            } else {
                m_dwBuf[8] = m_dwBuf[5] != 0 ? 1 : 0;
                m_dwBuf[7] = bitIndex(record.Channels);
                result = m_library.DigitalBitOut_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
            }
            // Reported like every other output error; the server keeps serving.
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital32(m_dwBuf[5], m_state.TickParity);
            break;
        }
        default:
            break;
        }
        FillText(position, text);
    });
}

void Acquisition::PrepareDataDIO9K(qint16 index, qint16 position)
{
    wideDigital(index, position, WideFamily::Series9000);
}

void Acquisition::PrepareDataDIO92K(qint16 index, qint16 position)
{
    wideDigital(index, position, WideFamily::Series92000);
}

} // namespace telviox
