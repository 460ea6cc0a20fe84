#include "search/windows/modulewindow.h"

#include "conversations/windows/windowplacement.h"
#include "search/supportedmodels.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace telviox {

ModuleWindow::ModuleWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmModule"));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->addItems(search::supportedModels());
    m_list->viewport()->installEventFilter(this);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);

    // The on/off switch that closes the window.
    m_toggle = new QPushButton(QStringLiteral("ON"), this);
    m_toggle->setObjectName(QStringLiteral("Toggle1"));
    m_toggle->setCheckable(true);
    m_toggle->setChecked(true);
    connect(m_toggle, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Module Supported"), this), 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Module Feature"), this), 0, 1);
    layout->addWidget(m_list, 1, 0);
    layout->addWidget(m_text, 1, 1);
    layout->addWidget(m_toggle, 2, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    m_list->setMaximumWidth(
        QFontMetrics(m_list->font()).horizontalAdvance(QStringLiteral("MMMMMMMM")));
    resize(QFontMetrics(m_text->font()).horizontalAdvance(QString(60, QLatin1Char('M'))), 420);

    Form_Load();
}

void ModuleWindow::Form_Load()
{
    centreOnScreen(*this);
    setWindowTitle(QStringLiteral("Module Supported for this Version..."));
    showText(search::openingFeatureText());
}

void ModuleWindow::showText(const QString &text)
{
    // Kept with CR LF; the box breaks lines at LF alone.
    m_text->setPlainText(QString(text).remove(QLatin1Char('\r')));
}

void ModuleWindow::List1_MouseUp()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    if (const auto text = search::featureText(item->text()))
        showText(*text);
}

bool ModuleWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The list selects on the press, so at the release the selection is current.
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease)
        List1_MouseUp();
    return QWidget::eventFilter(watched, event);
}

} // namespace telviox
