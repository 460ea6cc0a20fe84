#pragma once

#include "conversations/sharedstate.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace telviox {

class Clock;
class ModuleLibrary;
class Prompt;
class SerialLink;

// The sub-dialogs and panels the setting dialog opens from its type selection.
enum class SubDialog {
    None,
    Channels1,      // Form3 with CH:0 only
    Channels3,      // Form3 with CH:0 to CH:2
    Channels4,      // Form3 with CH:0 to CH:3
    Channels8,      // Form3 with all eight
    Counter,        // frm2032
    Output2011,     // frm2011
    Output2028Half, // frm2028 with its channels 2 and 3 hidden
    Output2028,     // frm2028
    Output92028,    // frm92028
    Output9K,       // the 9000-family four-channel panel
    Dio,            // frmDIO
    Dio9K,          // frmDIO9K
};
SubDialog subDialogOfEntry(int entry);
// Check boxes Form3 shows for a sub-dialog; 0 for the others.
int shownChannels(SubDialog dialog);

// Module kind of a setting list entry: what OK writes into the conversation.
enum class ModuleKind { SingleInput, EightInput, SingleOutput, MultiOutput, Counter, Digital, Other };
ModuleKind kindOfEntry(int entry);

// The read-back OK performs for an entry before accepting it.
enum class ReadBack { None, Analog, Analog9K, Analog92K, Digital, Digital9K, Digital92K };
ReadBack readBackOfEntry(int entry);

// The dialog's control values: what the window shows and the operator edits.
// Entries are -1 when none is selected.
struct SettingFields
{
    QString typeText;
    int typeEntry = -1;
    QString baudText;
    int baudEntry = -1;
    QString addressText;
    QString checksumText;
    int checksumEntry = -1;
    QString slotText;
};

struct SettingServices
{
    SharedState &state;
    Prompt &prompt;
    Clock &clock;
    SerialLink &link;
    ModuleLibrary &library;
    // Shows a sub-dialog modally; returns when it is closed.
    std::function<void(SubDialog)> openSubDialog;
    // Clears the check box of a conversation on the Establish Conversation window.
    std::function<void(int index)> clearCheckBox;
};

// The conversation setting dialog ("Form2") without its widgets: the window
// mirrors fields() and forwards its events here.
class ConversationSetting
{
public:
    explicit ConversationSetting(SettingServices services);

    static QString caption() { return QStringLiteral("Setting 2000 Module Configuration"); }
    static const std::array<qint32, 8> &baudRates();
    static QStringList baudTexts();
    static QStringList checksumTexts();
    // Reads leading hexadecimal digits (after blanks); anything else gives 0.
    // Values too large for the record are held at its maximum.
    static qint16 hexNumber(const QString &text);
    // Reads an optional sign and leading decimal digits; anything else gives 0.
    static qint16 decimalNumber(const QString &text);
    static QString hexText(qint32 value);

    SettingFields &fields() { return m_fields; }
    const QStringList &foundLines() const { return m_foundLines; }

    void Form_Load();
    void Form_Activate();
    // The type box's entry was chosen, by the operator or by code.
    void form2typeCombo_Click(int entry);
    void moduleList_Click(int line);
    void moduleList_DblClick();
    // True when the dialog is to close.
    bool form2okCmd_Click();
    // Cancel unloads the dialog, which asks the close question: true to close.
    bool form2CancelCmd_Click();
    // The close question; byUser is false for closes the program or the
    // system asks for, which are let through.
    bool Form_QueryUnload(bool byUser = true);

private:
    void showBaud(qint32 rate, bool keepUnknown);
    void showChecksum(int flag);
    bool readBack(ReadBack kind, ConvRecord &conv);
    void refuse(const QString &text, const QString &title);

    SettingServices m_services;
    SharedState &m_state;
    SettingFields m_fields;
    QStringList m_foundLines;
    bool m_activated = false;
};

} // namespace telviox
