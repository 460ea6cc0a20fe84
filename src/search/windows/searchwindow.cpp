#include "search/windows/searchwindow.h"

#include "conversations/sharedstate.h"
#include "search/resultline.h"
#include "search/windows/modulelistheading.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace telviox {

namespace {

QPointer<SearchWindow> &openWindow()
{
    static QPointer<SearchWindow> window;
    return window;
}

constexpr int LastAddress = 255;

} // namespace

SearchWindow::SearchWindow(const SearchContext &context, QWidget *parent)
    : QDialog(parent), m_engine(context, *this)
{
    setObjectName(QStringLiteral("frmSearch"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const struct
    {
        QString text;
        QStyle::StandardPixmap icon;
    } buttons[] = {
        {QString(), QStyle::SP_ComputerIcon},
        {QStringLiteral("Start Search"), QStyle::SP_MediaPlay},
        {QStringLiteral("Stop Search"), QStyle::SP_MediaStop},
        {QStringLiteral("Exit Search"), QStyle::SP_DialogCloseButton},
    };
    int index = 1;
    for (const auto &button : buttons) {
        QAction *action = m_toolbar->addAction(style()->standardIcon(button.icon), button.text);
        action->setObjectName(QStringLiteral("Toolbar1Button%1").arg(index));
        connect(action, &QAction::triggered, this,
                [this, index] { m_engine.Toolbar1_ButtonClick(index); });
        ++index;
    }

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("moduleList"));
    m_list->setFont(fixed);
    const int lineWidth =
        QFontMetrics(fixed).horizontalAdvance(QString(search::ResultLineWidth, QLatin1Char('0')));
    m_list->setMinimumSize(lineWidth + 40, 16 * QFontMetrics(fixed).height());

    const auto statusLabel = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setMinimumWidth(90);
        return label;
    };
    m_com = statusLabel("comLabel");
    m_baud = statusLabel("baudrateLabel");
    m_decimal = statusLabel("decaddressLabel");
    m_hexadecimal = statusLabel("hexaddressLabel");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, LastAddress);
    m_progress->setTextVisible(false);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("Label10"));

    auto *status = new QHBoxLayout;
    for (QLabel *label : {m_com, m_baud, m_decimal, m_hexadecimal})
        status->addWidget(label);
    status->addWidget(m_progress, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(m_toolbar);
    layout->addWidget(new ModuleListHeading(fixed, this));
    layout->addWidget(m_list, 1);
    layout->addLayout(status);
    layout->addWidget(m_hint);

    openWindow() = this;
    m_engine.Form_Load();
}

SearchWindow::~SearchWindow() = default;

SearchWindow *SearchWindow::current()
{
    return openWindow().data();
}

QAction *SearchWindow::toolbarButton(int index) const
{
    return findChild<QAction *>(QStringLiteral("Toolbar1Button%1").arg(index));
}

void SearchWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_activated)
        return;
    m_activated = true;
    // The search starts once the window is up and the event loop runs.
    QTimer::singleShot(0, this, [this] { m_engine.Form_Activate(); });
}

void SearchWindow::reject()
{
    if (m_engine.Form_QueryUnload())
        QDialog::done(QDialog::Rejected);
}

void SearchWindow::addModuleLine(const QString &line)
{
    m_list->addItem(line);
    m_list->scrollToBottom();
}

void SearchWindow::setCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void SearchWindow::clearModuleList()
{
    m_list->clear();
}

void SearchWindow::setComLabel(const QString &text)
{
    m_com->setText(text);
}

void SearchWindow::setBaudLabel(const QString &text)
{
    m_baud->setText(text);
}

void SearchWindow::setAddressLabels(const QString &decimal, const QString &hexadecimal)
{
    m_decimal->setText(decimal);
    m_hexadecimal->setText(hexadecimal);
}

void SearchWindow::setLabelsRed(bool red)
{
    const QString sheet = red ? QStringLiteral("color: red;") : QStringLiteral("color: black;");
    for (QLabel *label : {m_com, m_baud, m_decimal, m_hexadecimal})
        label->setStyleSheet(sheet);
}

void SearchWindow::setProgress(int address)
{
    m_progress->setValue(address);
}

void SearchWindow::setProgressVisible(bool visible)
{
    m_progress->setVisible(visible);
}

void SearchWindow::setHintText(const QString &text)
{
    m_hint->setText(text);
}

void SearchWindow::processEvents()
{
    QCoreApplication::processEvents();
}

void SearchWindow::closeWindow()
{
    QDialog::done(QDialog::Accepted);
}

void openSearchWindow(const SearchContext &context, QWidget *parent)
{
    SearchWindow window(context, parent);
    window.exec();
}

void stopSearchForSettings(SharedState &state)
{
    if (SearchWindow *window = SearchWindow::current())
        window->engine().stopForSettings();
    else
        state.Found.StopFlag = 1;
}

void endSearchWindow()
{
    if (SearchWindow *window = SearchWindow::current())
        window->engine().stopAndUnload();
}

} // namespace telviox
