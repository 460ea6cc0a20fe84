// telvioxd-cnv: shows, checks, exports and imports conversation lists, with
// the program's own conversation-file code.

#include "cnvtool.h"
#include "core/toolcommandline.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-cnv"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    telviox::ToolCommandLine commandLine(QStringLiteral("telvioxd-cnv"), telviox::cnv::helpText(),
                                         out, err);
    const telviox::cnv::ToolOptions options;
    options.addTo(commandLine.parser());
    if (const auto done = commandLine.parse(QCoreApplication::arguments()))
        return *done;
    return telviox::cnv::runTool(commandLine, options);
}
