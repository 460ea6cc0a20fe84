#pragma once

#include "device/modulelibrary.h"
#include "device/portpath.h"

#include <QPair>
#include <QStringList>
#include <QTextStream>
#include <optional>

// The work of telvioxd-io: raw commands, library calls by name and a module
// read-out, all through SerialLink and ModuleLibrary.
namespace telviox::io {

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// What every run uses: the exchanges' settings and how results are printed.
struct Settings
{
    int port = 1;
    qint32 baud = 9600;
    bool checksum = false;
    int timeoutMs = 1000;
    bool csv = false;        // each result a CSV row under a header of its columns
    bool timeStamps = false; // each result and error line starts with the time
};

// A library call with its parameter blocks filled from the command line.
struct CallRequest
{
    const ModuleLibrary::Function *function = nullptr;
    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
};

// Integer as typed: decimal, or hexadecimal after "0x"; an optional minus sign.
std::optional<qint64> parseInteger(const QString &text);
// A module address: one or two hexadecimal digits.
std::optional<int> parseAddress(const QString &text);

// "FUNCTION addr=AA type=CODE [slot=S] [ch=N] [value=V] [eN=..]"; on a
// mistake returns nothing and says why in error.
std::optional<CallRequest> parseCall(const QStringList &args, const Settings &settings,
                                     QString *error);

// One line per function: its block, where it takes its arguments, what it fills.
QString functionList();

class IoTool
{
public:
    IoTool(ModuleLibrary &library, const Settings &settings, PortChoice port, QTextStream &out,
           QTextStream &err);

    // Each returns the exit status of one run.
    int raw(const QByteArray &command);
    int call(CallRequest &request);
    int read(int address, std::optional<int> slot);

    ModuleLibrary &library() const { return m_library; }
    const Settings &settings() const { return m_settings; }
    const PortChoice &port() const { return m_port; }
    QTextStream &out() const { return m_out; }
    QTextStream &err() const { return m_err; }

    // The time of day, as a result's time stamp shows it.
    QString timeStamp() const;
    // A result line as the plain output shows it, after its time when time
    // stamps are on.
    void printLine(const QString &line);
    // The header row of a table, printed when it differs from the last one,
    // so repeated runs print it once. The time column comes first when asked.
    void printHeader(const QStringList &columns, bool withTime);
    // A row of values under printHeader(columns, withTime).
    void printRow(const QStringList &columns, const QStringList &values, bool withTime);
    // Starts a line on stderr: its time when time stamps are on.
    QTextStream &errorLine();

private:
    // One result: the plain line, or in CSV a row of its values with the
    // time first.
    void printResult(const QString &plainLine, const QStringList &columns,
                     const QStringList &values);
    QString describe(qint16 code) const;
    // "error N: text" and where the exchange went, on stderr.
    void reportError(const QString &prefix, qint16 code, const QString &detail = {});
    // Reads every channel of a module with the named function into names and
    // values; the first failure that is not a range verdict lands in failure.
    using Values = QList<QPair<QString, QString>>;
    Values readChannels(const char *function, qint32 typeCode, int address, std::optional<int> slot,
                        int channels, const QString &prefix, qint16 &failure);

    ModuleLibrary &m_library;
    Settings m_settings;
    PortChoice m_port;
    QTextStream &m_out;
    QTextStream &m_err;
    QStringList m_header;
};

} // namespace telviox::io
