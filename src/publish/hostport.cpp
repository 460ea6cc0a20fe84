#include "publish/hostport.h"

#include <QHostAddress>

namespace telviox {

namespace {

std::optional<int> parsePort(const QString &text, const QString &whole, QString *error)
{
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    // toInt takes a sign and blanks; a port is plain digits.
    bool digits = !text.isEmpty();
    for (const QChar c : text)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!ok || !digits || port < 1 || port > 65535) {
        *error = QStringLiteral("bad port \"%1\" in \"%2\" (1 to 65535)").arg(text, whole);
        return std::nullopt;
    }
    return port;
}

// Splits "[v6]:port", "[v6]", "host:port" and "host". A second colon without
// brackets is an IPv6 address without a port.
bool split(const QString &text, QString *host, QString *port, bool *hasPort, QString *error)
{
    *hasPort = false;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = QStringLiteral("missing \"]\" in \"%1\"").arg(text);
            return false;
        }
        *host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (rest.isEmpty())
            return true;
        if (!rest.startsWith(QLatin1Char(':'))) {
            *error = QStringLiteral("unexpected \"%1\" after \"]\" in \"%2\"").arg(rest, text);
            return false;
        }
        *port = rest.mid(1);
        *hasPort = true;
        return true;
    }
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || text.indexOf(QLatin1Char(':')) != colon) {
        *host = text;
        return true;
    }
    *host = text.left(colon);
    *port = text.mid(colon + 1);
    *hasPort = true;
    return true;
}

bool hasBlank(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace())
            return true;
    }
    return false;
}

} // namespace

std::optional<HostPort> parseHostPort(const QString &text, QString *error)
{
    const QString trimmed = text.trimmed();
    QString host;
    QString port;
    bool hasPort = false;
    if (!split(trimmed, &host, &port, &hasPort, error))
        return std::nullopt;
    if (host.isEmpty()) {
        *error = QStringLiteral("no host in \"%1\" (HOST[:PORT])").arg(text);
        return std::nullopt;
    }
    if (hasBlank(host) || host.contains(QLatin1Char('/'))) {
        *error = QStringLiteral("bad host \"%1\"").arg(host);
        return std::nullopt;
    }
    HostPort result;
    result.host = host;
    if (hasPort) {
        result.port = parsePort(port, trimmed, error);
        if (!result.port)
            return std::nullopt;
    }
    return result;
}

std::optional<HostPort> parseListenAddress(const QString &text, QString *error)
{
    const QString trimmed = text.trimmed();
    HostPort result;
    QString port = trimmed;
    const bool onlyPort = !trimmed.contains(QLatin1Char(':'));
    if (!onlyPort) {
        QString host;
        bool hasPort = false;
        if (!split(trimmed, &host, &port, &hasPort, error))
            return std::nullopt;
        if (!hasPort) {
            *error = QStringLiteral("no port in \"%1\" ([ADDRESS:]PORT)").arg(text);
            return std::nullopt;
        }
        if (host.isEmpty()) {
            *error = QStringLiteral("no address before the port in \"%1\" ([ADDRESS:]PORT)")
                         .arg(trimmed);
            return std::nullopt;
        }
        if (QHostAddress(host).isNull()) {
            *error = QStringLiteral("\"%1\" in \"%2\" is not an IP address ([ADDRESS:]PORT)")
                         .arg(host, trimmed);
            return std::nullopt;
        }
        result.host = host;
    }
    if (port.isEmpty()) {
        *error = QStringLiteral("no port in \"%1\" ([ADDRESS:]PORT)").arg(text);
        return std::nullopt;
    }
    result.port = parsePort(port, trimmed, error);
    if (!result.port)
        return std::nullopt;
    return result;
}

QString formatHostPort(const QString &host, int port)
{
    const QString shown =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

} // namespace telviox
