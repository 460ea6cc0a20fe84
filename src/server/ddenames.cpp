#include "server/ddenames.h"

#include "core/textutil.h"

#include <QByteArray>

namespace telviox::DdeNames {

namespace {

// Longest bus name and member name D-Bus accepts.
constexpr int MaxNameLength = 255;

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

QString escapeName(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    QString out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        const bool plain = isAsciiLetter(c) || (textutil::isDecimalDigit(c) && i > 0);
        if (plain) {
            out += QLatin1Char(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += QLatin1Char('_');
            out += QLatin1String(textutil::hexByte(byte));
        }
    }
    return out;
}

QString unescapeName(const QString &escaped)
{
    // Escapes stand for UTF-8 bytes; plain runs are taken whole so that a
    // surrogate pair of a hand-written name is never split.
    QByteArray bytes;
    bytes.reserve(escaped.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i + 2 < escaped.size(); ++i) {
        if (escaped.at(i) != QLatin1Char('_'))
            continue;
        const int high = textutil::hexValue(escaped.at(i + 1).unicode());
        const int low = textutil::hexValue(escaped.at(i + 2).unicode());
        if (high < 0 || low < 0)
            continue;
        bytes += QStringView(escaped).mid(runStart, i - runStart).toUtf8();
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
        runStart = i + 1;
    }
    bytes += QStringView(escaped).mid(runStart).toUtf8();
    return QString::fromUtf8(bytes);
}

QString busName(const QString &service)
{
    if (service.isEmpty())
        return {};
    const QString name = QLatin1String(BusNamePrefix) + escapeName(service);
    return name.size() <= MaxNameLength ? name : QString();
}

QString serviceOfBusName(const QString &name)
{
    const QLatin1String prefix(BusNamePrefix);
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return {};
    return unescapeName(name.mid(prefix.size()));
}

QString objectPath(const QString &topic)
{
    return QLatin1Char('/') + escapeName(topic);
}

QString propertyName(const QString &item)
{
    if (item.isEmpty())
        return {};
    const QString name = escapeName(item);
    return name.size() <= MaxNameLength ? name : QString();
}

} // namespace telviox::DdeNames
