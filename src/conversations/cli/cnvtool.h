#pragma once

#include "core/toolcommandline.h"

#include <QCommandLineOption>
#include <QString>

namespace telviox::cnv {

QString helpText();

struct ToolOptions
{
    QCommandLineOption format{QStringLiteral("format"), QStringLiteral("json or csv"),
                              QStringLiteral("FORMAT")};
    QCommandLineOption unixLines{QStringLiteral("unix"), QStringLiteral("LF between entries")};

    void addTo(QCommandLineParser &parser) const;
};

// Runs the command the parsed line names; returns the exit status: 0 done,
// 1 a file could not be read or written or check found a problem, 2 a usage
// error or a list import refuses.
int runTool(ToolCommandLine &commandLine, const ToolOptions &options);

} // namespace telviox::cnv
