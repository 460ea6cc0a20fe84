#include "search/windows/resultwindow.h"

#include "conversations/sharedstate.h"
#include "conversations/windows/reporttoolbar.h"
#include "conversations/windows/windowplacement.h"
#include "search/windows/modulelistheading.h"

#include <QFontDatabase>
#include <QListWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace telviox {

ResultWindow::ResultWindow(const SharedState &state, Prompt &prompt, Printer &printer,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state), m_commands(state, prompt, printer)
{
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("The Searching Result:"));

    m_toolbar = makeReportToolbar(this, [this](int index) { Toolbar1_ButtonClick(index); });

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
    centreOnScreen(*this);
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
