#pragma once

#include "conversations/sharedstate.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace telviox {

class Prompt;

// "lumvex.cfg" in the program's folder keeps the COM port and the start-up
// options between runs: one line of four decimal integers separated by
// commas, "ComPort,SearchBaudMask,SearchChecksum,AutoRun".
namespace ConfigFile {
inline const QString FileName = QStringLiteral("lumvex.cfg");
// What a missing or unreadable file leaves: the search tries 9600 bit/s
// (bit 4 of its list) without checksum, and nothing runs by itself.
constexpr qint16 DefaultSearchBaudMask = 16;
constexpr qint16 DefaultSearchChecksum = 0;
constexpr qint16 DefaultAutoRun = 0;
// Ranges a value must have to be taken; COM1..COM255 as the port list offers.
constexpr int MaxComPort = 255;
constexpr int SearchBaudCount = 11;
constexpr int MaxSearchBaudMask = (1 << SearchBaudCount) - 1;
} // namespace ConfigFile

struct Configuration
{
    qint16 ComPort = 1;
    qint16 SearchBaudMask = ConfigFile::DefaultSearchBaudMask;
    qint16 SearchChecksum = ConfigFile::DefaultSearchChecksum;
    qint16 AutoRun = ConfigFile::DefaultAutoRun;

    friend bool operator==(const Configuration &a, const Configuration &b)
    {
        return a.ComPort == b.ComPort && a.SearchBaudMask == b.SearchBaudMask &&
               a.SearchChecksum == b.SearchChecksum && a.AutoRun == b.AutoRun;
    }
};

QString configFilePath(const QString &folder);

// The first line of the file: four integers, blanks around them allowed.
// A value outside its range (a port 1..255, a mask of the eleven search
// rates, flags 0 or 1) is left empty: it would put a port or option into the
// program that no window can show, so its default applies, and the others
// are still taken.
struct ConfigLine
{
    std::optional<qint16> ComPort;
    std::optional<qint16> SearchBaudMask;
    std::optional<qint16> SearchChecksum;
    std::optional<qint16> AutoRun;
};
// nullopt when the line is not four integers.
std::optional<ConfigLine> parseConfiguration(const QByteArray &text);
QByteArray formatConfiguration(const Configuration &configuration);

// The search's rate selection: bit i of the mask <-> flag i (i = 0..10).
std::array<quint8, ConfigFile::SearchBaudCount> searchBaudsOfMask(qint16 mask);
qint16 searchBaudMaskOf(const std::array<quint8, ConfigFile::SearchBaudCount> &bauds);

enum class ConfigRead { Read, Missing, Unreadable };

// Start-up: takes ComPort, SearchBaudMask, SearchChecksum and AutoRun from the
// file in folder. A missing file is reported by the message "File Not exist
// !!!" and its path; a file that cannot be read or holds no line of four
// integers gives one warning on stderr naming it. Both leave ComPort as it is
// and set the defaults; so does an unusable value for itself alone (with a
// warning). AutoRun 1 makes the server's window start hidden.
ConfigRead readConfiguration(SharedState &state, Prompt &prompt, const QString &folder);

// The values the program closes with: the mask is built from SearchBauds.
Configuration configurationOf(const SharedState &state);

// Replaces the file whole (the old one stays if writing fails). False, with
// the reason in *error, when it could not be written.
bool writeConfiguration(const Configuration &configuration, const QString &folder,
                        QString *error = nullptr);

} // namespace telviox
