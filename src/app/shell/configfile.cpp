#include "app/shell/configfile.h"

#include "conversations/conversationcommands.h"
#include "conversations/conversationfiles.h"
#include "core/programnames.h"
#include "core/prompt.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringList>
#include <limits>

namespace telviox {

namespace {

// Enough for one line; a file that has no line break within it holds
// something other than a configuration.
constexpr qint64 MaxLineBytes = 256;

// A field that is an integer (sign and digits, blanks around); nullopt when
// it is something else. A number too large for any field reads as the
// largest, so that it counts as out of range rather than as no number.
std::optional<qint64> integerOf(const QByteArray &field)
{
    const QByteArray digits = field.trimmed();
    const qsizetype first = digits.startsWith('-') || digits.startsWith('+') ? 1 : 0;
    if (digits.size() == first)
        return std::nullopt;
    for (qsizetype i = first; i < digits.size(); ++i) {
        if (digits[i] < '0' || digits[i] > '9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, 10);
    if (!ok)
        return digits.startsWith('-') ? std::numeric_limits<qint64>::min()
                                      : std::numeric_limits<qint64>::max();
    return value;
}

std::optional<qint16> within(qint64 value, int low, int high)
{
    if (value < low || value > high)
        return std::nullopt;
    return qint16(value);
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

std::optional<ConfigLine> parseConfiguration(const QByteArray &text)
{
    QByteArray line = text;
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    const QList<QByteArray> fields = line.split(',');
    if (fields.size() != 4)
        return std::nullopt;
    std::array<qint64, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::optional<qint64> value = integerOf(fields[qsizetype(i)]);
        if (!value)
            return std::nullopt;
        values[i] = *value;
    }
    return ConfigLine{within(values[0], 1, ConfigFile::MaxComPort),
                      within(values[1], 0, ConfigFile::MaxSearchBaudMask), within(values[2], 0, 1),
                      within(values[3], 0, 1)};
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
        prompt.message(QStringLiteral("File Not exist !!!") + path, BoxStyle::Ok, ProgramTitle);
        applyDefaults(state);
        outcome = ConfigRead::Missing;
    } else {
        QFile file(path);
        std::optional<ConfigLine> read;
        QString why = QStringLiteral("not four numbers \"port,mask,checksum,autorun\"");
        if (file.open(QIODevice::ReadOnly))
            read = parseConfiguration(file.read(MaxLineBytes));
        else
            why = file.errorString();
        if (read) {
            QStringList unusable;
            const auto take = [&unusable](const std::optional<qint16> &value, qint16 &into,
                                          qint16 fallback, const char *name) {
                if (!value)
                    unusable << QLatin1String(name);
                into = value.value_or(fallback);
            };
            take(read->ComPort, state.ComPort, state.ComPort, "port");
            take(read->SearchBaudMask, state.SearchBaudMask, ConfigFile::DefaultSearchBaudMask,
                 "search rates");
            take(read->SearchChecksum, state.SearchChecksum, ConfigFile::DefaultSearchChecksum,
                 "checksum");
            take(read->AutoRun, state.AutoRun, ConfigFile::DefaultAutoRun, "auto-run");
            if (!unusable.isEmpty())
                qWarning().noquote()
                    << "telvioxd: unusable values in the configuration" << path
                    << "(" + unusable.join(QStringLiteral(", ")) + "); using their defaults";
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
