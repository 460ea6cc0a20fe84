// The search window's search of sim/search-line.json at 9600 and 19200 bit/s
// against telvioxd-sim with wire time on, next to the least time it can take:
// its waits, the 400 ms time-out of every unanswered command, the wire time of
// every reply and the simulator's turnaround for every answer. Then the
// telvioxd-io scan of the whole line at 115200 and at 9600 bit/s, wall time.
//
//   bench_search [--last-address AA] [--max-ratio Y] [--line FILE]
//
// A whole search takes about six minutes; --last-address stops it earlier.

#include "../simprocess.h"
#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "search/searchengine.h"
#include "server/serverinterfaces.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cstdio>

using namespace telviox;

namespace {

constexpr int Port = 1;
constexpr int TurnaroundMs = 2;
constexpr int NameTimeOutMs = 400;


// Real time, adding up the waits the search asks for.
class CountingClock final : public Clock
{
public:
    qint64 tickCount() const override { return SystemClock::instance().tickCount(); }
    void sleep(int ms) override
    {
        m_sleptMs += ms;
        SystemClock::instance().sleep(ms);
    }
    qint64 sleptMs() const { return m_sleptMs; }

private:
    qint64 m_sleptMs = 0;
};

class Reports final : public Prompt, public StatusLine
{
public:
    Answer message(const QString &text, int, const QString &) override
    {
        // The search line answers everything the decoding asks.
        fail(QStringLiteral("unexpected message: %1").arg(text));
    }
    void beep() override {}
    void setStatusText(const QString &text) override
    {
        fail(QStringLiteral("unexpected module error: %1").arg(text));
    }
};

// The window, reduced to the stop after the last address wanted.
class View final : public SearchView
{
public:
    View(SharedState &state, int lastAddress) : m_state(state), m_last(lastAddress) {}
    void addModuleLine(const QString &) override { ++lines; }
    void setCaption(const QString &) override {}
    void clearModuleList() override { lines = 0; }
    void setComLabel(const QString &) override {}
    void setBaudLabel(const QString &) override {}
    void setAddressLabels(const QString &decimal, const QString &) override
    {
        m_address = decimal.section(QLatin1Char('['), 0, 0).trimmed().toInt();
    }
    void setLabelsRed(bool) override {}
    void setProgress(int) override {}
    void setProgressVisible(bool) override {}
    void setHintText(const QString &) override {}
    void processEvents() override
    {
        if (m_address > m_last)
            m_state.Found.StopFlag = 1;
    }
    void closeWindow() override {}
    int lines = 0;

private:
    SharedState &m_state;
    int m_last;
    int m_address = 0;
};

// Wall time of telvioxd-io scan at one rate over the whole line, in ms.
double scanMs(const QString &home, qint32 baud, int *found)
{
    QProcess scan;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TELVIOXD_HOME"), home);
    scan.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    scan.start(QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(QStringLiteral("telvioxd-io")),
               {QStringLiteral("scan"), QStringLiteral("--baud"), QString::number(baud)});
    if (!scan.waitForFinished(600000) || scan.exitCode() != 0)
        fail(QStringLiteral("scan at %1 failed: %2")
                 .arg(baud)
                 .arg(QString::fromLocal8Bit(scan.readAllStandardError())));
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *found = int(scan.readAllStandardOutput().count('\n'));
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption lastOption(QStringLiteral("last-address"),
                                        QStringLiteral("Stop the search after this address."),
                                        QStringLiteral("AA"), QStringLiteral("FF"));
    const QCommandLineOption maxRatioOption(
        QStringLiteral("max-ratio"),
        QStringLiteral("Fail when the search exceeds the least time by more."), QStringLiteral("Y"),
        QStringLiteral("0"));
    const QCommandLineOption lineOption(
        QStringLiteral("line"), QStringLiteral("The line file (default sim/search-line.json)."),
        QStringLiteral("FILE"),
        qEnvironmentVariable("TELVIOXD_SOURCE") + QStringLiteral("/sim/search-line.json"));
    parser.addOptions({lastOption, maxRatioOption, lineOption});
    parser.process(app);
    const int lastAddress = parser.value(lastOption).toInt(nullptr, 16);

    benchRun().name = "bench_search";
    QFile lineFile(parser.value(lineOption));
    if (!lineFile.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(lineFile.fileName()));

    QTemporaryDir home;
    const auto simulator = startSimulator(home.path(), lineFile.readAll(),
                         {QStringLiteral("--wire-time"), QStringLiteral("--turnaround"),
                          QString::number(TurnaroundMs)});

    SerialLink link(SystemClock::instance(), {}, home.path());
    // Each frame at the rate the port is open at.
    qint32 rate = 0;
    link.addObserver([&](const TrafficRecord &) { rate = link.openBaud(Port); });
    // The least time of every exchange: an answer's wire time both ways and
    // the turnaround, or the time-out behind an unanswered command.
    double leastExchangesMs = 0;
    // A command's own wire time overlaps on a pseudo-terminal: the simulator
    // spends the replies' only. Shown apart, not counted in the least.
    double commandWireMs = 0;
    int answered = 0;
    int silent = 0;
    link.addObserver([&](const TrafficRecord &record) {
        const double wireMs = double(record.frame.size()) * 10 * 1000 / double(rate);
        if (record.direction == TrafficRecord::Direction::Sent) {
            commandWireMs += wireMs;
            return;
        }
        if (record.result == LinkCode::TimeOut) {
            ++silent;
            leastExchangesMs += NameTimeOutMs;
        } else {
            ++answered;
            leastExchangesMs += wireMs + TurnaroundMs;
        }
    });
    ModuleLibrary library(link);
    CountingClock clock;
    Reports reports;
    SharedState state;
    state.ComPort = Port;
    state.SearchBauds[7] = 1; // 9600
    state.SearchBauds[6] = 1; // 19200
    View view(state, lastAddress);
    SearchEngine engine({state, link, library, clock, reports, reports}, view);

    QElapsedTimer timer;
    timer.start();
    engine.StartSearch();
    const double searchMs = double(timer.nsecsElapsed()) / 1e6;
    const double leastMs = double(clock.sleptMs()) + leastExchangesMs;

    std::printf("search of %s at 19200 and 9600 bit/s, addresses 00 to %02X, telvioxd-sim "
                "--wire-time --turnaround %d\n",
                qPrintable(QFileInfo(lineFile).fileName()), std::min(lastAddress, 255),
                TurnaroundMs);
    std::printf("  found %d entries; %d answers, %d silent commands\n", int(state.Found.FoundCount),
                answered, silent);
    std::printf("  search %.1f ms, least %.1f ms (waits %lld, time-outs and answers %.1f), "
                "ratio %.4f\n",
                searchMs, leastMs, clock.sleptMs(), leastExchangesMs, searchMs / leastMs);
    std::printf("  (commands' own wire time %.1f ms; counted in, the ratio is %.4f)\n",
                commandWireMs, searchMs / (leastMs + commandWireMs));

    for (qint32 baud : {115200, 9600}) {
        int found = 0;
        const double ms = scanMs(home.path(), baud, &found);
        std::printf("  telvioxd-io scan --baud %d: 256 addresses in %.0f ms, %d lines\n", baud, ms,
                    found);
    }

    const double maxRatio = parser.value(maxRatioOption).toDouble();
    if (maxRatio > 0 && searchMs / leastMs > maxRatio) {
        std::printf("above target (ratio %.2f)\n", maxRatio);
        return 1;
    }
    return 0;
}
