#include "conversationsetting.h"

#include "core/clock.h"
#include "core/programnames.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>

namespace telviox {

namespace {

using Range = std::pair<int, int>;

bool inRanges(int entry, std::initializer_list<Range> ranges)
{
    return std::any_of(ranges.begin(), ranges.end(), [entry](const Range &r) {
        return entry >= r.first && entry <= r.second;
    });
}

// Conversations of these entries fill the dialog when it opens.
bool fillsOnLoad(int entry)
{
    return inRanges(entry, {{0, 3}, {5, 7}, {9, 9}, {11, 18}, {22, 23}});
}

int loadEntryOfTypeCode(qint32 typeCode)
{
    for (int entry = 0; entry < catalogue::SettingListSize; ++entry) {
        if (fillsOnLoad(entry) && catalogue::typeCodeOfListIndex(entry) == typeCode)
            return entry;
    }
    return -1;
}

// A number as plain conversion writes it into message text.
QString plainNumber(qint32 value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

int hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    const QChar upper = c.toUpper();
    if (upper >= QLatin1Char('A') && upper <= QLatin1Char('F'))
        return upper.unicode() - 'A' + 10;
    return -1;
}

qint16 held(qint64 value)
{
    return qint16(std::clamp<qint64>(value, std::numeric_limits<qint16>::min(),
                                     std::numeric_limits<qint16>::max()));
}

bool isAnalog(ReadBack kind)
{
    return kind == ReadBack::Analog || kind == ReadBack::Analog9K || kind == ReadBack::Analog92K;
}

} // namespace

SubDialog subDialogOfEntry(int entry)
{
    if (inRanges(entry, {{0, 1}, {3, 3}, {11, 22}}))
        return SubDialog::Dio;
    if (entry == 2)
        return SubDialog::Channels1;
    if (inRanges(entry, {{5, 6}, {26, 27}, {65, 66}}))
        return SubDialog::Channels8;
    if (entry == 10)
        return SubDialog::Channels3;
    if (entry == 24 || entry == 63)
        return SubDialog::Channels4;
    if (entry == 7)
        return SubDialog::Output2011;
    if (entry == 8)
        return SubDialog::Output2028Half;
    if (entry == 9)
        return SubDialog::Output2028;
    if (entry == 23)
        return SubDialog::Counter;
    if (inRanges(entry, {{28, 30}}))
        return SubDialog::Output9K;
    if (inRanges(entry, {{34, 47}, {70, 80}}))
        return SubDialog::Dio9K;
    if (entry == 68)
        return SubDialog::Output92028;
    return SubDialog::None;
}

int shownChannels(SubDialog dialog)
{
    switch (dialog) {
    case SubDialog::Channels1:
        return 1;
    case SubDialog::Channels3:
        return 3;
    case SubDialog::Channels4:
        return 4;
    case SubDialog::Channels8:
        return 8;
    default:
        return 0;
    }
}

ModuleKind kindOfEntry(int entry)
{
    if (inRanges(entry, {{0, 3}}))
        return ModuleKind::SingleInput;
    if (inRanges(entry, {{5, 6}, {10, 10}, {24, 24}, {26, 27}, {63, 63}, {65, 66}}))
        return ModuleKind::EightInput;
    if (entry == 7)
        return ModuleKind::SingleOutput;
    if (inRanges(entry, {{8, 9}, {28, 30}, {67, 69}}))
        return ModuleKind::MultiOutput;
    if (entry == 23)
        return ModuleKind::Counter;
    if (inRanges(entry, {{12, 15}, {18, 22}, {34, 34}, {38, 47}, {73, 80}}))
        return ModuleKind::Digital;
    return ModuleKind::Other;
}

ReadBack readBackOfEntry(int entry)
{
    if (inRanges(entry, {{7, 9}}))
        return ReadBack::Analog;
    if (inRanges(entry, {{28, 30}}))
        return ReadBack::Analog9K;
    if (inRanges(entry, {{67, 69}}))
        return ReadBack::Analog92K;
    if (inRanges(entry, {{12, 15}, {18, 22}}))
        return ReadBack::Digital;
    if (inRanges(entry, {{34, 34}, {38, 47}}))
        return ReadBack::Digital9K;
    if (inRanges(entry, {{73, 80}}))
        return ReadBack::Digital92K;
    return ReadBack::None;
}

ConversationSetting::ConversationSetting(SettingServices services)
    : m_services(std::move(services)), m_state(m_services.state)
{}

const std::array<qint32, 8> &ConversationSetting::baudRates()
{
    static const std::array<qint32, 8> rates{115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200};
    return rates;
}

QStringList ConversationSetting::baudTexts()
{
    QStringList texts;
    for (qint32 rate : baudRates())
        texts << QString::number(rate);
    return texts;
}

QStringList ConversationSetting::checksumTexts()
{
    return {QStringLiteral("Disable"), QStringLiteral("Enable")};
}

qint16 ConversationSetting::hexNumber(const QString &text)
{
    qint64 value = 0;
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text.at(i));
        if (digit < 0)
            break;
        value = std::min<qint64>(value * 16 + digit, std::numeric_limits<qint16>::max());
    }
    return held(value);
}

qint16 ConversationSetting::decimalNumber(const QString &text)
{
    qint64 value = 0;
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
         ++i)
        value = std::min<qint64>(value * 10 + text.at(i).digitValue(), 1 << 20);
    return held(negative ? -value : value);
}

QString ConversationSetting::hexText(qint32 value)
{
    return QString::number(quint32(value), 16).toUpper();
}

void ConversationSetting::showBaud(qint32 rate, bool keepUnknown)
{
    const auto &rates = baudRates();
    const auto it = std::find(rates.begin(), rates.end(), rate);
    if (it == rates.end()) {
        if (keepUnknown)
            return;
        m_fields.baudEntry = 4;
        m_fields.baudText = QString::number(rates[4]);
        return;
    }
    m_fields.baudEntry = int(it - rates.begin());
    m_fields.baudText = QString::number(rate);
}

void ConversationSetting::showChecksum(int flag)
{
    if (flag != 0 && flag != 1)
        return;
    m_fields.checksumEntry = flag;
    m_fields.checksumText = checksumTexts().at(flag);
}

void ConversationSetting::Form_Load()
{
    m_activated = false;
    m_foundLines.clear();
    const FoundModules &found = m_state.Found;
    const int count = std::clamp<int>(found.FoundCount, 0, FoundLineCount);
    for (int i = 0; i < count; ++i) {
        const QString &line = found.ResultLines[std::size_t(i)];
        m_foundLines << line.left(23) + line.mid(46, 20);
    }

    m_state.DialogState = 1;
    m_fields = SettingFields{};
    m_fields.typeText = catalogue::listText(0);
    showBaud(baudRates()[4], false);

    const ConvRecord &conv = m_state.Conv[std::size_t(m_state.CurConv)];
    if (loadEntryOfTypeCode(conv.TypeCode) >= 0) {
        showBaud(conv.BaudRate, false);
        m_fields.addressText = hexText(conv.Address);
        showChecksum(conv.Checksum == 1 ? 1 : 0);
    } else {
        showChecksum(0);
    }
}

void ConversationSetting::Form_Activate()
{
    if (m_activated)
        return;
    const int entry = loadEntryOfTypeCode(m_state.Conv[std::size_t(m_state.CurConv)].TypeCode);
    m_activated = true;
    if (entry >= 0) {
        m_fields.typeEntry = entry;
        m_fields.typeText = catalogue::listText(entry);
        form2typeCombo_Click(entry);
    }
}

void ConversationSetting::form2typeCombo_Click(int entry)
{
    m_state.ModelName = catalogue::normaliseName(m_fields.typeText).leftJustified(10, ' ', true);
    const SubDialog dialog = subDialogOfEntry(entry);
    if (dialog != SubDialog::None && m_services.openSubDialog)
        m_services.openSubDialog(dialog);
}

void ConversationSetting::moduleList_Click(int line)
{
    m_state.FoundIndex = qint16(line);
}

void ConversationSetting::moduleList_DblClick()
{
    const int index = m_state.FoundIndex;
    if (index < 0 || index >= m_state.Found.FoundCount || index >= FoundRecordCount)
        return;
    const FoundRecord &record = m_state.Found.Records[std::size_t(index)];
    m_fields.addressText = hexText(record.Address);
    m_fields.slotText = QString::number(record.Slot);
    showBaud(record.BaudRate, true);
    showChecksum(record.Checksum);

    m_fields.typeText = catalogue::normaliseName(record.ModelName.trimmed());
    const auto entry = catalogue::listIndexOfFoundName(m_fields.typeText);
    m_fields.typeEntry = -1;
    if (!entry)
        return;
    m_state.PanelFromFound = 1;
    m_fields.typeEntry = *entry;
    m_fields.typeText = catalogue::listText(*entry);
    form2typeCombo_Click(*entry);
    // Only the panels clear the flag; a channel dialog or an entry without a
    // sub-dialog would leave it for the next panel chosen by hand.
    m_state.PanelFromFound = 0;
}

void ConversationSetting::refuse(const QString &text, const QString &title)
{
    m_services.prompt.beep();
    m_services.prompt.message(text, BoxStyle::Information, title);
}

bool ConversationSetting::form2okCmd_Click()
{
    const QString notSet = QStringLiteral("Can't Exact Setting DDE Conversation !");
    if (m_state.DialogState == 2) {
        refuse(notSet, ProgramTitle);
        m_state.DialogState = 1;
        return false;
    }
    ConvRecord &conv = m_state.Conv[std::size_t(m_state.CurConv)];
    conv.Slot = decimalNumber(m_fields.slotText);
    m_state.DialogState = 0;
    if (m_fields.addressText.isEmpty()) {
        m_services.prompt.beep();
        m_state.DialogState = 1;
        m_services.prompt.message(QStringLiteral("Please Assign Module Address !!!"),
                                  BoxStyle::Information, caption());
        return false;
    }
    const int entry = m_fields.typeEntry;
    if (entry < 0 || entry >= catalogue::SettingListSize) {
        refuse(notSet, ProgramTitle);
        m_state.DialogState = 1;
        return false;
    }

    conv.InUse = 1;
    conv.TypeCode = catalogue::typeCodeOfListIndex(entry);
    const int baudEntry = m_fields.baudEntry >= 0 && m_fields.baudEntry < int(baudRates().size())
                              ? m_fields.baudEntry
                              : 4;
    conv.BaudRate = baudRates()[std::size_t(baudEntry)];
    conv.Address = hexNumber(m_fields.addressText);
    conv.Checksum = qint16(m_fields.checksumEntry == 1 ? 1 : 0);

    conv.LinkActive = 0;
    conv.Channels = 1;
    conv.OutValue = 0.0f;
    conv.IoType = 0;
    conv.OutData = 0;
    switch (kindOfEntry(entry)) {
    case ModuleKind::SingleInput:
    case ModuleKind::SingleOutput:
        break;
    case ModuleKind::EightInput:
        conv.Channels = m_state.SelChannels;
        break;
    case ModuleKind::MultiOutput:
        conv.Channels = m_state.OutChannels;
        break;
    case ModuleKind::Counter:
        conv.Channels = m_state.CounterChannels;
        break;
    case ModuleKind::Digital:
        conv.Channels = m_state.OutChannels;
        conv.IoType = m_state.DioType;
        conv.OutData = m_state.DioData;
        break;
    case ModuleKind::Other:
        conv.IoType = m_state.DioType;
        conv.OutData = m_state.DioData;
        break;
    }
    if (kindOfEntry(entry) == ModuleKind::SingleOutput
        || kindOfEntry(entry) == ModuleKind::MultiOutput)
        conv.OutValue = m_state.AssignValue;

    const ReadBack kind = readBackOfEntry(entry);
    if (m_state.Link[std::size_t(m_state.CurConv)].Linked == 0 && kind != ReadBack::None
        && !readBack(kind, conv)) {
        conv.InUse = 0;
        // A refused input: the close box asks again, as before OK.
        m_state.DialogState = 1;
        return false;
    }
    return true;
}

bool ConversationSetting::readBack(ReadBack kind, ConvRecord &conv)
{
    Prompt &prompt = m_services.prompt;
    SerialLink &link = m_services.link;
    const int port = m_state.ComPort;
    // The server may hold the port: give it back as it was found.
    const qint32 serverBaud = link.isOpen(port) ? link.openBaud(port) : 0;
    const auto release = [&] {
        if (serverBaud != 0)
            link.Open_Com(port, serverBaud, 8, 0, 0);
        else
            link.Close_Com(port);
    };

    const qint16 opened = link.Open_Com(port, conv.BaudRate, 8, 0, 0);
    if (opened != LinkCode::Ok) {
        prompt.beep();
        const QString text = QStringLiteral("Quit this configuration setting");
        if (isAnalog(kind))
            prompt.message(text, BoxStyle::YesNo,
                           QStringLiteral("2011: OPEN_COM Error Code:") + plainNumber(opened));
        else
            prompt.message(text, BoxStyle::Critical,
                           QStringLiteral("OPEN_COM Error Code:") + plainNumber(opened));
        release();
        return false;
    }

    m_services.clock.sleep(100);
    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
    QByteArray szSend(100, ' ');
    QByteArray szReceive(100, ' ');
    const auto fill = [&](auto &block, qint32 element5, qint32 element7) {
        block[0] = port;
        block[1] = conv.Address;
        block[2] = conv.TypeCode;
        block[3] = conv.Checksum;
        block[4] = 100;
        block[5] = element5;
        block[6] = 0;
        block[7] = element7;
    };
    ModuleLibrary &library = m_services.library;
    qint16 code = 0;
    QString failure;
    switch (kind) {
    case ReadBack::Analog:
        fill(w, 0, conv.Channels);
        code = library.AnalogOutReadBack(w, f, szSend, szReceive);
        break;
    case ReadBack::Analog9K:
        fill(dw, 0, conv.Slot);
        code = library.AnalogOutReadBack_9K(dw, f, szSend, szReceive);
        break;
    case ReadBack::Analog92K:
        fill(dw, 0, 0);
        code = library.AnalogOutReadBack_92K(dw, f, szSend, szReceive);
        break;
    case ReadBack::Digital:
        fill(w, 12, 0);
        code = library.DigitalOutReadBack(w, f, szSend, szReceive);
        failure = QStringLiteral("DigitalOutReadBack(), The Error Code:");
        break;
    case ReadBack::Digital9K:
        fill(dw, 0, conv.Slot);
        code = library.DigitalOutReadBack_9K(dw, f, szSend, szReceive);
        failure = QStringLiteral("DigitalOutReadBack_9K(), The Error Code:");
        break;
    case ReadBack::Digital92K:
        fill(dw, 0, 0);
        code = library.DigitalOutReadBack_92K(dw, f, szSend, szReceive);
        failure = QStringLiteral("DigitalOutReadBack_92K(), The Error Code:");
        break;
    case ReadBack::None:
        break;
    }

    if (code == LinkCode::Ok) {
        if (isAnalog(kind)) {
            m_state.AssignValue = f[0];
            conv.OutValue = m_state.AssignValue;
        } else {
            conv.IoType = m_state.DioType;
            conv.OutData = kind == ReadBack::Digital ? w[5] : qint16(dw[5]);
        }
    } else {
        prompt.beep();
        prompt.message(failure + plainNumber(code), BoxStyle::Critical, hexText(conv.TypeCode));
    }
    release();
    return code == LinkCode::Ok;
}

bool ConversationSetting::form2CancelCmd_Click()
{
    m_state.DialogState = 1;
    return Form_QueryUnload(true);
}

bool ConversationSetting::Form_QueryUnload(bool byUser)
{
    m_services.prompt.beep();
    if (!byUser || m_state.DialogState == 0)
        return true;
    const Answer answer = m_services.prompt.message(QStringLiteral("To quit setting ?"),
                                                    BoxStyle::YesNo | BoxStyle::Question,
                                                    caption());
    if (answer != Answer::Yes)
        return false;
    if (m_services.clearCheckBox)
        m_services.clearCheckBox(m_state.CurConv);
    return true;
}

} // namespace telviox
