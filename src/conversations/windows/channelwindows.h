#pragma once

#include <QDialog>
#include <array>

class QCheckBox;

namespace telviox {

class Prompt;
struct SharedState;

// The channel selection dialog ("Form3"): eight boxes of which the first
// `shown` are offered; OK hands the mask back in SelChannels.
class ChannelSelectionDialog final : public QDialog
{
    Q_OBJECT

public:
    ChannelSelectionDialog(SharedState &state, Prompt &prompt, int shown,
                           QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void form3allCmd_Click();
    void form3clearCmd_Click();
    void form3okCommand_Click();

    SharedState &m_state;
    Prompt &m_prompt;
    int m_shown;
    std::array<QCheckBox *, 8> m_boxes{};
};

// The counter channel dialog ("frm2032"): OK hands the mask back in
// CounterChannels.
class CounterChannelDialog final : public QDialog
{
    Q_OBJECT

public:
    CounterChannelDialog(SharedState &state, Prompt &prompt, QWidget *parent = nullptr);

private:
    void cmdOK_Click();

    SharedState &m_state;
    Prompt &m_prompt;
    std::array<QCheckBox *, 2> m_boxes{};
};

} // namespace telviox
