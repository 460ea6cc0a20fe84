#pragma once

#include "conversations/conversationsetting.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace telviox {

// The conversation setting dialog ("Form2"): mirrors ConversationSetting's
// fields and hands its events to it.
class SettingWindow final : public QDialog
{
    Q_OBJECT

public:
    explicit SettingWindow(SettingServices services, QWidget *parent = nullptr);
    ~SettingWindow() override;

    ConversationSetting &logic() { return m_logic; }
    // Escape counts as the close box: it asks the close question.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void showFields();
    void form2typeCombo_Click(int entry);
    void form2okCmd_Click();
    void form2CancelCmd_Click();

    ConversationSetting m_logic;
    QComboBox *m_type = nullptr;
    QComboBox *m_baud = nullptr;
    QLineEdit *m_address = nullptr;
    QComboBox *m_checksum = nullptr;
    QLineEdit *m_slot = nullptr;
    QListWidget *m_modules = nullptr;
    bool m_closing = false;
};

} // namespace telviox
