#pragma once

#include "conversations/establishview.h"
#include "conversations/sharedstate.h"

#include <QRect>
#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
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

    // The window's layout is kept in twips; this is their size on screen.
    int twipsToPixels(int twips) const;

    // The description box is shown (whether or not the window itself is).
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
    void placeControls();
    QRect twipsRect(int left, int top, int width, int height) const;
    void Form_Load();
    void Check1_MouseUp(int index, Qt::MouseButton button);
    void HScroll1_Change(int value);
    void hideDescription();

    SharedState &m_state;
    double m_twipsPerPixel = 15.0;
    QGroupBox *m_frame = nullptr;
    std::array<QCheckBox *, ConvCount> m_boxes{};
    QLabel *m_comLabel = nullptr;
    QComboBox *m_comCombo = nullptr;
    QLabel *m_intervalLabel = nullptr;
    QScrollBar *m_scroll = nullptr;
    QLabel *m_minLabel = nullptr;
    QLabel *m_maxLabel = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QPushButton *m_exit = nullptr;
    // Shared by all boxes: every right-click on a ticked box flips it.
    int m_infoToggle = 0;
};

} // namespace telviox
