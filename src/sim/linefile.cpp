// Reading of the simulator's line file (JSON). Every error names the field it
// is about, as "modules[2].baud: 9601 is not a supported baud rate", so that a
// broken line file can be fixed without guessing.

#include "simline.h"
#include "simmodule.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace telviox::sim {

using catalogue::Family;
using catalogue::Kind;

class LineFileReader
{
public:
    std::unique_ptr<SimLine> read(const QByteArray &json, QString *error);

private:
    struct Place
    {
        const SimModule *module;
        QString path;
    };

    bool fail(const QString &path, const QString &message)
    {
        if (m_error.isEmpty())
            m_error = path + QStringLiteral(": ") + message;
        return false;
    }
    bool checkKeys(const QJsonObject &object, const QString &path, const QStringList &allowed,
                   const QStringList &known = {}, const QString &model = {});
    bool readInteger(const QJsonObject &o, const QString &key, const QString &path, qint64 min,
                     qint64 max, qint64 *out);
    bool readNumber(const QJsonObject &o, const QString &key, const QString &path, double *out);
    bool readBool(const QJsonObject &o, const QString &key, const QString &path, bool *out);
    // A number (decimal) or a string of hexadecimal digits, as on the wire.
    bool readCode(const QJsonValue &value, const QString &path, quint32 max, quint32 *out);
    bool readCode(const QJsonObject &o, const QString &key, const QString &path, quint32 max,
                  quint32 *out);
    bool readBits(const QJsonObject &o, const QString &key, const QString &path, int bits,
                  const char *what, quint32 *out);
    bool readChoice(const QJsonObject &o, const QString &key, const QString &path,
                    const QStringList &names, int *out);

    std::unique_ptr<SimModule> readModule(const QJsonObject &o, const QString &path,
                                          const SimModule *unit);
    // The model a module names, checked against where it sits.
    const catalogue::ModelInfo *readModel(const QJsonObject &o, const QString &path,
                                          const SimModule *unit);
    bool checkModuleKeys(const QJsonObject &o, const QString &path,
                         const catalogue::ModelInfo &info, const QString &model, bool inSlot);
    // Address, rate and checksum, or those of the unit for a slot module.
    bool readPlacement(SimModule &m, const QJsonObject &o, const QString &path,
                       const SimModule *unit);
    bool readConfiguration(SimModule &m, const QJsonObject &o, const QString &path);
    bool readSignals(SimModule &m, const QJsonObject &o, const QString &path);
    bool readAnalogInput(SimModule &m, const QJsonObject &o, const QString &path);
    bool readInputs(SimModule &m, const QJsonValue &value, const QString &path);
    bool readWave(AnalogInputChannel &channel, const QJsonValue &value, const QString &path);
    bool readOutputs(SimModule &m, const QJsonObject &o, const QString &path);
    bool readAlarm(SimModule &m, const QJsonValue &value, const QString &path);
    bool readCounters(SimModule &m, const QJsonObject &o, const QString &path);
    bool readSlots(SimModule &unit, const QJsonValue &value, const QString &path);
    bool readFaults(SimLine &line, const QJsonValue &value, const std::vector<Place> &places);

    QString m_error;
};

namespace {

QString field(const QString &path, const QString &key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString item(const QString &path, int index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

QString shown(const QJsonValue &value)
{
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 12);
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isNull())
        return QStringLiteral("null");
    return value.isArray() ? QStringLiteral("an array") : QStringLiteral("an object");
}

QString hexText(int value)
{
    return QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

const QStringList AlarmModes = {QStringLiteral("disabled"), QStringLiteral("momentary"),
                                QStringLiteral("latch")};

} // namespace

bool LineFileReader::checkKeys(const QJsonObject &object, const QString &path,
                               const QStringList &allowed, const QStringList &known,
                               const QString &model)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString &key = it.key();
        if (key == QLatin1String("comment") || allowed.contains(key))
            continue;
        if (known.contains(key))
            return fail(field(path, key), QStringLiteral("not used by model ") + model);
        return fail(field(path, key), QStringLiteral("unknown field"));
    }
    return true;
}

bool LineFileReader::readInteger(const QJsonObject &o, const QString &key, const QString &path,
                                 qint64 min, qint64 max, qint64 *out)
{
    if (!o.contains(key))
        return true;
    const QJsonValue v = o.value(key);
    const double d = v.toDouble();
    if (!v.isDouble() || std::floor(d) != d)
        return fail(field(path, key), shown(v) + QStringLiteral(" is not a whole number"));
    if (d < double(min) || d > double(max)) {
        return fail(field(path, key), shown(v) + QStringLiteral(" is out of range ") +
                                          QString::number(min) + QStringLiteral(" to ") +
                                          QString::number(max));
    }
    *out = qint64(d);
    return true;
}

bool LineFileReader::readNumber(const QJsonObject &o, const QString &key, const QString &path,
                                double *out)
{
    if (!o.contains(key))
        return true;
    const QJsonValue v = o.value(key);
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return fail(field(path, key), shown(v) + QStringLiteral(" is not a number"));
    *out = v.toDouble();
    return true;
}

bool LineFileReader::readBool(const QJsonObject &o, const QString &key, const QString &path,
                              bool *out)
{
    if (!o.contains(key))
        return true;
    const QJsonValue v = o.value(key);
    if (!v.isBool())
        return fail(field(path, key), shown(v) + QStringLiteral(" is not true or false"));
    *out = v.toBool();
    return true;
}

bool LineFileReader::readCode(const QJsonValue &v, const QString &path, quint32 max, quint32 *out)
{
    double value = -1;
    if (v.isDouble()) {
        value = v.toDouble();
        if (std::floor(value) != value)
            value = -1;
    } else if (v.isString()) {
        QString text = v.toString();
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        bool ok = false;
        const quint64 parsed = text.toULongLong(&ok, 16);
        if (ok && !text.isEmpty() && text.size() <= 8)
            value = double(parsed);
    }
    if (value < 0)
        return fail(path, shown(v) + QStringLiteral(" is neither a number nor hexadecimal digits"));
    if (value > double(max)) {
        return fail(path, shown(v) + QStringLiteral(" is beyond ") +
                              QString::number(max, 16).toUpper().prepend(QLatin1String("0x")));
    }
    *out = quint32(value);
    return true;
}

bool LineFileReader::readCode(const QJsonObject &o, const QString &key, const QString &path,
                              quint32 max, quint32 *out)
{
    if (!o.contains(key))
        return true;
    return readCode(o.value(key), field(path, key), max, out);
}

bool LineFileReader::readBits(const QJsonObject &o, const QString &key, const QString &path,
                              int bits, const char *what, quint32 *out)
{
    if (!o.contains(key))
        return true;
    quint32 value = 0;
    if (!readCode(o.value(key), field(path, key), 0xFFFFFFFFu, &value))
        return false;
    if (bits < 32 && (value >> bits) != 0) {
        return fail(field(path, key), shown(o.value(key)) + QStringLiteral(" does not fit ") +
                                          QString::number(bits) + QLatin1Char(' ') +
                                          QLatin1String(what));
    }
    *out = value;
    return true;
}

bool LineFileReader::readChoice(const QJsonObject &o, const QString &key, const QString &path,
                                const QStringList &names, int *out)
{
    if (!o.contains(key))
        return true;
    const QJsonValue v = o.value(key);
    if (v.isString() && names.contains(v.toString())) {
        *out = int(names.indexOf(v.toString()));
        return true;
    }
    qint64 n = 0;
    if (v.isDouble() && readInteger(o, key, path, 0, names.size() - 1, &n)) {
        *out = int(n);
        return true;
    }
    m_error.clear();
    return fail(field(path, key), shown(v) + QStringLiteral(" is not one of ") +
                                      names.join(QStringLiteral(", ")) +
                                      QStringLiteral(" (or 0 to ") +
                                      QString::number(names.size() - 1) + QLatin1Char(')'));
}

std::unique_ptr<SimLine> LineFileReader::read(const QByteArray &json, QString *error)
{
    m_error.clear();
    auto result = [&](std::unique_ptr<SimLine> line) {
        if (error)
            *error = m_error;
        return m_error.isEmpty() ? std::move(line) : nullptr;
    };

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fail(QStringLiteral("line file"), parseError.errorString() + QStringLiteral(" at offset ") +
                                              QString::number(parseError.offset));
        return result(nullptr);
    }
    if (!doc.isObject()) {
        fail(QStringLiteral("line file"), QStringLiteral("not a JSON object"));
        return result(nullptr);
    }
    const QJsonObject root = doc.object();
    std::unique_ptr<SimLine> line(new SimLine);
    if (!checkKeys(root, QString(),
                   {QStringLiteral("modules"), QStringLiteral("turnaroundMs"),
                    QStringLiteral("wireTime"), QStringLiteral("faults")}))
        return result(nullptr);

    qint64 turnaround = 2;
    bool wire = false;
    if (!readInteger(root, QStringLiteral("turnaroundMs"), QString(), 0, 60000, &turnaround) ||
        !readBool(root, QStringLiteral("wireTime"), QString(), &wire))
        return result(nullptr);
    line->setTurnaroundMs(int(turnaround));
    line->setWireTime(wire);

    const QJsonValue modules = root.value(QStringLiteral("modules"));
    if (!modules.isArray()) {
        fail(QStringLiteral("modules"), modules.isUndefined()
                                            ? QStringLiteral("missing")
                                            : shown(modules) + QStringLiteral(" is not an array"));
        return result(nullptr);
    }
    std::vector<Place> places;
    const QJsonArray list = modules.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString path = item(QStringLiteral("modules"), i);
        if (!list.at(i).isObject()) {
            fail(path, shown(list.at(i)) + QStringLiteral(" is not an object"));
            return result(nullptr);
        }
        auto module = readModule(list.at(i).toObject(), path, nullptr);
        if (!module)
            return result(nullptr);
        // Two modules answering the same command would garble each other.
        for (const Place &other : places) {
            if (other.module->address == module->address && other.module->baud == module->baud) {
                fail(field(path, QStringLiteral("address")),
                     hexText(module->address) + QStringLiteral(" is already used at ") +
                         QString::number(module->baud) + QStringLiteral(" baud by ") + other.path);
                return result(nullptr);
            }
        }
        places.push_back({module.get(), path});
        line->m_modules.push_back(std::move(module));
    }
    if (root.contains(QStringLiteral("faults")) &&
        !readFaults(*line, root.value(QStringLiteral("faults")), places))
        return result(nullptr);
    return result(std::move(line));
}

namespace {

// The fields a module may carry, each with the models that use it. The one
// list serves both for what a model takes and for telling a misplaced field
// ("not used by model ...") from a misspelt one.
struct ModuleKey
{
    const char *key;
    bool (*uses)(const catalogue::ModelInfo &info, bool inSlot);
};

bool isKind(const catalogue::ModelInfo &info, Kind kind)
{
    return info.kind == kind;
}

const ModuleKey ModuleKeys[] = {
    {"name", [](const catalogue::ModelInfo &, bool) { return true; }},
    {"range", [](const catalogue::ModelInfo &, bool) { return true; }},
    {"format", [](const catalogue::ModelInfo &, bool) { return true; }},
    {"slot", [](const catalogue::ModelInfo &, bool inSlot) { return inSlot; }},
    {"address", [](const catalogue::ModelInfo &, bool inSlot) { return !inSlot; }},
    {"baud", [](const catalogue::ModelInfo &, bool inSlot) { return !inSlot; }},
    {"checksum", [](const catalogue::ModelInfo &, bool inSlot) { return !inSlot; }},
    {"inputs", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::AnalogInput); }},
    {"linearMapping",
     [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::AnalogInput); }},
    {"alarm",
     [](const catalogue::ModelInfo &i, bool) {
         return isKind(i, Kind::Counter) || (isKind(i, Kind::AnalogInput) &&
                                             catalogue::answersAlarmRead(QLatin1String(i.name)));
     }},
    {"digitalInputs",
     [](const catalogue::ModelInfo &i, bool) {
         return i.inputBits > 0 && (isKind(i, Kind::AnalogInput) || isKind(i, Kind::Digital));
     }},
    {"channelMask", [](const catalogue::ModelInfo &i,
                       bool) { return isKind(i, Kind::AnalogInput) && i.channels == 8; }},
    {"wiring", [](const catalogue::ModelInfo &i,
                  bool) { return isKind(i, Kind::AnalogInput) && i.channels == 3; }},
    {"outputs", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::AnalogOutput); }},
    {"outputRanges", [](const catalogue::ModelInfo &i,
                        bool) { return isKind(i, Kind::AnalogOutput) && i.channels == 2; }},
    {"digitalOutputs", [](const catalogue::ModelInfo &i,
                          bool) { return isKind(i, Kind::Digital) && i.outputBits > 0; }},
    {"counters", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::Counter); }},
    {"mode", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::Counter); }},
    {"inputMode", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::Counter); }},
    {"levelHigh", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::Counter); }},
    {"levelLow", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::Counter); }},
    {"slots", [](const catalogue::ModelInfo &i, bool) { return isKind(i, Kind::MainUnit); }},
};

// Range code a module reports when the line file gives none.
quint32 defaultRange(Kind kind)
{
    switch (kind) {
    case Kind::AnalogInput:
        return 0x08;
    case Kind::AnalogOutput:
        return 0x32;
    case Kind::Digital:
        return 0x40;
    default:
        return 0;
    }
}

} // namespace

const catalogue::ModelInfo *LineFileReader::readModel(const QJsonObject &o, const QString &path,
                                                      const SimModule *unit)
{
    const QJsonValue nameValue = o.value(QStringLiteral("name"));
    const QString namePath = field(path, QStringLiteral("name"));
    if (nameValue.isUndefined()) {
        fail(namePath, QStringLiteral("missing"));
        return nullptr;
    }
    if (!nameValue.isString() || nameValue.toString().isEmpty()) {
        fail(namePath, shown(nameValue) + QStringLiteral(" is not a model name"));
        return nullptr;
    }
    const QString name = nameValue.toString();
    const catalogue::ModelInfo *info = catalogue::modelInfo(name);
    if (!info || (catalogue::isMainUnit(name) && info->kind != Kind::MainUnit)) {
        fail(namePath, name + QStringLiteral(" is not a known model"));
        return nullptr;
    }
    // 90xx and 60xx modules live in the slots of a main unit; their slot
    // code is what follows the "0".
    const Family family = catalogue::familyOf(name);
    const bool slotFamily = (family == Family::F9000 || family == Family::F6000) &&
                            name.size() >= 2 && name.at(1) == QLatin1Char('0');
    if (unit) {
        // A slot module is named after its unit: "9" + "0" + code in a 9000
        // unit, "6" + "0" + code in a 6000 one.
        const QString prefix = unit->name().left(1) + QLatin1Char('0');
        if (!slotFamily || !name.startsWith(prefix) || info->kind == Kind::MainUnit) {
            fail(namePath, name + QStringLiteral(" cannot sit in a slot of ") + unit->name());
            return nullptr;
        }
    } else if (slotFamily) {
        fail(namePath, name + QStringLiteral(" sits in a slot of a main unit"));
        return nullptr;
    }
    return info;
}

bool LineFileReader::checkModuleKeys(const QJsonObject &o, const QString &path,
                                     const catalogue::ModelInfo &info, const QString &model,
                                     bool inSlot)
{
    QStringList allowed;
    QStringList known;
    for (const ModuleKey &k : ModuleKeys) {
        known << QLatin1String(k.key);
        if (k.uses(info, inSlot))
            allowed << QLatin1String(k.key);
    }
    return checkKeys(o, path, allowed, known, model);
}

bool LineFileReader::readPlacement(SimModule &m, const QJsonObject &o, const QString &path,
                                   const SimModule *unit)
{
    if (unit) {
        m.address = unit->address;
        m.baud = unit->baud;
        m.checksum = unit->checksum;
        return true;
    }
    if (!o.contains(QStringLiteral("address")))
        return fail(field(path, QStringLiteral("address")), QStringLiteral("missing"));
    quint32 address = 0;
    if (!readCode(o, QStringLiteral("address"), path, 0xFF, &address))
        return false;
    m.address = int(address);
    qint64 baud = 9600;
    if (!readInteger(o, QStringLiteral("baud"), path, 0, 10000000, &baud))
        return false;
    if (baudCode(qint32(baud)) == 0) {
        return fail(field(path, QStringLiteral("baud")),
                    QString::number(baud) + QStringLiteral(" is not a supported baud rate"));
    }
    m.baud = qint32(baud);
    return readBool(o, QStringLiteral("checksum"), path, &m.checksum);
}

bool LineFileReader::readConfiguration(SimModule &m, const QJsonObject &o, const QString &path)
{
    // Defaults give a plausible module; set "range" for a meaningful one.
    quint32 range = defaultRange(m.info().kind);
    qint64 format = 0;
    if (!readCode(o, QStringLiteral("range"), path, 0xFF, &range) ||
        !readInteger(o, QStringLiteral("format"), path, 0, 3, &format))
        return false;
    m.rangeCode = int(range);
    m.dataFormat = int(format);
    return true;
}

bool LineFileReader::readAnalogInput(SimModule &m, const QJsonObject &o, const QString &path)
{
    qint64 mapping = 0;
    quint32 mask = 0xFF;
    quint32 wiring = 0;
    if (!readInteger(o, QStringLiteral("linearMapping"), path, 0, 9, &mapping) ||
        !readCode(o, QStringLiteral("channelMask"), path, 0xFF, &mask) ||
        !readCode(o, QStringLiteral("wiring"), path, 0xFF, &wiring) ||
        !readBits(o, QStringLiteral("digitalInputs"), path, m.info().inputBits, "inputs",
                  &m.digitalInputs))
        return false;
    m.linearMapping = int(mapping);
    m.channelMask = int(mask);
    m.wiring = int(wiring);
    if (o.contains(QStringLiteral("inputs")) &&
        !readInputs(m, o.value(QStringLiteral("inputs")), field(path, QStringLiteral("inputs"))))
        return false;
    return !o.contains(QStringLiteral("alarm")) ||
           readAlarm(m, o.value(QStringLiteral("alarm")), field(path, QStringLiteral("alarm")));
}

bool LineFileReader::readSignals(SimModule &m, const QJsonObject &o, const QString &path)
{
    switch (m.info().kind) {
    case Kind::AnalogInput:
        return readAnalogInput(m, o, path);
    case Kind::AnalogOutput:
        return readOutputs(m, o, path);
    case Kind::Digital:
        return readBits(o, QStringLiteral("digitalInputs"), path, m.info().inputBits, "inputs",
                        &m.digitalInputs) &&
               readBits(o, QStringLiteral("digitalOutputs"), path, m.info().outputBits, "outputs",
                        &m.digitalOutputs);
    case Kind::Counter:
        return readCounters(m, o, path);
    case Kind::MainUnit:
        return !o.contains(QStringLiteral("slots")) ||
               readSlots(m, o.value(QStringLiteral("slots")), field(path, QStringLiteral("slots")));
    case Kind::WatchDog:
        break;
    }
    return true;
}

std::unique_ptr<SimModule> LineFileReader::readModule(const QJsonObject &o, const QString &path,
                                                      const SimModule *unit)
{
    const catalogue::ModelInfo *info = readModel(o, path, unit);
    if (!info)
        return nullptr;
    const QString name = o.value(QStringLiteral("name")).toString();
    auto m = std::make_unique<SimModule>(name, *info);
    if (!checkModuleKeys(o, path, *info, name, unit != nullptr) ||
        !readPlacement(*m, o, path, unit) || !readConfiguration(*m, o, path) ||
        !readSignals(*m, o, path))
        return nullptr;
    return m;
}

bool LineFileReader::readInputs(SimModule &m, const QJsonValue &value, const QString &path)
{
    if (!value.isArray())
        return fail(path, shown(value) + QStringLiteral(" is not an array"));
    const QJsonArray list = value.toArray();
    if (list.size() > qsizetype(m.inputs.size())) {
        return fail(item(path, int(m.inputs.size())),
                    QStringLiteral("model ") + m.name() + QStringLiteral(" has ") +
                        QString::number(m.inputs.size()) + QStringLiteral(" channels"));
    }
    for (int i = 0; i < list.size(); ++i) {
        if (!readWave(m.inputs[size_t(i)], list.at(i), item(path, i)))
            return false;
    }
    return true;
}

bool LineFileReader::readWave(AnalogInputChannel &channel, const QJsonValue &value,
                              const QString &path)
{
    if (value.isDouble()) {
        channel.wave.offset = value.toDouble();
        return true;
    }
    if (!value.isObject())
        return fail(path, shown(value) + QStringLiteral(" is neither a number nor an object"));
    const QJsonObject o = value.toObject();
    int shape = 0;
    static const QStringList shapes = {QStringLiteral("constant"), QStringLiteral("sine"),
                                       QStringLiteral("triangle"), QStringLiteral("square")};
    if (o.contains(QStringLiteral("wave"))) {
        const QJsonValue w = o.value(QStringLiteral("wave"));
        if (!w.isString() || !shapes.contains(w.toString())) {
            return fail(field(path, QStringLiteral("wave")), shown(w) +
                                                                 QStringLiteral(" is not one of ") +
                                                                 shapes.join(QStringLiteral(", ")));
        }
        shape = int(shapes.indexOf(w.toString()));
    }
    channel.wave.shape = Wave::Shape(shape);
    const QStringList limits = {QStringLiteral("min"), QStringLiteral("max")};
    const QStringList constantKeys =
        QStringList{QStringLiteral("wave"), QStringLiteral("value")} + limits;
    const QStringList waveKeys =
        QStringList{QStringLiteral("wave"), QStringLiteral("offset"), QStringLiteral("amplitude"),
                    QStringLiteral("periodMs"), QStringLiteral("phaseMs")} +
        limits;
    if (!checkKeys(o, path, shape == 0 ? constantKeys : waveKeys))
        return false;

    double min = 0;
    double max = 0;
    qint64 period = 10000;
    qint64 phase = 0;
    if (!readNumber(o, QString::fromLatin1(shape == 0 ? "value" : "offset"), path,
                    &channel.wave.offset) ||
        !readNumber(o, QStringLiteral("amplitude"), path, &channel.wave.amplitude) ||
        !readInteger(o, QStringLiteral("periodMs"), path, 1, qint64(1) << 40, &period) ||
        !readInteger(o, QStringLiteral("phaseMs"), path, -(qint64(1) << 40), qint64(1) << 40,
                     &phase) ||
        !readNumber(o, QStringLiteral("min"), path, &min) ||
        !readNumber(o, QStringLiteral("max"), path, &max))
        return false;
    channel.wave.periodMs = period;
    channel.wave.phaseMs = phase;
    if (o.contains(QStringLiteral("min")))
        channel.min = min;
    if (o.contains(QStringLiteral("max")))
        channel.max = max;
    if (channel.min && channel.max && *channel.min > *channel.max)
        return fail(field(path, QStringLiteral("min")), QStringLiteral("greater than max"));
    return true;
}

bool LineFileReader::readOutputs(SimModule &m, const QJsonObject &o, const QString &path)
{
    // The ranges first: the initial outputs are clamped to them.
    if (o.contains(QStringLiteral("outputRanges"))) {
        const QString rangesPath = field(path, QStringLiteral("outputRanges"));
        const QJsonValue v = o.value(QStringLiteral("outputRanges"));
        if (!v.isArray() || v.toArray().size() != 2)
            return fail(rangesPath, shown(v) + QStringLiteral(" is not an array of 2 codes"));
        for (int i = 0; i < 2; ++i) {
            const QJsonValue code = v.toArray().at(i);
            if (!code.isDouble() ||
                (code.toDouble() != 0 && code.toDouble() != 1 && code.toDouble() != 2)) {
                return fail(item(rangesPath, i),
                            shown(code) + QStringLiteral(" is not 0 (0-20 mA), 1 (4-20 mA) or "
                                                         "2 (0-10 V)"));
            }
            m.outputRanges[size_t(i)] = code.toInt();
        }
    }
    if (!o.contains(QStringLiteral("outputs")))
        return true;
    const QString outputsPath = field(path, QStringLiteral("outputs"));
    const QJsonValue v = o.value(QStringLiteral("outputs"));
    if (!v.isArray())
        return fail(outputsPath, shown(v) + QStringLiteral(" is not an array"));
    const QJsonArray list = v.toArray();
    if (list.size() > qsizetype(m.outputs.size())) {
        return fail(item(outputsPath, int(m.outputs.size())),
                    QStringLiteral("model ") + m.name() + QStringLiteral(" has ") +
                        QString::number(m.outputs.size()) + QStringLiteral(" channels"));
    }
    for (int i = 0; i < list.size(); ++i) {
        if (!list.at(i).isDouble() || !std::isfinite(list.at(i).toDouble()))
            return fail(item(outputsPath, i),
                        shown(list.at(i)) + QStringLiteral(" is not a number"));
        m.outputs[size_t(i)] = m.clampOutput(i, list.at(i).toDouble());
    }
    return true;
}

bool LineFileReader::readAlarm(SimModule &m, const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        return fail(path, shown(value) + QStringLiteral(" is not an object"));
    const QJsonObject o = value.toObject();
    const bool limits = m.info().kind != Kind::Counter;
    QStringList allowed = {QStringLiteral("mode"), QStringLiteral("outputs")};
    if (limits)
        allowed << QStringLiteral("high") << QStringLiteral("low");
    if (!checkKeys(o, path, allowed))
        return false;
    // The counters and the strain gauge input have two alarm outputs that
    // are no digital outputs of theirs.
    const int outputBits = limits && m.info().outputBits > 0 ? m.info().outputBits : 2;
    return readChoice(o, QStringLiteral("mode"), path, AlarmModes, &m.alarm.mode) &&
           readNumber(o, QStringLiteral("high"), path, &m.alarm.high) &&
           readNumber(o, QStringLiteral("low"), path, &m.alarm.low) &&
           readBits(o, QStringLiteral("outputs"), path, outputBits, "outputs", &m.alarm.outputs);
}

bool LineFileReader::readCounters(SimModule &m, const QJsonObject &o, const QString &path)
{
    static const QStringList modes = {QStringLiteral("counter"), QStringLiteral("frequency")};
    qint64 inputMode = 0;
    double high = 2.4;
    double low = 0.8;
    if (!readChoice(o, QStringLiteral("mode"), path, modes, &m.counterMode) ||
        !readInteger(o, QStringLiteral("inputMode"), path, 0, 2, &inputMode) ||
        !readNumber(o, QStringLiteral("levelHigh"), path, &high) ||
        !readNumber(o, QStringLiteral("levelLow"), path, &low))
        return false;
    m.inputMode = int(inputMode);
    // Levels are reported as two digits of tenths of a volt.
    for (const auto &[key, volts, out] :
         {std::tuple{QStringLiteral("levelHigh"), high, &m.levelHigh},
          std::tuple{QStringLiteral("levelLow"), low, &m.levelLow}}) {
        if (volts < 0.0 || volts > 9.9) {
            return fail(field(path, key),
                        QString::number(volts) + QStringLiteral(" is out of range 0 to 9.9 V"));
        }
        *out = int(std::lround(volts * 10.0));
    }
    if (o.contains(QStringLiteral("alarm")) &&
        !readAlarm(m, o.value(QStringLiteral("alarm")), field(path, QStringLiteral("alarm"))))
        return false;
    if (!o.contains(QStringLiteral("counters")))
        return true;

    const QString countersPath = field(path, QStringLiteral("counters"));
    const QJsonValue v = o.value(QStringLiteral("counters"));
    if (!v.isArray())
        return fail(countersPath, shown(v) + QStringLiteral(" is not an array"));
    const QJsonArray list = v.toArray();
    if (list.size() > 2)
        return fail(item(countersPath, 2),
                    QStringLiteral("model ") + m.name() + QStringLiteral(" has 2 counters"));
    for (int i = 0; i < list.size(); ++i) {
        const QString p = item(countersPath, i);
        if (!list.at(i).isObject())
            return fail(p, shown(list.at(i)) + QStringLiteral(" is not an object"));
        const QJsonObject c = list.at(i).toObject();
        CounterChannel &counter = m.counters[size_t(i)];
        qint64 minWidth = 0;
        if (!checkKeys(c, p,
                       {QStringLiteral("start"), QStringLiteral("countsPerSecond"),
                        QStringLiteral("counting"), QStringLiteral("preset"), QStringLiteral("max"),
                        QStringLiteral("alarmLimit"), QStringLiteral("minWidthUs")}) ||
            !readCode(c, QStringLiteral("start"), p, 0xFFFFFFFFu, &counter.start) ||
            !readNumber(c, QStringLiteral("countsPerSecond"), p, &counter.countsPerSecond) ||
            !readBool(c, QStringLiteral("counting"), p, &counter.counting) ||
            !readCode(c, QStringLiteral("preset"), p, 0xFFFFFFFFu, &counter.preset) ||
            !readCode(c, QStringLiteral("max"), p, 0xFFFFFFFFu, &counter.max) ||
            !readCode(c, QStringLiteral("alarmLimit"), p, 0xFFFFFFFFu, &counter.alarmLimit) ||
            !readInteger(c, QStringLiteral("minWidthUs"), p, 0, 99999, &minWidth))
            return false;
        counter.minWidthUs = int(minWidth);
        if (counter.countsPerSecond < 0.0)
            return fail(field(p, QStringLiteral("countsPerSecond")),
                        QStringLiteral("must not be negative"));
        if (counter.start > counter.max)
            return fail(field(p, QStringLiteral("start")), QStringLiteral("is beyond max"));
    }
    return true;
}

bool LineFileReader::readSlots(SimModule &unit, const QJsonValue &value, const QString &path)
{
    if (!value.isArray())
        return fail(path, shown(value) + QStringLiteral(" is not an array"));
    const QJsonArray list = value.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString p = item(path, i);
        if (!list.at(i).isObject())
            return fail(p, shown(list.at(i)) + QStringLiteral(" is not an object"));
        const QJsonObject o = list.at(i).toObject();
        if (!o.contains(QStringLiteral("slot")))
            return fail(field(p, QStringLiteral("slot")), QStringLiteral("missing"));
        qint64 slot = 0;
        if (!readInteger(o, QStringLiteral("slot"), p, 0, unit.slotCount() - 1, &slot))
            return false;
        if (unit.slotModule(int(slot))) {
            return fail(field(p, QStringLiteral("slot")),
                        QString::number(slot) + QStringLiteral(" is already occupied"));
        }
        auto module = readModule(o, p, &unit);
        if (!module)
            return false;
        unit.slotModules[size_t(slot)] = std::move(module);
    }
    return true;
}

bool LineFileReader::readFaults(SimLine &line, const QJsonValue &value,
                                const std::vector<Place> &places)
{
    const QString path = QStringLiteral("faults");
    if (!value.isArray())
        return fail(path, shown(value) + QStringLiteral(" is not an array"));
    static const QStringList kinds = {QStringLiteral("none"),        QStringLiteral("noReply"),
                                      QStringLiteral("badChecksum"), QStringLiteral("cut"),
                                      QStringLiteral("noise"),       QStringLiteral("endless")};
    const QJsonArray list = value.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString p = item(path, i);
        if (!list.at(i).isObject())
            return fail(p, shown(list.at(i)) + QStringLiteral(" is not an object"));
        const QJsonObject o = list.at(i).toObject();
        if (!checkKeys(o, p,
                       {QStringLiteral("address"), QStringLiteral("kind"), QStringLiteral("every"),
                        QStringLiteral("keep"), QStringLiteral("bytes"), QStringLiteral("length")}))
            return false;
        for (const char *required : {"address", "kind"}) {
            if (!o.contains(QLatin1String(required)))
                return fail(field(p, QLatin1String(required)), QStringLiteral("missing"));
        }
        quint32 address = 0;
        if (!readCode(o, QStringLiteral("address"), p, 0xFF, &address))
            return false;
        const bool used = std::any_of(places.begin(), places.end(), [&](const Place &place) {
            return place.module->address == int(address);
        });
        if (!used) {
            return fail(field(p, QStringLiteral("address")),
                        QStringLiteral("no module at address ") + hexText(int(address)));
        }
        const QJsonValue kind = o.value(QStringLiteral("kind"));
        if (!kind.isString() || !kinds.contains(kind.toString())) {
            return fail(field(p, QStringLiteral("kind")), shown(kind) +
                                                              QStringLiteral(" is not one of ") +
                                                              kinds.join(QStringLiteral(", ")));
        }
        Fault fault;
        fault.kind = Fault::Kind(kinds.indexOf(kind.toString()));
        qint64 every = 1;
        qint64 keep = -1;
        qint64 length = fault.length;
        if (!readInteger(o, QStringLiteral("every"), p, 1, 1000000, &every) ||
            !readInteger(o, QStringLiteral("keep"), p, 0, 1000, &keep) ||
            !readInteger(o, QStringLiteral("length"), p, 1, 65536, &length))
            return false;
        fault.every = int(every);
        fault.keep = int(keep);
        fault.length = int(length);
        if (o.contains(QStringLiteral("bytes"))) {
            const QJsonValue bytes = o.value(QStringLiteral("bytes"));
            if (!bytes.isString() || bytes.toString().isEmpty())
                return fail(field(p, QStringLiteral("bytes")),
                            shown(bytes) + QStringLiteral(" is not a non-empty text"));
            fault.noise = bytes.toString().toLatin1();
        }
        line.setFault(int(address), fault);
    }
    return true;
}

std::unique_ptr<SimLine> SimLine::load(const QByteArray &json, QString *error)
{
    return LineFileReader().read(json, error);
}

std::unique_ptr<SimLine> SimLine::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return nullptr;
    }
    return load(file.readAll(), error);
}

} // namespace telviox::sim
