#include "app/windows/splashwindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace telviox {

namespace {
constexpr int PictureWidth = 420;
constexpr int PictureHeight = 240;
} // namespace

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_picture(new QLabel(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("TELVIOXD Software"));
    m_picture->setObjectName(QStringLiteral("Picture1"));
    const QPixmap pixmap = picture();
    m_picture->setPixmap(pixmap);
    m_picture->setGeometry(0, 0, pixmap.width(), pixmap.height());
    // Presses land on the window, not on the picture.
    m_picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(pixmap.size());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        move(room.center() - rect().center());
    }
}

QPixmap SplashWindow::picture()
{
    QPixmap pixmap(PictureWidth, PictureHeight);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, PictureHeight);
    fill.setColorAt(0.0, QColor(40, 90, 170));
    fill.setColorAt(1.0, QColor(15, 40, 95));
    p.fillRect(pixmap.rect(), fill);

    p.setPen(Qt::white);
    QFont title = p.font();
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(0, 40, PictureWidth, 60), Qt::AlignCenter, QStringLiteral("TELVIOXD"));

    QFont text = p.font();
    text.setPixelSize(15);
    text.setBold(false);
    p.setFont(text);
    p.drawText(QRect(0, 100, PictureWidth, 24), Qt::AlignCenter,
               QStringLiteral("DDE Server for remote I/O modules"));
    p.drawText(QRect(0, 124, PictureWidth, 24), Qt::AlignCenter,
               QStringLiteral("Version ") + QStringLiteral(TELVIOXD_VERSION));

    // A line with its modules, as on the program's icon.
    p.setPen(QPen(QColor(120, 220, 120), 3));
    p.drawLine(60, 190, PictureWidth - 60, 190);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 220, 120));
    for (int x = 80; x <= PictureWidth - 80; x += 52)
        p.drawEllipse(QPoint(x, 190), 6, 6);
    p.setPen(QColor(200, 210, 230));
    text.setPixelSize(11);
    p.setFont(text);
    p.drawText(QRect(0, PictureHeight - 24, PictureWidth, 18), Qt::AlignCenter,
               QStringLiteral("Looking for modules on COM1 and COM2 ... (click to skip)"));
    return pixmap;
}

bool SplashWindow::takeMousePress()
{
    const bool pressed = m_pressed;
    m_pressed = false;
    return pressed;
}

void SplashWindow::mousePressEvent(QMouseEvent *event)
{
    m_pressed = true;
    QWidget::mousePressEvent(event);
}

} // namespace telviox
