#pragma once

#include "conversations/establishview.h"
#include "conversations/sharedstate.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace telviox {

class Prompt;

// The Establish Conversation window ("Form1"): one check box per conversation,
// the COM port in use, the poll interval scroll bar and a short description of
// a conversation on a right-click. Only a mouse release on a box acts on the
// table; ticks set from code or by the keyboard change the tick alone.
class EstablishWindow : public QWidget, public EstablishView
{
    Q_OBJECT

public:
    EstablishWindow(SharedState &state, Prompt &prompt, QWidget *parent = nullptr);
    ~EstablishWindow() override;

    // EstablishView
    void setChecked(int index, bool ticked) override;
    bool isChecked(int index) const override;
    void setIntervalValue(int value) override;

    int intervalValue() const;
    // Selects "COMn" in form1comCombo (the search settings write it); ports
    // outside 1..255 select nothing.
    void selectComPort(int port);

    // The description box is shown.
    bool descriptionVisible() const;

signals:
    // A left release left the box of conversation `index` ticked: the setting
    // dialog for it is due (CurConv is already `index`).
    void settingDialogRequested(int index);
    // The "E&xit" button: the main window's File Exit.
    void exitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void Check1_MouseUp(int index, Qt::MouseButton button);
    void HScroll1_Change(int value);
    void hideDescription();

    SharedState &m_state;
    std::array<QCheckBox *, ConvCount> m_boxes{};
    QComboBox *m_comCombo = nullptr;
    QScrollBar *m_scroll = nullptr;
    QLabel *m_intervalLabel = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QPushButton *m_exit = nullptr;
    // Shared by all boxes: every right-click on a ticked box flips it.
    int m_infoToggle = 0;
};

} // namespace telviox
