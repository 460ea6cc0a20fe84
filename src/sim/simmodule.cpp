#include "simmodule.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <utility>

namespace telviox::sim {

using catalogue::Family;
using catalogue::Kind;

namespace {

constexpr double Pi = 3.14159265358979323846;
// What a reading of over or under range reports.
constexpr double OverRange = 99999.0;

QByteArray hex2(quint32 value)
{
    return QByteArray::number(value & 0xFFu, 16).toUpper().rightJustified(2, '0');
}

QByteArray hex8(quint32 value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(8, '0');
}

QByteArray decimal(int value, int width)
{
    return QByteArray::number(value).rightJustified(width, '0');
}

// Value of one upper-case hexadecimal digit, or -1.
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<quint32> hexNumber(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    quint32 value = 0;
    for (char c : text) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value << 4 | quint32(d);
    }
    return value;
}

// Channel digit of a command, if it names one of the module's channels.
std::optional<int> channelOf(char c, int channels)
{
    const int n = hexDigit(c);
    if (n < 0 || n >= channels)
        return std::nullopt;
    return n;
}

struct Limits
{
    double low;
    double high;
};

// What the output ranges can deliver (mA or V); unknown codes are limited
// only by the two integer digits of the value format.
Limits outputLimits(int rangeCode)
{
    switch (rangeCode) {
    case 0x30:
        return {0.0, 20.0};
    case 0x31:
        return {4.0, 20.0};
    case 0x32:
        return {0.0, 10.0};
    case 0x33:
        return {-10.0, 10.0};
    case 0x34:
        return {0.0, 5.0};
    case 0x35:
        return {-5.0, 5.0};
    default:
        return {-99.999, 99.999};
    }
}

quint32 bitMask(int bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (quint32(1) << bits) - 1;
}

} // namespace

double Wave::valueAt(qint64 ms) const
{
    if (shape == Shape::Constant || periodMs <= 0)
        return offset;
    const qint64 t = ((ms + phaseMs) % periodMs + periodMs) % periodMs;
    const double f = double(t) / double(periodMs);
    double unit = 0.0;
    switch (shape) {
    case Shape::Sine:
        unit = std::sin(2.0 * Pi * f);
        break;
    case Shape::Triangle:
        // Starts at the middle and rises first, like the sine.
        unit = f < 0.25 ? 4.0 * f : (f < 0.75 ? 2.0 - 4.0 * f : 4.0 * f - 4.0);
        break;
    case Shape::Square:
        unit = f < 0.5 ? 1.0 : -1.0;
        break;
    case Shape::Constant:
        break;
    }
    return offset + amplitude * unit;
}

int baudCode(qint32 baud)
{
    static const std::pair<qint32, int> codes[] = {
        {1200, 0x03},   {2400, 0x04},   {4800, 0x05},   {9600, 0x06},
        {19200, 0x07},  {38400, 0x08},  {57600, 0x09},  {115200, 0x0A},
        {230400, 0x0B}, {460800, 0x0C}, {921600, 0x0D},
    };
    for (const auto &[rate, code] : codes) {
        if (rate == baud)
            return code;
    }
    return 0;
}

SimModule::SimModule(QString name, const catalogue::ModelInfo &info)
    : m_name(std::move(name)), m_info(info)
{
    inputs.resize(size_t(info.kind == Kind::AnalogInput ? info.channels : 0));
    outputs.resize(size_t(info.kind == Kind::AnalogOutput ? info.channels : 0), 0.0);
    outputRanges.resize(size_t(info.kind == Kind::AnalogOutput && info.channels == 2 ? 2 : 0), 2);
    slotModules.resize(size_t(info.kind == Kind::MainUnit ? info.slotCount : 0));
}

SimModule *SimModule::slotModule(int slot) const
{
    if (slot < 0 || slot >= int(slotModules.size()))
        return nullptr;
    return slotModules[size_t(slot)].get();
}

QByteArray SimModule::slotCode() const
{
    // "9091H" sits in its slot as "1H"; the others by their last two digits.
    const QByteArray name = m_name.toLatin1();
    if (name.size() == 5 && name.endsWith('H'))
        return name.mid(3, 2);
    return name.mid(2, 2);
}

bool SimModule::isSlotFamily() const
{
    const Family f = family();
    return f == Family::F9000 || f == Family::F6000;
}

bool SimModule::singleChannelForm() const
{
    const Family f = family();
    return m_info.channels == 1 && (f == Family::Q2000 || f == Family::F3000);
}

int SimModule::reportedRangeCode() const
{
    if (m_info.kind == Kind::Counter)
        return 0x50 + counterMode;
    return rangeCode;
}

quint32 SimModule::countAt(int channel, qint64 nowMs) const
{
    const CounterChannel &c = counters[size_t(channel)];
    if (counterMode == 1)
        return c.counting ? quint32(std::llround(c.countsPerSecond)) : 0u;
    if (!c.counting || nowMs <= c.originMs)
        return c.start;
    const double counted = std::floor(c.countsPerSecond * double(nowMs - c.originMs) / 1000.0);
    // Beyond 2^64 counts the exact count no longer matters: any value wraps.
    const quint64 increments = counted >= 1.8e19 ? 0 : quint64(counted);
    const quint64 modulus = quint64(c.max) + 1;
    return quint32((quint64(c.start) + increments) % modulus);
}

double SimModule::inputAt(int channel, qint64 nowMs) const
{
    const AnalogInputChannel &c = inputs[size_t(channel)];
    const double v = c.wave.valueAt(nowMs);
    if (c.min && v < *c.min)
        return -OverRange;
    if (c.max && v > *c.max)
        return OverRange;
    return v;
}

double SimModule::clampOutput(int channel, double value) const
{
    int code = rangeCode;
    if (!outputRanges.empty())
        code = 0x30 + outputRanges[size_t(channel)];
    const Limits limits = outputLimits(code);
    return std::clamp(value, limits.low, limits.high);
}

quint32 SimModule::alarmOutputs(qint64 nowMs)
{
    if (alarm.mode == 0)
        return alarm.outputs;
    quint32 active = 0;
    if (m_info.kind == Kind::Counter) {
        for (int n = 0; n < 2; ++n) {
            const quint32 limit = counters[size_t(n)].alarmLimit;
            if (limit != 0 && countAt(n, nowMs) >= limit)
                active |= quint32(1) << n;
        }
    } else {
        // Bit 0 the high alarm, bit 1 the low alarm.
        const double v = inputAt(0, nowMs);
        if (v > alarm.high)
            active |= 1u;
        if (v < alarm.low)
            active |= 2u;
    }
    if (alarm.mode == 2) {
        m_latchedAlarms |= active;
        return m_latchedAlarms;
    }
    return active;
}

QByteArray SimModule::formatValue(double value)
{
    if (value >= OverRange)
        return QByteArrayLiteral("+99999");
    if (value <= -OverRange)
        return QByteArrayLiteral("-99999");
    const double rounded = std::round(value * 1000.0) / 1000.0;
    const char sign = rounded < 0.0 ? '-' : '+';
    return sign + QByteArray::number(std::fabs(rounded), 'f', 3).rightJustified(6, '0');
}

std::optional<double> SimModule::parseValue(const QByteArray &text)
{
    // Output values come as sign, two digits, point and three decimals; at
    // most that many digits are taken, so that trailing checksum digits make
    // the command invalid instead of changing the value.
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?([0-9]{1,2}(\\.[0-9]{0,3})?|\\.[0-9]{1,3})$"));
    if (!pattern.match(QString::fromLatin1(text)).hasMatch())
        return std::nullopt;
    return text.toDouble();
}

QByteArray SimModule::digitalStatus(const QByteArray &aa, quint32 outputBits,
                                    quint32 inputBits) const
{
    const QByteArray data =
        catalogue::encodeDigitalData(catalogue::handledName(m_name), {outputBits, inputBits});
    // Slot modules name their unit's address; the others close with "00".
    if (isSlotFamily())
        return '!' + aa + data;
    return '!' + data + "00";
}

QByteArray SimModule::execute(const QByteArray &command, qint64 nowMs)
{
    const char lead = command.at(0);
    const QByteArray aa = command.mid(1, 2);
    const QByteArray rest = command.mid(3);
    const QByteArray ok = '!' + aa;

    QByteArray reply;
    if (m_info.kind == Kind::MainUnit) {
        reply = executeMainUnit(lead, aa, rest, nowMs);
    } else if (lead == '$' && rest == "M") {
        reply = ok + m_name.toLatin1();
    } else if (lead == '$' && rest == "2") {
        reply = ok + hex2(quint32(reportedRangeCode())) + hex2(quint32(baudCode(baud))) +
                hex2(quint32(dataFormat | (checksum ? 0x40 : 0)));
    } else {
        switch (m_info.kind) {
        case Kind::AnalogInput:
            reply = executeAnalogInput(lead, ok, rest, nowMs);
            break;
        case Kind::AnalogOutput:
            reply = executeAnalogOutput(lead, ok, rest);
            break;
        case Kind::Digital:
            reply = executeDigital(lead, ok, rest);
            break;
        case Kind::Counter:
            reply = executeCounter(lead, ok, rest, nowMs);
            break;
        case Kind::MainUnit:
        case Kind::WatchDog:
            break;
        }
    }
    return reply.isEmpty() ? '?' + aa : reply;
}

QByteArray SimModule::executeAnalogInput(char lead, const QByteArray &ok, const QByteArray &rest,
                                         qint64 nowMs)
{
    const int channels = m_info.channels;
    if (lead == '#') {
        if (singleChannelForm())
            return rest.isEmpty() ? '>' + formatValue(inputAt(0, nowMs)) : QByteArray();
        if (rest.size() == 1) {
            if (const auto n = channelOf(rest.at(0), channels))
                return '>' + formatValue(inputAt(*n, nowMs));
        }
        return {};
    }
    if (lead == '@') {
        if (rest == "DI" && catalogue::answersAlarmRead(m_name)) {
            return ok + QByteArray::number(alarm.mode) + hex2(alarmOutputs(nowMs)) +
                   hex2(digitalInputs);
        }
        return {};
    }
    if (lead != '$')
        return {};
    if (rest == "6") {
        if (m_info.alarms)
            return digitalStatus(ok.mid(1), alarmOutputs(nowMs), digitalInputs);
        if (channels == 8)
            return ok + hex2(quint32(channelMask));
        return {};
    }
    if (rest == "8" && channels == 3)
        return ok + hex2(quint32(wiring));
    if ((rest == "RH" || rest == "RL") && m_info.alarms)
        return ok + formatValue(rest == "RH" ? alarm.high : alarm.low);
    if (rest == "LS")
        return ok + QByteArray::number(linearMapping);
    if (rest == "B" && isSlotFamily())
        return ok + hex2(quint32(rangeCode)) + hex2(quint32(dataFormat));
    return {};
}

QByteArray SimModule::executeAnalogOutput(char lead, const QByteArray &ok, const QByteArray &rest)
{
    const bool single = singleChannelForm();
    if (lead == '#') {
        int channel = 0;
        QByteArray valueText = rest;
        if (!single) {
            const auto n = rest.isEmpty() ? std::nullopt : channelOf(rest.at(0), m_info.channels);
            if (!n)
                return {};
            channel = *n;
            valueText = rest.mid(1);
        }
        const auto value = parseValue(valueText);
        if (!value)
            return {};
        outputs[size_t(channel)] = clampOutput(channel, *value);
        return QByteArrayLiteral(">");
    }
    if (lead != '$')
        return {};
    if (single && rest == "6")
        return ok + formatValue(outputs[0]);
    if (!single && rest.size() == 2 && rest.at(0) == '6') {
        if (const auto n = channelOf(rest.at(1), m_info.channels))
            return ok + formatValue(outputs[size_t(*n)]);
        return {};
    }
    if (m_info.channels == 2 && rest.size() == 2 && rest.at(0) == '9') {
        if (const auto n = channelOf(rest.at(1), 2))
            return ok + QByteArray::number(outputRanges[size_t(*n)]);
        return {};
    }
    if (rest == "B" && isSlotFamily())
        return ok + hex2(quint32(rangeCode)) + hex2(quint32(dataFormat));
    return {};
}

QByteArray SimModule::executeDigital(char lead, const QByteArray &ok, const QByteArray &rest)
{
    const quint32 outputMask = bitMask(m_info.outputBits);
    if (lead == '$' && rest == "6")
        return digitalStatus(ok.mid(1), digitalOutputs, digitalInputs);
    // A port of up to 8 outputs takes one byte, a wider one two: anything
    // longer (such as checksum digits sent to a module without checksum) is
    // refused rather than read as the port's value.
    const int portDigits = m_info.outputBits > 8 ? 4 : 2;
    if (lead == '@' && m_info.outputBits > 0 && rest.size() == portDigits) {
        const auto value = hexNumber(rest);
        if (!value)
            return {};
        digitalOutputs = *value & outputMask;
        return QByteArrayLiteral(">");
    }
    if (lead == '#' && rest.size() == 4 && rest.at(0) == '1' && rest.at(2) == '0' &&
        (rest.at(3) == '0' || rest.at(3) == '1')) {
        const int bit = hexDigit(rest.at(1));
        if (bit < 0 || bit >= m_info.outputBits)
            return {};
        if (rest.at(3) == '1')
            digitalOutputs |= quint32(1) << bit;
        else
            digitalOutputs &= ~(quint32(1) << bit);
        return QByteArrayLiteral(">");
    }
    return {};
}

QByteArray SimModule::executeCounter(char lead, const QByteArray &ok, const QByteArray &rest,
                                     qint64 nowMs)
{
    // Channel digit of the commands that name a counter: only 0 and 1 exist.
    const auto counterOf = [](char c) { return channelOf(c, 2); };
    if (lead == '#') {
        if (rest.size() == 1) {
            if (const auto n = counterOf(rest.at(0)))
                return '>' + hex8(countAt(*n, nowMs));
        }
        return {};
    }
    if (lead == '@') {
        if (rest == "DI") {
            return ok + QByteArray::number(alarm.mode) + hex2(alarmOutputs(nowMs)) +
                   hex2(digitalInputs);
        }
        if (rest.size() == 2 && rest.at(0) == 'G') {
            if (const auto n = counterOf(rest.at(1)))
                return ok + hex8(counters[size_t(*n)].preset);
        }
        if (rest.size() == 3 && rest.startsWith("RP")) {
            if (const auto n = counterOf(rest.at(2)))
                return ok + hex8(counters[size_t(*n)].alarmLimit);
        }
        return {};
    }
    if (lead != '$')
        return {};
    if (rest == "1H")
        return ok + decimal(levelHigh, 2);
    if (rest == "1L")
        return ok + decimal(levelLow, 2);
    if (rest == "B")
        return ok + QByteArray::number(counterMode);
    if (rest == "A")
        return ok + QByteArray::number(inputMode);
    if (rest.size() == 2) {
        const auto n = counterOf(rest.at(1));
        if (!n)
            return {};
        const CounterChannel &c = counters[size_t(*n)];
        switch (rest.at(0)) {
        case '5':
            return ok + (c.counting ? "1" : "0");
        case '0':
            return ok + decimal(c.minWidthUs, 5);
        case '3':
            return ok + hex8(c.max);
        default:
            break;
        }
    }
    return {};
}

QByteArray SimModule::executeMainUnit(char lead, const QByteArray &aa, const QByteArray &rest,
                                      qint64 nowMs)
{
    const QByteArray ok = '!' + aa;
    if (rest.size() >= 2 && rest.at(0) == 'S') {
        const int slot = rest.at(1) - '0';
        SimModule *module = slotModule(slot);
        if (!module)
            return {};
        // The slot module executes the rest as if addressed directly.
        QByteArray inner;
        inner.reserve(rest.size() + 1);
        inner += lead;
        inner += aa;
        inner += rest.mid(2);
        return module->execute(inner, nowMs);
    }
    if (lead != '$')
        return {};
    if (rest == "M")
        return ok + m_name.toLatin1();
    if (rest == "2") {
        return ok + hex2(quint32(rangeCode)) + hex2(quint32(baudCode(baud))) +
               hex2(quint32(dataFormat | (checksum ? 0x40 : 0)));
    }
    const auto slotTable = [&](int first) {
        QByteArray table = ok;
        for (int slot = first; slot < first + 4; ++slot) {
            const SimModule *module = slotModule(slot);
            table += module ? module->slotCode() : QByteArrayLiteral("FF");
        }
        return table;
    };
    if (rest == "T")
        return slotTable(0);
    if (rest == "T1" && slotCount() == 8)
        return slotTable(4);
    return {};
}

} // namespace telviox::sim
