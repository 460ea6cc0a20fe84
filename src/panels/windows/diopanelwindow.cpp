#include "panels/windows/diopanelwindow.h"

#include "conversations/windows/windowplacement.h"
#include "core/shippedfiles.h"
#include "server/windows/ddesourcedialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace telviox {

namespace {

constexpr int BitCount = 16;
constexpr int IconSize = 24;

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The bit numbers over a row of icons: bit 15 (MSB) on the left.
int columnOf(int bit)
{
    return BitCount - 1 - bit;
}

// "Label3" is bit 0; bits 1 to 15 are Label6 to Label20.
QString bitLabelName(int bit)
{
    return bit == 0 ? QStringLiteral("Label3") : QStringLiteral("Label%1").arg(bit + 5);
}

} // namespace

DioPanelWindow::DioPanelWindow(SharedState &state, SerialLink &link, Prompt &prompt,
                               const QString &folder, catalogue::DioPanel kind, QWidget *parent)
    : QDialog(parent), m_panel(state, link, prompt, kind)
{
    setObjectName(kind == catalogue::DioPanel::Standalone ? QStringLiteral("frmDIO")
                                                          : QStringLiteral("frmDIO9K"));
    m_on = QIcon(shippedFilePath(QStringLiteral("on2.ico"), folder));
    m_off = QIcon(shippedFilePath(QStringLiteral("off2.ico"), folder));
    m_absent = QIcon(shippedFilePath(QStringLiteral("no2.ico"), folder));

    // Output side
    auto *outFrame = new QGroupBox(QStringLiteral("Digital Output:"), this);
    outFrame->setObjectName(QStringLiteral("outFrame"));
    auto *outGrid = new QGridLayout(outFrame);
    outGrid->addWidget(label(QStringLiteral("Label25"), QStringLiteral("MSB"), outFrame), 1, 0);
    for (int bit = 0; bit < BitCount; ++bit) {
        outGrid->addWidget(label(bitLabelName(bit), QString::number(bit), outFrame), 0,
                           columnOf(bit) + 1, Qt::AlignCenter);
        auto *image = new QToolButton(outFrame);
        image->setObjectName(QStringLiteral("outImage(%1)").arg(bit));
        image->setAutoRaise(true);
        image->setIconSize(QSize(IconSize, IconSize));
        connect(image, &QToolButton::clicked, this, [this, bit] { outImage_Click(bit); });
        outGrid->addWidget(image, 1, columnOf(bit) + 1, Qt::AlignCenter);
        m_outImage[size_t(bit)] = image;
    }
    outGrid->addWidget(label(QStringLiteral("Label24"), QStringLiteral("LSB"), outFrame), 1,
                       BitCount + 1);
    auto *outRow = new QHBoxLayout;
    outRow->addWidget(label(QStringLiteral("Label22"), QStringLiteral("Value:"), outFrame));
    m_outLabel = label(QStringLiteral("outLabel"), QStringLiteral("00"), outFrame);
    m_outLabel->setMinimumWidth(60);
    outRow->addWidget(m_outLabel);
    outRow->addStretch();
    QPushButton *readbackCmd =
        button(QStringLiteral("readbackCmd"), QStringLiteral("Output Read Back Value"), outFrame);
    QPushButton *assignCmd =
        button(QStringLiteral("assignCmd"), QStringLiteral("Output Assigned Value"), outFrame);
    outRow->addWidget(readbackCmd);
    outRow->addWidget(assignCmd);
    outGrid->addLayout(outRow, 2, 0, 1, BitCount + 2);

    // Input side
    auto *inFrame = new QGroupBox(QStringLiteral("Digital Input:"), this);
    inFrame->setObjectName(QStringLiteral("inFrame"));
    auto *inGrid = new QGridLayout(inFrame);
    inGrid->addWidget(label(QStringLiteral("Label23"), QStringLiteral("MSB"), inFrame), 0, 0);
    for (int bit = 0; bit < BitCount; ++bit) {
        auto *image = new QLabel(inFrame);
        image->setObjectName(QStringLiteral("inImage(%1)").arg(bit));
        inGrid->addWidget(image, 0, columnOf(bit) + 1, Qt::AlignCenter);
        m_inImage[size_t(bit)] = image;
    }
    inGrid->addWidget(label(QStringLiteral("Label2"), QStringLiteral("LSB"), inFrame), 0,
                      BitCount + 1);
    auto *inRow = new QHBoxLayout;
    inRow->addWidget(label(QStringLiteral("Label1"), QStringLiteral("Value:"), inFrame));
    m_inLabel = label(QStringLiteral("inLabel"), QStringLiteral("00"), inFrame);
    m_inLabel->setMinimumWidth(60);
    inRow->addWidget(m_inLabel);
    inRow->addStretch();
    QPushButton *inCmd = button(QStringLiteral("inCmd"), QStringLiteral("Digital Input"), inFrame);
    m_aiCmd = button(QStringLiteral("aiCmd"), QStringLiteral("Analog Input"), inFrame);
    inRow->addWidget(inCmd);
    inRow->addWidget(m_aiCmd);
    inGrid->addLayout(inRow, 1, 0, 1, BitCount + 2);

    // Source on the bus
    auto *ddeFrame = new QGroupBox(QStringLiteral("To output value via DDE link"), this);
    ddeFrame->setObjectName(QStringLiteral("ddeFrame"));
    auto *ddeGrid = new QGridLayout(ddeFrame);
    ddeGrid->addWidget(
        label(QStringLiteral("Label4"), QStringLiteral("Channel Select :"), ddeFrame), 0, 0);
    m_channelCombo = new QComboBox(ddeFrame);
    m_channelCombo->setObjectName(QStringLiteral("channelCombo"));
    ddeGrid->addWidget(m_channelCombo, 0, 1);
    const char *names[3][2] = {
        {"ServiceLabel", "Service:"}, {"topicLabel", "Topci:"}, {"itemLabel", "Item:"}};
    for (int i = 0; i < 3; ++i) {
        ddeGrid->addWidget(label(QLatin1String(names[i][0]), QLatin1String(names[i][1]), ddeFrame),
                           i + 1, 0);
        m_text[i] = new QLineEdit(ddeFrame);
        m_text[i]->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        ddeGrid->addWidget(m_text[i], i + 1, 1);
        // Enter moves on to the next box, as a form is filled in.
        connect(m_text[i], &QLineEdit::returnPressed, this, [this] { focusNextChild(); });
    }
    // A source on the bus can be picked instead of typed; the boxes stay editable.
    QPushButton *browse =
        DdeSourceDialog::makeBrowseButton(m_text[0], m_text[1], m_text[2], ddeFrame);
    browse->setAutoDefault(false);
    ddeGrid->addWidget(browse, 1, 2);
    QPushButton *ddeCmd =
        button(QStringLiteral("ddeCmd"), QStringLiteral("Output via DDE link"), ddeFrame);
    ddeGrid->addWidget(ddeCmd, 4, 1, 1, 2, Qt::AlignRight);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(outFrame);
    layout->addWidget(inFrame);
    layout->addWidget(ddeFrame);

    connect(inCmd, &QPushButton::clicked, this,
            [this] { closeByButton(&panels::DioPanel::inCmd_Click); });
    connect(m_aiCmd, &QPushButton::clicked, this,
            [this] { closeByButton(&panels::DioPanel::aiCmd_Click); });
    connect(readbackCmd, &QPushButton::clicked, this,
            [this] { closeByButton(&panels::DioPanel::readbackCmd_Click); });
    connect(assignCmd, &QPushButton::clicked, this,
            [this] { closeByButton(&panels::DioPanel::assignCmd_Click); });
    connect(ddeCmd, &QPushButton::clicked, this, &DioPanelWindow::ddeCmd_Click);

    // Form_Load
    m_panel.Form_Load();
    setWindowTitle(m_panel.caption());
    m_aiCmd->setEnabled(m_panel.analogInputAvailable());
    m_channelCombo->addItems(m_panel.channelEntries());
    m_channelCombo->setCurrentIndex(0);
    showState();
}

void DioPanelWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen(*this);
    if (!m_activated) {
        m_activated = true;
        m_panel.Form_Activate();
        showState();
    }
}

void DioPanelWindow::showState()
{
    const auto iconOf = [this](panels::DioBit bit) -> const QIcon & {
        return bit == panels::DioBit::On ? m_on : bit == panels::DioBit::Off ? m_off : m_absent;
    };
    for (int bit = 0; bit < BitCount; ++bit) {
        m_outImage[size_t(bit)]->setIcon(iconOf(m_panel.outState()[size_t(bit)]));
        m_inImage[size_t(bit)]->setPixmap(
            iconOf(m_panel.inState()[size_t(bit)]).pixmap(IconSize, IconSize));
    }
    m_outLabel->setText(m_panel.outLabel());
    m_inLabel->setText(m_panel.inLabel());
}

void DioPanelWindow::outImage_Click(int index)
{
    m_panel.outImage_Click(index);
    showState();
}

void DioPanelWindow::closeByButton(void (panels::DioPanel::*button)())
{
    (m_panel.*button)();
    m_byButton = true;
    accept();
}

void DioPanelWindow::ddeCmd_Click()
{
    m_panel.ddeCmd_Click(m_text[0]->text(), m_text[1]->text(), m_text[2]->text());
    m_byButton = true;
    accept();
}

void DioPanelWindow::done(int result)
{
    // Every way out passes here once: a button, the close box or Escape.
    if (!m_unloaded) {
        m_unloaded = true;
        m_panel.Form_QueryUnload(!m_byButton, m_channelCombo->currentIndex());
    }
    QDialog::done(result);
}

void showDioPanel(SharedState &state, SerialLink &link, Prompt &prompt, const QString &folder,
                  catalogue::DioPanel kind, QWidget *parent)
{
    DioPanelWindow panel(state, link, prompt, folder, kind, parent);
    panel.exec();
}

} // namespace telviox
