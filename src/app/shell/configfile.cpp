#include "app/shell/configfile.h"

#include "core/prompt.h"
#include "conversations/conversationcommands.h"
#include "conversations/conversationfiles.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSaveFile>

namespace telviox {

namespace {

// Enough for one line; a file that has no line break within it holds
// something other than a configuration.
constexpr qint64 MaxLineBytes = 256;

std::optional<int> integerIn(const QByteArray &field, int low, int high)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok, 10);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

void applyDefaults(SharedState &state)
{
    state.SearchBaudMask = ConfigFile::DefaultSearchBaudMask;
    state.SearchChecksum = ConfigFile::DefaultSearchChecksum;
    state.AutoRun = ConfigFile::DefaultAutoRun;
}

} // namespace

QString configFilePath(const QString &folder)
{
    return QDir(folder).filePath(ConfigFile::FileName);
}

std::optional<Configuration> parseConfiguration(const QByteArray &text)
{
    QByteArray line = text;
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 4)
        return std::nullopt;

    const auto port = integerIn(fields[0], 1, ConfigFile::MaxComPort);
    const auto mask = integerIn(fields[1], 0, ConfigFile::MaxSearchBaudMask);
    const auto checksum = integerIn(fields[2], 0, 1);
    const auto autoRun = integerIn(fields[3], 0, 1);
    if (!port || !mask || !checksum || !autoRun)
        return std::nullopt;
    return Configuration{qint16(*port), qint16(*mask), qint16(*checksum), qint16(*autoRun)};
}

QByteArray formatConfiguration(const Configuration &c)
{
    return QByteArray::number(c.ComPort) + ',' + QByteArray::number(c.SearchBaudMask) + ',' +
           QByteArray::number(c.SearchChecksum) + ',' + QByteArray::number(c.AutoRun) + '\n';
}

std::array<quint8, ConfigFile::SearchBaudCount> searchBaudsOfMask(qint16 mask)
{
    std::array<quint8, ConfigFile::SearchBaudCount> bauds{};
    for (int i = 0; i < ConfigFile::SearchBaudCount; ++i)
        bauds[std::size_t(i)] = (mask >> i) & 1 ? 1 : 0;
    return bauds;
}

qint16 searchBaudMaskOf(const std::array<quint8, ConfigFile::SearchBaudCount> &bauds)
{
    int mask = 0;
    for (int i = 0; i < ConfigFile::SearchBaudCount; ++i) {
        if (bauds[std::size_t(i)] != 0)
            mask |= 1 << i;
    }
    return qint16(mask);
}

ConfigRead readConfiguration(SharedState &state, Prompt &prompt, const QString &folder)
{
    const QString path = configFilePath(folder);
    ConfigRead outcome = ConfigRead::Read;
    if (!FileExist(path)) {
        prompt.message(QStringLiteral("File Not exist !!!") + path, BoxStyle::Ok, ApplicationTitle);
        applyDefaults(state);
        outcome = ConfigRead::Missing;
    } else {
        QFile file(path);
        std::optional<Configuration> read;
        QString why = QStringLiteral("not four numbers \"port,mask,checksum,autorun\"");
        if (file.open(QIODevice::ReadOnly))
            read = parseConfiguration(file.read(MaxLineBytes));
        else
            why = file.errorString();
        if (read) {
            state.ComPort = read->ComPort;
            state.SearchBaudMask = read->SearchBaudMask;
            state.SearchChecksum = read->SearchChecksum;
            state.AutoRun = read->AutoRun;
        } else {
            qWarning().noquote() << "telvioxd: cannot read the configuration" << path
                                 << "(" + why + "); using the defaults";
            applyDefaults(state);
            outcome = ConfigRead::Unreadable;
        }
    }
    if (state.AutoRun == 1)
        state.StartHidden = 1;
    return outcome;
}

Configuration configurationOf(const SharedState &state)
{
    return Configuration{state.ComPort, searchBaudMaskOf(state.SearchBauds), state.SearchChecksum,
                         state.AutoRun};
}

bool writeConfiguration(const Configuration &configuration, const QString &folder, QString *error)
{
    QSaveFile file(configFilePath(folder));
    if (!file.open(QIODevice::WriteOnly) || file.write(formatConfiguration(configuration)) < 0 ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace telviox
