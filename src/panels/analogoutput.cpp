#include "analogoutput.h"

#include "core/clock.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "search/searchtables.h"
#include "server/valuetext.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace telviox::panels {

namespace {

// The single-channel module's ranges, in the order of its decoding table.
const std::vector<OutputRange> SingleChannelRanges = {
    {"Output Range: 0 to 20 mA", "0", "20", "10", "mA", 0.0f, 0.2f},
    {"Output Range: 4 to 20 mA", "4", "20", "12", "mA", 4.0f, 0.16f},
    {"Output Range: 0 to 10 V", "0", "10", "5", "V", 0.0f, 0.1f},
};

// The four-channel modules' ranges, in the order of their decoding table.
const std::vector<OutputRange> FourChannelRanges = {
    {"Output Range: 0 to 20 mA", "0", "20", "10", "mA", 0.0f, 0.1f},
    {"Output Range: 4 to 20 mA", "4", "20", "12", "mA", 4.0f, 0.08f},
    {"Output Range: 0 to 10 V", "0", "10", "5", "V", 0.0f, 0.05f},
    {"Output Range: -10 to 10 V", "-10", "10", "0", "V", -10.0f, 0.1f},
    {"Output Range: 0 to 5 V", "0", "5", "2.5", "V", 0.0f, 0.025f},
    {"Output Range: -5 to 5 V", "-5", "5", "0", "V", -5.0f, 0.05f},
};

const OutputRange FourChannelFallback = {"Output Range: 0 to 10 V", "0", "10", "5", "V", 0.0f,
                                         0.1f};

// The single-channel panel falls back to its 0 to 10 V option.
constexpr int SingleChannelFallbackCode = 2;

search::RangeTable decodingTable(AnalogPanel panel)
{
    return panel == AnalogPanel::SingleChannel ? search::RangeTable::E : search::RangeTable::F;
}

// The model whose type code a panel's read-back names.
const char *readBackModel(AnalogPanel panel)
{
    switch (panel) {
    case AnalogPanel::SingleChannel:
        return "2011";
    case AnalogPanel::Q2000:
        return "2028";
    case AnalogPanel::Slot92000:
        return "92028";
    case AnalogPanel::Slot9000:
        break;
    }
    return "9028";
}

// A float as plain conversion writes it, without the sign blank.
QString floatText(float v)
{
    return QString::number(double(v), 'g', 7);
}

} // namespace

int OutputRange::positions() const
{
    const double span = valuetext::readNumber(QString::fromLatin1(maxText)) - double(rangeMin);
    return int(std::lround(span / double(rangeStep)));
}

const std::vector<OutputRange> &outputRanges(AnalogPanel panel)
{
    return panel == AnalogPanel::SingleChannel ? SingleChannelRanges : FourChannelRanges;
}

const OutputRange *outputRange(AnalogPanel panel, int code)
{
    const auto &ranges = outputRanges(panel);
    const int known = int(std::min(ranges.size(), search::rangeTable(decodingTable(panel)).size()));
    return code >= 0 && code < known ? &ranges[size_t(code)] : nullptr;
}

const OutputRange &fallbackRange(AnalogPanel panel)
{
    return panel == AnalogPanel::SingleChannel ? SingleChannelRanges[SingleChannelFallbackCode]
                                               : FourChannelFallback;
}

std::optional<AnalogPanel> analogPanelOfListEntry(int entry)
{
    switch (entry) {
    case 7:
        return AnalogPanel::SingleChannel;
    case 8:
    case 9:
        return AnalogPanel::Q2000;
    case 28:
    case 29:
    case 30:
        return AnalogPanel::Slot9000;
    case 68:
        return AnalogPanel::Slot92000;
    default:
        return std::nullopt;
    }
}

double positionValue(const OutputRange &range, int position)
{
    // The step is a 32-bit float; its error shows in the values as it does on
    // the modules' own panels (62 steps of 0.2 are 12.4000001...).
    return double(range.rangeMin) + double(position) * double(range.rangeStep);
}

int positionOfValue(const OutputRange &range, double value)
{
    const double exact = (value - double(range.rangeMin)) / double(range.rangeStep);
    if (!std::isfinite(exact))
        return 0;
    // nearbyint rounds halves to even in the default rounding mode.
    const double position = std::nearbyint(std::clamp(exact, 0.0, double(range.positions())));
    return int(position);
}

QString valueText(double value)
{
    const QString digits = valuetext::fixed3(std::fabs(value));
    const QString padded = digits.rightJustified(6, QLatin1Char('0'));
    const bool zero = padded == u"00.000";
    return value < 0 && !zero ? QLatin1Char('-') + padded : padded;
}

AnalogOutputPanel::AnalogOutputPanel(AnalogPanel panel, SharedState &state,
                                     ModuleLibrary &library, Clock &clock, Prompt &prompt)
    : m_panel(panel), m_state(state), m_library(library), m_clock(clock), m_prompt(prompt),
      m_range(&fallbackRange(panel))
{
}

const FoundRecord *AnalogOutputPanel::foundRecord() const
{
    const int index = m_state.FoundIndex;
    if (index < 0 || index >= m_state.Found.FoundCount || index >= FoundRecordCount)
        return nullptr;
    return &m_state.Found.Records[size_t(index)];
}

void AnalogOutputPanel::load()
{
    Q_ASSERT(m_state.CurConv >= 0 && m_state.CurConv < ConvCount);
    const FoundRecord *found = m_state.PanelFromFound != 0 ? foundRecord() : nullptr;

    // The module's name comes from the found record only when the panel was
    // opened from one; otherwise it is the type chosen in the setting dialog,
    // not whatever line of the found list was clicked last.
    const QString name = found ? found->ModelName : m_state.ModelName;
    m_caption = QStringLiteral("Setting ") + name.leftJustified(10, QLatin1Char(' '), true);

    m_channelCount = 1;
    if (m_panel != AnalogPanel::SingleChannel) {
        m_state.OutChannels = 0;
        const catalogue::ModelInfo *model = catalogue::modelInfo(catalogue::normaliseName(m_state.ModelName));
        const bool output = model && model->kind == catalogue::Kind::AnalogOutput;
        m_channelCount = output ? std::clamp(model->channels, 1, 4) : 4;
    }

    m_readBack = false;
    // A found module whose range code this panel does not know cannot be
    // shown on the slider; it is treated like a failed read-back.
    const OutputRange *foundRange = found ? outputRange(m_panel, found->RangeIndex) : nullptr;
    if (foundRange) {
        setRange(*foundRange, found->RangeIndex);
        if (const auto value = readOutput(*found)) {
            m_outputText = floatText(*value);
            m_position = positionOfValue(*m_range, double(*value));
            m_readBack = true;
            return;
        }
    }
    const int fallbackCode = m_panel == AnalogPanel::SingleChannel ? SingleChannelFallbackCode : -1;
    setRange(fallbackRange(m_panel), fallbackCode);
    const float stored = m_state.Conv[size_t(m_state.CurConv)].OutValue;
    m_outputText = floatText(stored);
    m_position = positionOfValue(*m_range, double(stored));
}

std::optional<float> AnalogOutputPanel::readOutput(const FoundRecord &found)
{
    SerialLink &link = m_library.link();
    const int port = m_state.ComPort;
    QByteArray szSend(100, ' ');
    QByteArray szReceive(100, ' ');
    FloatBlock f{};
    qint16 result = link.Open_Com(port, found.BaudRate, 8, 0, 0);
    if (result == 0) {
        m_clock.sleep(100);
        if (m_panel == AnalogPanel::SingleChannel || m_panel == AnalogPanel::Q2000) {
            WordBlock w{};
            w[0] = qint16(port);
            w[1] = found.Address;
            w[2] = qint16(catalogue::typeCodeOfName(QLatin1String(readBackModel(m_panel))));
            w[3] = found.Checksum;
            w[4] = 100;
            w[5] = 0;
            w[6] = 0;
            if (m_panel == AnalogPanel::Q2000)
                w[7] = m_state.OutChannels;
            result = m_library.AnalogOutReadBack(w, f, szSend, szReceive);
        } else {
            DWordBlock w{};
            w[0] = port;
            w[1] = found.Address;
            w[3] = found.Checksum;
            w[4] = 100;
            w[6] = 0;
            if (m_panel == AnalogPanel::Slot92000) {
                w[2] = catalogue::typeCodeOfName(QLatin1String(readBackModel(m_panel)));
                w[5] = 0;
                w[7] = m_state.OutChannels;
                result = m_library.AnalogOutReadBack_92K(w, f, szSend, szReceive);
            } else {
                // The slot module's own model: the 9000 family's outputs
                // differ in their channel count.
                const QString model = catalogue::normaliseName(found.ModelName.trimmed());
                const catalogue::ModelInfo *info = catalogue::modelInfo(model);
                const bool output = info && info->kind == catalogue::Kind::AnalogOutput;
                w[2] = catalogue::typeCodeOfName(output ? model
                                                        : QLatin1String(readBackModel(m_panel)));
                w[5] = m_state.OutChannels;
                w[7] = found.Slot;
                result = m_library.AnalogOutReadBack_9K(w, f, szSend, szReceive);
            }
        }
    }
    if (result != 0) {
        m_prompt.beep();
        link.Close_Com(port);
        return std::nullopt;
    }
    link.Close_Com(port);
    return f[0];
}

void AnalogOutputPanel::setRange(const OutputRange &range, int code)
{
    m_range = &range;
    m_rangeCode = code;
    m_position = std::clamp(m_position, 0, range.positions());
}

void AnalogOutputPanel::chooseRange(int code)
{
    // The four-channel panels show the module's own range; there is nothing
    // to choose.
    if (m_panel != AnalogPanel::SingleChannel)
        return;
    if (const OutputRange *range = outputRange(m_panel, code))
        setRange(*range, code);
}

void AnalogOutputPanel::chooseChannel(int channel)
{
    if (channel >= 0 && channel < m_channelCount)
        m_state.OutChannels = qint16(channel);
}

void AnalogOutputPanel::setPosition(int position)
{
    m_position = std::clamp(position, 0, m_range->positions());
    m_outputText = valueText(positionValue(*m_range, m_position));
}

bool AnalogOutputPanel::enterText(const QString &text)
{
    const QString low = QString::fromLatin1(m_range->minText);
    const QString high = QString::fromLatin1(m_range->maxText);
    const double v = valuetext::readNumber(text.trimmed());
    if (v < valuetext::readNumber(low) || v > valuetext::readNumber(high)) {
        m_prompt.beep();
        m_prompt.message(QStringLiteral("the value must between ") + low + QStringLiteral(" to ") +
                             high,
                         BoxStyle::Critical | BoxStyle::Ok, QStringLiteral("Value error !"));
        m_outputText = valueText(positionValue(*m_range, m_position));
        return false;
    }
    m_outputText = text;
    m_position = positionOfValue(*m_range, v);
    return true;
}

void AnalogOutputPanel::useDdeLink(const QString &service, const QString &topic,
                                   const QString &item)
{
    LinkRecord &link = m_state.Link[size_t(m_state.CurConv)];
    link.Linked = 1;
    if (service.isEmpty() || topic.isEmpty() || item.isEmpty())
        link.Linked = 0;
    if (link.Linked == 1) {
        link.Service = service;
        link.Topic = topic;
        link.Item = item;
    }
    m_prompt.beep();
}

void AnalogOutputPanel::useReadBack()
{
    m_state.Link[size_t(m_state.CurConv)].Linked = 0;
}

void AnalogOutputPanel::useAssigned()
{
    m_state.Link[size_t(m_state.CurConv)].Linked = 2;
    m_state.AssignValue = float(positionValue(*m_range, m_position));
}

void AnalogOutputPanel::close(bool closeBox)
{
    if (closeBox)
        m_state.DialogState = 2;
    m_state.PanelFromFound = 0;
}

} // namespace telviox::panels
