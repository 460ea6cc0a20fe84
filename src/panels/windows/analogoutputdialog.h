#pragma once

#include "panels/analogoutput.h"

#include <QDBusConnection>
#include <QDialog>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace telviox {

// An analog output panel ("frm2011", "frm2028", "frm92028", "frm9028"):
// range, slider and value, the output channel on the four-channel panels,
// the source of another server, and the three buttons. Opened modally by the
// setting dialog; hands its choice back through the shared state.
class AnalogOutputDialog : public QDialog
{
    Q_OBJECT

public:
    AnalogOutputDialog(panels::AnalogPanel panel, SharedState &state, ModuleLibrary &library,
                       Clock &clock, Prompt &prompt, QWidget *parent = nullptr,
                       const QDBusConnection &bus = QDBusConnection::sessionBus());

    const panels::AnalogOutputPanel &logic() const { return m_logic; }

    // The close box and Escape: the setting dialog learns the panel was
    // closed without a choice.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildControls(const QDBusConnection &bus);
    void showRange();
    void showPosition();
    void finish();

    panels::AnalogOutputPanel m_logic;
    SharedState &m_state;
    bool m_finished = false;
    bool m_activated = false;
    bool m_syncing = false;

    QGroupBox *m_frame2 = nullptr;
    std::array<QRadioButton *, 3> m_option1{};
    std::array<QRadioButton *, 4> m_option2{};
    QSlider *m_slider = nullptr;
    std::array<QLabel *, 4> m_rangeLabels{}; // Label9 to Label12
    QLineEdit *m_outputText = nullptr;
    std::array<QLineEdit *, 3> m_source{};   // Text1 to Text3
};

} // namespace telviox
