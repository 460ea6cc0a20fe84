#include "conversations/windows/settingsummarywindow.h"

#include "conversations/windows/reporttoolbar.h"
#include "conversations/windows/windowplacement.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

namespace telviox {

SettingSummaryWindow::SettingSummaryWindow(const SharedState &state, Prompt &prompt,
                                           Printer &printer, QWidget *parent)
    : QWidget(parent, Qt::Window), m_state(state), m_commands(prompt, printer)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Display DDE Conversation Setting Information"));

    m_toolbar = makeReportToolbar(this, [this](int index) { Toolbar1_ButtonClick(index); });

    // A fixed-pitch face keeps the columns under each other.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_toolbar);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("form4Text"));
    m_text->setFont(fixed);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_text);
    resize(QFontMetrics(fixed).horizontalAdvance(QString(100, QLatin1Char('M'))), 460);

    Form_Load();
}

void SettingSummaryWindow::Form_Load()
{
    centreOnScreen(*this);
    m_text->hide();
    m_text->clear();
    QString text = settingSummaryText(m_state);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    m_text->setPlainText(text);
    m_text->show();
}

void SettingSummaryWindow::Toolbar1_ButtonClick(int index)
{
    switch (index) {
    case 2:
        // What the box holds now is what goes out.
        m_commands.print(m_text->toPlainText());
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
