#pragma once

#include "panels/diopanel.h"

#include <QDialog>
#include <QIcon>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace telviox {

class Prompt;
class SerialLink;
struct SharedState;

// A digital I/O panel: "frmDIO" for Q-2000/3000 modules, "frmDIO9K" for the
// 9000, 6000 and 92000 families. Modal; what it chose is in the shared state
// when it closes.
class DioPanelWindow final : public QDialog
{
    Q_OBJECT

public:
    // folder: the program folder; the bit icons on2.ico, off2.ico and no2.ico
    // are shipped files (an own copy there first).
    DioPanelWindow(SharedState &state, SerialLink &link, Prompt &prompt, const QString &folder,
                   catalogue::DioPanel kind, QWidget *parent = nullptr);

    const panels::DioPanel &panel() const { return m_panel; }
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void outImage_Click(int index);
    void closeByButton(void (panels::DioPanel::*button)());
    void ddeCmd_Click();
    void showState();

    panels::DioPanel m_panel;
    QIcon m_on, m_off, m_absent;
    std::array<QToolButton *, 16> m_outImage{};
    std::array<QLabel *, 16> m_inImage{};
    QLabel *m_outLabel = nullptr;
    QLabel *m_inLabel = nullptr;
    QPushButton *m_aiCmd = nullptr;
    QComboBox *m_channelCombo = nullptr;
    QLineEdit *m_text[3] = {nullptr, nullptr, nullptr};
    bool m_byButton = false;
    bool m_unloaded = false;
    bool m_activated = false;
};

// Opens the panel the chosen model belongs to, modally.
void showDioPanel(SharedState &state, SerialLink &link, Prompt &prompt, const QString &folder,
                  catalogue::DioPanel kind, QWidget *parent);

} // namespace telviox
