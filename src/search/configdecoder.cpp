#include "search/configdecoder.h"

#include "conversations/sharedstate.h"
#include "core/moduleerror.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "search/resultline.h"
#include "search/searchtables.h"
#include "server/serverinterfaces.h"

namespace telviox {

using namespace search;
using catalogue::SearchBranch;

namespace {

constexpr int TimeOut = 400;
// The single-input thermocouple and strain-gauge modules are read faster.
constexpr int ShortTimeOut = 200;
constexpr int SlotTimeOut = 300;
constexpr int TwoChannels = 2;
constexpr int LevelCount = 2;

const QString MainUnitText = QStringLiteral("MainUnit");

QString blanks(int count)
{
    return QString(qMax(0, count), QLatin1Char(' '));
}

// The checksum column of every model without alarms.
QString checksumText(quint8 checksum)
{
    return checksum ? QStringLiteral("Enable ") : QStringLiteral("Disable");
}

// The same column of a main unit and its slots, one character shorter when enabled.
QString unitChecksumText(quint8 checksum)
{
    return checksum ? QStringLiteral("Enable") : QStringLiteral("Disable");
}

QString alarmChecksumText(quint8 checksum)
{
    return checksum ? QStringLiteral("  Enable        ") : QStringLiteral("  Disable       ");
}

QString alarmText(const QString &mode)
{
    if (mode == QLatin1String("0"))
        return QStringLiteral("Disable  ");
    if (mode == QLatin1String("1"))
        return QStringLiteral("Momentary");
    if (mode == QLatin1String("2"))
        return QStringLiteral("Latch    ");
    return {};
}

// The Q-2000 model a 3000-family module stands for: the module functions
// serve the Q-2000 type codes.
qint32 q2000TypeCode(const QString &name)
{
    if (name.size() == 4 && name.startsWith(QLatin1Char('3')))
        return catalogue::typeCodeOfName(QLatin1Char('2') + name.mid(1));
    return catalogue::typeCodeOfName(name);
}

// A slot table entry that names a module: two letters or digits other than
// "FF". A failed or short slot-table reply leaves blanks, which name nothing.
bool occupiedSlot(const QString &code)
{
    return code.size() == 2 && code != QLatin1String("FF") && code.at(0).isLetterOrNumber() &&
           code.at(1).isLetterOrNumber();
}

} // namespace

struct ConfigDecoder::Module
{
    FoundRecord &record;
    int index;
    int address;
    QString name; // normalised, main units as "9300" and "9900"
    qint32 baud;
    int digits; // L
};

ConfigDecoder::ConfigDecoder(const SearchContext &context, ModuleListSink &list)
    : m_context(context), m_list(list), m_szSend(100, ' '), m_szReceive(100, ' ')
{}

int ConfigDecoder::port() const
{
    return m_context.state.ComPort;
}

QString ConfigDecoder::send(const Module &module, char lead, const QByteArray &command, int timeOut,
                            ErrorReport report)
{
    QByteArray reply;
    const qint16 result =
        m_context.link.Send_Receive_Cmd(port(), moduleCommand(lead, module.address, command), reply,
                                        timeOut, module.record.Checksum);
    if (result == 0)
        return replyBuffer(reply);
    if (report == ErrorReport::Box) {
        m_context.prompt.message(QStringLiteral("Error code: ") + QString::number(result),
                                 BoxStyle::Critical | BoxStyle::Ok,
                                 fixedWidth(module.record.ModelName, 10));
    } else {
        showModuleError(module, result);
    }
    // Whatever came before the failure is no answer: reading it would take
    // another module's or a garbled reply for this one's configuration.
    return blankReply();
}

void ConfigDecoder::showModuleError(const Module &module, qint16 code)
{
    m_context.status.setStatusText(moduleErrorLine(module.name, code));
}

void ConfigDecoder::prepareBlock(const Module &module, qint32 typeCode)
{
    fillCallHead(m_w, port(), module.address, typeCode, module.record.Checksum, TimeOut);
}

void ConfigDecoder::DoOtherThing(qint16 address, qint16 index, QString &remark)
{
    if (index < 0 || index >= FoundLineCount)
        return;
    FoundRecord &record = m_context.state.Found.Records[std::size_t(index)];
    const QString name = catalogue::handledName(record.ModelName.trimmed());
    Module module{record, index, address, name, record.BaudRate, rateDigits(record.BaudRate)};
    record.Decoded = 1;

    const auto branch = catalogue::searchBranch(name);
    if (!branch)
        return;
    switch (*branch) {
    case SearchBranch::AlarmTableA:
    case SearchBranch::AlarmTableB:
    case SearchBranch::AlarmWithoutThermocouples:
        remark = alarmCapable(module, remark);
        break;
    case SearchBranch::Rtd:
    case SearchBranch::EightChannelB:
    case SearchBranch::EightChannelC:
    case SearchBranch::OneChannelOutput:
    case SearchBranch::FourChannelOutput:
    case SearchBranch::ThreeChannelRtd:
        remark = analog(module);
        break;
    case SearchBranch::TwoChannelOutput:
        remark = twoChannelOutput(module);
        break;
    case SearchBranch::Digital:
        remark = digital(module);
        break;
    case SearchBranch::Counter:
        remark = counter(module);
        break;
    case SearchBranch::WatchDog:
        remark = watchDog(module);
        break;
    case SearchBranch::MainUnit:
        mainUnit(module);
        break;
    }
}

namespace {

// Range code (characters 4 and 5), its text and index in the table, and the
// data format (characters 8 and 9) of a configuration reply. The code is kept
// even when the table does not know it; the index only when it does.
QString readRange(FoundRecord &record, const QString &reply, RangeTable table)
{
    int value = 0;
    QString text;
    if (readHex(replyAt(reply, 4, 2), &value)) {
        record.RangeCode = quint8(value);
        if (const auto index = rangeIndexOf(table, quint8(value))) {
            record.RangeIndex = quint8(*index);
            text = QString::fromLatin1(rangeTable(table)[std::size_t(*index)].text);
        }
    }
    if (readHex(replyAt(reply, 8, 2), &value))
        record.DataFormat = quint8(value);
    return text;
}

RangeTable tableOf(SearchBranch branch)
{
    switch (branch) {
    case SearchBranch::AlarmTableA:
        return RangeTable::A;
    case SearchBranch::AlarmWithoutThermocouples:
        return RangeTable::AWithoutTc;
    case SearchBranch::AlarmTableB:
    case SearchBranch::EightChannelB:
        return RangeTable::B;
    case SearchBranch::EightChannelC:
        return RangeTable::C;
    case SearchBranch::Rtd:
        return RangeTable::D;
    case SearchBranch::ThreeChannelRtd:
        return RangeTable::DWith2A;
    case SearchBranch::OneChannelOutput:
        return RangeTable::E;
    default:
        return RangeTable::F;
    }
}

} // namespace

QString ConfigDecoder::analog(Module &module)
{
    const SearchBranch branch = *catalogue::searchBranch(module.name);
    const QString reply = send(module, '$', "2", TimeOut);
    QString remark = blanks(19 - module.digits) + checksumText(module.record.Checksum);
    const QString range = readRange(module.record, reply, tableOf(branch));
    if (!range.isEmpty())
        remark += blanks(7) + range;

    const char *extra = branch == SearchBranch::EightChannelB     ? "6"
                        : branch == SearchBranch::ThreeChannelRtd ? "8"
                                                                  : nullptr;
    if (extra) {
        const QString answer = send(module, '$', extra, TimeOut);
        int value = 0;
        module.record.ChannelInfo = quint8(
            answer.startsWith(QLatin1Char('!')) && readHex(replyAt(answer, 4, 2), &value) ? value
                                                                                          : 0);
    }
    return remark;
}

QString ConfigDecoder::alarmCapable(Module &module, const QString &arrived)
{
    const SearchBranch branch = *catalogue::searchBranch(module.name);
    const int timeOut = branch == SearchBranch::AlarmTableB ? TimeOut : ShortTimeOut;
    const QString alarm = send(module, '@', "DI", timeOut);
    const QString config = send(module, '$', "2", timeOut);

    // An alarm mode the module should not report leaves the remark as it
    // came (50 blanks), and the texts go behind it.
    QString remark = arrived;
    const QString mode = alarmText(replyAt(alarm, 4, 1));
    if (!mode.isEmpty())
        remark = blanks(8 - module.digits) + mode;
    remark += alarmChecksumText(module.record.Checksum);
    remark += readRange(module.record, config, tableOf(branch));

    if (branch == SearchBranch::AlarmWithoutThermocouples) {
        readLinearMapping(module);
        return remark;
    }
    readAlarms(module);
    if (module.name == QLatin1String("2067"))
        readLinearMapping(module);
    return remark;
}

void ConfigDecoder::readAlarms(Module &module)
{
    // The 3000-family twin of 2026 is read as a 2026.
    const qint32 typeCode = *catalogue::searchBranch(module.name) == SearchBranch::AlarmTableA
                                ? catalogue::typeCodeOfName(QStringLiteral("2026"))
                                : q2000TypeCode(module.name);
    prepareBlock(module, typeCode);
    m_w[5] = 0;
    qint16 result = m_context.library.ReadOutputAlarmState(m_w, m_f, m_szSend, m_szReceive);
    if (result == 0) {
        module.record.AlarmState = m_w[7];
        module.record.AlarmOutputs = m_w[8];
    } else {
        showModuleError(module, result);
    }
    for (int limit = 0; limit < 2; ++limit) {
        prepareBlock(module, typeCode);
        m_w[5] = qint16(limit);
        result = m_context.library.ReadAlarmLimitValue(m_w, m_f, m_szSend, m_szReceive);
        if (result == 0)
            module.record.AlarmLimits[limit] = m_f[0];
        else
            showModuleError(module, result);
    }
}

void ConfigDecoder::readLinearMapping(Module &module)
{
    prepareBlock(module, q2000TypeCode(module.name));
    const qint16 result =
        m_context.library.ReadLinearMappingStatus(m_w, m_f, m_szSend, m_szReceive);
    if (result == 0)
        module.record.LinearMapping = m_w[5];
    else
        showModuleError(module, result);
}

QString ConfigDecoder::twoChannelOutput(Module &module)
{
    const QString config = send(module, '$', "2", TimeOut);
    int value = 0;
    if (readHex(replyAt(config, 4, 2), &value))
        module.record.RangeCode = quint8(value);
    if (readHex(replyAt(config, 8, 2), &value))
        module.record.DataFormat = quint8(value);

    QString remark = blanks(19 - module.digits) + checksumText(module.record.Checksum);
    for (int channel = 0; channel < TwoChannels; ++channel) {
        const QString reply = send(module, '$', "9" + QByteArray::number(channel), TimeOut);
        const QString digit = replyAt(reply, 4, 1);
        const int code = digit.size() == 1 && digit.at(0).isDigit() ? digit.toInt() : -1;
        const QString text = twoChannelRangeText(channel, code);
        if (text.isEmpty())
            continue;
        module.record.RangeIndex = quint8(code);
        remark += (channel == 0 ? blanks(5) : QString()) + text;
    }
    return remark;
}

QString ConfigDecoder::digital(Module &module)
{
    const auto searchClass = catalogue::searchClass(module.name);
    const QString remark = blanks(19 - module.digits) + checksumText(module.record.Checksum) +
                           blanks(7) + QString::fromLatin1(searchClass->description);
    send(module, '$', "2", TimeOut);
    return remark;
}

QString ConfigDecoder::counter(Module &module)
{
    FoundRecord &record = module.record;
    const QString config = send(module, '$', "2", TimeOut);
    QString remark = blanks(19 - module.digits) + checksumText(record.Checksum);
    const QString code = replyAt(config, 4, 2);
    int value = 0;
    if (readHex(code, &value))
        record.RangeCode = quint8(value);
    if (code == QLatin1String("50")) {
        remark += blanks(7) + QStringLiteral("Counter Mode");
        record.RangeIndex = 0;
    } else if (code == QLatin1String("51")) {
        remark += blanks(7) + QStringLiteral("Frequency Mode");
        record.RangeIndex = 1;
    }
    // The format byte tells whether the module wants checksums; a failed read
    // leaves the flag the module was found with.
    if (readHex(replyAt(config, 8, 2), &value)) {
        record.DataFormat = quint8(value);
        record.Checksum = (value & 0x40) ? 1 : 0;
    }

    const QString mode = replyAt(send(module, '$', "A", TimeOut, ErrorReport::StatusLine), 4, 1);
    if (mode == QLatin1String("0") || mode == QLatin1String("1") || mode == QLatin1String("2"))
        record.InputMode = quint8(mode.toInt());

    const qint32 typeCode = q2000TypeCode(module.name);
    using Call = qint16 (ModuleLibrary::*)(WordBlock &, FloatBlock &, QByteArray &, QByteArray &);
    // One library call per counter (element 5 the counter); store runs on success.
    const auto perCounter = [&](Call call, auto store) {
        for (int n = 0; n < LevelCount; ++n) {
            prepareBlock(module, typeCode);
            m_w[5] = qint16(n);
            const qint16 result = (m_context.library.*call)(m_w, m_f, m_szSend, m_szReceive);
            if (result == 0)
                store(n);
            else
                showModuleError(module, result);
        }
    };
    perCounter(&ModuleLibrary::ReadLevelVolt_2032, [&](int n) { record.LevelVolts[n] = m_f[0]; });
    perCounter(&ModuleLibrary::ReadCounterStatus_2032,
               [&](int n) { record.CounterStatus[n] = m_w[7]; });

    for (int n = 0; n < LevelCount; ++n) {
        const QString status = replyAt(
            send(module, '$', "5" + QByteArray::number(n), TimeOut, ErrorReport::StatusLine), 4, 1);
        if (status == QLatin1String("0") || status == QLatin1String("1"))
            record.CounterStatus[n] = qint16(status.toInt());
    }

    perCounter(&ModuleLibrary::ReadPresetCounterValue_2032,
               [&](int n) { record.PresetValue[n] = MakeLong(m_w[7], m_w[8]); });
    // The word stops at 65535 us; the float carries every width a module reports.
    perCounter(&ModuleLibrary::ReadMinSignalWidth_2032,
               [&](int n) { record.MinSignalWidth[n] = qint32(m_f[0]); });
    perCounter(&ModuleLibrary::ReadCounterMaxValue_2032,
               [&](int n) { record.MaxValue[n] = MakeLong(m_w[7], m_w[8]); });
    perCounter(&ModuleLibrary::ReadAlarmLimitValue_2032,
               [&](int n) { record.CounterAlarmLimit[n] = MakeLong(m_w[7], m_w[8]); });

    // Whole-module reads: element 5 is 0 or not read.
    const auto once = [&](Call call, auto store) {
        prepareBlock(module, typeCode);
        m_w[5] = 0;
        const qint16 result = (m_context.library.*call)(m_w, m_f, m_szSend, m_szReceive);
        if (result == 0)
            store();
        else
            showModuleError(module, result);
    };
    once(&ModuleLibrary::ReadModuleMode_2032, [&] { record.ModuleMode = m_w[5]; });
    once(&ModuleLibrary::ReadOutputAlarmState_2032, [&] {
        record.AlarmState = m_w[7];
        record.AlarmOutputs = m_w[8];
    });
    once(&ModuleLibrary::ReadInputSignalMode_2032, [&] { record.InputMode = quint8(m_w[7]); });
    return remark;
}

QString ConfigDecoder::watchDog(const Module &module)
{
    return blanks(19 - module.digits) + checksumText(module.record.Checksum) + blanks(7) +
           QStringLiteral("Watch Dog");
}

void ConfigDecoder::mainUnit(Module &module)
{
    FoundModules &found = m_context.state.Found;
    FoundRecord &unit = module.record;
    const QString tail = blanks(19 - module.digits) + unitChecksumText(unit.Checksum) + blanks(7);
    const QString own = fixedWidth(linePrefix(unit.ModelName, module.address, module.baud) + tail +
                                       QStringLiteral(" Module"),
                                   ResultLineWidth);
    found.ResultLines[std::size_t(module.index)] = own;
    m_list.addModuleLine(own);

    const int slotCount = module.name == QLatin1String("9900") ? 8 : 4;
    QString table = send(module, '$', "T", TimeOut);
    if (slotCount == 8) {
        const QString second = send(module, '$', "T1", TimeOut);
        table = fixedWidth(table.left(11) + second.mid(3), ReplyBufferSize);
    }

    struct Added
    {
        int slot;
        int index;
        SlotDescription description;
    };
    std::vector<Added> queried;
    const QChar family = unit.ModelName.isEmpty() ? QLatin1Char('9') : unit.ModelName.at(0);
    for (int slot = 0; slot < slotCount; ++slot) {
        QString code = replyAt(table, 4 + 2 * slot, 2);
        if (!occupiedSlot(code))
            continue;
        // The entries end with the table's lines; the search's limit keeps
        // far below it, but the lines must never be written past.
        if (found.FoundCount + 1 >= FoundLineCount)
            break;
        if (code == QLatin1String("1H"))
            code = QStringLiteral("91H");
        const QString name = family + QLatin1Char('0') + code;
        const auto description = slotDescription(code);

        found.FoundCount = qint16(found.FoundCount + 1);
        const int index = found.FoundCount;
        FoundRecord &record = found.Records[std::size_t(index)];
        record = FoundRecord{};
        record.ModelName = name;
        record.Unit = MainUnitText;
        record.BaudRate = unit.BaudRate;
        record.Address = unit.Address;
        record.Checksum = unit.Checksum;
        record.Slot = quint8(slot);
        record.Decoded = 1;

        const QString line = fixedWidth(
            name + QLatin1Char(' ') +
                (name.size() == 5 ? QStringLiteral("  S") : QStringLiteral("   S")) +
                QString::number(slot) + blanks(5) + QString::number(unit.BaudRate) + tail +
                (description ? QString::fromLatin1(description->text) : QString()),
            ResultLineWidth);
        found.ResultLines[std::size_t(index)] = line;
        m_list.addModuleLine(line);
        if (description && description->queried)
            queried.push_back({slot, index, *description});
    }

    for (const Added &added : queried) {
        const QString reply =
            send(module, '$', "S" + QByteArray::number(added.slot) + "B", SlotTimeOut);
        if (!reply.startsWith(QLatin1Char('!'))) {
            m_context.prompt.message(QStringLiteral("error"), BoxStyle::Ok, QString());
            continue;
        }
        FoundRecord &record = found.Records[std::size_t(added.index)];
        int value = 0;
        if (readHex(replyAt(reply, 4, 2), &value)) {
            record.RangeCode = quint8(value);
            if (const auto index = rangeIndexOf(added.description.table, quint8(value)))
                record.RangeIndex = quint8(*index);
        }
        if (readHex(replyAt(reply, 6, 2), &value))
            record.DataFormat = quint8(value);
    }
}

} // namespace telviox
