#include "server/windows/serverwindow.h"

#include "server/ddeprogramitems.h"
#include "server/pollcycle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <utility>

namespace telviox {

namespace {

constexpr int RowsPerColumn = 16;
// Wide enough for the longest item, eight fields of seven characters.
constexpr int BoxCharacters = 57;

} // namespace

// ---------------------------------------------------------------------------
// The window

QString ServerWindow::labelCaption(int position)
{
    switch (position) {
    case 1:
        return QStringLiteral("1st:");
    case 2:
        return QStringLiteral("2nd:");
    case 3:
        return QStringLiteral("3rd :");
    default:
        // From the fourth on every ordinal ends in "th", 21 to 23 included.
        return QStringLiteral("%1th:").arg(position);
    }
}

ServerWindow::ServerWindow(DdeProgramItems &items, PollCycle &cycle, QWidget *parent)
    : QWidget(parent), m_items(items), m_cycle(cycle)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("DDE Conversation Channel"));

    auto *grid = new QGridLayout;
    for (int position = 1; position <= BoxCount; ++position) {
        const int row = (position - 1) % RowsPerColumn;
        const int column = 2 * ((position - 1) / RowsPerColumn);

        auto *label = new QLabel(labelCaption(position), this);
        label->setObjectName(QStringLiteral("Label%1").arg(position));
        auto *box = new QLineEdit(m_items.text(position), this);
        box->setObjectName(DdeProgramItems::itemName(position));
        // Fixed pitch keeps the seven-character fields of an item in columns.
        box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(BoxCharacters, u'0'))
                             + 2 * box->fontMetrics().averageCharWidth());
        label->setBuddy(box);
        grid->addWidget(label, row, column, Qt::AlignRight);
        grid->addWidget(box, row, column + 1);

        // What the operator types is published like a tick's text.
        connect(box, &QLineEdit::textEdited, this,
                [this, position](const QString &text) { m_items.FillText(position, text); });
        m_boxes[std::size_t(position - 1)] = box;
    }

    m_quit = new QPushButton(QStringLiteral("&Quit"), this);
    m_quit->setObjectName(QStringLiteral("form5quitCmd"));
    connect(m_quit, &QPushButton::clicked, this, [this] { m_cycle.form5quitCmd_Click(); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_quit, 0, Qt::AlignHCenter);

    connect(&m_items, &DdeItemServer::textChanged, this, &ServerWindow::showItem);
}

ServerWindow::~ServerWindow() = default;

QLineEdit *ServerWindow::textBox(int position) const
{
    if (position < 1 || position > BoxCount)
        return nullptr;
    return m_boxes[std::size_t(position - 1)];
}

void ServerWindow::showItem(const QString &item, const QString &text)
{
    QLineEdit *box = textBox(DdeProgramItems::positionOf(item));
    // Setting the same text again would move the operator's cursor.
    if (box && box->text() != text) {
        box->setText(text);
        // A value reads from its start; setText leaves the cursor at the end,
        // which scrolls a long item out of sight.
        if (!box->hasFocus())
            box->setCursorPosition(0);
    }
}

// ---------------------------------------------------------------------------
// The host

ServerWindowHost::ServerWindowHost(DdeProgramItems &items, QMdiArea *area, QObject *parent)
    : QObject(parent), m_items(items), m_area(area)
{}

ServerWindowHost::~ServerWindowHost()
{
    // Going away with the program: the window goes too, without reporting.
    if (QWidget *window = frame()) {
        window->removeEventFilter(this);
        delete window;
    }
    m_items.unpublish();
}

void ServerWindowHost::setPollCycle(PollCycle *cycle)
{
    m_cycle = cycle;
}

void ServerWindowHost::setMenusEnabledHandler(std::function<void(bool)> handler)
{
    m_menusEnabled = std::move(handler);
}

void ServerWindowHost::setMinimiseMainWindowHandler(std::function<void()> handler)
{
    m_minimiseMain = std::move(handler);
}

QWidget *ServerWindowHost::frame() const
{
    if (m_subWindow)
        return m_subWindow;
    return m_window;
}

void ServerWindowHost::load()
{
    Q_ASSERT(m_cycle);
    // A new window starts with empty boxes, and clients find the service only
    // while it is loaded.
    for (int position = 1; position <= ServerWindow::BoxCount; ++position)
        m_items.FillText(position, QString());
    if (!m_items.publish())
        emit publishFailed(m_items.errorString());

    auto window = std::make_unique<ServerWindow>(m_items, *m_cycle);
    m_window = window.get();
    if (m_area) {
        m_subWindow = m_area->addSubWindow(window.release());
        m_subWindow->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_subWindow, &QMdiSubWindow::windowStateChanged, this,
                [this](Qt::WindowStates before, Qt::WindowStates now) {
                    if (m_cycle && !(before & Qt::WindowActive) && (now & Qt::WindowActive))
                        m_cycle->serverWindowActivated();
                });
    } else {
        // A top-level window belongs to no widget: it deletes itself on close,
        // and the host's destructor deletes it otherwise.
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        window.release();
    }
    frame()->installEventFilter(this);
    m_placed = false;
}

void ServerWindowHost::place()
{
    QWidget *window = frame();
    QSize room;
    if (m_area)
        room = m_area->viewport()->size();
    else if (const QScreen *screen = window->screen())
        room = screen->geometry().size();
    const QSize size = window->frameGeometry().size();
    window->move(std::max(0, (room.width() - size.width()) / 4),
                 std::max(0, (room.height() - size.height()) / 5));
    m_placed = true;
}

void ServerWindowHost::showServerWindow()
{
    if (!m_window)
        load();
    QWidget *window = frame();
    window->show();
    if (!m_placed)
        place();
    if (m_subWindow && m_area)
        m_area->setActiveSubWindow(m_subWindow);
    else
        window->activateWindow();
}

void ServerWindowHost::unloadServerWindow()
{
    // The close is reported through the event filter, which runs the closing
    // steps once; WA_DeleteOnClose removes the window afterwards.
    if (QWidget *window = frame())
        window->close();
}

void ServerWindowHost::restoreServerWindow()
{
    QWidget *window = frame();
    if (!window)
        return;
    window->showNormal();
    if (m_subWindow && m_area)
        m_area->setActiveSubWindow(m_subWindow);
    else
        window->activateWindow();
}

void ServerWindowHost::hideServerWindow()
{
    QWidget *window = frame();
    if (!window)
        return;
    // Asked while the window is being minimised: showMinimized() shows the
    // window again once its state has changed, so the hide waits for the
    // event loop, and is dropped if the window came back meanwhile.
    QTimer::singleShot(0, window, [window] {
        if (window->isMinimized())
            window->hide();
    });
}

void ServerWindowHost::minimiseWindows()
{
    if (m_minimiseMain)
        m_minimiseMain();
    if (QWidget *window = frame())
        window->showMinimized();
}

void ServerWindowHost::setServerMenusEnabled(bool enabled)
{
    if (m_menusEnabled)
        m_menusEnabled(enabled);
}

void ServerWindowHost::processEvents()
{
    QCoreApplication::processEvents();
}

void ServerWindowHost::detach()
{
    if (QWidget *window = frame())
        window->removeEventFilter(this);
    m_items.unpublish();
    m_window = nullptr;
    m_subWindow = nullptr;
}

bool ServerWindowHost::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != frame() || !m_cycle)
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Close:
        // Closing is never refused.
        detach();
        m_cycle->serverWindowClosed();
        break;
    case QEvent::WindowActivate:
        m_cycle->serverWindowActivated();
        break;
    case QEvent::Resize:
        m_cycle->serverWindowResized(static_cast<QWidget *>(watched)->isMinimized());
        break;
    case QEvent::WindowStateChange:
        if (static_cast<QWidget *>(watched)->isMinimized())
            m_cycle->serverWindowResized(true);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace telviox
