#pragma once

#include <QScreen>
#include <QWidget>

namespace telviox {

// The program's windows open centred on the screen they are on.
inline void centreOnScreen(QWidget &window)
{
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace telviox
