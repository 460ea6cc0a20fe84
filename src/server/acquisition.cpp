#include "server/acquisition.h"

#include "core/moduleerror.h"
#include "core/prompt.h"
#include "core/clock.h"
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

qint16 low16(qint32 value)
{
    return qint16(quint16(quint32(value) & 0xFFFFu));
}

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

Acquisition::Acquisition(const ServerContext &context)
    : m_state(context.state), m_link(context.link), m_library(context.library),
      m_clock(context.clock), m_prompt(context.prompt), m_items(context.items),
      m_source(context.source), m_status(context.status),
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
    Q_ASSERT(index >= 0 && index < ConvCount);
    return m_state.Conv[std::size_t(index)];
}

QString Acquisition::modelName(const ConvRecord &record) const
{
    return catalogue::modelNameOfTypeCode(record.TypeCode);
}

void Acquisition::report(const ConvRecord &record, qint16 code, bool withBeep)
{
    if (withBeep)
        m_prompt.beep();
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
    const LinkRecord &link = m_state.Link[std::size_t(index)];
    const bool connected =
        m_source.connectItem(position, {link.Service, link.Topic, link.Item}, LinkTimeoutMs);
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

// ---------------------------------------------------------------------------
// Analog inputs

void Acquisition::PrepareData2026(qint16 index, qint16 position)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_wBuf[0] = m_state.ComPort;
        m_wBuf[1] = record.Address;
        m_wBuf[2] = low16(record.TypeCode);
        m_wBuf[3] = record.Checksum;
        m_wBuf[4] = SingleTimeout;
        m_wBuf[5] = 0;
        m_wBuf[6] = 0;
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
        m_wBuf[0] = m_state.ComPort;
        m_wBuf[1] = record.Address;
        m_wBuf[2] = low16(record.TypeCode);
        m_wBuf[3] = record.Checksum;
        m_wBuf[4] = ChannelTimeout;
        m_wBuf[5] = 0;
        m_wBuf[6] = 0;
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

void Acquisition::wideInput(qint16 index, qint16 position, Wide family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_dwBuf[0] = m_state.ComPort;
        m_dwBuf[1] = record.Address;
        m_dwBuf[2] = record.TypeCode;
        m_dwBuf[3] = record.Checksum;
        m_dwBuf[4] = ChannelTimeout;
        m_dwBuf[5] = 0;
        m_dwBuf[6] = 0;
        m_dwBuf[7] = record.Slot;
        const QString text = eightChannelText(
            record.Channels,
            [this, family](int channel) {
                m_dwBuf[5] = channel;
                return family == Wide::F9000
                           ? m_library.AnalogIn_9K(m_dwBuf, m_fBufAI, m_szSendAI, m_szReceiveAI)
                           : m_library.AnalogIn_92K(m_dwBuf, m_fBufAI, m_szSendAI, m_szReceiveAI);
            },
            m_fBufAI);
        FillText(position, text);
    });
}

void Acquisition::PrepareDataAI_9K(qint16 index, qint16 position)
{
    wideInput(index, position, Wide::F9000);
}

void Acquisition::PrepareDataAI_92K(qint16 index, qint16 position)
{
    wideInput(index, position, Wide::F92000);
}

// ---------------------------------------------------------------------------
// Analog outputs

float Acquisition::analogOutputValue(qint16 index, qint16 position)
{
    if (m_state.Link[std::size_t(index)].Linked != 1)
        return conv(index).OutValue;
    const std::optional<float> value = valuetext::toSingle(linkedInput(index, position));
    if (!value)
        throw RoutineFailure("linked value out of range");
    return *value;
}

void Acquisition::q2000AnalogOutput(qint16 index, qint16 position, qint16 channel,
                                    bool beepOnError)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_fBuf[0] = analogOutputValue(index, position);
        m_wBuf[0] = m_state.ComPort;
        m_wBuf[1] = record.Address;
        m_wBuf[2] = low16(record.TypeCode);
        m_wBuf[3] = record.Checksum;
        m_wBuf[4] = OutputTimeout;
        m_wBuf[5] = channel;
        m_wBuf[6] = 0;
        const qint16 result = m_library.AnalogOut(m_wBuf, m_fBuf, m_szSend, m_szReceive);
        if (result != 0)
            report(record, result, beepOnError);
        FillText(position, valuetext::eightChannel(m_fBuf[0], m_state.TickParity));
    });
}

void Acquisition::PrepareData2011(qint16 index, qint16 position)
{
    // The single-channel output has always reported its errors without a beep.
    q2000AnalogOutput(index, position, 0, false);
}

void Acquisition::PrepareData2028(qint16 index, qint16 position)
{
    q2000AnalogOutput(index, position, conv(index).Channels, true);
}

void Acquisition::wideAnalogOutput(qint16 index, qint16 position, Wide family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        m_fBuf[0] = analogOutputValue(index, position);
        m_dwBuf[0] = m_state.ComPort;
        m_dwBuf[1] = record.Address;
        m_dwBuf[2] = record.TypeCode;
        m_dwBuf[3] = record.Checksum;
        m_dwBuf[4] = OutputTimeout;
        m_dwBuf[5] = record.Channels;
        m_dwBuf[6] = 0;
        m_dwBuf[7] = record.Slot;
        const qint16 result =
            family == Wide::F9000
                ? m_library.AnalogOut_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive)
                : m_library.AnalogOut_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
        if (result != 0)
            report(record, result, true);
        FillText(position, valuetext::eightChannel(m_fBuf[0], m_state.TickParity));
    });
}

void Acquisition::PrepareDataAO_9K(qint16 index, qint16 position)
{
    wideAnalogOutput(index, position, Wide::F9000);
}

void Acquisition::PrepareDataAO_92K(qint16 index, qint16 position)
{
    wideAnalogOutput(index, position, Wide::F92000);
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
        m_wBuf[0] = m_state.ComPort;
        m_wBuf[1] = record.Address;
        // Every counter model is driven as the 2032.
        m_wBuf[2] = low16(catalogue::typeCodeOfName(QStringLiteral("2032")));
        m_wBuf[3] = record.Checksum;
        m_wBuf[4] = ChannelTimeout;
        m_wBuf[5] = 0;
        m_wBuf[6] = 0;
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
        // Digital calls go without checksum whatever the conversation says.
        const auto fillDigital = [&] {
            m_wBuf[0] = m_state.ComPort;
            m_wBuf[1] = record.Address;
            m_wBuf[2] = low16(record.TypeCode);
            m_wBuf[3] = 0;
            m_wBuf[4] = DigitalTimeout;
            m_wBuf[6] = 0;
        };
        QString text;
        switch (record.IoType) {
        case IoReadInputs: {
            fillDigital();
            const qint16 result = m_library.DigitalIn(m_wBuf, m_fBuf, m_szSend, m_szReceive);
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital16(m_wBuf[5], m_state.TickParity);
            break;
        }
        case IoWriteOutputs: {
            qint16 value = record.OutData;
            if (m_state.Link[std::size_t(index)].Linked == 1) {
                const std::optional<qint16> linked =
                    valuetext::toInt16(linkedInput(index, position));
                if (!linked)
                    throw RoutineFailure("linked value out of range");
                value = *linked;
            }
            m_wBuf[5] = value;
            fillDigital();
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
            m_wBuf[0] = m_state.ComPort;
            m_wBuf[1] = record.Address;
            m_wBuf[2] = low16(record.TypeCode);
            m_wBuf[3] = record.Checksum;
            m_wBuf[4] = ChannelTimeout;
            m_wBuf[5] = 0;
            m_wBuf[6] = 0;
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

void Acquisition::wideDigital(qint16 index, qint16 position, Wide family)
{
    guarded(index, [&] {
        const ConvRecord &record = conv(index);
        portCheck(record);
        const bool f9000 = family == Wide::F9000;
        const auto fillDigital = [&] {
            m_dwBuf[0] = m_state.ComPort;
            m_dwBuf[1] = record.Address;
            m_dwBuf[2] = record.TypeCode;
            m_dwBuf[3] = 0;
            m_dwBuf[4] = DigitalTimeout;
            m_dwBuf[6] = 0;
            // The 92000 units address their modules without a slot.
            if (f9000)
                m_dwBuf[7] = record.Slot;
        };
        QString text;
        switch (record.IoType) {
        case IoReadInputs: {
            fillDigital();
            const qint16 result =
                f9000 ? m_library.DigitalIn_9K(m_dwBuf, m_fBuf, m_szSend, m_szReceive)
                      : m_library.DigitalIn_92K(m_dwBuf, m_fBuf, m_szSend, m_szReceive);
            if (result != 0)
                report(record, result, true);
            text = valuetext::digital32(m_dwBuf[5], m_state.TickParity);
            break;
        }
        case IoWriteOutputs: {
            qint32 value = record.OutData;
            if (m_state.Link[std::size_t(index)].Linked == 1) {
                const std::optional<qint32> linked =
                    valuetext::toInt32(linkedInput(index, position));
                if (!linked)
                    throw RoutineFailure("linked value out of range");
                value = *linked;
            }
            m_dwBuf[5] = value;
            fillDigital();
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
    wideDigital(index, position, Wide::F9000);
}

void Acquisition::PrepareDataDIO92K(qint16 index, qint16 position)
{
    wideDigital(index, position, Wide::F92000);
}

} // namespace telviox
