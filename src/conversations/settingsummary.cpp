#include "conversations/settingsummary.h"

#include "conversations/conversationdescription.h"
#include "conversations/sharedstate.h"
#include "core/printer.h"
#include "core/programnames.h"
#include "core/prompt.h"
#include "core/textutil.h"
#include "device/catalogue.h"

#include <optional>

namespace telviox {

namespace {

const QString CrLf = QStringLiteral("\r\n");
constexpr int ModelColumn = 6;
constexpr int AddressColumn = 13;
constexpr int BaudColumn = 22;
constexpr int OtherColumn = 32;
const QString Continuation = QString(OtherColumn, QLatin1Char(' '));
const QString Rule = QString(49, QLatin1Char('-'));

// Setting list entries with a text of their own.
constexpr int SingleOutputEntry = 7;
constexpr int FourChannelOutputEntry = 9;
constexpr int CounterEntry = 23;
constexpr int SlotInputEntry = 26;

// The 6000-family model that stands in a unit where the 9000-family entry
// `entry` stands; the setting list offers only the 9000 name, files may carry
// either.
bool isSixThousandTwinOf(qint32 typeCode, int entry)
{
    QString name = catalogue::normaliseName(catalogue::listText(entry));
    if (!name.startsWith(QLatin1Char('9')) || name.size() != 4)
        return false;
    name[0] = QLatin1Char('6');
    return catalogue::typeCodeOfName(name) == typeCode;
}

bool isTwinOfAny(qint32 typeCode, int first, int last)
{
    for (int entry = first; entry <= last; ++entry) {
        if (isSixThousandTwinOf(typeCode, entry))
            return true;
    }
    return false;
}

enum class Text {
    AnalogInput,
    ChannelMask,
    SingleOutput,
    FourChannelOutput,
    Counter,
    Digital,
    Other
};

Text textOf(qint32 typeCode)
{
    const std::optional<int> entry = catalogue::listIndexOfTypeCode(typeCode);
    if (!entry) {
        if (isSixThousandTwinOf(typeCode, SlotInputEntry))
            return Text::ChannelMask;
        return isTwinOfAny(typeCode, 35, 47) ? Text::Digital : Text::Other;
    }
    const int e = *entry;
    if (e >= 0 && e <= 3)
        return Text::AnalogInput;
    if (e == 5 || e == 6 || e == SlotInputEntry)
        return Text::ChannelMask;
    if (e == SingleOutputEntry)
        return Text::SingleOutput;
    if (e == FourChannelOutputEntry)
        return Text::FourChannelOutput;
    if (e == CounterEntry)
        return Text::Counter;
    if ((e >= 12 && e <= 15) || e == 18 || e == 22 || (e >= 35 && e <= 47))
        return Text::Digital;
    return Text::Other;
}

// The model column: the model's digits, then "(D)" for the entries offered
// with a display, else blanks, seven characters in all.
QString modelText(qint32 typeCode)
{
    const QString name = catalogue::modelNameOfTypeCode(typeCode);
    const std::optional<int> entry = catalogue::listIndexOfTypeCode(typeCode);
    const bool display = entry && ((*entry >= 0 && *entry <= 3) || *entry == CounterEntry);
    return display ? name + QStringLiteral("(D)") : name;
}

// A column's text padded to its width. Text too long for it is kept whole
// (cutting would show a wrong value) and still parted from the next column.
QString column(const QString &text, int width)
{
    return text.size() <= width ? text.leftJustified(width) : text + QLatin1Char(' ');
}

QString hex16(qint16 value)
{
    return textutil::hexString(quint16(value));
}

// "0#": a value of one decimal digit gets a leading zero; anything else as it is.
QString twoDigits(const QString &text)
{
    return text.size() == 1 && textutil::isDecimalDigit(text.at(0).unicode())
               ? QLatin1Char('0') + text
               : text;
}

QStringList sourceLines(const LinkRecord &link)
{
    return {QStringLiteral("Service:") + link.Service, QStringLiteral("Topic:") + link.Topic,
            QStringLiteral("Item:") + link.Item};
}

QStringList analogOutputLines(const ConvRecord &record, const LinkRecord &link)
{
    switch (link.Linked) {
    case 0:
        return {QStringLiteral("Output ReadBack A/O: ") + singleAsText(record.OutValue) +
                QLatin1Char('V')};
    case 1:
        return sourceLines(link);
    case 2:
        return {QStringLiteral("Output Assign A/O:") + singleAsText(record.OutValue) +
                QLatin1Char('V')};
    default:
        return {};
    }
}

// Output data are a bit pattern: bit 15 is an output, not a sign.
QString outData(const ConvRecord &record)
{
    return QString::number(quint16(record.OutData));
}

QStringList digitalLines(const ConvRecord &record, const LinkRecord &link)
{
    if (record.IoType == 1)
        return {QStringLiteral("Digital Input")};
    switch (link.Linked) {
    case 0:
        return {QStringLiteral("Output ReadBack DO: ") + outData(record)};
    case 1:
        return sourceLines(link);
    case 2:
        return {QStringLiteral("Output Assign DO: ") + outData(record)};
    default:
        return {};
    }
}

QStringList otherLines(const ConvRecord &record, const LinkRecord &link)
{
    switch (textOf(record.TypeCode)) {
    case Text::AnalogInput:
        return {QStringLiteral("Analog Input")};
    case Text::ChannelMask:
        return {QStringLiteral("Analog Input Channels:") + hex16(record.Channels) +
                QStringLiteral("[h]")};
    case Text::SingleOutput:
        return analogOutputLines(record, link);
    case Text::FourChannelOutput:
        return QStringList{QStringLiteral("Output Channel:") + hex16(record.Channels)} +
               analogOutputLines(record, link);
    case Text::Counter:
        return {QStringLiteral("Selected Channels:") + hex16(record.Channels) +
                QStringLiteral("[h]")};
    case Text::Digital:
        return digitalLines(record, link);
    case Text::Other:
        break;
    }
    return {QStringLiteral("Channel:") + twoDigits(hex16(record.Channels)) +
            QStringLiteral("  In/Out Type:") + QString::number(record.IoType) +
            QStringLiteral("  Out Data:") + hex16(record.OutData) + QStringLiteral("  Value:") +
            singleAsText(record.OutValue)};
}

} // namespace

QString settingSummaryEntry(const SharedState &state, int index)
{
    if (index < 0 || index >= ConvCount)
        return {};
    const ConvRecord &record = state.Conv[std::size_t(index)];
    if (record.InUse == 0)
        return {};
    const LinkRecord &link = state.Link[std::size_t(index)];

    const QString head =
        column(QStringLiteral("%1:").arg(index, 2, 10, QLatin1Char('0')), ModelColumn) +
        column(modelText(record.TypeCode), AddressColumn - ModelColumn) +
        column(QString::number(record.Address) + QLatin1Char('[') + hex16(record.Address) +
                   QLatin1Char(']'),
               BaudColumn - AddressColumn) +
        column(QString::number(record.BaudRate), OtherColumn - BaudColumn);

    const QStringList other = otherLines(record, link);
    QString entry = head + other.value(0) + CrLf;
    for (int i = 1; i < other.size(); ++i)
        entry += Continuation + other.at(i) + CrLf;
    return entry;
}

QString settingSummaryText(const SharedState &state)
{
    QString text;
    for (int i = 0; i < ConvCount; ++i)
        text += settingSummaryEntry(state, i);
    return text;
}

QStringList settingSummaryPage(const QString &summaryText)
{
    QStringList lines{Rule, QStringLiteral("Conv  Module  Address: Baud"),
                      QStringLiteral("Index Type:   Dec[Hex] Rate     Other Information"), Rule};
    QString text = summaryText;
    text.replace(CrLf, QStringLiteral("\n"));
    QStringList body = text.split(QLatin1Char('\n'));
    // The last entry's line end closes a line; it opens no empty one.
    if (!body.isEmpty() && body.last().isEmpty())
        body.removeLast();
    lines << body << Rule;
    return lines;
}

SettingSummaryCommands::SettingSummaryCommands(Prompt &prompt, Printer &printer)
    : m_prompt(prompt), m_printer(printer)
{}

void SettingSummaryCommands::print(const QString &summaryText)
{
    m_prompt.beep();
    if (m_prompt.message(QStringLiteral("To Print setting information"),
                         BoxStyle::Question | BoxStyle::YesNo, ProgramTitle) != Answer::Yes)
        return;
    if (!m_printer.print(QStringLiteral("Setting Information"), settingSummaryPage(summaryText)))
        return;
    m_prompt.beep();
    m_prompt.message(QStringLiteral("Print Complete !!!"), BoxStyle::Ok, ProgramTitle);
}

void SettingSummaryCommands::exit()
{
    m_prompt.beep();
}

} // namespace telviox
