#include "panels/diopanel.h"

#include "conversations/sharedstate.h"
#include "core/prompt.h"
#include "core/textutil.h"
#include "device/seriallink.h"

#include <algorithm>

namespace telviox::panels {

namespace {

constexpr int StatusTimeoutMs = 100;
const QString ErrorText = QStringLiteral("Error !!!");

// The stand-alone panel knows models by four characters; the slot panel keeps
// a fifth for the 92000 family.
QString panelModel(const QString &name, catalogue::DioPanel kind)
{
    const QString trimmed = name.trimmed();
    return kind == catalogue::DioPanel::Standalone ? trimmed.left(4)
                                                   : catalogue::normaliseName(trimmed);
}

QString hexText(quint16 value)
{
    return textutil::hexString(value);
}

} // namespace

DioPanel::DioPanel(SharedState &state, SerialLink &link, Prompt &prompt, catalogue::DioPanel kind)
    : m_state(state), m_link(link), m_prompt(prompt), m_kind(kind)
{
    m_inState.fill(DioBit::Absent);
    m_outState.fill(DioBit::Absent);
}

QString DioPanel::caption() const
{
    return QStringLiteral("Setting Configuration for ") + m_state.ModelName;
}

QString DioPanel::layoutModel() const
{
    return panelModel(m_state.ModelName, m_kind);
}

QStringList DioPanel::channelEntries() const
{
    QStringList entries{QStringLiteral("HEX")};
    for (int bit = 0; bit < m_channels.bitsListed; ++bit)
        entries << QString::number(bit);
    return entries;
}

void DioPanel::Form_Load()
{
    m_channels = catalogue::dioPanelChannels(layoutModel(), m_kind);
    const auto lay = [](DioBits &bits, int present) {
        for (int n = 0; n < int(bits.size()); ++n)
            bits[size_t(n)] = n < present ? DioBit::Off : DioBit::Absent;
    };
    lay(m_inState, m_channels.inputs);
    lay(m_outState, m_channels.outputs);

    m_moduleAddr = quint8(found().Address);
    m_readBackData = 0;
    m_assignData = 0;
    Run20DX();
}

void DioPanel::Form_Activate()
{
    if (m_state.PanelFromFound == 1)
        Run20DX();
}

const FoundRecord &DioPanel::found() const
{
    // An index the list never offered names no module: an empty record, whose
    // rate no port opens at.
    static const FoundRecord none;
    const int index = m_state.FoundIndex;
    return index >= 0 && index < FoundRecordCount ? m_state.Found.Records[size_t(index)] : none;
}

QByteArray DioPanel::statusCommand() const
{
    QByteArray command = '$' + textutil::hexByte(m_moduleAddr);
    const QString name = found().ModelName.trimmed();
    if (m_kind == catalogue::DioPanel::Slot && !name.startsWith(QLatin1String("92")))
        command += 'S' + QByteArray::number(found().Slot);
    return command + '6';
}

LinkRecord &DioPanel::currentLink()
{
    // Only conversations 0 to 31 have a source; entry 32 is the settings entry,
    // and a choice made for no conversation lands nowhere.
    const int index = m_state.CurConv;
    if (index >= 0 && index < ConvCount)
        return m_state.Link[size_t(index)];
    m_nowhere = {};
    return m_nowhere;
}

void DioPanel::releasePort(qint32 foundBaud)
{
    // A port the server had open stays open at its rate: closing it under the
    // running poll cycle would fail every exchange after.
    if (foundBaud > 0)
        m_link.Open_Com(m_state.ComPort, foundBaud, 8, 0, 0);
    else
        m_link.Close_Com(m_state.ComPort);
}

void DioPanel::fail(qint32 foundBaud)
{
    m_prompt.beep();
    m_inLabel = ErrorText;
    releasePort(foundBaud);
}

void DioPanel::show(DioBits &bits, int present, quint16 value, QString &label)
{
    for (int n = 0; n < present && n < int(bits.size()); ++n)
        bits[size_t(n)] = (value >> n) & 1u ? DioBit::On : DioBit::Off;
    label = hexText(value);
}

void DioPanel::Run20DX()
{
    const FoundRecord &record = found();
    const qint32 foundBaud = m_link.openBaud(m_state.ComPort);
    if (m_link.Open_Com(m_state.ComPort, record.BaudRate, 8, 0, 0) != LinkCode::Ok) {
        fail(foundBaud);
        return;
    }
    m_link.clock().sleep(100);
    QByteArray reply;
    // The status command goes without checksum whatever the module uses.
    if (m_link.Send_Receive_Cmd(m_state.ComPort, statusCommand(), reply, StatusTimeoutMs, 0) !=
        LinkCode::Ok) {
        fail(foundBaud);
        return;
    }
    // One decode table for every panel and the module functions: the bytes of
    // a model sit where the module puts them, whichever panel asks.
    const catalogue::DigitalValues values =
        catalogue::decodeDigitalStatus(panelModel(record.ModelName, m_kind), reply);
    // Patterns are 16-bit bit patterns; bit 15 is an output like the others.
    const auto outputs = quint16(values.outputs);
    const auto inputs = quint16(values.inputs);
    m_readBackData = m_assignData = outputs;
    show(m_inState, m_channels.inputs, inputs, m_inLabel);
    show(m_outState, m_channels.outputs, outputs, m_outLabel);
    releasePort(foundBaud);
}

void DioPanel::outImage_Click(int index)
{
    if (index < 0 || index >= int(m_outState.size()) || m_outState[size_t(index)] == DioBit::Absent)
        return;
    DioBit &bit = m_outState[size_t(index)];
    bit = bit == DioBit::On ? DioBit::Off : DioBit::On;
    m_assignData = 0;
    for (int n = 0; n < int(m_outState.size()); ++n) {
        if (m_outState[size_t(n)] == DioBit::On)
            m_assignData |= quint16(1u << n);
    }
    m_outLabel = hexText(m_assignData);
}

void DioPanel::inCmd_Click()
{
    m_prompt.beep();
    m_state.DioType = 1;
    m_state.DioData = 0;
}

void DioPanel::aiCmd_Click()
{
    m_prompt.beep();
    m_state.DioType = 3;
    m_state.DioData = 0;
}

void DioPanel::readbackCmd_Click()
{
    m_prompt.beep();
    m_state.DioType = 2;
    m_state.DioData = qint16(m_readBackData);
    currentLink().Linked = 0;
}

void DioPanel::assignCmd_Click()
{
    m_prompt.beep();
    m_state.DioType = 2;
    m_state.DioData = qint16(m_assignData);
    currentLink().Linked = 2;
}

void DioPanel::ddeCmd_Click(const QString &service, const QString &topic, const QString &item)
{
    m_prompt.beep();
    m_state.DioType = 2;
    LinkRecord &link = currentLink();
    link.Linked = 1;
    const auto take = [&link](QString &field, const QString &text) {
        if (text.isEmpty())
            link.Linked = 0;
        else
            field = text;
    };
    take(link.Service, service);
    take(link.Topic, topic);
    take(link.Item, item);
}

void DioPanel::Form_QueryUnload(bool closeBox, int channelEntry)
{
    if (closeBox)
        m_state.DialogState = 2;
    m_state.PanelFromFound = 0;
    m_state.OutChannels = qint16(std::max(channelEntry, 0));
}

} // namespace telviox::panels
