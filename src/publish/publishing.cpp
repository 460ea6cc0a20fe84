#include "publish/publishing.h"

#include "publish/hostport.h"
#include "publish/mqtt/mqttpublisher.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>

namespace telviox {

namespace {

const QStringList MqttKeys = {
    QStringLiteral("broker"),        QStringLiteral("user"),      QStringLiteral("password"),
    QStringLiteral("password_file"), QStringLiteral("tls_ca"),    QStringLiteral("tls_cert"),
    QStringLiteral("tls_key"),       QStringLiteral("client_id"),
};
const QStringList HttpKeys = {QStringLiteral("listen")};

// A value as written: QSettings splits an unquoted value at commas.
QString valueText(const QSettings &ini, const QString &key)
{
    const QVariant value = ini.value(key);
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString().trimmed();
}

QString pathFrom(const QDir &folder, const QString &path)
{
    return path.isEmpty() ? path : QDir::cleanPath(folder.absoluteFilePath(path));
}

void checkKeys(QSettings &ini, const QString &section, const QStringList &known,
               const QString &file, QStringList *errors)
{
    ini.beginGroup(section);
    const QStringList keys = ini.allKeys();
    ini.endGroup();
    for (const QString &key : keys) {
        if (!known.contains(key))
            errors->append(QStringLiteral("%1: unknown key \"%2\" in [%3] (known: %4)")
                               .arg(file, key, section, known.join(QStringLiteral(", "))));
    }
}

std::optional<MqttSettings> readMqtt(QSettings &ini, const QDir &folder, const QString &file,
                                     QStringList *errors)
{
    ini.beginGroup(QStringLiteral("mqtt"));
    const auto done = qScopeGuard([&ini] { ini.endGroup(); });
    const QString broker = valueText(ini, QStringLiteral("broker"));
    if (broker.isEmpty()) {
        errors->append(QStringLiteral("%1: [mqtt] needs broker=HOST[:PORT]").arg(file));
        return std::nullopt;
    }
    QString why;
    const std::optional<HostPort> address = parseHostPort(broker, &why);
    if (!address) {
        errors->append(QStringLiteral("%1: [mqtt] broker: %2").arg(file, why));
        return std::nullopt;
    }
    MqttSettings settings;
    settings.host = address->host;
    settings.port = address->port.value_or(0);
    settings.user = valueText(ini, QStringLiteral("user"));
    settings.password = valueText(ini, QStringLiteral("password"));
    const QString passwordFile = pathFrom(folder, valueText(ini, QStringLiteral("password_file")));
    if (!passwordFile.isEmpty()) {
        if (!settings.password.isEmpty()) {
            errors->append(
                QStringLiteral("%1: [mqtt] has both password and password_file").arg(file));
            return std::nullopt;
        }
        const std::optional<QString> password = readPasswordFile(passwordFile, &why);
        if (!password) {
            errors->append(QStringLiteral("%1: [mqtt] %2").arg(file, why));
            return std::nullopt;
        }
        settings.password = *password;
    }
    settings.caFile = pathFrom(folder, valueText(ini, QStringLiteral("tls_ca")));
    settings.certFile = pathFrom(folder, valueText(ini, QStringLiteral("tls_cert")));
    settings.keyFile = pathFrom(folder, valueText(ini, QStringLiteral("tls_key")));
    settings.clientId = valueText(ini, QStringLiteral("client_id"));
    why = checkMqttSettings(settings);
    if (!why.isEmpty()) {
        errors->append(QStringLiteral("%1: [mqtt] %2").arg(file, why));
        return std::nullopt;
    }
    return settings;
}

std::optional<HttpSettings> readHttp(QSettings &ini, const QString &file, QStringList *errors)
{
    const QString listen = valueText(ini, QStringLiteral("http/listen"));
    if (listen.isEmpty()) {
        errors->append(QStringLiteral("%1: [http] needs listen=[ADDRESS:]PORT").arg(file));
        return std::nullopt;
    }
    QString why;
    const std::optional<HostPort> address = parseListenAddress(listen, &why);
    if (!address) {
        errors->append(QStringLiteral("%1: [http] listen: %2").arg(file, why));
        return std::nullopt;
    }
    HttpSettings settings;
    if (!address->host.isEmpty())
        settings.address = QHostAddress(address->host);
    settings.port = quint16(*address->port);
    return settings;
}

} // namespace

PublishIniResult readPublishIni(const QString &folder)
{
    PublishIniResult result;
    const QDir dir(folder);
    const QString path = dir.absoluteFilePath(PublishIni::FileName);
    if (!QFileInfo::exists(path))
        return result;
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        result.errors.append(QStringLiteral("%1: cannot be read as an INI file").arg(path));
        return result;
    }
    const QStringList groups = ini.childGroups();
    if (groups.contains(QStringLiteral("mqtt"))) {
        checkKeys(ini, QStringLiteral("mqtt"), MqttKeys, path, &result.errors);
        result.settings.mqtt = readMqtt(ini, dir, path, &result.errors);
    }
    if (groups.contains(QStringLiteral("http"))) {
        checkKeys(ini, QStringLiteral("http"), HttpKeys, path, &result.errors);
        result.settings.http = readHttp(ini, path, &result.errors);
    }
    return result;
}

Publishing::Publishing(DdeItemServer &items, const LineDiagnostics *diagnostics, const Clock &clock,
                       QObject *parent)
    : QObject(parent), m_items(items), m_diagnostics(diagnostics), m_clock(clock)
{}

Publishing::~Publishing()
{
    stop();
}

QStringList Publishing::start(const PublishSettings &settings)
{
    stop();
    QStringList errors;
    if (settings.http) {
        auto http = std::make_unique<ItemsHttpServer>(m_items, m_diagnostics, m_clock);
        QString error;
        if (http->listen(*settings.http, &error)) {
            m_http = std::move(http);
            emit message(
                QStringLiteral("HTTP: items on http://%1/items.html")
                    .arg(formatHostPort(m_http->serverAddress().toString(), m_http->serverPort())));
        } else {
            errors.append(error);
        }
    }
    if (settings.mqtt) {
        auto mqtt = std::make_unique<MqttPublisher>(m_items, m_diagnostics, *settings.mqtt);
        connect(mqtt.get(), &MqttPublisher::message, this, &Publishing::message);
        QString error;
        if (mqtt->start(&error))
            m_mqtt = std::move(mqtt);
        else
            errors.append(QStringLiteral("MQTT: %1").arg(error));
    }
    return errors;
}

QStringList Publishing::startFromIni(const QString &folder)
{
    const PublishIniResult ini = readPublishIni(folder);
    return ini.errors + start(ini.settings);
}

void Publishing::stop()
{
    m_mqtt.reset();
    m_http.reset();
}

} // namespace telviox
