// What the line monitor costs the poll cycle. Ticks of eight conversations
// against telvioxd-sim (wire time on, 115200 bit/s, where a tick is shortest
// and the monitor's share largest), in blocks without the monitor and with its
// window open on 100,000 buffered frames (so every new frame also lets an old
// one go), in turn. Before that the traffic log alone: the time per appended
// frame and the memory over a million frames.
//
//   bench_monitor [--blocks N] [--ticks N] [--max-slowdown PERCENT] [--max-growth-mb MB]
//
// telvioxd-sim is looked for in $TELVIOXD_BIN, else beside this program.

#include "../tick/tickline.h"
#include "conversations/conversationtable.h"
#include "conversations/establishview.h"
#include "core/clock.h"
#include "core/filedialog.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/seriallink.h"
#include "monitor/linemonitor.h"
#include "monitor/windows/linemonitorwindow.h"
#include "server/servingprogram.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <ctime>

using namespace telviox;
using namespace telviox::tickbench;

namespace {

constexpr int Port = 1;
constexpr qint32 Baud = 115200;

class NoDialogs final : public FileDialogs
{
public:
    std::optional<QString> getOpenFileName(const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
};

double rssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// A frame of the kind a tick makes, sent or received.
TrafficRecord typicalRecord(qint64 n, const QString &device)
{
    TrafficRecord r;
    r.time = n;
    r.port = Port;
    r.baud = Baud;
    r.device = device;
    r.direction = n % 2 ? TrafficRecord::Direction::Received : TrafficRecord::Direction::Sent;
    r.frame = n % 2 ? QByteArray(">+01.500+02.500+03.500+04.500\r")
                    : QByteArray("#1") + char('0' + n % 8) + '\r';
    r.elapsedMs = n % 2 ? 3 : 0;
    return r;
}

struct TickFigures
{
    double withMs = 0, withoutMs = 0, withCpuMs = 0, withoutCpuMs = 0;
    int framesPerTick = 0;
};

double mean(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

// Blocks of ticks without the monitor and with it open, in turn; a block is
// long enough for the tables' updates (every second) to fall into it, and
// the means carry their cost.
TickFigures measureTicks(const QString &home, int blocks, int ticksPerBlock)
{
    SerialLink link(SystemClock::instance(), {}, home);
    QuietPrompt prompt;
    SharedState state;
    Items items;
    NoSource source;
    Status status;
    View view;
    Establish establish;
    ServingProgram serving({state, link, SystemClock::instance(), prompt, status}, items, source);
    PollCycle &cycle = serving.attach(establish, view, [] { fail(QStringLiteral("quit asked")); });
    NoDialogs dialogs;

    int frames = 0;
    link.addObserver([&frames](const TrafficRecord &) { ++frames; });

    state.ComPort = Port;
    configure(state, Baud, 0x11);
    for (int n = 0; n < 8; ++n)
        establish.setChecked(n, true);
    intervalChanged(state, 1000);
    cycle.mnuRunDDE_Click();
    for (int i = 0; i < 2; ++i)
        cycle.Timer1_Timer();
    const QString device = link.devicePath(Port);

    std::vector<double> with, without, withCpu, withoutCpu;
    const auto runBlock = [&](std::vector<double> &ms, std::vector<double> &cpu) {
        for (int i = 0; i < ticksPerBlock; ++i) {
            frames = 0;
            const double cpuBefore = threadCpuMs();
            QElapsedTimer timer;
            timer.start();
            cycle.Timer1_Timer();
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            cpu.push_back(threadCpuMs() - cpuBefore);
        }
    };
    for (int b = 0; b < blocks; ++b) {
        runBlock(without, withoutCpu);

        LineMonitor monitor(link, SystemClock::instance(), serving.diagnostics(), items);
        for (qint64 n = 0; n < TrafficLog::DefaultCapacity; ++n)
            monitor.log().append(typicalRecord(n, device));
        LineMonitorWindow window(monitor, dialogs, prompt);
        window.show();
        monitor.traffic().refresh();
        QCoreApplication::processEvents();
        if (monitor.traffic().rowCount() != TrafficLog::DefaultCapacity)
            fail(QStringLiteral("the table holds %1 lines").arg(monitor.traffic().rowCount()));
        runBlock(with, withCpu);
        if (monitor.log().size() != TrafficLog::DefaultCapacity)
            fail(QStringLiteral("the log holds %1 lines").arg(monitor.log().size()));
    }
    cycle.form5quitCmd_Click();
    if (!status.errors.isEmpty())
        fail(QStringLiteral("module error: %1").arg(status.errors.first()));

    TickFigures f;
    f.withMs = mean(with);
    f.withoutMs = mean(without);
    f.withCpuMs = mean(withCpu);
    f.withoutCpuMs = mean(withoutCpu);
    f.framesPerTick = frames;
    return f;
}

struct LogFigures
{
    double appendUs = 0;
    double rssFullMb = 0;
    double rssEndMb = 0;
    double rssStartMb = 0;
};

LogFigures measureLog()
{
    LogFigures f;
    VirtualClock clock;
    const QString device = QStringLiteral("/dev/ttyUSB0");
    f.rssStartMb = rssMb();
    TrafficLog log(clock);
    qint64 n = 0;
    for (; n < TrafficLog::DefaultCapacity; ++n)
        log.append(typicalRecord(n, device));
    f.rssFullMb = rssMb();
    QElapsedTimer timer;
    timer.start();
    constexpr qint64 Total = 1000000;
    for (; n < Total; ++n)
        log.append(typicalRecord(n, device));
    f.appendUs = double(timer.nsecsElapsed()) / 1e3 / double(Total - TrafficLog::DefaultCapacity);
    f.rssEndMb = rssMb();
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption blocksOption(QStringLiteral("blocks"),
                                          QStringLiteral("Blocks of ticks measured each way."),
                                          QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption ticksOption(QStringLiteral("ticks"),
                                         QStringLiteral("Ticks in a block."), QStringLiteral("N"),
                                         QStringLiteral("12"));
    const QCommandLineOption slowdownOption(
        QStringLiteral("max-slowdown"),
        QStringLiteral("Fail when the mean tick with the monitor is slower by more (percent)."),
        QStringLiteral("PERCENT"), QStringLiteral("0"));
    const QCommandLineOption growthOption(
        QStringLiteral("max-growth-mb"),
        QStringLiteral("Fail when the log's memory grows by more after it is full (MB)."),
        QStringLiteral("MB"), QStringLiteral("0"));
    parser.addOptions({blocksOption, ticksOption, slowdownOption, growthOption});
    parser.process(app);
    const int blocks = std::max(1, parser.value(blocksOption).toInt());
    const int ticks = std::max(1, parser.value(ticksOption).toInt());
    benchRun().name = "bench_monitor";

    const LogFigures log = measureLog();
    std::printf("traffic log, 100,000 lines kept: %.2f us per appended frame; RSS %.1f MB before, "
                "%.1f MB full, %.1f MB after 1,000,000 frames (growth after full %.1f MB)\n",
                log.appendUs, log.rssStartMb, log.rssFullMb, log.rssEndMb,
                log.rssEndMb - log.rssFullMb);

    QTemporaryDir home;
    const auto simulator = startSimulator(
        home.path(), LineFile,
        {QStringLiteral("--wire-time"), QStringLiteral("--turnaround"), QStringLiteral("2")});
    const TickFigures t = measureTicks(home.path(), blocks, ticks);
    const double slowdown = (t.withMs / t.withoutMs - 1.0) * 100.0;
    std::printf("one tick of 8 conversations at %d bit/s (%d frames), %d ticks each way, means:\n"
                "  monitor open, 100,000 frames buffered: %.2f ms (cpu %.2f ms)\n"
                "  without the monitor:                   %.2f ms (cpu %.2f ms)\n"
                "  slowdown %.2f %%, cpu %+.2f ms per tick\n",
                Baud, t.framesPerTick, blocks * ticks, t.withMs, t.withCpuMs, t.withoutMs,
                t.withoutCpuMs, slowdown, t.withCpuMs - t.withoutCpuMs);

    int result = 0;
    const double maxSlowdown = parser.value(slowdownOption).toDouble();
    if (maxSlowdown > 0 && slowdown > maxSlowdown) {
        std::printf("above target (%.1f %%)\n", maxSlowdown);
        result = 1;
    }
    const double maxGrowth = parser.value(growthOption).toDouble();
    if (maxGrowth > 0 && log.rssEndMb - log.rssFullMb > maxGrowth) {
        std::printf("memory grew above target (%.1f MB)\n", maxGrowth);
        result = 1;
    }
    return result;
}
