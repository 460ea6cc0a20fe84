// telvioxd-io: talks to the modules on a COM port from the shell. It sends raw
// commands, calls any module library function by name, and reads out a module,
// always through the program's own serial link and module library.

#include "core/toolcommandline.h"
#include "ioprogram.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvioxd-io"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    telviox::ToolCommandLine commandLine(QStringLiteral("telvioxd-io"), telviox::io::helpText(),
                                         out, err);
    const telviox::io::ProgramOptions options;
    options.addTo(commandLine.parser());
    if (const auto done = commandLine.parse(QCoreApplication::arguments()))
        return *done;
    return telviox::io::runProgram(commandLine, options);
}
