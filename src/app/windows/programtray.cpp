#include "app/windows/programtray.h"

#include <QCursor>
#include <QMenu>

namespace telviox {

ProgramTray::ProgramTray(QMenu &menu, const QIcon &icon, QObject *parent)
    : QObject(parent), m_menu(menu), m_icon(icon),
      m_available(QSystemTrayIcon::isSystemTrayAvailable())
{
    m_icon.setObjectName(QStringLiteral("trayIcon"));
    m_icon.setToolTip(tip());
    connect(&m_icon, &QSystemTrayIcon::activated, this, &ProgramTray::activate);
}

void ProgramTray::add()
{
    if (m_available)
        m_icon.show();
}

void ProgramTray::remove()
{
    m_icon.hide();
}

void ProgramTray::activate(QSystemTrayIcon::ActivationReason reason)
{
    // A double-click's first press already came as a Trigger.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context)
        return;
    m_menu.popup(QCursor::pos());
    emit menuPoppedUp();
}

} // namespace telviox
