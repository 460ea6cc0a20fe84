// One tick of the poll cycle over eight conversations, against telvioxd-sim
// with wire time on, next to the least time such a tick can take: the waits
// the routines make, the wire time of every frame at the line's rate and the
// simulator's turnaround for every exchange. Measured at 9600 and 115200 bit/s
// in one run.
//
//   bench_tick [--ticks N] [--max-ratio Y]
//
// telvioxd-sim is looked for in $TELVIOXD_BIN, else beside this program.

#include "conversations/conversationtable.h"
#include "conversations/establishview.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "server/pollcycle.h"
#include "tickline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <variant>
#include <vector>

using namespace telviox;
using namespace telviox::tickbench;

namespace {

constexpr int Port = 1;
constexpr int TurnaroundMs = 2;

// What a tick did on the line, in order: a command sent, or a wait (ms).
using Step = std::variant<QByteArray, int>;

// Real time for the routines, adding up the waits they ask for.
class CountingClock final : public Clock
{
public:
    explicit CountingClock(std::vector<Step> &steps) : m_steps(steps) {}
    qint64 tickCount() const override { return SystemClock::instance().tickCount(); }
    void sleep(int ms) override
    {
        m_sleptMs += ms;
        m_steps.emplace_back(ms);
        QElapsedTimer timer;
        timer.start();
        SystemClock::instance().sleep(ms);
        m_actualNs += timer.nsecsElapsed();
    }
    qint64 sleptMs() const { return m_sleptMs; }
    // What the waits really took: a loaded machine wakes a sleeper late.
    double actualMs() const { return double(m_actualNs) / 1e6; }
    void reset()
    {
        m_sleptMs = 0;
        m_actualNs = 0;
    }

private:
    std::vector<Step> &m_steps;
    qint64 m_sleptMs = 0;
    qint64 m_actualNs = 0;
};

struct Result
{
    double tickMs = 0;
    double idealMs = 0;
    double waitsMs = 0;
    double waitsTookMs = 0;
    double cpuMs = 0;
    double replayMs = 0;
    double wireMs = 0;
    int exchanges = 0;
    double ratio = 0;
};

Result measure(const QString &home, qint32 baud, int base, int ticks)
{
    SerialLink link(SystemClock::instance(), {}, home);
    qint64 wireUs = 0;
    int exchanges = 0;
    std::vector<Step> steps;
    link.addObserver([&](const TrafficRecord &record) {
        // Characters of 10 bits, whole microseconds per frame, as the line counts.
        wireUs += qint64(record.frame.size()) * 10 * 1000000 / baud;
        if (record.direction == TrafficRecord::Direction::Sent) {
            ++exchanges;
            steps.emplace_back(record.frame.chopped(1));
        }
    });
    ModuleLibrary library(link);
    CountingClock clock(steps);
    QuietPrompt prompt;
    SharedState state;
    Items items;
    NoSource source;
    Status status;
    View view;
    Establish establish;
    const ServerContext context{state, link, library, clock, prompt, items, source, status};
    PollCycle cycle(context, establish, view, [] { fail(QStringLiteral("quit asked")); });

    state.ComPort = Port;
    configure(state, baud, base);
    for (int n = 0; n < 8; ++n)
        establish.setChecked(n, true);
    intervalChanged(state, 1000);
    cycle.mnuRunDDE_Click();

    // Warm-up: the port settles and every path has run once.
    for (int i = 0; i < 2; ++i)
        cycle.Timer1_Timer();
    if (!status.errors.isEmpty())
        fail(QStringLiteral("at %1 bit/s: %2").arg(baud).arg(status.errors.first()));

    std::vector<double> tickMs;
    std::vector<double> idealMs;
    std::vector<double> ratios;
    std::vector<double> waitsTook;
    std::vector<double> cpu;
    std::vector<double> replayMs;
    Result last;
    for (int i = 0; i < ticks; ++i) {
        clock.reset();
        wireUs = 0;
        exchanges = 0;
        steps.clear();
        const double cpuBefore = threadCpuMs();
        QElapsedTimer timer;
        timer.start();
        cycle.Timer1_Timer();
        const double measured = double(timer.nsecsElapsed()) / 1e6;
        cpu.push_back(threadCpuMs() - cpuBefore);
        const double waits = double(clock.sleptMs());
        const double wire = double(wireUs) / 1000.0;
        const double ideal = waits + wire + double(exchanges) * TurnaroundMs;
        tickMs.push_back(measured);
        idealMs.push_back(ideal);
        ratios.push_back(measured / ideal);
        waitsTook.push_back(clock.actualMs());
        last.waitsMs = waits;
        last.wireMs = wire;
        last.exchanges = exchanges;

        // The same exchanges and waits in the same order, without the poll
        // cycle around them: what is left between the two is its own cost.
        const std::vector<Step> done = steps;
        QElapsedTimer replay;
        replay.start();
        for (const Step &step : done) {
            if (const auto *command = std::get_if<QByteArray>(&step)) {
                QByteArray reply;
                link.Send_Receive_Cmd(Port, *command, reply, 1000, 0);
            } else {
                SystemClock::instance().sleep(std::get<int>(step));
            }
        }
        replayMs.push_back(double(replay.nsecsElapsed()) / 1e6);
    }
    if (!status.errors.isEmpty())
        fail(QStringLiteral("at %1 bit/s: %2").arg(baud).arg(status.errors.first()));
    cycle.form5quitCmd_Click();

    std::printf("  %6d bit/s, items:", baud);
    for (int p = 1; p <= 8; ++p)
        std::printf(" [%s]", qPrintable(items.texts[std::size_t(p)].trimmed()));
    std::printf("\n");

    last.tickMs = median(tickMs);
    last.idealMs = median(idealMs);
    last.ratio = median(ratios);
    last.waitsTookMs = median(waitsTook);
    last.cpuMs = median(cpu);
    last.replayMs = median(replayMs);
    return last;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption ticksOption(QStringLiteral("ticks"),
                                         QStringLiteral("Ticks measured at each rate."),
                                         QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption maxRatioOption(
        QStringLiteral("max-ratio"),
        QStringLiteral("Fail when a rate's median tick exceeds the least time by more."),
        QStringLiteral("Y"), QStringLiteral("0"));
    parser.addOptions({ticksOption, maxRatioOption});
    parser.process(app);
    const int ticks = std::max(1, parser.value(ticksOption).toInt());

    benchRun().name = "bench_tick";

    QTemporaryDir home;
    const auto simulator =
        startSimulator(home.path(), LineFile,
                       {QStringLiteral("--wire-time"), QStringLiteral("--turnaround"),
                        QString::number(TurnaroundMs)});

    std::printf("one tick of 8 conversations (2026, 2091 x8, 2011, 2028, 2032 x2, 2017 in, "
                "2017 out, 2063), telvioxd-sim --wire-time --turnaround %d\n",
                TurnaroundMs);
    const Result slow = measure(home.path(), 9600, 0x01, ticks);
    const Result fast = measure(home.path(), 115200, 0x11, ticks);

    std::printf("%d ticks at each rate, medians. least = waits + wire time of every frame + "
                "turnaround per exchange;\n",
                ticks);
    std::printf("direct = the same exchanges and waits made straight on the serial link.\n");
    std::printf("  %6s  %8s  %8s  (%6s %6s %4s)  %6s  %8s  %11s  %s\n", "bit/s", "tick ms",
                "least ms", "waits", "wire", "exch", "ratio", "direct", "tick/direct",
                "waits took, cpu ms");
    for (const auto &[baud, r] : {std::pair{9600, slow}, std::pair{115200, fast}}) {
        std::printf("  %6d  %8.2f  %8.2f  (%6.1f %6.2f %4d)  %6.3f  %8.2f  %11.3f  %.2f, %.2f\n",
                    baud, r.tickMs, r.idealMs, r.waitsMs, r.wireMs, r.exchanges, r.ratio,
                    r.replayMs, r.tickMs / r.replayMs, r.waitsTookMs, r.cpuMs);
    }

    const double maxRatio = parser.value(maxRatioOption).toDouble();
    if (maxRatio > 0 && (slow.ratio > maxRatio || fast.ratio > maxRatio)) {
        std::printf("above target (ratio %.2f)\n", maxRatio);
        return 1;
    }
    return 0;
}
