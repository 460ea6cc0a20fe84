#include "search/windows/resultwindow.h"

#include "conversations/sharedstate.h"
#include "search/windows/modulelistheading.h"

#include <QAction>
#include <QFontDatabase>
#include <QListWidget>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace telviox {

ResultWindow::ResultWindow(const SharedState &state, Prompt &prompt, Printer &printer,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state), m_commands(state, prompt, printer)
{
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("The Searching Result:"));

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    const struct
    {
        const char *caption;
        QStyle::StandardPixmap icon;
    } buttons[] = {{nullptr, QStyle::SP_CustomBase},
                   {"Print", QStyle::SP_FileDialogDetailedView},
                   {nullptr, QStyle::SP_CustomBase},
                   {"Exit", QStyle::SP_DialogCloseButton}};
    for (int index = 1; index <= 4; ++index) {
        const auto &b = buttons[index - 1];
        QAction *action = b.caption ? m_toolbar->addAction(style()->standardIcon(b.icon),
                                                           QLatin1String(b.caption))
                                    : m_toolbar->addSeparator();
        action->setObjectName(QStringLiteral("Toolbar1(%1)").arg(index));
        if (b.caption)
            connect(action, &QAction::triggered, this,
                    [this, index] { Toolbar1_ButtonClick(index); });
    }

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_toolbar);
    layout->addWidget(new ModuleListHeading(fixed, this));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("moduleList"));
    m_list->setFont(fixed);
    layout->addWidget(m_list);
    resize(QFontMetrics(fixed).horizontalAdvance(QString(84, QLatin1Char('M'))), 420);

    Form_Load();
}

void ResultWindow::Form_Load()
{
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    m_list->clear();
    m_list->addItems(search::foundLines(m_state.Found));
}

void ResultWindow::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 2:
        m_commands.print();
        break;
    case 4:
        m_commands.exit();
        close();
        break;
    default:
        break;
    }
}

} // namespace telviox
