#include "conversations/conversationdescription.h"

#include "core/textutil.h"
#include "device/catalogue.h"

#include <QtGlobal>
#include <optional>

namespace telviox {

namespace {

const QString CrLf = QStringLiteral("\r\n");

// Setting list entries whose conversations get lines of their own.
constexpr int SingleOutputEntry = 7;
constexpr int FourChannelOutputEntry = 9;
constexpr int CounterEntry = 23;

bool isAnalogInputEntry(int entry)
{
    return entry >= 0 && entry <= 3;
}
bool isChannelInputEntry(int entry)
{
    return entry == 5 || entry == 6;
}
bool isDigitalEntry(int entry)
{
    return (entry >= 12 && entry <= 15) || entry == 18 || entry == 22;
}

QString hex16(qint16 value)
{
    return textutil::hexString(quint16(value));
}
QString hex32(qint32 value)
{
    return textutil::hexString(quint32(value));
}

QString line(const QString &text)
{
    return text + CrLf;
}

QString sourceLines(const LinkRecord &link)
{
    return line(QStringLiteral("Service: ") + link.Service) +
           line(QStringLiteral("Topic: ") + link.Topic) +
           line(QStringLiteral("Item: ") + link.Item);
}

QString analogOutputLines(const ConvRecord &record, const LinkRecord &link)
{
    switch (link.Linked) {
    case 0:
        return line(QStringLiteral("Output ReadBack A/O: ") + singleAsText(record.OutValue) +
                    QLatin1Char('V'));
    case 1:
        return sourceLines(link);
    case 2:
        return line(QStringLiteral("Output Assign A/O: ") + singleAsText(record.OutValue) +
                    QLatin1Char('V'));
    default:
        return {};
    }
}

QString digitalLines(const ConvRecord &record, const LinkRecord &link)
{
    if (record.IoType == 1)
        return line(QStringLiteral("Digital Input"));
    switch (link.Linked) {
    case 0:
        return line(QStringLiteral("Output ReadBack DO: ") + QString::number(record.OutData));
    case 1:
        return sourceLines(link);
    case 2:
        return line(QStringLiteral("Output Assign DO: ") + QString::number(record.OutData));
    default:
        return {};
    }
}

} // namespace

QString singleAsText(float value)
{
    // Seven significant digits are all a single holds; very large or small
    // values fall back to an exponent, written with a capital E.
    return QString::number(double(value), 'g', 7).replace(QLatin1Char('e'), QLatin1Char('E'));
}

QString conversationDescription(const SharedState &state, int index)
{
    // An index from outside the table names no conversation.
    if (index < 0 || index >= ConvCount)
        return {};
    const ConvRecord &record = state.Conv[std::size_t(index)];
    const LinkRecord &link = state.Link[std::size_t(index)];

    QString text =
        line(QStringLiteral("Module Type:") + hex32(record.TypeCode)) +
        line(QStringLiteral("Baud Rate:") + QString::number(record.BaudRate)) +
        line(QStringLiteral("Module Address:") + hex16(record.Address) + QStringLiteral("[h]"));

    const std::optional<int> entry = catalogue::listIndexOfTypeCode(record.TypeCode);
    if (!entry)
        return text;
    if (isAnalogInputEntry(*entry)) {
        text += line(QStringLiteral("Analog Input"));
    } else if (isChannelInputEntry(*entry) || *entry == CounterEntry) {
        text += line(QStringLiteral("Channel Selection:") + hex16(record.Channels) +
                     QStringLiteral("[h]"));
    } else if (*entry == SingleOutputEntry) {
        text += analogOutputLines(record, link);
    } else if (*entry == FourChannelOutputEntry) {
        text += line(QStringLiteral("Output Channel:") + hex16(record.Channels));
        text += analogOutputLines(record, link);
    } else if (isDigitalEntry(*entry)) {
        text += digitalLines(record, link);
    }
    return text;
}

} // namespace telviox
