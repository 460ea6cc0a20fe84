#pragma once

#include "core/toolcommandline.h"
#include "publish/publishing.h"
#include "publish/publishoptions.h"

#include <QCommandLineOption>
#include <QString>
#include <optional>

namespace telviox {

// What telvioxd-serve was asked to do.
struct ServeOptions
{
    QString file;                // the conversation list (FILE.cnv), absolute
    QString home;                // --home: the program folder; empty: the usual rule
    int com = 0;                 // --com; 0: lumvex.cfg's port, else COM1
    QString device;              // --device: this device as the port
    std::optional<int> interval; // --interval, in place of the list's own
    PublishSettings publish;     // --mqtt, --http and theirs
};

// The command line of telvioxd-serve. Every option is declared in
// declareOptions() and read in readOptions(), and nowhere else.
class ServeCommandLine
{
public:
    static constexpr const char *ProgramName = "telvioxd-serve";

    ServeCommandLine(QTextStream &out, QTextStream &err);

    // Parses arguments (the program's name first). Returns the exit status
    // when the run is over already: help or version printed, or a usage error
    // (one line and a pointer to --help, status 2).
    std::optional<int> parse(const QStringList &arguments);
    const ServeOptions &options() const { return m_options; }
    ToolCommandLine &tool() { return m_tool; }

private:
    struct Declared
    {
        QCommandLineOption home;
        QCommandLineOption com;
        QCommandLineOption device;
        QCommandLineOption interval;
    };
    static Declared declareOptions();
    // nullopt, and the usage error in *message, when the options do not go.
    std::optional<ServeOptions> readOptions(QString *message);

    ToolCommandLine m_tool;
    Declared m_declared;
    PublishCommandLine m_publish;
    ServeOptions m_options;
};

} // namespace telviox
