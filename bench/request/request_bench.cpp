// How fast the items answer Request while the poll cycle waits on a module
// that never answers: the real poll cycle on telvioxd-sim, one silent 2026 and
// two good modules, the items on a private bus, and a client on a connection
// of its own asking for an item every few milliseconds for the whole run.
//
//   bench_request [--seconds S] [--max-p99 MS]
//
// telvioxd-sim is looked for in $TELVIOXD_BIN, else beside this program.

#include "../benchviews.h"
#include "../simprocess.h"

#include "conversations/establishview.h"
#include "core/clock.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "device/seriallink.h"
#include "server/ddeprogramitems.h"
#include "server/ddetestbus.h"
#include "server/servingprogram.h"

#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

using namespace telviox;
using bench::Establish;
using bench::View;

namespace {

const char LineFile[] = R"({
  "modules": [
    {"name": "2026", "address": "01", "baud": 9600, "inputs": [1.5]},
    {"name": "2026", "address": "02", "baud": 9600, "inputs": [2.5]},
    {"name": "2091", "address": "03", "baud": 9600, "inputs": [1, 2, 3, 4, 5, 6, 7, 8]}
  ],
  "faults": [{"address": 1, "kind": "noReply"}]
})";

class Answering final : public Prompt
{
public:
    Answer message(const QString &, int, const QString &) override { return Answer::No; }
    void beep() override {}
};

class Quiet final : public StatusLine
{
public:
    void setStatusText(const QString &) override {}
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * values.size()))];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    benchRun().name = "bench_request";
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("length of the run (default 10)"),
                                           QStringLiteral("S"), QStringLiteral("10"));
    const QCommandLineOption maxOption(QStringLiteral("max-p99"),
                                       QStringLiteral("fail when p99 exceeds MS (0: report only)"),
                                       QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({secondsOption, maxOption});
    parser.process(app);
    const int seconds = std::max(2, parser.value(secondsOption).toInt());
    const double maxP99 = parser.value(maxOption).toDouble();

    test::TestBus bus;
    QString reason;
    if (!bus.start(&reason))
        fail(reason);
    QTemporaryDir home;
    const auto simulator = startSimulator(home.path(), LineFile, {});

    SerialLink link(SystemClock::instance(), {}, home.path());
    Answering prompt;
    Quiet status;
    SharedState state;
    state.ComPort = 1;
    const char *models[] = {"2026", "2026", "2091"};
    for (int n = 0; n < 3; ++n) {
        ConvRecord &record = state.Conv[std::size_t(n)];
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(QLatin1String(models[n]));
        record.BaudRate = 9600;
        record.Address = qint16(n + 1);
        record.Channels = n == 2 ? 0xFF : 1;
        state.PollEnabled[std::size_t(n)] = 1;
    }
    ServingProgram serving({state, link, SystemClock::instance(), prompt, status},
                           QDBusConnection::sessionBus(), ServingProgram::Ticks::Manual);
    Establish establish;
    View view;
    PollCycle &cycle = serving.attach(establish, view, [] {});
    if (!serving.programItems()->publish())
        fail(serving.programItems()->errorString());
    if (link.Open_Com(state.ComPort, 9600) != LinkCode::Ok)
        fail(QStringLiteral("cannot open the simulated port"));
    state.OpenBaud = 9600;
    cycle.Timer1_Timer(); // items filled once; the bus delivers after a first turn
    QCoreApplication::processEvents();

    std::atomic<bool> done{false};
    std::vector<double> latencies;
    int failures = 0;
    std::thread client([&] {
        {
            QDBusConnection connection =
                QDBusConnection::connectToBus(bus.address(), QStringLiteral("bench-client"));
            QDBusMessage request = QDBusMessage::createMethodCall(
                QStringLiteral("dde.TELVIOXD"), QStringLiteral("/Form5"),
                QStringLiteral("dde.Topic"), QStringLiteral("Request"));
            request << QStringLiteral("Text2");
            while (!done) {
                QElapsedTimer timer;
                timer.start();
                const QDBusMessage reply = connection.call(request, QDBus::Block, 5000);
                latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
                if (reply.type() != QDBusMessage::ReplyMessage ||
                    reply.arguments().value(0).toString().trimmed().isEmpty())
                    ++failures;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
    });

    QElapsedTimer run;
    run.start();
    int ticks = 0;
    qint64 tickMs = 0;
    while (run.elapsed() < seconds * 1000) {
        QElapsedTimer tick;
        tick.start();
        cycle.Timer1_Timer();
        tickMs += tick.elapsed();
        ++ticks;
    }
    done = true;
    client.join();

    const double p50 = percentile(latencies, 0.50);
    const double p99 = percentile(latencies, 0.99);
    const double worst = percentile(latencies, 1.0);
    std::printf("ticks: %d, %.0f ms each (the silent module's time-outs)\n", ticks,
                double(tickMs) / std::max(1, ticks));
    std::printf("Request during the ticks: %zu calls, %d failed; p50 %.3f ms, p99 %.3f ms, "
                "max %.3f ms\n",
                latencies.size(), failures, p50, p99, worst);
    if (failures > 0)
        fail(QStringLiteral("%1 requests failed").arg(failures));
    if (maxP99 > 0 && p99 > maxP99)
        fail(QStringLiteral("p99 %1 ms is above %2 ms").arg(p99).arg(maxP99));
    return 0;
}
