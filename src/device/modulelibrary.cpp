#include "device/modulelibrary.h"

#include "device/catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <type_traits>

namespace telviox {

namespace {

using catalogue::Family;
using catalogue::Kind;
using catalogue::ModelInfo;

// Generic failure of a call that cannot be put in a command at all.
constexpr qint16 FunctionError = 1;

// How a function reaches its module: stand-alone on the line (Q-2000 and its
// 3000 twins), in a slot of a 9000/6000 main unit, or as a 92000 module.
enum class Line { Standalone, Slot, F92, None };

Line lineOf(const QString &modelName)
{
    switch (catalogue::familyOf(modelName)) {
    case Family::Q2000:
    case Family::F3000:
        return Line::Standalone;
    case Family::F9000:
    case Family::F6000:
        return Line::Slot;
    case Family::F92000:
        return Line::F92;
    case Family::MainUnit:
    case Family::Other:
        break;
    }
    return Line::None;
}

// The models each group of functions serves, on top of the line it works on.
bool analogInputs(const ModelInfo &m)
{
    return m.kind == Kind::AnalogInput;
}
bool analogOutputs(const ModelInfo &m)
{
    return m.kind == Kind::AnalogOutput;
}
// The alarm outputs and the input of the alarm-capable analog inputs are read
// through the same status command as the digital modules.
bool statusModules(const ModelInfo &m)
{
    return m.kind == Kind::Digital || m.alarms;
}
bool digitalOutputs(const ModelInfo &m)
{
    return m.kind == Kind::Digital && m.outputBits > 0;
}
bool counters(const ModelInfo &m)
{
    return m.kind == Kind::Counter;
}
bool alarmModules(const ModelInfo &m)
{
    return m.alarms;
}
bool linearMapping(const ModelInfo &m)
{
    // Only these two input models keep a linear-mapping setting.
    return qstrcmp(m.name, "2067") == 0 || qstrcmp(m.name, "2063") == 0;
}

char hexDigit(int n)
{
    return "0123456789ABCDEF"[n & 0xF];
}

QByteArray hexByte(quint32 value)
{
    return QByteArray(1, hexDigit(int(value >> 4))) + hexDigit(int(value));
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Exactly `digits` hexadecimal digits.
std::optional<quint32> parseHex(const QByteArray &text, int digits)
{
    if (text.size() != digits || !std::all_of(text.begin(), text.end(), isHex))
        return std::nullopt;
    return text.toUInt(nullptr, 16);
}

// Exactly `digits` decimal digits.
std::optional<quint32> parseDecimal(const QByteArray &text, int digits)
{
    if (text.size() != digits || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    return text.toUInt(nullptr, 10);
}

// A reading: an optional sign, digits and at most one decimal point. The
// modules mark readings outside their range with -99999 and +99999.
qint16 parseAnalog(const QByteArray &text, float &value)
{
    int i = (text.startsWith('+') || text.startsWith('-')) ? 1 : 0;
    bool digit = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (isDigit(c))
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return LinkCode::ReplyError;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!digit || !ok)
        return LinkCode::ReplyError;
    value = float(v);
    if (v == -99999.0)
        return LinkCode::UnderRange;
    if (v == 99999.0)
        return LinkCode::OverRange;
    return LinkCode::Ok;
}

// An output value as the modules take it: sign, two integer digits, point,
// three decimals. Values beyond what that format holds are clamped to it; the
// module clamps further to its own range, so the result is the same.
std::optional<QByteArray> outputValueText(float value)
{
    if (std::isnan(value))
        return std::nullopt;
    const double limited = std::clamp(double(value), -99.999, 99.999);
    const long long millis = std::clamp(std::llround(limited * 1000.0), -99999LL, 99999LL);
    const long long magnitude = std::llabs(millis);
    return QByteArray(1, millis < 0 ? '-' : '+') +
           QByteArray::number(magnitude / 1000).rightJustified(2, '0') + '.' +
           QByteArray::number(magnitude % 1000).rightJustified(3, '0');
}

// One call of a module function: its parameter block, what the block's type
// code says about the module, and the exchange on the link.
template <typename Block> class Call
{
public:
    using Element = typename Block::value_type;

    Call(SerialLink &link, Block &block, QByteArray &szSend, QByteArray &szReceive, Line line)
        : m_link(link), m_block(block), m_send(szSend), m_receive(szReceive), m_line(line),
          m_name(catalogue::modelNameOfTypeCode(qint32(block[2]))),
          m_model(catalogue::modelInfoOfTypeCode(qint32(block[2])))
    {
        m_send.clear();
        m_receive.clear();
    }

    // 0 when the type code is a model this function serves and the address
    // (and slot) can be written in a command; nothing is sent otherwise.
    qint16 require(bool (*serves)(const ModelInfo &)) const
    {
        if (!m_model || lineOf(m_name) != m_line || !serves(*m_model))
            return LinkCode::ModuleIdError;
        if (m_block[1] < 0 || m_block[1] > 0xFF)
            return LinkCode::ModuleIdError;
        if (m_line == Line::Slot && (slot() < 0 || slot() > 7))
            return LinkCode::ChannelError;
        return LinkCode::Ok;
    }

    const ModelInfo &model() const { return *m_model; }
    bool singleChannel() const { return m_model->channels == 1; }

    qint16 channel(qint32 n) const
    {
        return (n >= 0 && n < m_model->channels) ? LinkCode::Ok : LinkCode::ChannelError;
    }
    static qint16 selector(qint32 n)
    {
        return (n == 0 || n == 1) ? LinkCode::Ok : LinkCode::ChannelError;
    }
    static qint16 counter(qint32 n)
    {
        return (n == 0 || n == 1) ? LinkCode::Ok : LinkCode::CounterNoError;
    }
    qint16 bit(qint32 n) const
    {
        return (n >= 0 && n < std::min(m_model->outputBits, 16)) ? LinkCode::Ok
                                                                 : LinkCode::ChannelError;
    }
    bool widePort() const { return m_model->outputBits > 8; }

    // Lead character, address and, for a slot module, the slot part.
    QByteArray head(char lead) const
    {
        QByteArray text = QByteArray(1, lead) + hexByte(quint32(m_block[1]));
        if (m_line == Line::Slot)
            text += 'S' + QByteArray::number(slot());
        return text;
    }

    // Sends the command and returns the reply's text after the expected lead.
    qint16 exchange(const QByteArray &command, const QByteArray &lead, QByteArray &data)
    {
        QByteArray reply;
        const qint16 r = send(command, reply);
        if (r != LinkCode::Ok)
            return r;
        if (!reply.startsWith(lead))
            return LinkCode::ReplyError;
        data = reply.mid(lead.size());
        return LinkCode::Ok;
    }

    // "!" and the address: the lead of a successful $ or @ command.
    QByteArray answered() const { return '!' + hexByte(quint32(m_block[1])); }

    qint16 acknowledge(const QByteArray &command)
    {
        QByteArray data;
        const qint16 r = exchange(command, ">", data);
        if (r != LinkCode::Ok)
            return r;
        return data.isEmpty() ? LinkCode::Ok : LinkCode::ReplyError;
    }

    qint16 readAnalog(const QByteArray &command, const QByteArray &lead, FloatBlock &f)
    {
        QByteArray data;
        qint16 r = exchange(command, lead, data);
        if (r != LinkCode::Ok)
            return r;
        float value = 0;
        r = parseAnalog(data, value);
        if (r != LinkCode::ReplyError)
            f[0] = value;
        return r;
    }

    // "!AA" and one digit into element.
    qint16 readDigit(const QByteArray &command, int element)
    {
        QByteArray data;
        const qint16 r = exchange(command, answered(), data);
        if (r != LinkCode::Ok)
            return r;
        const auto digit = parseDecimal(data, 1);
        if (!digit)
            return LinkCode::ReplyError;
        put(element, *digit);
        return LinkCode::Ok;
    }

    // Eight hexadecimal digits, a 32-bit value: high word into 7, low into 8.
    qint16 readWords(const QByteArray &command, const QByteArray &lead)
    {
        QByteArray data;
        const qint16 r = exchange(command, lead, data);
        if (r != LinkCode::Ok)
            return r;
        const auto value = parseHex(data, 8);
        if (!value)
            return LinkCode::ReplyError;
        put(7, *value >> 16);
        put(8, *value & 0xFFFFu);
        return LinkCode::Ok;
    }

    // Alarm mode digit, output byte, input byte: mode into 7, outputs into 8.
    qint16 readAlarmState(const QByteArray &command)
    {
        QByteArray data;
        const qint16 r = exchange(command, answered(), data);
        if (r != LinkCode::Ok)
            return r;
        const auto mode = parseDecimal(data.left(1), 1);
        const auto outputs = parseHex(data.mid(1, 2), 2);
        if (data.size() != 5 || !mode || !outputs || !parseHex(data.mid(3, 2), 2))
            return LinkCode::ReplyError;
        put(7, *mode);
        put(8, *outputs);
        return LinkCode::Ok;
    }

    // The digital status; its bytes sit where the catalogue's layout says.
    qint16 readStatus(const QByteArray &command, bool outputs)
    {
        // Stand-alone and 92000 modules answer without their address.
        const QByteArray lead = m_line == Line::Slot ? answered() : QByteArray("!");
        QByteArray data;
        const qint16 r = exchange(command, lead, data);
        if (r != LinkCode::Ok)
            return r;
        const QByteArray reply = lead + data;
        const catalogue::DigitalLayout layout = catalogue::digitalLayout(m_name);
        for (const auto *positions : {&layout.outputPositions, &layout.inputPositions}) {
            for (int p : *positions) {
                if (p < 1 || p + 1 > reply.size() || !isHex(reply.at(p - 1)) || !isHex(reply.at(p)))
                    return LinkCode::ReplyError;
            }
        }
        const catalogue::DigitalValues values = catalogue::decodeDigitalStatus(m_name, reply);
        put(5, outputs ? values.outputs : values.inputs);
        return LinkCode::Ok;
    }

    // Writes a value as the element's bit pattern: a 16-bit element takes the
    // low 16 bits, so 0x8000 and above read back negative there.
    void put(int element, quint32 bits)
    {
        using Unsigned = std::make_unsigned_t<Element>;
        m_block[size_t(element)] = static_cast<Element>(static_cast<Unsigned>(bits));
    }

private:
    qint32 slot() const { return qint32(m_block[7]); }

    qint16 send(const QByteArray &command, QByteArray &reply)
    {
        m_send = command;
        const qint16 r = m_link.Send_Receive_Cmd(int(m_block[0]), command, reply, int(m_block[4]),
                                                 m_block[3] != 0 ? 1 : 0);
        m_receive = reply;
        return r;
    }

    SerialLink &m_link;
    Block &m_block;
    QByteArray &m_send;
    QByteArray &m_receive;
    Line m_line;
    QString m_name;
    const ModelInfo *m_model;
};

// Shared bodies of the three variants of a function.

template <typename Block>
qint16 analogIn(SerialLink &link, Block &w, FloatBlock &f, QByteArray &szSend,
                QByteArray &szReceive, Line line)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    f[0] = 0; // a failed read leaves 0, never the value of an earlier call
    if (const qint16 r = call.require(analogInputs))
        return r;
    if (const qint16 r = call.channel(w[5]))
        return r;
    QByteArray command = call.head('#');
    // Single-channel stand-alone inputs take no channel digit.
    if (line != Line::Standalone || !call.singleChannel())
        command += hexDigit(int(w[5]));
    return call.readAnalog(command, ">", f);
}

template <typename Block>
qint16 analogOut(SerialLink &link, Block &w, FloatBlock &f, QByteArray &szSend,
                 QByteArray &szReceive, Line line)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    if (const qint16 r = call.require(analogOutputs))
        return r;
    if (const qint16 r = call.channel(w[5]))
        return r;
    const auto value = outputValueText(f[0]);
    if (!value)
        return FunctionError;
    QByteArray command = call.head('#');
    if (line != Line::Standalone || !call.singleChannel())
        command += hexDigit(int(w[5]));
    return call.acknowledge(command + *value);
}

template <typename Block>
qint16 analogOutReadBack(SerialLink &link, Block &w, FloatBlock &f, QByteArray &szSend,
                         QByteArray &szReceive, Line line, int channelElement)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    f[0] = 0;
    if (const qint16 r = call.require(analogOutputs))
        return r;
    QByteArray command = call.head('$') + '6';
    // The single-channel output has no channel digit; callers do not set one.
    if (line != Line::Standalone || !call.singleChannel()) {
        const qint32 channel = qint32(w[size_t(channelElement)]);
        if (const qint16 r = call.channel(channel))
            return r;
        command += hexDigit(channel);
    }
    return call.readAnalog(command, call.answered(), f);
}

template <typename Block>
qint16 readDigitalStatus(SerialLink &link, Block &w, QByteArray &szSend, QByteArray &szReceive,
                         Line line, bool outputs)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    w[5] = 0;
    if (const qint16 r = call.require(statusModules))
        return r;
    return call.readStatus(call.head('$') + '6', outputs);
}

template <typename Block>
qint16 digitalOut(SerialLink &link, Block &w, QByteArray &szSend, QByteArray &szReceive, Line line)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    if (const qint16 r = call.require(digitalOutputs))
        return r;
    const quint32 bits = quint32(w[5]);
    QByteArray command = call.head('@');
    if (call.widePort())
        command += hexByte(bits >> 8);
    command += hexByte(bits);
    return call.acknowledge(command);
}

template <typename Block>
qint16 digitalBitOut(SerialLink &link, Block &w, QByteArray &szSend, QByteArray &szReceive,
                     Line line, int bitElement, int stateElement)
{
    Call<Block> call(link, w, szSend, szReceive, line);
    if (const qint16 r = call.require(digitalOutputs))
        return r;
    const qint32 bit = qint32(w[size_t(bitElement)]);
    if (const qint16 r = call.bit(bit))
        return r;
    const char state = w[size_t(stateElement)] != 0 ? '1' : '0';
    return call.acknowledge(call.head('#') + '1' + hexDigit(bit) + '0' + state);
}

using WordCall = Call<WordBlock>;

} // namespace

ModuleLibrary::ModuleLibrary(SerialLink &link) : m_link(link) {}

// Analog -------------------------------------------------------------------

qint16 ModuleLibrary::AnalogIn(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                               QByteArray &szReceive)
{
    return analogIn(m_link, w, f, szSend, szReceive, Line::Standalone);
}

qint16 ModuleLibrary::AnalogIn_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                  QByteArray &szReceive)
{
    return analogIn(m_link, w, f, szSend, szReceive, Line::Slot);
}

qint16 ModuleLibrary::AnalogIn_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                   QByteArray &szReceive)
{
    return analogIn(m_link, w, f, szSend, szReceive, Line::F92);
}

qint16 ModuleLibrary::AnalogOut(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                QByteArray &szReceive)
{
    return analogOut(m_link, w, f, szSend, szReceive, Line::Standalone);
}

qint16 ModuleLibrary::AnalogOut_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                   QByteArray &szReceive)
{
    return analogOut(m_link, w, f, szSend, szReceive, Line::Slot);
}

qint16 ModuleLibrary::AnalogOut_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                    QByteArray &szReceive)
{
    return analogOut(m_link, w, f, szSend, szReceive, Line::F92);
}

qint16 ModuleLibrary::AnalogOutReadBack(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                        QByteArray &szReceive)
{
    return analogOutReadBack(m_link, w, f, szSend, szReceive, Line::Standalone, 7);
}

qint16 ModuleLibrary::AnalogOutReadBack_9K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                           QByteArray &szReceive)
{
    return analogOutReadBack(m_link, w, f, szSend, szReceive, Line::Slot, 5);
}

qint16 ModuleLibrary::AnalogOutReadBack_92K(DWordBlock &w, FloatBlock &f, QByteArray &szSend,
                                            QByteArray &szReceive)
{
    return analogOutReadBack(m_link, w, f, szSend, szReceive, Line::F92, 7);
}

// Digital ------------------------------------------------------------------

qint16 ModuleLibrary::DigitalIn(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::Standalone, false);
}

qint16 ModuleLibrary::DigitalIn_9K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                   QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::Slot, false);
}

qint16 ModuleLibrary::DigitalIn_92K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                    QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::F92, false);
}

qint16 ModuleLibrary::DigitalOut(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                 QByteArray &szReceive)
{
    return digitalOut(m_link, w, szSend, szReceive, Line::Standalone);
}

qint16 ModuleLibrary::DigitalOut_9K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                    QByteArray &szReceive)
{
    return digitalOut(m_link, w, szSend, szReceive, Line::Slot);
}

qint16 ModuleLibrary::DigitalOut_92K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                     QByteArray &szReceive)
{
    return digitalOut(m_link, w, szSend, szReceive, Line::F92);
}

qint16 ModuleLibrary::DigitalBitOut(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                    QByteArray &szReceive)
{
    return digitalBitOut(m_link, w, szSend, szReceive, Line::Standalone, 7, 8);
}

qint16 ModuleLibrary::DigitalBitOut_9K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                       QByteArray &szReceive)
{
    // Element 7 is the slot here, so the bit index moves to 8 and the state to 5.
    return digitalBitOut(m_link, w, szSend, szReceive, Line::Slot, 8, 5);
}

qint16 ModuleLibrary::DigitalBitOut_92K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                        QByteArray &szReceive)
{
    return digitalBitOut(m_link, w, szSend, szReceive, Line::F92, 7, 8);
}

qint16 ModuleLibrary::DigitalOutReadBack(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                         QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::Standalone, true);
}

qint16 ModuleLibrary::DigitalOutReadBack_9K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                            QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::Slot, true);
}

qint16 ModuleLibrary::DigitalOutReadBack_92K(DWordBlock &w, FloatBlock &, QByteArray &szSend,
                                             QByteArray &szReceive)
{
    return readDigitalStatus(m_link, w, szSend, szReceive, Line::F92, true);
}

// Counters and configuration reads -------------------------------------------

qint16 ModuleLibrary::CounterIn_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                     QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = w[8] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    if (const qint16 r = WordCall::counter(w[5]))
        return r;
    return call.readWords(call.head('#') + hexDigit(w[5]), ">");
}

qint16 ModuleLibrary::ReadOutputAlarmState(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                           QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = w[8] = 0;
    if (const qint16 r = call.require(alarmModules))
        return r;
    return call.readAlarmState(call.head('@') + "DI");
}

qint16 ModuleLibrary::ReadAlarmLimitValue(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                          QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    f[0] = 0;
    if (const qint16 r = call.require(alarmModules))
        return r;
    if (const qint16 r = WordCall::selector(w[5]))
        return r;
    return call.readAnalog(call.head('$') + "R" + (w[5] == 0 ? 'H' : 'L'), call.answered(), f);
}

qint16 ModuleLibrary::ReadLinearMappingStatus(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                              QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[5] = 0;
    if (const qint16 r = call.require(linearMapping))
        return r;
    return call.readDigit(call.head('$') + "LS", 5);
}

qint16 ModuleLibrary::ReadLevelVolt_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                         QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    f[0] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    if (const qint16 r = WordCall::selector(w[5]))
        return r;
    QByteArray data;
    const qint16 r =
        call.exchange(call.head('$') + '1' + (w[5] == 0 ? 'H' : 'L'), call.answered(), data);
    if (r != LinkCode::Ok)
        return r;
    const auto tenths = parseDecimal(data, 2);
    if (!tenths)
        return LinkCode::ReplyError;
    f[0] = float(*tenths) / 10.0f;
    return LinkCode::Ok;
}

qint16 ModuleLibrary::ReadCounterStatus_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                             QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    if (const qint16 r = WordCall::counter(w[5]))
        return r;
    return call.readDigit(call.head('$') + '5' + hexDigit(w[5]), 7);
}

qint16 ModuleLibrary::ReadMinSignalWidth_2032(WordBlock &w, FloatBlock &f, QByteArray &szSend,
                                              QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = 0;
    f[0] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    if (const qint16 r = WordCall::counter(w[5]))
        return r;
    QByteArray data;
    const qint16 r = call.exchange(call.head('$') + '0' + hexDigit(w[5]), call.answered(), data);
    if (r != LinkCode::Ok)
        return r;
    // Microseconds, five digits. The element holds them as a 16-bit pattern
    // and stops at 65535; fBuf(0) carries every width the module can report
    // (a float holds them exactly), so 65536 to 99999 are no reply error.
    const auto width = parseDecimal(data, 5);
    if (!width)
        return LinkCode::ReplyError;
    call.put(7, std::min<quint32>(*width, 0xFFFFu));
    f[0] = float(*width);
    return LinkCode::Ok;
}

// A counter setting of counter w[5] read as a 32-bit value: high word into
// element 7, low word into element 8.
qint16 ModuleLibrary::readCounterWords(WordBlock &w, QByteArray &szSend, QByteArray &szReceive,
                                       char lead, const char *command)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = w[8] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    if (const qint16 r = WordCall::counter(w[5]))
        return r;
    return call.readWords(call.head(lead) + command + hexDigit(w[5]), call.answered());
}

qint16 ModuleLibrary::ReadPresetCounterValue_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                                  QByteArray &szReceive)
{
    return readCounterWords(w, szSend, szReceive, '@', "G");
}

qint16 ModuleLibrary::ReadCounterMaxValue_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                               QByteArray &szReceive)
{
    return readCounterWords(w, szSend, szReceive, '$', "3");
}

qint16 ModuleLibrary::ReadAlarmLimitValue_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                               QByteArray &szReceive)
{
    return readCounterWords(w, szSend, szReceive, '@', "RP");
}

qint16 ModuleLibrary::ReadModuleMode_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                          QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[5] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    return call.readDigit(call.head('$') + 'B', 5);
}

qint16 ModuleLibrary::ReadOutputAlarmState_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                                QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = w[8] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    return call.readAlarmState(call.head('@') + "DI");
}

qint16 ModuleLibrary::ReadInputSignalMode_2032(WordBlock &w, FloatBlock &, QByteArray &szSend,
                                               QByteArray &szReceive)
{
    WordCall call(m_link, w, szSend, szReceive, Line::Standalone);
    w[7] = 0;
    if (const qint16 r = call.require(counters))
        return r;
    return call.readDigit(call.head('$') + 'A', 7);
}

// The table of functions -------------------------------------------------------

namespace {

using WordMethod = qint16 (ModuleLibrary::*)(WordBlock &, FloatBlock &, QByteArray &, QByteArray &);
using DWordMethod = qint16 (ModuleLibrary::*)(DWordBlock &, FloatBlock &, QByteArray &,
                                              QByteArray &);

struct Use
{
    int channel = -1;
    int value = -1;
    bool analog = false;
    unsigned outputs = 0;
};

ModuleLibrary::Function entry(const char *name, WordMethod method, Use use)
{
    return {name,
            false,
            [method](ModuleLibrary &lib, WordBlock &w, DWordBlock &, FloatBlock &f, QByteArray &s,
                     QByteArray &r) { return (lib.*method)(w, f, s, r); },
            use.channel,
            use.value,
            use.analog,
            use.outputs};
}

ModuleLibrary::Function entry(const char *name, DWordMethod method, Use use)
{
    return {name,
            true,
            [method](ModuleLibrary &lib, WordBlock &, DWordBlock &w, FloatBlock &f, QByteArray &s,
                     QByteArray &r) { return (lib.*method)(w, f, s, r); },
            use.channel,
            use.value,
            use.analog,
            use.outputs};
}

} // namespace

const std::vector<ModuleLibrary::Function> &ModuleLibrary::functions()
{
    using L = ModuleLibrary;
    constexpr unsigned value = OutValue;
    constexpr unsigned bits = OutElement5 | OutBits;
    constexpr unsigned words = OutElement7 | OutElement8 | OutLong;
    static const std::vector<Function> table = {
        entry("AnalogIn", &L::AnalogIn, {5, -1, false, value}),
        entry("AnalogIn_9K", &L::AnalogIn_9K, {5, -1, false, value}),
        entry("AnalogIn_92K", &L::AnalogIn_92K, {5, -1, false, value}),
        entry("AnalogOut", &L::AnalogOut, {5, -1, true, 0}),
        entry("AnalogOut_9K", &L::AnalogOut_9K, {5, -1, true, 0}),
        entry("AnalogOut_92K", &L::AnalogOut_92K, {5, -1, true, 0}),
        entry("AnalogOutReadBack", &L::AnalogOutReadBack, {7, -1, false, value}),
        entry("AnalogOutReadBack_9K", &L::AnalogOutReadBack_9K, {5, -1, false, value}),
        entry("AnalogOutReadBack_92K", &L::AnalogOutReadBack_92K, {7, -1, false, value}),
        entry("DigitalIn", &L::DigitalIn, {-1, -1, false, bits}),
        entry("DigitalIn_9K", &L::DigitalIn_9K, {-1, -1, false, bits}),
        entry("DigitalIn_92K", &L::DigitalIn_92K, {-1, -1, false, bits}),
        entry("DigitalOut", &L::DigitalOut, {-1, 5, false, 0}),
        entry("DigitalOut_9K", &L::DigitalOut_9K, {-1, 5, false, 0}),
        entry("DigitalOut_92K", &L::DigitalOut_92K, {-1, 5, false, 0}),
        entry("DigitalBitOut", &L::DigitalBitOut, {7, 8, false, 0}),
        entry("DigitalBitOut_9K", &L::DigitalBitOut_9K, {8, 5, false, 0}),
        entry("DigitalBitOut_92K", &L::DigitalBitOut_92K, {7, 8, false, 0}),
        entry("DigitalOutReadBack", &L::DigitalOutReadBack, {-1, -1, false, bits}),
        entry("DigitalOutReadBack_9K", &L::DigitalOutReadBack_9K, {-1, -1, false, bits}),
        entry("DigitalOutReadBack_92K", &L::DigitalOutReadBack_92K, {-1, -1, false, bits}),
        entry("CounterIn_2032", &L::CounterIn_2032, {5, -1, false, words}),
        entry("ReadOutputAlarmState", &L::ReadOutputAlarmState,
              {-1, -1, false, OutElement7 | OutElement8}),
        entry("ReadAlarmLimitValue", &L::ReadAlarmLimitValue, {5, -1, false, value}),
        entry("ReadLinearMappingStatus", &L::ReadLinearMappingStatus, {-1, -1, false, OutElement5}),
        entry("ReadLevelVolt_2032", &L::ReadLevelVolt_2032, {5, -1, false, value}),
        entry("ReadCounterStatus_2032", &L::ReadCounterStatus_2032, {5, -1, false, OutElement7}),
        entry("ReadMinSignalWidth_2032", &L::ReadMinSignalWidth_2032,
              {5, -1, false, OutElement7 | value}),
        entry("ReadPresetCounterValue_2032", &L::ReadPresetCounterValue_2032,
              {5, -1, false, words}),
        entry("ReadCounterMaxValue_2032", &L::ReadCounterMaxValue_2032, {5, -1, false, words}),
        entry("ReadAlarmLimitValue_2032", &L::ReadAlarmLimitValue_2032, {5, -1, false, words}),
        entry("ReadModuleMode_2032", &L::ReadModuleMode_2032, {-1, -1, false, OutElement5}),
        entry("ReadOutputAlarmState_2032", &L::ReadOutputAlarmState_2032,
              {-1, -1, false, OutElement7 | OutElement8}),
        entry("ReadInputSignalMode_2032", &L::ReadInputSignalMode_2032,
              {-1, -1, false, OutElement7}),
    };
    return table;
}

const ModuleLibrary::Function *ModuleLibrary::function(const QString &name)
{
    const auto &table = functions();
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        const auto it = std::find_if(table.begin(), table.end(), [&](const Function &f) {
            return name.compare(QLatin1String(f.name), cs) == 0;
        });
        if (it != table.end())
            return &*it;
    }
    return nullptr;
}

} // namespace telviox
