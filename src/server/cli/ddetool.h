#pragma once

#include "core/toolcommandline.h"

#include <QCommandLineOption>
#include <QCoreApplication>

// telvioxd-dde from its parsed command line to its exit status.
namespace telviox::dde {

// The options before the command word.
struct ToolOptions
{
    QCommandLineOption timeout{QStringLiteral("timeout"), QString(), QStringLiteral("MS")};
    QCommandLineOption csv{QStringLiteral("csv")};

    void addTo(QCommandLineParser &parser) const;
};

// What --help prints.
QString helpText();

// Checks the command and its words, then requests, pokes, advises or serves.
int runTool(QCoreApplication &app, ToolCommandLine &commandLine, const ToolOptions &options);

} // namespace telviox::dde
