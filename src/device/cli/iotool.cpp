#include "iotool.h"

#include "core/moduleerror.h"
#include "device/catalogue.h"

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

// What one call filled, as "name=value" words.
QStringList outputWords(const ModuleLibrary::Function &fn, const Blocks &b)
{
    QStringList words;
    if (fn.outputs & ModuleLibrary::OutValue)
        words << QStringLiteral("fBuf0=") + QString::number(double(b.f[0]), 'g', 7);
    if (fn.outputs & ModuleLibrary::OutElement5) {
        const qint64 v = b.get(5);
        words << QStringLiteral("e5=") +
                     ((fn.outputs & ModuleLibrary::OutBits)
                          ? hexText(b.wide ? quint32(v) : quint32(quint16(v)), 4)
                          : QString::number(v));
    }
    if (fn.outputs & ModuleLibrary::OutElement7)
        words << QStringLiteral("e7=") + QString::number(b.get(7));
    if (fn.outputs & ModuleLibrary::OutElement8)
        words << QStringLiteral("e8=") + QString::number(b.get(8));
    if (fn.outputs & ModuleLibrary::OutLong)
        words << QStringLiteral("long=") +
                     QString::number(MakeLong(qint16(b.get(7)), qint16(b.get(8))));
    return words;
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

std::optional<CallRequest> parseCall(const QStringList &args, const Settings &settings,
                                     QString *error)
{
    const auto fail = [error](const QString &message) {
        *error = message;
        return std::nullopt;
    };
    if (args.isEmpty())
        return fail(QStringLiteral("call needs a FUNCTION (see --list)"));
    const ModuleLibrary::Function *fn = ModuleLibrary::function(args.first());
    if (!fn)
        return fail(QStringLiteral("unknown function ") + args.first() +
                    QStringLiteral(" (see --list)"));

    Blocks b(fn->wide);
    b.set(0, settings.port);
    b.set(3, settings.checksum ? 1 : 0);
    if (!b.set(4, settings.timeoutMs))
        return fail(QStringLiteral("--timeout does not fit the 16-bit block of ") +
                    QLatin1String(fn->name));
    bool haveAddress = false;
    bool haveType = false;
    for (const QString &arg : args.mid(1)) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("expected KEY=VALUE, got ") + arg);
        const QString key = arg.left(eq);
        const QString value = arg.mid(eq + 1);
        const auto integer = parseInteger(value);
        const auto put = [&](int element) {
            if (!integer || !b.set(element, *integer)) {
                *error = key + QStringLiteral(": ") + value +
                         QStringLiteral(" is not a number that fits the block");
                return false;
            }
            return true;
        };

        if (key == QLatin1String("addr")) {
            const auto address = parseAddress(value);
            if (!address)
                return fail(QStringLiteral("addr: ") + value +
                            QStringLiteral(" is not a hexadecimal address 00 to FF"));
            b.set(1, *address);
            haveAddress = true;
        } else if (key == QLatin1String("type")) {
            const qint32 code = catalogue::typeCodeOfName(value);
            if (code == 0 || value.size() < 4 || catalogue::normaliseName(value) != value)
                return fail(QStringLiteral("type: ") + value +
                            QStringLiteral(" is not a model number (2026, 9091, 92091, ...)"));
            if (!fn->wide && (code < -32768 || code > 32767))
                return fail(QStringLiteral("type: ") + value + QStringLiteral(" does not fit ") +
                            QLatin1String(fn->name) + QStringLiteral("'s 16-bit block"));
            b.set(2, code);
            haveType = true;
        } else if (key == QLatin1String("slot")) {
            if (!takesSlot(*fn))
                return fail(QLatin1String(fn->name) + QStringLiteral(" takes no slot"));
            if (!put(7))
                return std::nullopt;
        } else if (key == QLatin1String("ch")) {
            if (fn->channelElement < 0)
                return fail(QLatin1String(fn->name) + QStringLiteral(" takes no channel"));
            if (!put(fn->channelElement))
                return std::nullopt;
        } else if (key == QLatin1String("value")) {
            if (fn->analogValue) {
                bool ok = false;
                b.f[0] = value.toFloat(&ok);
                if (!ok)
                    return fail(QStringLiteral("value: ") + value +
                                QStringLiteral(" is not a number"));
            } else if (fn->valueElement >= 0) {
                if (!put(fn->valueElement))
                    return std::nullopt;
            } else {
                return fail(QLatin1String(fn->name) + QStringLiteral(" takes no value"));
            }
        } else if (key.size() >= 2 && key.startsWith(QLatin1Char('e'))) {
            bool ok = false;
            const int element = key.mid(1).toInt(&ok);
            if (!ok || element < 5 || element > 15)
                return fail(QStringLiteral("unknown argument ") + key +
                            QStringLiteral(" (elements e5 to e15)"));
            if (!put(element))
                return std::nullopt;
        } else {
            return fail(QStringLiteral("unknown argument ") + key);
        }
    }
    if (!haveAddress)
        return fail(QStringLiteral("call needs addr=AA"));
    if (!haveType)
        return fail(QStringLiteral("call needs type=CODE"));

    CallRequest request;
    request.function = fn;
    request.w = b.w;
    request.dw = b.dw;
    request.f = b.f;
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

IoTool::IoTool(ModuleLibrary &library, const Settings &settings, QTextStream &out, QTextStream &err)
    : m_library(library), m_settings(settings), m_out(out), m_err(err)
{}

QString IoTool::describe(qint16 code) const
{
    const QString text = moduleErrorDescription(code).trimmed();
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

int IoTool::raw(const QByteArray &command)
{
    QByteArray reply;
    const qint16 r = m_library.link().Send_Receive_Cmd(
        m_settings.port, command, reply, m_settings.timeoutMs, m_settings.checksum ? 1 : 0);
    if (r == LinkCode::Ok) {
        m_out << reply << Qt::endl;
        return ExitOk;
    }
    m_err << "error " << r << ": " << describe(r);
    if (!reply.isEmpty())
        m_err << " (reply " << reply << ')';
    m_err << Qt::endl;
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
    QStringList words{QStringLiteral("result=") + QString::number(r)};
    words << outputWords(fn, b);
    words << QStringLiteral("sent=") + QString::fromLatin1(sent)
          << QStringLiteral("reply=") + QString::fromLatin1(reply);
    QString line = words.join(QLatin1Char(' '));
    if (r != LinkCode::Ok)
        line += QStringLiteral("  error: ") + describe(r);
    m_out << line << Qt::endl;
    return r == LinkCode::Ok ? ExitOk : ExitFailure;
}

QString IoTool::readChannels(const char *function, qint32 typeCode, int address,
                             std::optional<int> slot, int channels, const QString &prefix)
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

    QStringList words;
    for (int channel = 0; channel < channels; ++channel) {
        if (fn->channelElement >= 0)
            b.set(fn->channelElement, channel);
        QByteArray sent;
        QByteArray reply;
        const qint16 r = fn->call(m_library, b.w, b.dw, b.f, sent, reply);
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
        words << (numbered ? prefix + QString::number(channel) : prefix) + QLatin1Char('=') + text;
    }
    return words.join(QLatin1Char(' '));
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
        m_out << where << ": error " << r << ": " << describe(r) << Qt::endl;
        return ExitFailure;
    }
    const QString name = QString::fromLatin1(reply.mid(3));
    const catalogue::ModelInfo *info = catalogue::modelInfo(name);
    if (!info) {
        m_out << where << ' ' << name << ": model not known" << Qt::endl;
        return ExitFailure;
    }

    const Family family = catalogue::familyOf(name);
    const qint32 code = catalogue::typeCodeOfName(name);
    QStringList parts;
    switch (info->kind) {
    case Kind::AnalogInput:
        parts << readChannels(AnalogInputs.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("ch"));
        break;
    case Kind::AnalogOutput:
        parts << readChannels(AnalogOutputs.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("out"));
        break;
    case Kind::Digital:
        if (info->inputBits > 0)
            parts << readChannels(DigitalInputs.forFamily(family), code, address, slot, 1,
                                  QStringLiteral("in"));
        if (info->outputBits > 0)
            parts << readChannels(DigitalOutputs.forFamily(family), code, address, slot, 1,
                                  QStringLiteral("out"));
        break;
    case Kind::Counter:
        parts << readChannels(Counters.forFamily(family), code, address, slot, info->channels,
                              QStringLiteral("count"));
        break;
    case Kind::MainUnit: {
        // The slot table: one two-character code per slot, FF for an empty one.
        QStringList codes;
        for (int half = 0; half * 4 < info->slotCount; ++half) {
            QByteArray table;
            const QByteArray command = head + (half == 0 ? QByteArray("T") : QByteArray("T1"));
            if (const qint16 r = exchange(command, table)) {
                codes << QLatin1Char('E') + QString::number(r);
                continue;
            }
            for (int i = 3; i + 1 < table.size(); i += 2)
                codes << QString::fromLatin1(table.mid(i, 2));
        }
        parts << QStringLiteral("slots=") + codes.join(QLatin1Char(','));
        break;
    }
    case Kind::WatchDog:
        break;
    }
    parts.removeAll(QString());
    parts.prepend(where + QLatin1Char(' ') + name + QLatin1Char(':'));
    m_out << parts.join(QLatin1Char(' ')) << Qt::endl;
    return ExitOk;
}

} // namespace telviox::io
