// telvioxd-demo-list: writes the demonstration's conversation list,
// default.cnv and default.dde, into a program folder. The conversations read
// modules of demo-line.json, so the program served on that simulated line
// with auto-run publishes values that move.

#include "conversations/conversationfiles.h"
#include "conversations/sharedstate.h"
#include "core/toolcommandline.h"
#include "device/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <array>
#include <cstdio>

using namespace telviox;

namespace {

struct DemoConversation
{
    const char *model;
    qint16 address;
    qint32 baud;
    qint16 slot;
    qint16 channels; // analog inputs: bit 7 is channel 0
    qint16 ioType;   // digital: 1 reads the inputs
    const char *what;
    // An output fed from an item of another server (service, topic, item).
    const char *source[3] = {nullptr, nullptr, nullptr};
};

// In table order: conversation n is published in item Text(n+1).
const DemoConversation Demo[] = {
    {"2026", 0x01, 9600, 0, 1, 0, "thermocouple input, about 25 degrees"},
    {"2091", 0x02, 9600, 0, qint16(0xF0), 0, "eight-channel input, channels 0 to 3"},
    {"2032", 0x08, 9600, 0, 3, 0, "two counters"},
    {"2065", 0x06, 9600, 0, 0, 1, "digital inputs"},
    {"9091", 0x10, 9600, 0, qint16(0xC0), 0, "input in slot 0 of a main unit, channels 0 and 1"},
    {"92091", 0x09, 19200, 0, 0x80, 0, "input of the 92000 family at 19200 baud, channel 0"},
    {"2011",
     0x03,
     9600,
     0,
     1,
     0,
     "output following item Setpoint of DemoSource, topic Values",
     {"DemoSource", "Values", "Setpoint"}},
};

constexpr qint16 DemoInterval = 1000;

const char Help[] = "usage: telvioxd-demo-list FOLDER\n"
                    "Writes FOLDER/default.cnv and FOLDER/default.dde for the "
                    "demonstration line demo-line.json.\n"
                    "--version  print the program's version\n";

// Writes the pair into folder and lists the conversations on stdout.
int writeDemoList(const QDir &folder)
{
    if (!folder.exists()) {
        std::fprintf(stderr, "telvioxd-demo-list: no folder %s\n", qPrintable(folder.path()));
        return 1;
    }

    std::array<ConvRecord, ConvCount> conv{};
    std::array<LinkRecord, LinkCount> links{};
    int n = 0;
    for (const DemoConversation &d : Demo) {
        ConvRecord &record = conv[std::size_t(n)];
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(QString::fromLatin1(d.model));
        record.BaudRate = d.baud;
        record.Address = d.address;
        record.Channels = d.channels;
        record.IoType = d.ioType;
        record.Slot = d.slot;
        if (d.source[0]) {
            links[std::size_t(n)] =
                LinkRecord{QString::fromLatin1(d.source[0]), QString::fromLatin1(d.source[1]),
                           QString::fromLatin1(d.source[2]), 1};
        }
        ++n;
    }
    links[IntervalEntry] = LinkRecord{QStringLiteral("Timer Interval"), {}, {}, DemoInterval};

    const QString cnv = folder.filePath(QStringLiteral("default.cnv"));
    const auto companion = encodeCompanion(links);
    const WriteOutcome written =
        writePair(cnv, encodeCnv(conv), companionPath(cnv), companion.value_or(QByteArray()));
    if (!companion || !written.ok) {
        std::fprintf(stderr, "telvioxd-demo-list: cannot write %s: %s\n",
                     qPrintable(written.failedPath), qPrintable(written.error));
        return 1;
    }
    n = 0;
    for (const DemoConversation &d : Demo) {
        std::printf("Text%-2d %-5s address %02X, %5d baud: %s\n", n + 1, d.model, d.address, d.baud,
                    d.what);
        ++n;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    ToolCommandLine commandLine(QStringLiteral("telvioxd-demo-list"), QLatin1String(Help), out,
                                err);
    if (const auto done = commandLine.parse(QCoreApplication::arguments()))
        return *done;
    const QStringList args = commandLine.parser().positionalArguments();
    if (args.size() != 1)
        return commandLine.usageError(args.isEmpty() ? QStringLiteral("no folder given")
                                                     : QStringLiteral("one folder only"));
    return writeDemoList(QDir(args.first()));
}
