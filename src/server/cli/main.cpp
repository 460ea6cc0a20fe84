// telvioxd-dde: reads, writes and watches items of servers on the session bus,
// and holds items of its own for scripts and tests.

#include "core/toolcommandline.h"
#include "ddetool.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {

int run(int argc, char *argv[], QTextStream &out, QTextStream &err)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-dde"));
    telviox::ToolCommandLine commandLine(QStringLiteral("telvioxd-dde"), telviox::dde::helpText(),
                                         out, err);
    const telviox::dde::ToolOptions options;
    options.addTo(commandLine.parser());
    if (const auto done = commandLine.parse(QCoreApplication::arguments()))
        return *done;
    return telviox::dde::runTool(app, commandLine, options);
}

} // namespace

int main(int argc, char *argv[])
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = run(argc, argv, out, err);
    // Leave without the library's exit handlers: the bus connection's thread
    // may still be handing on a message the bus sent unasked (the name
    // acquired at connect) while they tear down the types it decodes into,
    // which prints spurious warnings. Everything of ours is closed by now.
    out.flush();
    err.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}
