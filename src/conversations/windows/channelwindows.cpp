#include "conversations/windows/channelwindows.h"

#include "conversations/channelselection.h"
#include "conversations/sharedstate.h"
#include "core/prompt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace telviox {

namespace {

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The frame of check boxes above, OK and Cancel below on the right.
void arrange(QDialog &dialog, QWidget *frame, QPushButton *ok, QPushButton *cancel)
{
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(frame);
    layout->addLayout(buttons);
}

} // namespace

ChannelSelectionDialog::ChannelSelectionDialog(SharedState &state, Prompt &prompt, int shown,
                                               QWidget *parent)
    : QDialog(parent), m_state(state), m_prompt(prompt), m_shown(qBound(0, shown, 8))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Setting Configuration for ") + m_state.ModelName);
    setModal(true);

    auto *cancel = button(QStringLiteral("form3CancelCommand"), QStringLiteral("&Cancel"), this);
    auto *ok = button(QStringLiteral("form3okCommand"), QStringLiteral("&OK"), this);
    auto *frame = new QGroupBox(QStringLiteral("Channel Selection"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *clear = button(QStringLiteral("form3clearCmd"), QStringLiteral("&Unselect All"), frame);
    auto *all = button(QStringLiteral("form3allCmd"), QStringLiteral("&Select All"), frame);

    auto *grid = new QGridLayout(frame);
    for (int n = 0; n < 8; ++n) {
        auto *box = new QCheckBox(QStringLiteral("CH:%1").arg(n), frame);
        box->setObjectName(QStringLiteral("form3channelCheck(%1)").arg(n));
        box->setVisible(n < m_shown);
        grid->addWidget(box, n % 4, n / 4);
        m_boxes[std::size_t(n)] = box;
    }
    grid->addWidget(all, 0, 2);
    grid->addWidget(clear, 1, 2);

    arrange(*this, frame, ok, cancel);

    connect(all, &QPushButton::clicked, this, &ChannelSelectionDialog::form3allCmd_Click);
    connect(clear, &QPushButton::clicked, this, &ChannelSelectionDialog::form3clearCmd_Click);
    connect(ok, &QPushButton::clicked, this, &ChannelSelectionDialog::form3okCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ChannelSelectionDialog::form3allCmd_Click()
{
    for (int n = 0; n < m_shown; ++n)
        m_boxes[std::size_t(n)]->setChecked(true);
}

void ChannelSelectionDialog::form3clearCmd_Click()
{
    for (QCheckBox *box : m_boxes)
        box->setChecked(false);
}

void ChannelSelectionDialog::form3okCommand_Click()
{
    if (m_shown > 0) {
        std::array<bool, 8> ticked{};
        for (int n = 0; n < 8; ++n)
            ticked[std::size_t(n)] = m_boxes[std::size_t(n)]->isChecked();
        const qint16 mask = channelMask(ticked, m_shown);
        if (mask == 0) {
            m_prompt.beep();
            m_prompt.message(QStringLiteral("Please Select Channels"), BoxStyle::Ok,
                             windowTitle());
            return;
        }
        m_state.SelChannels = mask;
    }
    accept();
}

void ChannelSelectionDialog::closeEvent(QCloseEvent *event)
{
    // The close box tells the setting dialog that no choice was made.
    m_state.DialogState = 2;
    QDialog::closeEvent(event);
}

CounterChannelDialog::CounterChannelDialog(SharedState &state, Prompt &prompt, QWidget *parent)
    : QDialog(parent), m_state(state), m_prompt(prompt)
{
    setObjectName(QStringLiteral("frm2032"));
    setWindowTitle(QStringLiteral("2032/2032D Channel Setting"));
    setModal(true);

    auto *cancel = button(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), this);
    auto *ok = button(QStringLiteral("cmdOK"), QStringLiteral("&OK"), this);
    auto *frame = new QGroupBox(QStringLiteral("Channel Selection:"), this);
    auto *boxes = new QHBoxLayout(frame);
    for (int n = 0; n < 2; ++n) {
        auto *box = new QCheckBox(QStringLiteral("CH:%1").arg(n), frame);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(n));
        boxes->addWidget(box);
        m_boxes[std::size_t(n)] = box;
    }
    arrange(*this, frame, ok, cancel);

    connect(ok, &QPushButton::clicked, this, &CounterChannelDialog::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CounterChannelDialog::cmdOK_Click()
{
    const qint16 mask = counterMask(m_boxes[0]->isChecked(), m_boxes[1]->isChecked());
    if (mask == 0) {
        m_prompt.beep();
        m_prompt.message(QStringLiteral("Please Select Channels !"), BoxStyle::Critical,
                         windowTitle());
        return;
    }
    m_state.CounterChannels = mask;
    accept();
}

} // namespace telviox
