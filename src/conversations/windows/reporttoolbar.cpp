#include "conversations/windows/reporttoolbar.h"

#include <QAction>
#include <QStyle>
#include <QToolBar>

namespace telviox {

QToolBar *makeReportToolbar(QWidget *owner, std::function<void(int index)> clicked)
{
    auto *toolbar = new QToolBar(owner);
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
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
        QAction *action = b.caption ? toolbar->addAction(owner->style()->standardIcon(b.icon),
                                                         QLatin1String(b.caption))
                                    : toolbar->addSeparator();
        action->setObjectName(QStringLiteral("Toolbar1(%1)").arg(index));
        if (b.caption)
            QObject::connect(action, &QAction::triggered, owner,
                             [clicked, index] { clicked(index); });
    }
    return toolbar;
}

} // namespace telviox
