#include "conversations/windows/establishwindow.h"

#include "conversations/conversationdescription.h"
#include "conversations/conversationtable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <functional>
#include <utility>

namespace telviox {

namespace {

// The window's layout is kept in twips. A pixel is 15 twips, unless the font
// needs more room: then every position grows alike, so that each box keeps
// its caption and the description still opens beside its box.
constexpr double TwipsPerPixel = 15.0;
constexpr int CaptionGap = 4; // pixels between a box's caption and the next column

constexpr int ComPortCount = 255;
constexpr int IntervalSmallStep = 50;
constexpr int IntervalLargeStep = 500;

// Check boxes inside the frame: four columns of eight.
constexpr int RowsPerColumn = 8;
constexpr std::array<int, 4> BoxLeft{120, 1080, 2040, 3120};
constexpr int BoxTop = 360;
constexpr int BoxRowStep = 480;
constexpr int BoxWidth = 960; // the narrowest column
constexpr int BoxHeight = 300;

// The description box, placed by the column and row of its conversation.
constexpr std::array<int, 4> DescriptionLeft{420, 1400, 2350, 3400};
constexpr std::array<int, RowsPerColumn> DescriptionTop{850,  1350, 1850, 2350,
                                                        2850, 3350, 3750, 4250};
constexpr int DescriptionWidth = 3000;
constexpr int DescriptionHeight = 2000;
// The size it takes while hidden after a click on the background.
constexpr int HiddenDescriptionWidth = 4000;

// A check box that reports its mouse releases, after it has changed its tick,
// with the button that was released. A right press is kept by the box so that
// it does not count as a click on the window behind it.
class ConversationBox final : public QCheckBox
{
public:
    using Released = std::function<void(Qt::MouseButton)>;

    ConversationBox(const QString &text, QWidget *parent, Released released)
        : QCheckBox(text, parent), m_released(std::move(released))
    {}

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        QCheckBox::mousePressEvent(event);
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QCheckBox::mouseReleaseEvent(event);
        event->accept();
        m_released(event->button());
    }

private:
    Released m_released;
};

} // namespace

// The window shows no message of its own.
EstablishWindow::EstablishWindow(SharedState &state, Prompt & /*prompt*/, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Establish Conversation"));
    buildControls();
    Form_Load();
}

EstablishWindow::~EstablishWindow() = default;

void EstablishWindow::buildControls()
{
    m_frame = new QGroupBox(QStringLiteral("DDE Server Conversations"), this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    for (int n = 0; n < ConvCount; ++n) {
        auto *box =
            new ConversationBox(QStringLiteral(" Conv %1").arg(n), m_frame,
                                [this, n](Qt::MouseButton button) { Check1_MouseUp(n, button); });
        box->setObjectName(QStringLiteral("Check1(%1)").arg(n));
        m_boxes[std::size_t(n)] = box;
    }

    m_comLabel = new QLabel(QStringLiteral("COM Port:"), this);
    m_comLabel->setObjectName(QStringLiteral("Label2"));
    m_comCombo = new QComboBox(this);
    m_comCombo->setObjectName(QStringLiteral("form1comCombo"));
    for (int port = 1; port <= ComPortCount; ++port)
        m_comCombo->addItem(QStringLiteral("COM%1").arg(port));
    m_comLabel->setBuddy(m_comCombo);

    m_intervalLabel = new QLabel(intervalLabel(IntervalInitial), this);
    m_intervalLabel->setObjectName(QStringLiteral("Label1"));
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName(QStringLiteral("HScroll1"));
    m_scroll->setRange(IntervalMinimum, IntervalMaximum);
    m_scroll->setSingleStep(IntervalSmallStep);
    m_scroll->setPageStep(IntervalLargeStep);
    m_scroll->setValue(IntervalInitial);
    connect(m_scroll, &QScrollBar::valueChanged, this, &EstablishWindow::HScroll1_Change);
    m_minLabel = new QLabel(QStringLiteral("50 mSec"), this);
    m_minLabel->setObjectName(QStringLiteral("Label3"));
    m_maxLabel = new QLabel(QStringLiteral("10 Sec"), this);
    m_maxLabel->setObjectName(QStringLiteral("Label4"));
    m_maxLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_exit = new QPushButton(QStringLiteral("E&xit"), this);
    m_exit->setObjectName(QStringLiteral("form1exitCommand"));
    connect(m_exit, &QPushButton::clicked, this, &EstablishWindow::exitRequested);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setReadOnly(true);
    m_text->viewport()->installEventFilter(this);
    m_text->installEventFilter(this);

    placeControls();
}

void EstablishWindow::placeControls()
{
    int widest = 0;
    for (const QCheckBox *box : m_boxes)
        widest = std::max(widest, box->sizeHint().width());
    m_twipsPerPixel = std::min(TwipsPerPixel, double(BoxWidth) / (widest + CaptionGap));

    setFixedSize(twipsToPixels(6720), twipsToPixels(6360));
    m_frame->setGeometry(twipsRect(120, 240, 4320, 4200));
    for (int n = 0; n < ConvCount; ++n) {
        m_boxes[std::size_t(n)]->setGeometry(twipsRect(BoxLeft[std::size_t(n / RowsPerColumn)],
                                                       BoxTop + (n % RowsPerColumn) * BoxRowStep,
                                                       BoxWidth, BoxHeight));
    }
    m_comLabel->setGeometry(twipsRect(4680, 360, 1800, 255));
    m_comCombo->setGeometry(twipsRect(4680, 660, 1800, 360));
    m_intervalLabel->setGeometry(twipsRect(120, 4560, 4320, 255));
    m_scroll->setGeometry(twipsRect(120, 4860, 4320, 255));
    m_minLabel->setGeometry(twipsRect(120, 5160, 1200, 255));
    m_maxLabel->setGeometry(twipsRect(3240, 5160, 1200, 255));
    m_exit->setGeometry(twipsRect(4680, 5520, 1800, 480));
}

int EstablishWindow::twipsToPixels(int twips) const
{
    return qRound(twips / m_twipsPerPixel);
}

QRect EstablishWindow::twipsRect(int left, int top, int width, int height) const
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

void EstablishWindow::Form_Load()
{
    m_text->hide();
    selectComPort(m_state.ComPort);
    m_state.CurConv = 0;
    m_state.TickParity = 0;
    m_state.OpenBaud = 0;
    resetForEstablishWindow(m_state);
}

void EstablishWindow::setChecked(int index, bool ticked)
{
    m_boxes.at(std::size_t(index))->setChecked(ticked);
}

bool EstablishWindow::isChecked(int index) const
{
    return m_boxes.at(std::size_t(index))->isChecked();
}

void EstablishWindow::setIntervalValue(int value)
{
    m_scroll->setValue(value);
}

int EstablishWindow::intervalValue() const
{
    return m_scroll->value();
}

void EstablishWindow::selectComPort(int port)
{
    if (port >= 1 && port <= ComPortCount)
        m_comCombo->setCurrentIndex(port - 1);
}

bool EstablishWindow::descriptionVisible() const
{
    return !m_text->isHidden();
}

void EstablishWindow::Check1_MouseUp(int index, Qt::MouseButton button)
{
    hideDescription();
    m_state.CurConv = qint16(index);
    const bool ticked = isChecked(index);

    if (button == Qt::LeftButton) {
        if (ticked)
            emit settingDialogRequested(index);
        else
            clearConversation(m_state, index);
        return;
    }
    if (button != Qt::RightButton || !ticked)
        return;

    m_infoToggle = 1 - m_infoToggle;
    if (m_infoToggle == 0)
        return;
    // The box breaks lines on LF; the description's CR would show as a glyph.
    m_text->setPlainText(conversationDescription(m_state, index)
                             .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_text->setGeometry(twipsRect(DescriptionLeft[std::size_t(index / RowsPerColumn)],
                                  DescriptionTop[std::size_t(index % RowsPerColumn)],
                                  DescriptionWidth, DescriptionHeight));
    m_text->raise();
    m_text->show();
}

void EstablishWindow::HScroll1_Change(int value)
{
    m_intervalLabel->setText(intervalChanged(m_state, value));
}

void EstablishWindow::hideDescription()
{
    m_text->hide();
}

bool EstablishWindow::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_text || watched == m_text->viewport()) &&
        event->type() == QEvent::MouseButtonPress)
        hideDescription();
    return QWidget::eventFilter(watched, event);
}

void EstablishWindow::mousePressEvent(QMouseEvent *event)
{
    // A click on the background puts the description away.
    hideDescription();
    m_text->resize(twipsToPixels(HiddenDescriptionWidth), twipsToPixels(DescriptionHeight));
    QWidget::mousePressEvent(event);
}

} // namespace telviox
