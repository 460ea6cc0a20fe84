#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

namespace telviox {

// The program's icon in the notification area. A press of either mouse
// button pops up the tray menu; where the desktop has no notification area
// the icon is not shown and the owner keeps the same commands in reach.
class ProgramTray : public QObject
{
    Q_OBJECT

public:
    ProgramTray(QMenu &menu, const QIcon &icon, QObject *parent = nullptr);

    static QString tip() { return QStringLiteral("TELVIOX DDE Server"); }

    bool available() const { return m_available; }
    // Shows the icon (where there is a notification area).
    void add();
    void remove();
    bool isShown() const { return m_icon.isVisible(); }
    QSystemTrayIcon &icon() { return m_icon; }

    // What the icon does with a click: pops the menu up for a press of the
    // left or the right button; double-clicks and the middle button do nothing.
    void activate(QSystemTrayIcon::ActivationReason reason);

signals:
    void menuPoppedUp();

private:
    QMenu &m_menu;
    QSystemTrayIcon m_icon;
    bool m_available;
};

} // namespace telviox
