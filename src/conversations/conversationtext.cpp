#include "conversations/conversationtext.h"

#include "conversations/conversationsetting.h"
#include "core/textutil.h"
#include "device/catalogue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <cmath>
#include <limits>

namespace telviox::cnvtext {

namespace {

// What a conversation's channel field holds, by what the setting dialog
// writes for the kind of its model; a code outside the list holds a number.
enum class ChannelUse {
    Single,        // 1
    InputMask,     // analog inputs: channel n is bit 7 - n
    CounterMask,   // counters: channel n is bit n
    OutputChannel, // the output channel's number
    DigitalBit,    // 0: the whole port; n: bit n - 1
};

ChannelUse channelUseOfTypeCode(qint32 typeCode)
{
    const std::optional<int> entry = catalogue::listIndexOfTypeCode(typeCode);
    switch (entry ? kindOfEntry(*entry) : ModuleKind::Other) {
    case ModuleKind::EightInput:
        return ChannelUse::InputMask;
    case ModuleKind::Counter:
        return ChannelUse::CounterMask;
    case ModuleKind::MultiOutput:
        return ChannelUse::OutputChannel;
    case ModuleKind::Digital:
        return ChannelUse::DigitalBit;
    case ModuleKind::SingleInput:
    case ModuleKind::SingleOutput:
    case ModuleKind::Other:
        break;
    }
    return ChannelUse::Single;
}

constexpr int MinInterval = 50;
constexpr int MaxInterval = 10000;
constexpr int MaxSlot = 7;

const QString IntervalService = QStringLiteral("Timer Interval");

// Field names, shared by both forms.
const QString KConv = QStringLiteral("conv");
const QString KInUse = QStringLiteral("inUse");
const QString KModel = QStringLiteral("model");
const QString KTypeCode = QStringLiteral("typeCode");
const QString KAddress = QStringLiteral("address");
const QString KBaud = QStringLiteral("baud");
const QString KChecksum = QStringLiteral("checksum");
const QString KSlot = QStringLiteral("slot");
const QString KChannels = QStringLiteral("channels");
const QString KChannel = QStringLiteral("channel");
const QString KBit = QStringLiteral("bit");
const QString KIo = QStringLiteral("io");
const QString KOutData = QStringLiteral("outData");
const QString KOutValue = QStringLiteral("outValue");
const QString KOutput = QStringLiteral("output");
const QString KSource = QStringLiteral("source");
const QString KService = QStringLiteral("service");
const QString KTopic = QStringLiteral("topic");
const QString KItem = QStringLiteral("item");
const QString KLinkActive = QStringLiteral("linkActive");
const QString KInterval = QStringLiteral("interval");
const QString KConversations = QStringLiteral("conversations");
const QString WholePort = QStringLiteral("port");

// The CSV columns in order; the first line of a CSV list is "interval,N".
const QStringList &csvColumns()
{
    static const QStringList columns{KConv,    KInUse,    KModel,   KTypeCode,  KAddress,
                                     KBaud,    KChecksum, KSlot,    KChannels,  KChannel,
                                     KBit,     KIo,       KOutData, KOutValue,  KOutput,
                                     KService, KTopic,    KItem,    KLinkActive};
    return columns;
}

// Names of the small enumerations; a value without a name is written as its
// number.
const QStringList &ioNames()
{
    static const QStringList names{QStringLiteral("none"), QStringLiteral("read inputs"),
                                   QStringLiteral("write outputs"),
                                   QStringLiteral("read analog input 0")};
    return names;
}
const QStringList &outputNames()
{
    static const QStringList names{QStringLiteral("read back"), QStringLiteral("source"),
                                   QStringLiteral("assigned")};
    return names;
}

QString conversationName(int index)
{
    return QStringLiteral("conversation %1").arg(index);
}

bool isEmpty(const ConvRecord &record)
{
    // By bytes, so that a stray -0.0 still counts as content.
    return encodeConvRecord(record) == encodeConvRecord(ConvRecord{});
}
bool hasTexts(const LinkRecord &record)
{
    return !record.Service.isEmpty() || !record.Topic.isEmpty() || !record.Item.isEmpty();
}
bool isEmpty(const LinkRecord &record)
{
    return !hasTexts(record) && record.Linked == 0;
}

QString modelName(qint32 typeCode)
{
    return catalogue::modelNameOfTypeCode(typeCode);
}
// Whether a type code is written as its model name and read back the same.
bool hasModelName(qint32 typeCode)
{
    return typeCode != 0 && catalogue::typeCodeOfName(modelName(typeCode)) == typeCode;
}

QString floatText(float value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    if (value == 0.0f)
        return std::signbit(value) ? QStringLiteral("-0") : QStringLiteral("0");
    // The fewest digits that read back as the same single; nine always do.
    for (int digits = 1; digits < 9; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value && std::signbit(text.toFloat()) == std::signbit(value))
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

// Channels as channel numbers, when the mask holds only channels that exist
// in the numbering of its kind.
std::optional<QList<int>> maskChannels(ChannelUse use, qint16 channels)
{
    const quint16 mask = quint16(channels);
    QList<int> list;
    if (use == ChannelUse::InputMask) {
        if (mask > 0xFF)
            return std::nullopt;
        for (int n = 0; n < 8; ++n) {
            if (mask & (1u << (7 - n)))
                list << n;
        }
    } else {
        for (int n = 0; n < 16; ++n) {
            if (mask & (1u << n))
                list << n;
        }
    }
    return list;
}

QString namedOrNumber(const QStringList &names, int value)
{
    return value >= 0 && value < names.size() ? names.at(value) : QString::number(value);
}

// ---------------------------------------------------------------------------
// Writing

QJsonObject entryObject(int index, const ConvRecord &r, const LinkRecord &l)
{
    QJsonObject o;
    o[KConv] = index;
    if (r.InUse != 1)
        o[KInUse] = r.InUse == 0 ? QJsonValue(false) : QJsonValue(r.InUse);
    if (hasModelName(r.TypeCode))
        o[KModel] = modelName(r.TypeCode);
    else if (r.TypeCode != 0)
        o[KTypeCode] = QStringLiteral("0x") + textutil::hexString(quint32(r.TypeCode));
    o[KAddress] = r.Address >= 0 && r.Address <= 0xFF
                      ? QJsonValue(textutil::hexString(quint32(r.Address), 2))
                      : QJsonValue(r.Address);
    o[KBaud] = r.BaudRate;
    o[KChecksum] =
        r.Checksum == 0 || r.Checksum == 1 ? QJsonValue(r.Checksum == 1) : QJsonValue(r.Checksum);
    o[KSlot] = r.Slot;
    const ChannelUse use = channelUseOfTypeCode(r.TypeCode);
    const auto list = use == ChannelUse::InputMask || use == ChannelUse::CounterMask
                          ? maskChannels(use, r.Channels)
                          : std::nullopt;
    if (list) {
        QJsonArray channels;
        for (int n : *list)
            channels.append(n);
        o[KChannels] = channels;
    } else if (use == ChannelUse::DigitalBit && r.Channels >= 0) {
        o[KBit] = r.Channels == 0 ? QJsonValue(WholePort) : QJsonValue(r.Channels - 1);
    } else {
        o[KChannel] = r.Channels;
    }
    o[KIo] = namedOrNumber(ioNames(), r.IoType);
    o[KOutData] = textutil::hexString(quint16(r.OutData), 4);
    // The shortest text that reads back as the same single, as a number.
    // A JSON number has no negative zero.
    if (std::isfinite(r.OutValue) && !(r.OutValue == 0.0f && std::signbit(r.OutValue)))
        o[KOutValue] = floatText(r.OutValue).toDouble();
    else
        o[KOutValue] = floatText(r.OutValue);
    o[KOutput] = namedOrNumber(outputNames(), l.Linked);
    if (hasTexts(l))
        o[KSource] = QJsonObject{{KService, l.Service}, {KTopic, l.Topic}, {KItem, l.Item}};
    if (r.LinkActive != 0)
        o[KLinkActive] = r.LinkActive;
    return o;
}

QList<QJsonObject> entries(const ConversationPair &pair)
{
    QList<QJsonObject> list;
    for (int i = 0; i < ConvCount; ++i) {
        const ConvRecord &r = pair.conv[size_t(i)];
        const LinkRecord &l = pair.link[size_t(i)];
        if (!isEmpty(r) || !isEmpty(l))
            list << entryObject(i, r, l);
    }
    return list;
}

QString csvCell(const QJsonValue &value)
{
    QString text;
    if (value.isArray()) {
        QStringList numbers;
        for (const QJsonValue &n : value.toArray())
            numbers << QString::number(n.toInt());
        text = numbers.join(QLatin1Char(' '));
    } else if (value.isBool()) {
        text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    } else if (value.isDouble()) {
        text = floatText(float(value.toDouble()));
        // Integers stay integers ("9600", not "9.6e+03").
        if (value.toDouble() == std::floor(value.toDouble()) && std::fabs(value.toDouble()) < 1e15)
            text = QString::number(qint64(value.toDouble()));
    } else {
        text = value.toString();
    }
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
        text != text.trimmed()) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QByteArray csvText(const ConversationPair &pair)
{
    QString text = KInterval + QLatin1Char(',') + QString::number(pair.link[IntervalEntry].Linked) +
                   QLatin1Char('\n');
    text += csvColumns().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const QJsonObject &o : entries(pair)) {
        const QJsonObject source = o.value(KSource).toObject();
        QStringList cells;
        for (const QString &column : csvColumns()) {
            if (column == KService || column == KTopic || column == KItem)
                cells << csvCell(source.value(column));
            else
                cells << csvCell(o.value(column));
        }
        text += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

// ---------------------------------------------------------------------------
// Reading

// Collects the problems of one entry under its name.
class EntryReader
{
public:
    EntryReader(QString entry, const QJsonObject &object, QList<Problem> &problems)
        : m_entry(std::move(entry)), m_object(object), m_problems(problems)
    {}

    void fail(const QString &field, const QString &message)
    {
        m_problems << Problem{m_entry, field, message};
    }
    bool has(const QString &key) const { return m_object.contains(key); }
    QJsonValue value(const QString &key) const { return m_object.value(key); }

    // A whole number in [min, max], written as a number or a decimal text;
    // fallback when the field is absent or wrong.
    qint64 integer(const QString &key, qint64 fallback, qint64 min, qint64 max)
    {
        if (!has(key))
            return fallback;
        const std::optional<qint64> n = wholeNumber(value(key));
        if (!n) {
            fail(key, describe(value(key)) + QStringLiteral(" is not a whole number"));
            return fallback;
        }
        if (*n < min || *n > max) {
            fail(key, QStringLiteral("%1 is not %2 to %3").arg(*n).arg(min).arg(max));
            return fallback;
        }
        return *n;
    }

    // One of names (its index), or a number for a value without a name.
    qint16 named(const QString &key, const QStringList &names)
    {
        if (!has(key))
            return 0;
        const QJsonValue v = value(key);
        const int index = names.indexOf(v.toString().trimmed());
        if (v.isString() && index >= 0)
            return qint16(index);
        if (wholeNumber(v))
            return qint16(integer(key, 0, std::numeric_limits<qint16>::min(),
                                  std::numeric_limits<qint16>::max()));
        fail(key,
             describe(v) + QStringLiteral(" is not one of: ") + names.join(QStringLiteral(", ")));
        return 0;
    }

    // true/false, or a number for a value of another kind.
    qint16 flag(const QString &key, qint16 absent)
    {
        if (!has(key))
            return absent;
        const QJsonValue v = value(key);
        if (v.isBool())
            return v.toBool() ? 1 : 0;
        const QString text = v.toString().trimmed();
        if (text == QLatin1String("true"))
            return 1;
        if (text == QLatin1String("false"))
            return 0;
        if (wholeNumber(v))
            return qint16(integer(key, 0, std::numeric_limits<qint16>::min(),
                                  std::numeric_limits<qint16>::max()));
        fail(key, describe(v) + QStringLiteral(" is not true or false"));
        return absent;
    }

    // Hexadecimal digits, with or without "0x"; a JSON number counts as written.
    std::optional<quint32> hex(const QString &key, quint32 max)
    {
        if (!has(key))
            return std::nullopt;
        QString text = value(key).isDouble() ? QString::number(value(key).toDouble())
                                             : value(key).toString().trimmed();
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        bool ok = false;
        const qulonglong n = text.size() <= 8 ? text.toULongLong(&ok, 16) : 0;
        if (!ok || text.contains(QLatin1Char('+')) || text.contains(QLatin1Char('-'))) {
            fail(key, describe(value(key)) + QStringLiteral(" is not hexadecimal"));
            return std::nullopt;
        }
        if (n > max) {
            fail(key, describe(value(key)) +
                          QStringLiteral(" is more than %1").arg(textutil::hexString(max)));
            return std::nullopt;
        }
        return quint32(n);
    }

    std::optional<float> single(const QString &key)
    {
        if (!has(key))
            return 0.0f;
        const QJsonValue v = value(key);
        if (v.isDouble())
            return float(v.toDouble());
        bool ok = false;
        const QString text = v.toString().trimmed();
        const float f = text.toFloat(&ok);
        // toFloat refuses what overflows a single; "nan" and "inf" it takes.
        if (!ok) {
            fail(key, describe(v) + QStringLiteral(" is not a number"));
            return std::nullopt;
        }
        return f;
    }

    QString text(const QJsonObject &object, const QString &key)
    {
        const QJsonValue v = object.value(key);
        if (!v.isUndefined() && !v.isString()) {
            fail(KSource, key + QStringLiteral(" is not a text"));
            return {};
        }
        return v.toString();
    }

    const QString &entry() const { return m_entry; }
    const QJsonObject &object() const { return m_object; }

    static QString describe(const QJsonValue &v)
    {
        if (v.isString())
            return QLatin1Char('"') + v.toString() + QLatin1Char('"');
        if (v.isDouble())
            return QString::number(v.toDouble(), 'g', 17);
        if (v.isBool())
            return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        if (v.isArray())
            return QStringLiteral("a list");
        if (v.isObject())
            return QStringLiteral("an object");
        return QStringLiteral("null");
    }

private:
    static std::optional<qint64> wholeNumber(const QJsonValue &v)
    {
        if (v.isDouble()) {
            const double d = v.toDouble();
            if (d != std::floor(d) || std::fabs(d) > 1e15)
                return std::nullopt;
            return qint64(d);
        }
        if (!v.isString())
            return std::nullopt;
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok, 10);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }

    QString m_entry;
    QJsonObject m_object;
    QList<Problem> &m_problems;
};

constexpr qint64 Min16 = std::numeric_limits<qint16>::min();
constexpr qint64 Max16 = std::numeric_limits<qint16>::max();
constexpr qint64 Min32 = std::numeric_limits<qint32>::min();
constexpr qint64 Max32 = std::numeric_limits<qint32>::max();

// Channel numbers, as a JSON list or a text of numbers between blanks.
std::optional<QList<qint64>> channelList(const QJsonValue &v)
{
    QList<qint64> list;
    if (v.isArray()) {
        for (const QJsonValue &n : v.toArray()) {
            if (!n.isDouble() || n.toDouble() != std::floor(n.toDouble()) ||
                std::fabs(n.toDouble()) > 1e6)
                return std::nullopt;
            list << qint64(n.toDouble());
        }
        return list;
    }
    if (!v.isString())
        return std::nullopt;
    for (const QString &word : v.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = word.toInt(&ok);
        if (!ok)
            return std::nullopt;
        list << n;
    }
    return list;
}

qint16 readChannels(EntryReader &in, qint32 typeCode)
{
    const ChannelUse use = channelUseOfTypeCode(typeCode);
    const bool isMask = use == ChannelUse::InputMask || use == ChannelUse::CounterMask;
    const int given = int(in.has(KChannels)) + int(in.has(KChannel)) + int(in.has(KBit));
    if (given > 1) {
        in.fail(KChannels, QStringLiteral("only one of channels, channel and bit may be given"));
        return 0;
    }
    if (in.has(KChannel))
        return qint16(in.integer(KChannel, 0, Min16, Max16));
    if (in.has(KChannels)) {
        if (!isMask) {
            in.fail(KChannels, QStringLiteral("this model takes no channel list"));
            return 0;
        }
        const auto list = channelList(in.value(KChannels));
        if (!list) {
            in.fail(KChannels, QStringLiteral("not a list of channel numbers"));
            return 0;
        }
        const int count = use == ChannelUse::InputMask ? 8 : 16;
        quint16 mask = 0;
        for (qint64 n : *list) {
            if (n < 0 || n >= count) {
                in.fail(KChannels, QStringLiteral("no channel %1").arg(n));
                return 0;
            }
            mask |= quint16(1u << (use == ChannelUse::InputMask ? 7 - n : n));
        }
        return qint16(mask);
    }
    if (in.has(KBit)) {
        if (use != ChannelUse::DigitalBit) {
            in.fail(KBit, QStringLiteral("this model has no digital bit to choose"));
            return 0;
        }
        if (in.value(KBit).toString().trimmed() == WholePort)
            return 0;
        return qint16(in.integer(KBit, -1, 0, Max16 - 1) + 1);
    }
    return 0;
}

qint32 readTypeCode(EntryReader &in)
{
    if (in.has(KModel) && in.has(KTypeCode)) {
        in.fail(KModel, QStringLiteral("give either model or typeCode"));
        return 0;
    }
    if (in.has(KTypeCode)) {
        const auto code = in.hex(KTypeCode, 0xFFFFFFFFu);
        return code ? qint32(*code) : 0;
    }
    if (!in.has(KModel))
        return 0;
    const QJsonValue v = in.value(KModel);
    const QString name = v.isDouble() ? QString::number(v.toDouble()) : v.toString().trimmed();
    const qint32 code = catalogue::typeCodeOfName(name);
    if (code == 0 || !hasModelName(code)) {
        in.fail(KModel, EntryReader::describe(v) + QStringLiteral(" is no model name"));
        return 0;
    }
    return code;
}

void readEntry(EntryReader &in, ConversationPair &pair, QSet<int> &seen)
{
    static const QSet<QString> known{KConv,     KInUse,    KModel,    KTypeCode, KAddress,   KBaud,
                                     KChecksum, KSlot,     KChannels, KChannel,  KBit,       KIo,
                                     KOutData,  KOutValue, KOutput,   KSource,   KLinkActive};
    for (const QString &key : in.object().keys()) {
        if (!known.contains(key))
            in.fail(key, QStringLiteral("unknown field"));
    }
    if (!in.has(KConv)) {
        in.fail(KConv, QStringLiteral("missing"));
        return;
    }
    const qint64 index = in.integer(KConv, -1, 0, ConvCount - 1);
    if (index < 0)
        return;
    if (seen.contains(int(index))) {
        in.fail(KConv, QStringLiteral("conversation %1 is given twice").arg(index));
        return;
    }
    seen.insert(int(index));

    ConvRecord &r = pair.conv[size_t(index)];
    LinkRecord &l = pair.link[size_t(index)];
    r.InUse = in.flag(KInUse, 1);
    r.TypeCode = readTypeCode(in);
    if (in.has(KAddress)) {
        const auto address =
            in.value(KAddress).isString() ? in.hex(KAddress, 0xFFFF) : std::optional<quint32>();
        r.Address =
            address
                ? qint16(*address)
                : qint16(in.value(KAddress).isString() ? 0 : in.integer(KAddress, 0, Min16, Max16));
    }
    r.BaudRate = qint32(in.integer(KBaud, 0, Min32, Max32));
    r.Checksum = in.flag(KChecksum, 0);
    r.Slot = qint16(in.integer(KSlot, 0, Min16, Max16));
    r.Channels = readChannels(in, r.TypeCode);
    r.IoType = in.named(KIo, ioNames());
    if (const auto data = in.hex(KOutData, 0xFFFF))
        r.OutData = qint16(quint16(*data));
    if (const auto value = in.single(KOutValue))
        r.OutValue = *value;
    l.Linked = in.named(KOutput, outputNames());
    r.LinkActive = qint16(in.integer(KLinkActive, 0, Min16, Max16));
    if (in.has(KSource)) {
        const QJsonObject source = in.value(KSource).toObject();
        if (!in.value(KSource).isObject()) {
            in.fail(KSource, QStringLiteral("not an object of service, topic and item"));
        } else {
            for (const QString &key : source.keys()) {
                if (key != KService && key != KTopic && key != KItem)
                    in.fail(KSource, key + QStringLiteral(": unknown field"));
            }
            l.Service = in.text(source, KService);
            l.Topic = in.text(source, KTopic);
            l.Item = in.text(source, KItem);
        }
    }
}

void readInterval(const QJsonValue &v, ConversationPair &pair, QList<Problem> &problems)
{
    if (v.isUndefined()) {
        problems << Problem{KInterval, QString(), QStringLiteral("missing")};
        return;
    }
    // The interval is an entry of its own, without fields.
    QList<Problem> found;
    EntryReader in(KInterval, QJsonObject{{KInterval, v}}, found);
    LinkRecord &entry = pair.link[IntervalEntry];
    entry.Service = IntervalService;
    entry.Linked = qint16(in.integer(KInterval, 0, Min16, Max16));
    for (Problem &p : found) {
        p.field.clear();
        problems << p;
    }
}

bool readJson(const QByteArray &text, ImportResult &result)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        result.problems << Problem{
            QStringLiteral("text"), QString(),
            QStringLiteral("not JSON at byte %1: %2").arg(error.offset).arg(error.errorString())};
        return false;
    }
    const QJsonObject top = document.object();
    for (const QString &key : top.keys()) {
        if (key != KInterval && key != KConversations)
            result.problems << Problem{QStringLiteral("list"), key,
                                       QStringLiteral("unknown field")};
    }
    readInterval(top.value(KInterval), result.pair, result.problems);
    const QJsonValue list = top.value(KConversations);
    if (!list.isUndefined() && !list.isArray()) {
        result.problems << Problem{QStringLiteral("list"), KConversations,
                                   QStringLiteral("not a list")};
        return true;
    }
    QSet<int> seen;
    int position = 0;
    for (const QJsonValue &v : list.toArray()) {
        ++position;
        const QJsonObject o = v.toObject();
        const QJsonValue conv = o.value(KConv);
        const QString name = conv.isDouble() && conv.toDouble() >= 0 &&
                                     conv.toDouble() < ConvCount &&
                                     conv.toDouble() == std::floor(conv.toDouble())
                                 ? conversationName(conv.toInt())
                                 : QStringLiteral("entry %1").arg(position);
        EntryReader in(name, o, result.problems);
        if (!v.isObject())
            in.fail(QString(), QStringLiteral("not an object"));
        else
            readEntry(in, result.pair, seen);
    }
    return true;
}

// RFC 4180 records: cells between commas, quoted cells may hold commas,
// doubled quotes and line breaks. Each record comes with its first line.
struct CsvRecord
{
    int line = 0;
    QStringList cells;
};

std::optional<QList<CsvRecord>> csvRecords(const QString &text, QList<Problem> &problems)
{
    QList<CsvRecord> records;
    CsvRecord record{1, {}};
    QString cell;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;
    const auto endCell = [&] {
        record.cells << (wasQuoted ? cell : cell.trimmed());
        cell.clear();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endCell();
        if (!(record.cells.size() == 1 && record.cells.first().isEmpty()))
            records << record;
        record = CsvRecord{line, {}};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                cell += c;
            }
        } else if (c == QLatin1Char('"') && cell.trimmed().isEmpty()) {
            quoted = true;
            wasQuoted = true;
            cell.clear();
        } else if (c == QLatin1Char(',')) {
            endCell();
        } else if (c == QLatin1Char('\n')) {
            ++line;
            endRecord();
        } else if (c != QLatin1Char('\r')) {
            cell += c;
        }
    }
    if (quoted) {
        problems << Problem{QStringLiteral("line %1").arg(record.line), QString(),
                            QStringLiteral("a quoted cell is not closed")};
        return std::nullopt;
    }
    endRecord();
    return records;
}

bool readCsv(const QByteArray &text, ImportResult &result)
{
    const auto records = csvRecords(QString::fromUtf8(text), result.problems);
    if (!records)
        return false;
    const auto lineName = [](const CsvRecord &r) { return QStringLiteral("line %1").arg(r.line); };
    qsizetype next = 0;
    if (next < records->size() && records->at(next).cells.value(0) == KInterval) {
        const CsvRecord &r = records->at(next++);
        if (r.cells.size() != 2)
            result.problems << Problem{lineName(r), QString(), QStringLiteral("not interval,N")};
        readInterval(QJsonValue(r.cells.value(1)), result.pair, result.problems);
    } else {
        readInterval(QJsonValue(QJsonValue::Undefined), result.pair, result.problems);
    }
    if (next >= records->size())
        return true;
    const QStringList header = records->at(next).cells;
    for (const QString &column : header) {
        if (!csvColumns().contains(column))
            result.problems << Problem{lineName(records->at(next)), column,
                                       QStringLiteral("unknown column")};
    }
    if (!header.contains(KConv)) {
        result.problems << Problem{lineName(records->at(next)), KConv,
                                   QStringLiteral("no such column")};
        return true;
    }
    QSet<int> seen;
    for (++next; next < records->size(); ++next) {
        const CsvRecord &r = records->at(next);
        QJsonObject o;
        QJsonObject source;
        for (qsizetype c = 0; c < r.cells.size() && c < header.size(); ++c) {
            if (r.cells.at(c).isEmpty() || !csvColumns().contains(header.at(c)))
                continue;
            const QString &column = header.at(c);
            if (column == KService || column == KTopic || column == KItem)
                source[column] = r.cells.at(c);
            else
                o[column] = r.cells.at(c);
        }
        if (!source.isEmpty())
            o[KSource] = source;
        bool ok = false;
        const int conv = o.value(KConv).toString().toInt(&ok);
        EntryReader in(ok && conv >= 0 && conv < ConvCount ? conversationName(conv) : lineName(r),
                       o, result.problems);
        if (r.cells.size() > header.size())
            in.fail(QString(), QStringLiteral("more cells than columns"));
        readEntry(in, result.pair, seen);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Checking

void checkConversation(int i, const ConvRecord &r, const LinkRecord &l, QList<Problem> &problems)
{
    const QString entry = conversationName(i);
    const auto fail = [&](const QString &field, const QString &message) {
        problems << Problem{entry, field, message};
    };
    if (r.InUse != 0 && r.InUse != 1)
        fail(KInUse, QStringLiteral("%1 is neither true nor false").arg(r.InUse));
    // A companion record is written whether the conversation is used or not.
    switch (linkRecordFit(l)) {
    case LinkFit::Fits:
        break;
    case LinkFit::TooLong:
        fail(KSource, QStringLiteral("service, topic and item take %1 bytes, more than %2")
                          .arg(l.Service.size() + l.Topic.size() + l.Item.size())
                          .arg(CompanionFile::MaxTextBytes));
        break;
    case LinkFit::NotLatin1:
        fail(KSource, QStringLiteral("holds a character beyond Latin-1"));
        break;
    }
    if (r.InUse == 0)
        return;

    const catalogue::ModelInfo *info = catalogue::modelInfoOfTypeCode(r.TypeCode);
    const bool known = info || catalogue::listIndexOfTypeCode(r.TypeCode);
    if (!known) {
        fail(KModel,
             r.TypeCode == 0 ? QStringLiteral("missing")
             : hasModelName(r.TypeCode)
                 ? QStringLiteral("%1 is no model the catalogue knows").arg(modelName(r.TypeCode))
                 : QStringLiteral("type code %1 is no model the catalogue knows")
                       .arg(textutil::hexString(quint32(r.TypeCode))));
    }
    if (r.Address < 0 || r.Address > 0xFF)
        fail(KAddress, QStringLiteral("%1 is not 00 to FF").arg(r.Address));
    const auto &rates = ConversationSetting::baudRates();
    if (std::find(rates.begin(), rates.end(), r.BaudRate) == rates.end()) {
        QStringList list;
        for (qint32 rate : rates)
            list << QString::number(rate);
        fail(KBaud, QStringLiteral("%1 is not one of %2").arg(r.BaudRate).arg(list.join(u' ')));
    }
    if (r.Checksum != 0 && r.Checksum != 1)
        fail(KChecksum, QStringLiteral("%1 is neither true nor false").arg(r.Checksum));
    const QString name = modelName(r.TypeCode);
    if (known && catalogue::isSlotModule(name) && (r.Slot < 0 || r.Slot > MaxSlot))
        fail(KSlot, QStringLiteral("%1 is not 0 to %2").arg(r.Slot).arg(MaxSlot));

    if (info) {
        const quint16 mask = quint16(r.Channels);
        switch (channelUseOfTypeCode(r.TypeCode)) {
        case ChannelUse::InputMask:
            for (int bit = 0; bit < 16; ++bit) {
                const int channel = 7 - bit;
                if ((mask & (1u << bit)) && (channel < 0 || channel >= info->channels))
                    fail(KChannels, QStringLiteral("model %1 has no channel %2 (it has %3)")
                                        .arg(name)
                                        .arg(channel < 0 ? QStringLiteral("of mask bit %1").arg(bit)
                                                         : QString::number(channel))
                                        .arg(info->channels));
            }
            break;
        case ChannelUse::CounterMask:
            for (int bit = 0; bit < 16; ++bit) {
                if ((mask & (1u << bit)) && bit >= info->channels)
                    fail(KChannels, QStringLiteral("model %1 has no channel %2 (it has %3)")
                                        .arg(name)
                                        .arg(bit)
                                        .arg(info->channels));
            }
            break;
        case ChannelUse::OutputChannel:
            if (r.Channels < 0 || r.Channels >= info->channels)
                fail(KChannel, QStringLiteral("model %1 has no output channel %2 (it has %3)")
                                   .arg(name)
                                   .arg(r.Channels)
                                   .arg(info->channels));
            break;
        case ChannelUse::DigitalBit: {
            const auto panel = catalogue::isSlotModule(name) ? catalogue::DioPanel::Slot
                                                             : catalogue::DioPanel::Standalone;
            const int bits = catalogue::dioPanelChannels(name, panel).bitsListed;
            if (r.Channels < 0 || r.Channels > bits)
                fail(KBit, QStringLiteral("model %1 has no bit %2 (it has %3)")
                               .arg(name)
                               .arg(r.Channels - 1)
                               .arg(bits));
            break;
        }
        case ChannelUse::Single:
            break;
        }
    }
    if (r.IoType < 0 || r.IoType >= ioNames().size())
        fail(KIo, QStringLiteral("%1 is not one of: %2")
                      .arg(r.IoType)
                      .arg(ioNames().join(QStringLiteral(", "))));
    if (!std::isfinite(r.OutValue))
        fail(KOutValue, floatText(r.OutValue) + QStringLiteral(" is not a finite number"));
    if (l.Linked < 0 || l.Linked >= outputNames().size())
        fail(KOutput, QStringLiteral("%1 is not one of: %2")
                          .arg(l.Linked)
                          .arg(outputNames().join(QStringLiteral(", "))));
    if (l.Linked == 1 && (l.Service.isEmpty() || l.Topic.isEmpty() || l.Item.isEmpty()))
        fail(KSource, QStringLiteral("an output from a source needs service, topic and item"));
}

} // namespace

QString Problem::text() const
{
    return field.isEmpty() ? entry + QStringLiteral(": ") + message
                           : entry + QStringLiteral(", ") + field + QStringLiteral(": ") + message;
}

QByteArray exportList(const ConversationPair &pair, Format format)
{
    if (format == Format::Csv)
        return csvText(pair);
    // One line per conversation, its fields in a fixed order: easy to read,
    // edit and compare.
    const auto compact = [](const QJsonValue &v) {
        const QByteArray wrapped = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        return wrapped.mid(1, wrapped.size() - 2);
    };
    QStringList keys = csvColumns();
    keys.removeOne(KTopic);
    keys.removeOne(KItem);
    keys.replace(keys.indexOf(KService), KSource);
    QByteArray text =
        "{\n    \"interval\": " + QByteArray::number(pair.link[IntervalEntry].Linked) +
        ",\n    \"conversations\": [";
    const QList<QJsonObject> list = entries(pair);
    for (qsizetype n = 0; n < list.size(); ++n) {
        QByteArrayList fields;
        for (const QString &key : std::as_const(keys)) {
            if (list.at(n).contains(key))
                fields << compact(key) + ": " + compact(list.at(n).value(key));
        }
        text += (n == 0 ? "\n        {" : ",\n        {") + fields.join(", ") + '}';
    }
    return text + (list.isEmpty() ? "]\n}\n" : "\n    ]\n}\n");
}

ImportResult importList(const QByteArray &text)
{
    ImportResult result;
    // A text that cannot be read at all has nothing more to check.
    const bool read =
        text.trimmed().startsWith('{') ? readJson(text, result) : readCsv(text, result);
    if (!read)
        return result;
    // A field the text got wrong is named once, by what was wrong with its text.
    QSet<QString> named;
    for (const Problem &p : std::as_const(result.problems))
        named.insert(p.entry + QLatin1Char('\n') + p.field);
    for (const Problem &p : checkTables(result.pair.conv, result.pair.link)) {
        if (!named.contains(p.entry + QLatin1Char('\n') + p.field))
            result.problems << p;
    }
    return result;
}

QList<Problem> checkTables(const ConvTable &conv, const LinkTable &link)
{
    QList<Problem> problems;
    for (int i = 0; i < ConvCount; ++i)
        checkConversation(i, conv[size_t(i)], link[size_t(i)], problems);
    const LinkRecord &entry = link[IntervalEntry];
    if (entry.Linked < MinInterval || entry.Linked > MaxInterval)
        problems << Problem{KInterval, QString(),
                            QStringLiteral("%1 ms is not %2 to %3")
                                .arg(entry.Linked)
                                .arg(MinInterval)
                                .arg(MaxInterval)};
    if (entry.Service != IntervalService || !entry.Topic.isEmpty() || !entry.Item.isEmpty())
        problems << Problem{KInterval, QString(),
                            QStringLiteral("the settings entry is not \"%1\" with no topic and "
                                           "item")
                                .arg(IntervalService)};
    return problems;
}

QList<Problem> checkFiles(const QByteArray &cnvBytes, const QByteArray &companionBytes)
{
    QList<Problem> problems;
    const QString cnvName = QStringLiteral("CNV file");
    const QString companionName = QStringLiteral("companion file");
    if (cnvBytes.size() != CnvFile::Size)
        problems << Problem{
            cnvName, QString(),
            QStringLiteral("%1 bytes, not %2").arg(cnvBytes.size()).arg(CnvFile::Size)};
    if (companionBytes.size() != CompanionFile::Size)
        problems << Problem{
            companionName, QString(),
            QStringLiteral("%1 bytes, not %2").arg(companionBytes.size()).arg(CompanionFile::Size)};
    // The reader takes a text that reaches past its record as empty; written
    // back, the record differs from what the file holds.
    const LinkTable link = decodeCompanion(companionBytes);
    for (int j = 0; j < LinkCount; ++j) {
        const auto encoded = encodeLinkRecord(link[size_t(j)]);
        const int used = 4 * 2 + int(link[size_t(j)].Service.size() + link[size_t(j)].Topic.size() +
                                     link[size_t(j)].Item.size());
        const QByteArray held = companionBytes.mid(qsizetype(j) * CompanionFile::RecordSize, used)
                                    .leftJustified(used, '\0');
        if (!encoded || encoded->left(used) != held)
            problems << Problem{j == IntervalEntry ? KInterval : conversationName(j), KSource,
                                QStringLiteral("companion record %1: its texts reach past the "
                                               "record")
                                    .arg(j + 1)};
    }
    problems << checkTables(decodeCnv(cnvBytes), link);
    return problems;
}

} // namespace telviox::cnvtext
