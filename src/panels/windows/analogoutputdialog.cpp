#include "analogoutputdialog.h"

#include "server/windows/ddesourcedialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace telviox {

using panels::AnalogPanel;

namespace {

QString windowName(AnalogPanel panel)
{
    switch (panel) {
    case AnalogPanel::SingleChannel:
        return QStringLiteral("frm2011");
    case AnalogPanel::Q2000:
        return QStringLiteral("frm2028");
    case AnalogPanel::Slot92000:
        return QStringLiteral("frm92028");
    case AnalogPanel::Slot9000:
        break;
    }
    return QStringLiteral("frm9028");
}

template <typename T>
T *named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QPushButton *button(const QString &text, const QString &name, QWidget *parent)
{
    auto *b = named(new QPushButton(text, parent), name);
    // Enter belongs to the text boxes, never to a default button.
    b->setAutoDefault(false);
    return b;
}

} // namespace

AnalogOutputDialog::AnalogOutputDialog(AnalogPanel panel, SharedState &state,
                                       ModuleLibrary &library, Clock &clock, Prompt &prompt,
                                       QWidget *parent, const QDBusConnection &bus)
    : QDialog(parent), m_logic(panel, state, library, clock, prompt), m_state(state)
{
    setObjectName(windowName(panel));
    setModal(true);
    m_logic.load();
    buildControls(bus);
    setWindowTitle(m_logic.caption());
    showRange();
    m_outputText->setText(m_logic.outputText());
    showPosition();
}

void AnalogOutputDialog::buildControls(const QDBusConnection &bus)
{
    const bool single = m_logic.kind() == AnalogPanel::SingleChannel;
    auto *layout = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    auto *frame3 = named(new QGroupBox(this), QStringLiteral("Frame3"));
    auto *frame3Layout = new QVBoxLayout(frame3);
    if (single) {
        const QStringList captions = {QStringLiteral("0 -20 mA"), QStringLiteral("4 -20 mA"),
                                      QStringLiteral("0-10 V")};
        for (int i = 0; i < 3; ++i) {
            m_option1[size_t(i)] = named(new QRadioButton(captions.at(i), frame3),
                                         QStringLiteral("Option1(%1)").arg(i));
            frame3Layout->addWidget(m_option1[size_t(i)]);
            connect(m_option1[size_t(i)], &QRadioButton::clicked, this, [this, i] {
                m_logic.chooseRange(i);
                showRange();
                showPosition();
            });
        }
        top->addWidget(frame3);
    } else {
        // No range options: the range is the module's own.
        frame3->hide();
        auto *frame4 = named(new QGroupBox(tr("Channel to output:"), this),
                             QStringLiteral("Frame4"));
        auto *frame4Layout = new QVBoxLayout(frame4);
        for (int i = 0; i < 4; ++i) {
            auto *option = named(new QRadioButton(QStringLiteral("CH:%1").arg(i), frame4),
                                 QStringLiteral("Option2(%1)").arg(i));
            m_option2[size_t(i)] = option;
            option->setVisible(i < m_logic.channelCount());
            frame4Layout->addWidget(option);
            connect(option, &QRadioButton::clicked, this, [this, i] { m_logic.chooseChannel(i); });
        }
        m_option2[0]->setChecked(true);
        top->addWidget(frame4);
    }

    m_frame2 = named(new QGroupBox(tr("Output value:"), this), QStringLiteral("Frame2"));
    auto *valueLayout = new QGridLayout(m_frame2);
    m_slider = named(new QSlider(Qt::Horizontal, m_frame2), QStringLiteral("Slider1"));
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setSingleStep(1);
    valueLayout->addWidget(m_slider, 0, 0, 1, 4);
    const QStringList labelNames = {QStringLiteral("Label9"), QStringLiteral("Label10"),
                                    QStringLiteral("Label11"), QStringLiteral("Label12")};
    for (int i = 0; i < 4; ++i)
        m_rangeLabels[size_t(i)] = named(new QLabel(m_frame2), labelNames.at(i));
    valueLayout->addWidget(m_rangeLabels[0], 1, 0, Qt::AlignLeft);
    valueLayout->addWidget(m_rangeLabels[2], 1, 1, 1, 2, Qt::AlignHCenter);
    valueLayout->addWidget(m_rangeLabels[1], 1, 3, Qt::AlignRight);
    valueLayout->addWidget(m_rangeLabels[3], 2, 3, Qt::AlignRight);
    valueLayout->addWidget(named(new QLabel(tr("Output value:"), m_frame2),
                                 QStringLiteral("Label7")),
                           3, 0, 1, 2);
    m_outputText = named(new QLineEdit(m_frame2), QStringLiteral("outputText"));
    valueLayout->addWidget(m_outputText, 3, 2, 1, 2);
    top->addWidget(m_frame2, 1);
    layout->addLayout(top);

    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        if (m_syncing)
            return;
        m_logic.setPosition(position);
        m_outputText->setText(m_logic.outputText());
    });
    connect(m_outputText, &QLineEdit::returnPressed, this, [this] {
        m_logic.enterText(m_outputText->text());
        m_outputText->setText(m_logic.outputText());
        showPosition();
    });

    auto *buttons = new QHBoxLayout;
    auto *readBack = button(tr("Output ReadBack Value"), QStringLiteral("Command2"), this);
    auto *assigned = button(tr("Output Assigned Value"), QStringLiteral("Command3"), this);
    buttons->addWidget(readBack);
    buttons->addWidget(assigned);
    layout->addLayout(buttons);

    auto *frame1 = named(new QGroupBox(tr("To output value via DDE link "), this),
                         QStringLiteral("Frame1"));
    auto *sourceLayout = new QGridLayout(frame1);
    const QStringList captions = {tr("Service:"), tr("Topic:"), tr("Item:")};
    for (int i = 0; i < 3; ++i) {
        sourceLayout->addWidget(named(new QLabel(captions.at(i), frame1),
                                      QStringLiteral("Label%1").arg(i + 1)),
                                i, 0);
        m_source[size_t(i)] = named(new QLineEdit(frame1), QStringLiteral("Text%1").arg(i + 1));
        sourceLayout->addWidget(m_source[size_t(i)], i, 1);
        // Enter moves on, as Tab does.
        connect(m_source[size_t(i)], &QLineEdit::returnPressed, this,
                [this] { focusNextChild(); });
    }
    sourceLayout->addWidget(DdeSourceDialog::makeBrowseButton(m_source[0], m_source[1],
                                                              m_source[2], frame1, bus),
                            0, 2);
    auto *viaLink = button(tr("Output via DDE link"), QStringLiteral("Command1"), frame1);
    sourceLayout->addWidget(viaLink, 2, 2);
    layout->addWidget(frame1);

    connect(viaLink, &QPushButton::clicked, this, [this] {
        m_logic.useDdeLink(m_source[0]->text(), m_source[1]->text(), m_source[2]->text());
        finish();
    });
    connect(readBack, &QPushButton::clicked, this, [this] {
        m_logic.useReadBack();
        finish();
    });
    connect(assigned, &QPushButton::clicked, this, [this] {
        m_logic.useAssigned();
        finish();
    });
}

void AnalogOutputDialog::showRange()
{
    const panels::OutputRange &range = m_logic.range();
    m_frame2->setTitle(QString::fromLatin1(range.caption));
    const std::array<const char *, 4> texts = {range.minText, range.maxText, range.midText,
                                               range.unit};
    for (size_t i = 0; i < texts.size(); ++i)
        m_rangeLabels[i]->setText(QString::fromLatin1(texts[i]));
    const int positions = range.positions();
    m_syncing = true;
    m_slider->setRange(0, positions);
    m_slider->setPageStep(positions);
    m_slider->setTickInterval(std::max(1, positions / 5));
    m_syncing = false;
    const int code = m_logic.rangeCode();
    if (code >= 0 && code < int(m_option1.size()) && m_option1[size_t(code)])
        m_option1[size_t(code)]->setChecked(true);
}

void AnalogOutputDialog::showPosition()
{
    m_syncing = true;
    m_slider->setValue(m_logic.position());
    m_syncing = false;
}

void AnalogOutputDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_activated)
        return;
    m_activated = true;
    const LinkRecord &link = m_state.Link[size_t(m_state.CurConv)];
    if (link.Linked != 0) {
        m_source[0]->setText(link.Service);
        m_source[1]->setText(link.Topic);
        m_source[2]->setText(link.Item);
    }
    m_source[0]->setFocus();
}

void AnalogOutputDialog::finish()
{
    m_finished = true;
    m_logic.close(false);
    accept();
}

void AnalogOutputDialog::reject()
{
    if (!m_finished) {
        m_finished = true;
        m_logic.close(true);
    }
    QDialog::reject();
}

} // namespace telviox
