#pragma once

#include "conversations/sharedstate.h"
#include "device/catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>

namespace telviox {

class Prompt;
class SerialLink;

namespace panels {

// One of the 16 input or output positions of a digital I/O panel.
enum class DioBit : quint8 { Off = 0, On = 1, Absent = 2 };
using DioBits = std::array<DioBit, 16>;

// What a digital I/O panel does, without its window: the channel layout of the
// chosen model, the status read from the found module, the output pattern
// composed by clicking, and what its buttons hand back to the setting dialog.
// The stand-alone panel serves Q-2000/3000 modules, the slot panel 9000, 6000
// and 92000 modules.
class DioPanel
{
public:
    DioPanel(SharedState &state, SerialLink &link, Prompt &prompt, catalogue::DioPanel kind);

    // The layout, the channel list, then the first read of the module.
    void Form_Load();
    // A panel opened for a found module reads it once more when it shows.
    void Form_Activate();
    // Reads the module's digital status and shows it; "Error !!!" when the
    // port or the command fails, the shown state then staying as it was.
    void Run20DX();
    // Toggles an output that is present; nothing is sent.
    void outImage_Click(int index);

    // The buttons; each hands its choice back (the window closes afterwards).
    void inCmd_Click();
    void aiCmd_Click();
    void readbackCmd_Click();
    void assignCmd_Click();
    void ddeCmd_Click(const QString &service, const QString &topic, const QString &item);
    // Every close: closeBox tells the close box from a button; channelEntry is
    // the chosen entry of the channel list (0 the whole port, n bit n - 1).
    void Form_QueryUnload(bool closeBox, int channelEntry);

    QString caption() const;
    // The model the layout is of: five characters for a 92000 name, else four.
    QString layoutModel() const;
    const catalogue::PanelChannels &channels() const { return m_channels; }
    QStringList channelEntries() const;
    bool analogInputAvailable() const { return m_channels.analogInput; }
    const DioBits &inState() const { return m_inState; }
    const DioBits &outState() const { return m_outState; }
    QString inLabel() const { return m_inLabel; }
    QString outLabel() const { return m_outLabel; }
    quint16 readBackData() const { return m_readBackData; }
    quint16 assignData() const { return m_assignData; }
    // The status command for the found module ("$1A6", "$01S36").
    QByteArray statusCommand() const;

private:
    const FoundRecord &found() const;
    LinkRecord &currentLink();
    void releasePort(qint32 foundBaud);
    void fail(qint32 foundBaud);
    void show(DioBits &bits, int present, quint16 value, QString &label);

    SharedState &m_state;
    SerialLink &m_link;
    Prompt &m_prompt;
    catalogue::DioPanel m_kind;
    catalogue::PanelChannels m_channels;
    DioBits m_inState{};
    DioBits m_outState{};
    QString m_inLabel = QStringLiteral("00");
    QString m_outLabel = QStringLiteral("00");
    quint8 m_moduleAddr = 0;
    quint16 m_readBackData = 0;
    quint16 m_assignData = 0;
    LinkRecord m_nowhere;
};

} // namespace panels
} // namespace telviox
