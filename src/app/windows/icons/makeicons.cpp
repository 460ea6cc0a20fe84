// Draws the icons that ship beside the program: the lamps of the digital
// panels ("on2.ico" lit, "off2.ico" dark, "no2.ico" no such channel) and the
// program's own icon. Run by the build with the output folder as argument.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

constexpr int LampSize = 32;

QImage blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QImage lamp(const QColor &centre, const QColor &edge)
{
    QImage image = blank(LampSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(12, 11), 18);
    glow.setColorAt(0.0, centre);
    glow.setColorAt(1.0, edge);
    p.setBrush(glow);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    return image;
}

QImage noChannel()
{
    QImage image = blank(LampSize);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(150, 150, 150), 2, Qt::DashLine));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(QPen(QColor(150, 150, 150), 2));
    p.drawLine(QPointF(9, 23), QPointF(23, 9));
    return image;
}

QImage programIcon(int size)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QPainterPath body;
    body.addRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    QLinearGradient fill(0, 0, 0, 64);
    fill.setColorAt(0.0, QColor(40, 90, 170));
    fill.setColorAt(1.0, QColor(15, 40, 95));
    p.fillPath(body, fill);
    // A "T" over a bus line with three stations: a server on a line of modules.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 10, 36, 8));
    p.drawRect(QRectF(28, 10, 8, 30));
    p.setPen(QPen(QColor(120, 220, 120), 3));
    p.drawLine(QPointF(10, 50), QPointF(54, 50));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 220, 120));
    for (const qreal x : {14.0, 32.0, 50.0})
        p.drawEllipse(QPointF(x, 50), 4, 4);
    return image;
}

bool save(const QImage &image, const QDir &dir, const char *name, const char *format)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (image.save(path, format))
        return true;
    std::fprintf(stderr, "telvioxd-icons: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: telvioxd-icons FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path()))
        return 1;
    bool ok = save(lamp(QColor(200, 255, 200), QColor(0, 170, 0)), dir, "on2.ico", "ICO");
    ok = save(lamp(QColor(110, 120, 110), QColor(35, 45, 35)), dir, "off2.ico", "ICO") && ok;
    ok = save(noChannel(), dir, "no2.ico", "ICO") && ok;
    ok = save(programIcon(32), dir, "telvioxd.ico", "ICO") && ok;
    ok = save(programIcon(64), dir, "telvioxd.png", "PNG") && ok;
    return ok ? 0 : 1;
}
