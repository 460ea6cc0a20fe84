#include "server/ddeprogramitems.h"

namespace telviox {

namespace {

QStringList allItemNames()
{
    QStringList names;
    for (int position = 1; position <= DdeProgramItems::ItemCount; ++position)
        names.append(DdeProgramItems::itemName(position));
    return names;
}

} // namespace

QString DdeProgramItems::itemName(int position)
{
    if (position < 1 || position > ItemCount)
        return {};
    return QStringLiteral("Text%1").arg(position);
}

int DdeProgramItems::positionOf(const QString &item)
{
    if (!item.startsWith(u"Text"))
        return 0;
    bool ok = false;
    const int position = item.mid(4).toInt(&ok);
    return ok && itemName(position) == item ? position : 0;
}

DdeProgramItems::DdeProgramItems(QObject *parent)
    : DdeProgramItems(QDBusConnection::sessionBus(), parent)
{}

DdeProgramItems::DdeProgramItems(const QDBusConnection &connection, QObject *parent)
    : DdeItemServer(connection, serviceName(), topicName(), allItemNames(), parent)
{}

void DdeProgramItems::FillText(int position, const QString &text)
{
    const QString item = itemName(position);
    if (!item.isEmpty())
        setText(item, text);
}

QString DdeProgramItems::text(int position) const
{
    return text(itemName(position));
}

} // namespace telviox
