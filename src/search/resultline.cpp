#include "search/resultline.h"

namespace telviox::search {

QByteArray moduleCommand(char lead, int address, const QByteArray &command)
{
    return lead + QByteArray::number(address & 0xFF, 16).toUpper().rightJustified(2, '0') + command;
}

QString replyBuffer(const QByteArray &reply)
{
    return fixedWidth(QString::fromLatin1(reply), ReplyBufferSize);
}

QString blankReply()
{
    return QString(ReplyBufferSize, QLatin1Char(' '));
}

QString replyAt(const QString &reply, int position, int count)
{
    return reply.mid(position - 1, count);
}

bool readHex(const QString &text, int *value)
{
    if (text.size() != 2)
        return false;
    bool ok = false;
    const int number = text.toInt(&ok, 16);
    // toInt accepts a sign or blanks; a code is two digits.
    if (!ok || !text.at(0).isLetterOrNumber() || !text.at(1).isLetterOrNumber())
        return false;
    *value = number;
    return true;
}

FoundName nameOfReply(const QString &reply)
{
    const QString buffer = fixedWidth(reply, ReplyBufferSize);
    FoundName found;
    if (replyAt(buffer, 8, 1) == QLatin1String("D") ||
        replyAt(buffer, 4, 2) == QLatin1String("92")) {
        found.name = replyAt(buffer, 4, 5);
        found.display = found.name + QLatin1Char(' ');
    } else if (replyAt(buffer, 8, 1) == QLatin1String("W")) {
        found.name = replyAt(buffer, 4, 6);
        found.display = found.name + QLatin1Char(' ');
    } else {
        found.name = replyAt(buffer, 4, 4);
        found.display = found.name + QLatin1String("  ");
    }
    return found;
}

QString addressText(int address)
{
    return QString::number(address) + QLatin1Char('[') + QString::number(address, 16).toUpper() +
           QLatin1Char(']');
}

QString linePrefix(const QString &displayName, int address, qint32 baud)
{
    return displayName + addressText(address).leftJustified(9) + QString::number(baud);
}

int rateDigits(qint32 baud)
{
    return int(QString::number(baud).size());
}

QString fixedWidth(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '), true);
}

} // namespace telviox::search
