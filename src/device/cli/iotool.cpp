#include "iotool.h"

#include "core/moduleerror.h"
#include "core/scripttext.h"
#include "device/catalogue.h"

#include <cmath>
#include <limits>

namespace telviox::io {

namespace {

using catalogue::Family;
using catalogue::Kind;

bool takesSlot(const ModuleLibrary::Function &f)
{
    return QLatin1String(f.name).endsWith(QLatin1String("_9K"));
}

QString hexText(quint32 value, int digits)
{
    return QStringLiteral("0x") +
           QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QByteArray addressText(int address)
{
    return QByteArray::number(address, 16).toUpper().rightJustified(2, '0');
}

// The blocks of one call, whichever of the two integer blocks it takes.
struct Blocks
{
    explicit Blocks(bool isWide) : wide(isWide) {}

    bool set(int element, qint64 value)
    {
        const qint64 low = wide ? std::numeric_limits<qint32>::min() : -32768;
        const qint64 high = wide ? qint64(std::numeric_limits<quint32>::max()) : 65535;
        if (value < low || value > high)
            return false;
        // Values beyond the signed range are taken as their bit pattern.
        if (wide)
            dw[size_t(element)] = qint32(quint32(value));
        else
            w[size_t(element)] = qint16(quint16(value));
        return true;
    }
    qint64 get(int element) const { return wide ? dw[size_t(element)] : w[size_t(element)]; }

    bool wide;
    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
};

// What one call filled, as names and values.
QList<QPair<QString, QString>> outputValues(const ModuleLibrary::Function &fn, const Blocks &b)
{
    QList<QPair<QString, QString>> values;
    if (fn.outputs & ModuleLibrary::OutValue)
        values.append({QStringLiteral("fBuf0"), QString::number(double(b.f[0]), 'g', 7)});
    if (fn.outputs & ModuleLibrary::OutElement5) {
        const qint64 v = b.get(5);
        values.append(
            {QStringLiteral("e5"), (fn.outputs & ModuleLibrary::OutBits)
                                       ? hexText(b.wide ? quint32(v) : quint32(quint16(v)), 4)
                                       : QString::number(v)});
    }
    if (fn.outputs & ModuleLibrary::OutElement7)
        values.append({QStringLiteral("e7"), QString::number(b.get(7))});
    if (fn.outputs & ModuleLibrary::OutElement8)
        values.append({QStringLiteral("e8"), QString::number(b.get(8))});
    if (fn.outputs & ModuleLibrary::OutLong)
        values.append({QStringLiteral("long"),
                       QString::number(MakeLong(qint16(b.get(7)), qint16(b.get(8))))});
    return values;
}

// The plain form of names and values: "name=value" words; the CSV form: the
// names as columns, the values as the row.
QStringList nameValueWords(const QList<QPair<QString, QString>> &values)
{
    QStringList words;
    for (const auto &[name, value] : values)
        words << name + QLatin1Char('=') + value;
    return words;
}

void splitValues(const QList<QPair<QString, QString>> &values, QStringList &columns,
                 QStringList &row)
{
    for (const auto &[name, value] : values) {
        columns << name;
        row << value;
    }
}

// The read functions of each kind of module, for stand-alone, slot and 92000
// modules in that order.
struct ReadFunctions
{
    const char *standalone;
    const char *slot;
    const char *f92;

    const char *forFamily(Family family) const
    {
        switch (family) {
        case Family::Q2000:
        case Family::F3000:
            return standalone;
        case Family::F9000:
        case Family::F6000:
            return slot;
        case Family::F92000:
            return f92;
        case Family::MainUnit:
        case Family::Other:
            break;
        }
        return nullptr;
    }
};

constexpr ReadFunctions AnalogInputs{"AnalogIn", "AnalogIn_9K", "AnalogIn_92K"};
constexpr ReadFunctions AnalogOutputs{"AnalogOutReadBack", "AnalogOutReadBack_9K",
                                      "AnalogOutReadBack_92K"};
constexpr ReadFunctions DigitalInputs{"DigitalIn", "DigitalIn_9K", "DigitalIn_92K"};
constexpr ReadFunctions DigitalOutputs{"DigitalOutReadBack", "DigitalOutReadBack_9K",
                                       "DigitalOutReadBack_92K"};
constexpr ReadFunctions Counters{"CounterIn_2032", nullptr, nullptr};

} // namespace

std::optional<qint64> parseInteger(const QString &text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    const bool hex = digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString body = hex ? digits.mid(2) : digits;
    if (body.isEmpty() || body.startsWith(QLatin1Char('+')) || body.startsWith(QLatin1Char('-')))
        return std::nullopt;
    bool ok = false;
    const qint64 value = body.toLongLong(&ok, hex ? 16 : 10);
    if (!ok)
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<int> parseAddress(const QString &text)
{
    const QString body =
        text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2) : text;
    if (body.isEmpty() || body.size() > 2)
        return std::nullopt;
    bool ok = false;
    const int value = body.toInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return value;
}

namespace {

// Fills the blocks of one call from its KEY=VALUE words; the first mistake
// ends it with a reason.
class CallParser
{
public:
    CallParser(const ModuleLibrary::Function &fn, const Settings &settings)
        : m_fn(fn), m_blocks(fn.wide)
    {
        m_blocks.set(0, settings.port);
        m_blocks.set(3, settings.checksum ? 1 : 0);
        // The block takes its time-out signed: 40000 would be read as negative.
        if ((!fn.wide && settings.timeoutMs > 32767) || !m_blocks.set(4, settings.timeoutMs))
            m_error = QStringLiteral("--timeout does not fit the 16-bit block of ") + name();
    }

    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

    bool take(const QString &arg)
    {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("expected KEY=VALUE, got ") + arg);
        const QString key = arg.left(eq);
        const QString value = arg.mid(eq + 1);
        if (key == QLatin1String("addr"))
            return takeAddress(value);
        if (key == QLatin1String("type"))
            return takeType(value);
        if (key == QLatin1String("slot"))
            return takesSlot(m_fn) ? put(7, key, value)
                                   : fail(name() + QStringLiteral(" takes no slot"));
        if (key == QLatin1String("ch"))
            return m_fn.channelElement >= 0 ? put(m_fn.channelElement, key, value)
                                            : fail(name() + QStringLiteral(" takes no channel"));
        if (key == QLatin1String("value"))
            return takeValue(value);
        if (key.size() >= 2 && key.startsWith(QLatin1Char('e')))
            return takeElement(key, value);
        return fail(QStringLiteral("unknown argument ") + key);
    }

    std::optional<CallRequest> finish()
    {
        if (!failed() && !m_haveAddress)
            fail(QStringLiteral("call needs addr=AA"));
        if (!failed() && !m_haveType)
            fail(QStringLiteral("call needs type=CODE"));
        if (failed())
            return std::nullopt;
        CallRequest request;
        request.function = &m_fn;
        request.w = m_blocks.w;
        request.dw = m_blocks.dw;
        request.f = m_blocks.f;
        return request;
    }

private:
    QString name() const { return QLatin1String(m_fn.name); }

    bool fail(const QString &message)
    {
        m_error = message;
        return false;
    }

    bool put(int element, const QString &key, const QString &value)
    {
        const auto integer = parseInteger(value);
        if (!integer || !m_blocks.set(element, *integer))
            return fail(key + QStringLiteral(": ") + value +
                        QStringLiteral(" is not a number that fits the block"));
        return true;
    }

    bool takeAddress(const QString &value)
    {
        const auto address = parseAddress(value);
        if (!address)
            return fail(QStringLiteral("addr: ") + value +
                        QStringLiteral(" is not a hexadecimal address 00 to FF"));
        m_blocks.set(1, *address);
        m_haveAddress = true;
        return true;
    }

    bool takeType(const QString &value)
    {
        const qint32 code = catalogue::typeCodeOfName(value);
        if (code == 0 || value.size() < 4 || catalogue::normaliseName(value) != value)
            return fail(QStringLiteral("type: ") + value +
                        QStringLiteral(" is not a model number (2026, 9091, 92091, ...)"));
        if (!m_fn.wide && (code < -32768 || code > 32767))
            return fail(QStringLiteral("type: ") + value + QStringLiteral(" does not fit ") +
                        name() + QStringLiteral("'s 16-bit block"));
        m_blocks.set(2, code);
        m_haveType = true;
        return true;
    }

    bool takeValue(const QString &value)
    {
        if (m_fn.valueElement >= 0 && !m_fn.analogValue)
            return put(m_fn.valueElement, QStringLiteral("value"), value);
        if (!m_fn.analogValue)
            return fail(name() + QStringLiteral(" takes no value"));
        // nan and inf parse as numbers, but no output can be set to them.
        bool ok = false;
        const float number = value.toFloat(&ok);
        if (!ok || !std::isfinite(number))
            return fail(QStringLiteral("value: ") + value + QStringLiteral(" is not a number"));
        m_blocks.f[0] = number;
        return true;
    }

    bool takeElement(const QString &key, const QString &value)
    {
        bool ok = false;
        const int element = key.mid(1).toInt(&ok);
        if (!ok || element < 5 || element > 15)
            return fail(QStringLiteral("unknown argument ") + key +
                        QStringLiteral(" (elements e5 to e15)"));
        return put(element, key, value);
    }

    const ModuleLibrary::Function &m_fn;
    Blocks m_blocks;
    QString m_error;
    bool m_haveAddress = false;
    bool m_haveType = false;
};

} // namespace

std::optional<CallRequest> parseCall(const QStringList &args, const Settings &settings,
                                     QString *error)
{
    if (args.isEmpty()) {
        *error = QStringLiteral("call needs a FUNCTION (see --list)");
        return std::nullopt;
    }
    const ModuleLibrary::Function *fn = ModuleLibrary::function(args.first());
    if (!fn) {
        *error =
            QStringLiteral("unknown function ") + args.first() + QStringLiteral(" (see --list)");
        return std::nullopt;
    }
    CallParser parser(*fn, settings);
    for (qsizetype i = 1; i < args.size() && !parser.failed(); ++i)
        parser.take(args.at(i));
    auto request = parser.finish();
    if (!request)
        *error = parser.error();
    return request;
}

QString functionList()
{
    QString text;
    for (const ModuleLibrary::Function &fn : ModuleLibrary::functions()) {
        QStringList words{QLatin1String(fn.wide ? "dwBuf" : "wBuf ")};
        if (takesSlot(fn))
            words << QStringLiteral("slot=e7");
        if (fn.channelElement >= 0)
            words << QStringLiteral("ch=e") + QString::number(fn.channelElement);
        if (fn.analogValue)
            words << QStringLiteral("value=fBuf0");
        else if (fn.valueElement >= 0)
            words << QStringLiteral("value=e") + QString::number(fn.valueElement);
        QStringList outputs;
        if (fn.outputs & ModuleLibrary::OutValue)
            outputs << QStringLiteral("fBuf0");
        if (fn.outputs & ModuleLibrary::OutElement5)
            outputs << QStringLiteral("e5");
        if (fn.outputs & ModuleLibrary::OutElement7)
            outputs << QStringLiteral("e7");
        if (fn.outputs & ModuleLibrary::OutElement8)
            outputs << QStringLiteral("e8");
        if (!outputs.isEmpty())
            words << QStringLiteral("-> ") + outputs.join(QLatin1Char(' '));
        text += QString::fromLatin1(fn.name).leftJustified(28) + words.join(QLatin1Char(' ')) +
                QLatin1Char('\n');
    }
    return text;
}

IoTool::IoTool(ModuleLibrary &library, const Settings &settings, PortChoice port, QTextStream &out,
               QTextStream &err)
    : m_library(library), m_settings(settings), m_port(std::move(port)), m_out(out), m_err(err)
{}

QString IoTool::describe(qint16 code) const
{
    const QString text = moduleErrorDescription(code).trimmed();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

QString IoTool::timeStamp() const
{
    return scripttext::isoTimeStamp(m_library.link().clock().wallTime());
}

void IoTool::printLine(const QString &line)
{
    if (m_settings.timeStamps)
        m_out << timeStamp() << ' ';
    m_out << line << Qt::endl;
}

void IoTool::printHeader(const QStringList &columns, bool withTime)
{
    const QStringList header = withTime ? QStringList{QStringLiteral("time")} + columns : columns;
    if (header == m_header)
        return;
    m_header = header;
    m_out << scripttext::csvRow(header) << Qt::endl;
}

void IoTool::printRow(const QStringList &columns, const QStringList &values, bool withTime)
{
    printHeader(columns, withTime);
    m_out << scripttext::csvRow(withTime ? QStringList{timeStamp()} + values : values) << Qt::endl;
}

QTextStream &IoTool::errorLine()
{
    if (m_settings.timeStamps)
        m_err << timeStamp() << ' ';
    return m_err;
}

void IoTool::printResult(const QString &plainLine, const QStringList &columns,
                         const QStringList &values)
{
    if (m_settings.csv)
        printRow(columns, values, true);
    else
        printLine(plainLine);
}

void IoTool::reportError(const QString &prefix, qint16 code, const QString &detail)
{
    errorLine() << prefix << "error " << code << ": " << describe(code) << detail << " on "
                << describePort(m_port, m_settings.baud) << Qt::endl;
}

int IoTool::raw(const QByteArray &command)
{
    QByteArray reply;
    const qint16 r = m_library.link().Send_Receive_Cmd(
        m_settings.port, command, reply, m_settings.timeoutMs, m_settings.checksum ? 1 : 0);
    if (r == LinkCode::Ok) {
        const QString text = QString::fromLatin1(reply);
        printResult(text, {QStringLiteral("reply")}, {text});
        return ExitOk;
    }
    reportError({}, r,
                reply.isEmpty()
                    ? QString()
                    : QStringLiteral(" (reply ") + QString::fromLatin1(reply) + QLatin1Char(')'));
    return ExitFailure;
}

int IoTool::call(CallRequest &request)
{
    const ModuleLibrary::Function &fn = *request.function;
    QByteArray sent;
    QByteArray reply;
    const qint16 r = fn.call(m_library, request.w, request.dw, request.f, sent, reply);

    Blocks b(fn.wide);
    b.w = request.w;
    b.dw = request.dw;
    b.f = request.f;
    QList<QPair<QString, QString>> values{{QStringLiteral("result"), QString::number(r)}};
    values << outputValues(fn, b);
    values.append({QStringLiteral("sent"), QString::fromLatin1(sent)});
    values.append({QStringLiteral("reply"), QString::fromLatin1(reply)});
    QStringList columns, row;
    splitValues(values, columns, row);
    printResult(nameValueWords(values).join(QLatin1Char(' ')), columns, row);
    if (r == LinkCode::Ok)
        return ExitOk;
    reportError({}, r);
    return ExitFailure;
}

IoTool::Values IoTool::readChannels(const char *function, qint32 typeCode, int address,
                                    std::optional<int> slot, int channels, const QString &prefix,
                                    qint16 &failure)
{
    const ModuleLibrary::Function *fn =
        function ? ModuleLibrary::function(QLatin1String(function)) : nullptr;
    if (!fn)
        return {};
    Blocks b(fn->wide);
    b.set(0, m_settings.port);
    b.set(1, address);
    b.set(2, fn->wide ? typeCode : qint16(typeCode));
    b.set(3, m_settings.checksum ? 1 : 0);
    b.set(4, fn->wide ? m_settings.timeoutMs : std::min(m_settings.timeoutMs, 32767));
    if (slot)
        b.set(7, *slot);

    Values values;
    for (int channel = 0; channel < channels; ++channel) {
        if (fn->channelElement >= 0)
            b.set(fn->channelElement, channel);
        QByteArray sent;
        QByteArray reply;
        const qint16 r = fn->call(m_library, b.w, b.dw, b.f, sent, reply);
        if (r != LinkCode::Ok && r != LinkCode::UnderRange && r != LinkCode::OverRange &&
            failure == LinkCode::Ok)
            failure = r;
        QString text;
        if (r == LinkCode::UnderRange)
            text = QStringLiteral("under");
        else if (r == LinkCode::OverRange)
            text = QStringLiteral("over");
        else if (r != LinkCode::Ok)
            text = QLatin1Char('E') + QString::number(r);
        else if (fn->outputs & ModuleLibrary::OutValue)
            text = QString::asprintf("%+.3f", double(b.f[0]));
        else if (fn->outputs & ModuleLibrary::OutLong)
            text = QString::number(MakeLong(qint16(b.get(7)), qint16(b.get(8))));
        else
            text = hexText(b.wide ? quint32(b.get(5)) : quint32(quint16(b.get(5))), 4);
        // Channels are numbered; a whole digital port is not.
        const bool numbered = fn->channelElement >= 0;
        values.append({numbered ? prefix + QString::number(channel) : prefix, text});
    }
    return values;
}

int IoTool::read(int address, std::optional<int> slot)
{
    const QByteArray aa = addressText(address);
    const QByteArray head = '$' + aa + (slot ? 'S' + QByteArray::number(*slot) : QByteArray());
    const QString where = QString::fromLatin1(aa) +
                          (slot ? QStringLiteral(" S") + QString::number(*slot) : QString());
    const auto exchange = [&](const QByteArray &command, QByteArray &reply) {
        qint16 r = m_library.link().Send_Receive_Cmd(
            m_settings.port, command, reply, m_settings.timeoutMs, m_settings.checksum ? 1 : 0);
        if (r == LinkCode::Ok && !reply.startsWith('!' + aa))
            r = LinkCode::ReplyError;
        return r;
    };

    QByteArray reply;
    if (const qint16 r = exchange(head + 'M', reply)) {
        reportError(where + QStringLiteral(": "), r);
        return ExitFailure;
    }
    const QString name = QString::fromLatin1(reply.mid(3));
    const catalogue::ModelInfo *info = catalogue::modelInfo(name);
    if (!info) {
        errorLine() << where << ' ' << name << ": model not known" << Qt::endl;
        return ExitFailure;
    }

    const Family family = catalogue::familyOf(name);
    const qint32 code = catalogue::typeCodeOfName(name);
    Values parts;
    qint16 failure = LinkCode::Ok;
    switch (info->kind) {
    case Kind::AnalogInput:
        parts << readChannels(AnalogInputs.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("ch"), failure);
        break;
    case Kind::AnalogOutput:
        parts << readChannels(AnalogOutputs.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("out"), failure);
        break;
    case Kind::Digital:
        if (info->inputBits > 0)
            parts << readChannels(DigitalInputs.forFamily(family), code, address, slot, 1,
                                  QStringLiteral("in"), failure);
        if (info->outputBits > 0)
            parts << readChannels(DigitalOutputs.forFamily(family), code, address, slot, 1,
                                  QStringLiteral("out"), failure);
        break;
    case Kind::Counter:
        parts << readChannels(Counters.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("count"), failure);
        break;
    case Kind::MainUnit: {
        // The slot table: one two-character code per slot, FF for an empty one.
        QStringList codes;
        for (int half = 0; half * 4 < info->slotCount; ++half) {
            QByteArray table;
            const QByteArray command = head + (half == 0 ? QByteArray("T") : QByteArray("T1"));
            if (const qint16 r = exchange(command, table)) {
                codes << QLatin1Char('E') + QString::number(r);
                if (failure == LinkCode::Ok)
                    failure = r;
                continue;
            }
            for (int i = 3; i + 1 < table.size(); i += 2)
                codes << QString::fromLatin1(table.mid(i, 2));
        }
        parts.append({QStringLiteral("slots"), codes.join(QLatin1Char(','))});
        break;
    }
    case Kind::WatchDog:
        break;
    }
    QStringList words = nameValueWords(parts);
    words.prepend(where + QLatin1Char(' ') + name + QLatin1Char(':'));
    QStringList columns{QStringLiteral("address")};
    QStringList row{QString::fromLatin1(aa)};
    if (slot) {
        columns << QStringLiteral("slot");
        row << QString::number(*slot);
    }
    columns << QStringLiteral("model");
    row << name;
    splitValues(parts, columns, row);
    printResult(words.join(QLatin1Char(' ')), columns, row);
    // A value the module did not give is a failure, even with the others read.
    if (failure == LinkCode::Ok)
        return ExitOk;
    reportError(where + QStringLiteral(": "), failure);
    return ExitFailure;
}

} // namespace telviox::io
