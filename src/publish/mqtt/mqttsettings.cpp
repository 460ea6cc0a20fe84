#include "publish/mqtt/mqttsettings.h"

#include <QFile>
#include <QFileInfo>

namespace telviox {

namespace {

QString unreadable(const QString &what, const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 %2 does not exist").arg(what, path);
    if (!info.isFile())
        return QStringLiteral("%1 %2 is not a file").arg(what, path);
    if (!info.isReadable())
        return QStringLiteral("%1 %2 cannot be read").arg(what, path);
    return {};
}

const QString Root = QStringLiteral("telvioxd");

} // namespace

QString checkMqttSettings(const MqttSettings &settings)
{
    if (settings.host.isEmpty())
        return QStringLiteral("no MQTT broker given");
    if (!settings.password.isEmpty() && settings.user.isEmpty())
        return QStringLiteral("an MQTT password needs a user name");
    if (!settings.certFile.isEmpty() && settings.keyFile.isEmpty())
        return QStringLiteral("the MQTT client certificate needs its key file");
    if (settings.certFile.isEmpty() && !settings.keyFile.isEmpty())
        return QStringLiteral("the MQTT client key needs its certificate file");
    if (!settings.tls() && !settings.certFile.isEmpty())
        return QStringLiteral("an MQTT client certificate needs a CA file (TLS)");
    const std::pair<const char *, const QString *> files[] = {
        {"MQTT CA file", &settings.caFile},
        {"MQTT client certificate", &settings.certFile},
        {"MQTT client key", &settings.keyFile},
    };
    for (const auto &[what, path] : files) {
        if (path->isEmpty())
            continue;
        const QString why = unreadable(QString::fromLatin1(what), *path);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

std::optional<QString> readPasswordFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString why = unreadable(QStringLiteral("password file"), path);
        *error = why.isEmpty()
                     ? QStringLiteral("password file %1: %2").arg(path, file.errorString())
                     : why;
        return std::nullopt;
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

namespace mqtttopics {

QString item(const QString &service, const QString &topic, const QString &item)
{
    return Root + QLatin1Char('/') + service + QLatin1Char('/') + topic + QLatin1Char('/') + item;
}

QString quality(const QString &service, const QString &topic, const QString &name)
{
    return item(service, topic, name) + QStringLiteral("/quality");
}

QString status(const QString &service)
{
    return Root + QLatin1Char('/') + service + QStringLiteral("/status");
}

QString setFilter(const QString &service, const QString &topic)
{
    return item(service, topic, QStringLiteral("+")) + QStringLiteral("/set");
}

QString itemOfSet(const QString &service, const QString &topic, const QString &received)
{
    const QString prefix = item(service, topic, QString());
    const QString suffix = QStringLiteral("/set");
    if (!received.startsWith(prefix) || !received.endsWith(suffix))
        return {};
    const QString name =
        received.mid(prefix.size(), received.size() - prefix.size() - suffix.size());
    return isTopicLevel(name) && !name.isEmpty() ? name : QString();
}

bool isTopicLevel(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('+')) &&
           !name.contains(QLatin1Char('#')) && !name.contains(QChar(0));
}

} // namespace mqtttopics

} // namespace telviox
