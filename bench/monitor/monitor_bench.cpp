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

#include "../simprocess.h"
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

namespace {

constexpr int Port = 1;
constexpr qint32 Baud = 115200;

const char LineFile[] = R"({
  "turnaroundMs": 2,
  "wireTime": true,
  "modules": [
    {"name": "2026", "address": "11", "baud": 115200, "inputs": [1.5]},
    {"name": "2091", "address": "12", "baud": 115200,
     "inputs": [1.5, 2.5, 3.5, 4.5, -5.5, 6.5, 7.5, 8.5]},
    {"name": "2011", "address": "13", "baud": 115200},
    {"name": "2028", "address": "14", "baud": 115200},
    {"name": "2032", "address": "15", "baud": 115200,
     "counters": [{"start": 1000, "countsPerSecond": 10}, {"start": 5}]},
    {"name": "2017", "address": "16", "baud": 115200, "digitalInputs": 90},
    {"name": "2063", "address": "17", "baud": 115200, "inputs": [0.75, 0.5]}
  ]
})";

class QuietPrompt final : public Prompt
{
public:
    Answer message(const QString &text, int, const QString &) override
    {
        fail(QStringLiteral("unexpected message: %1").arg(text));
    }
    void beep() override {}
};

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

class Items final : public ServerItems
{
public:
    void setItemText(int position, const QString &text) override
    {
        texts[std::size_t(position)] = text;
    }
    QString itemText(int position) const override { return texts[std::size_t(position)]; }
    std::array<QString, 33> texts;
};

class NoSource final : public LinkSource
{
public:
    bool connectItem(int, const LinkSourceName &, int) override { return false; }
    std::optional<QString> requestItem(int) override { return std::nullopt; }
};

class Status final : public StatusLine
{
public:
    void setStatusText(const QString &value) override
    {
        if (!value.isEmpty())
            fail(QStringLiteral("module error: %1").arg(value));
    }
};

class View final : public ServerView
{
public:
    void showServerWindow() override {}
    void unloadServerWindow() override {}
    void restoreServerWindow() override {}
    void hideServerWindow() override {}
    void minimiseWindows() override {}
    void setServerMenusEnabled(bool) override {}
    // The end of a tick: the monitor's table takes the tick's frames and paints.
    void processEvents() override { QCoreApplication::processEvents(); }
};

class Establish final : public EstablishView
{
public:
    void setChecked(int index, bool ticked) override { checks[std::size_t(index)] = ticked; }
    bool isChecked(int index) const override { return checks[std::size_t(index)]; }
    void setIntervalValue(int) override {}
    std::array<bool, ConvCount> checks{};
};

void configure(SharedState &state, Establish &establish)
{
    struct Conversation
    {
        const char *model;
        int address;
        qint16 channels;
        qint16 ioType;
        qint16 outData;
        float outValue;
    };
    const Conversation conversations[] = {
        {"2026", 0x11, 1, 0, 0, 0.0f},    {"2091", 0x12, 0xFF, 0, 0, 0.0f},
        {"2011", 0x13, 1, 0, 0, 2.5f},    {"2028", 0x14, 2, 0, 0, 1.25f},
        {"2032", 0x15, 3, 0, 0, 0.0f},    {"2017", 0x16, 0, 1, 0, 0.0f},
        {"2017", 0x16, 0, 2, 0x5A, 0.0f}, {"2063", 0x17, 1, 3, 0, 0.0f},
    };
    int n = 0;
    for (const Conversation &c : conversations) {
        ConvRecord &record = state.Conv[std::size_t(n)];
        record = ConvRecord{};
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(QLatin1String(c.model));
        record.BaudRate = Baud;
        record.Address = qint16(c.address);
        record.Channels = c.channels;
        record.IoType = c.ioType;
        record.OutData = c.outData;
        record.OutValue = c.outValue;
        establish.setChecked(n++, true);
    }
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

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
    configure(state, establish);
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
