#pragma once

#include "core/toolcommandline.h"
#include "iotool.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

// telvioxd-io from its parsed command line to its exit status.
namespace telviox::io {

// The options before the command word.
struct ProgramOptions
{
    QCommandLineOption port{QStringLiteral("port"), QString(), QStringLiteral("N")};
    QCommandLineOption device{QStringLiteral("device"), QString(), QStringLiteral("PATH")};
    QCommandLineOption baud{QStringLiteral("baud"), QString(), QStringLiteral("B")};
    QCommandLineOption checksum{QStringLiteral("checksum")};
    QCommandLineOption timeout{QStringLiteral("timeout"), QString(), QStringLiteral("MS")};
    QCommandLineOption repeat{QStringLiteral("repeat"), QString(), QStringLiteral("MS")};
    QCommandLineOption count{QStringLiteral("count"), QString(), QStringLiteral("K")};
    QCommandLineOption csv{QStringLiteral("csv")};
    QCommandLineOption list{QStringLiteral("list")};

    void addTo(QCommandLineParser &parser) const;
};

// What --help prints.
QString helpText();

// Checks the command, opens the port and runs the command (repeated when
// asked); usage errors and failures go to the command line's stderr.
int runProgram(ToolCommandLine &commandLine, const ProgramOptions &options);

} // namespace telviox::io
