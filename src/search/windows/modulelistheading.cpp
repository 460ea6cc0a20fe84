#include "search/windows/modulelistheading.h"

#include <QFontMetrics>
#include <QLabel>

namespace telviox {

namespace {

// Label texts and the character column each starts at, row by row.
struct HeadingLabel
{
    const char *objectName;
    const char *text;
    int row;
    int column;
};

const HeadingLabel Labels[] = {
    {"moduleLabel", "Module", 0, 0},        {"typeLabel", "Type:", 1, 0},
    {"addressLabel", "Address:", 0, 6},     {"dechexLabel", "Dec[Hex]", 1, 6},
    {"baudLabel", "Baud", 0, 15},           {"rateLabel", "Rate", 1, 15},
    {"checksumLabel", "Checksum", 0, 34},   {"alarmLabel", "Alarm", 0, 23},
    {"remarkLabel", "      Remark", 0, 42},
};

} // namespace

ModuleListHeading::ModuleListHeading(const QFont &font, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("moduleListHeading"));
    const QFontMetrics metrics(font);
    const int charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    const int lineHeight = metrics.height();
    // The list draws its text a few pixels in from its frame.
    constexpr int Indent = 4;
    for (const HeadingLabel &entry : Labels) {
        auto *label = new QLabel(QString::fromLatin1(entry.text), this);
        label->setObjectName(QString::fromLatin1(entry.objectName));
        label->setFont(font);
        label->adjustSize();
        label->move(Indent + entry.column * charWidth, entry.row * lineHeight);
    }
    setMinimumHeight(2 * lineHeight + 2);
}

} // namespace telviox
