// Exchanges per second through SerialLink (QSerialPort underneath) against
// telvioxd-sim on a pseudo-terminal, next to a bare write/poll/read loop on a
// raw file descriptor talking to the same simulator, in one run.
//
//   bench_seriallink [--exchanges N] [--rounds R] [--min-rate X] [--min-ratio Y]
//
// telvioxd-sim is looked for in $TELVIOXD_BIN, else beside this program. The
// simulator runs with no wire time and no turnaround, so the figures are the
// cost of the two ends and the terminal alone.

#include "simprocess.h"

#include "device/seriallink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace telviox;

namespace {

constexpr int Port = 1;
constexpr qint32 Baud = 9600;
constexpr int TimeoutMs = 1000;
const QByteArray Command = QByteArrayLiteral("#010");

const char LineFile[] = R"({
  "turnaroundMs": 0,
  "wireTime": false,
  "modules": [
    {"name": "2091", "address": "01", "baud": 9600, "range": "08",
     "inputs": [1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5]}
  ]
})";

// CPU time of this thread in microseconds: the client's own cost, which the
// machine's load disturbs far less than the rate.
double cpuMicroseconds()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

struct Figures
{
    double rate = 0;           // exchanges per second
    double cpuPerExchange = 0; // microseconds of client CPU
};

Figures figures(int exchanges, qint64 ns, double cpuUs)
{
    return {exchanges * 1e9 / static_cast<double>(ns), cpuUs / exchanges};
}


Figures throughSerialLink(SerialLink &link, int exchanges)
{
    if (link.Open_Com(Port, Baud) != LinkCode::Ok)
        fail(QStringLiteral("Open_Com failed"));
    QByteArray reply;
    const double cpu = cpuMicroseconds();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < exchanges; ++i) {
        const qint16 code = link.Send_Receive_Cmd(Port, Command, reply, TimeoutMs, 0);
        if (code != LinkCode::Ok)
            fail(QStringLiteral("SerialLink exchange %1 returned %2").arg(i).arg(code));
    }
    const qint64 ns = timer.nsecsElapsed();
    const Figures result = figures(exchanges, ns, cpuMicroseconds() - cpu);
    link.Close_Com(Port);
    return result;
}

// The least a program can do on a terminal: raw mode, write, poll, read.
Figures bareLoop(const QString &device, int exchanges)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        fail(QStringLiteral("cannot open %1").arg(device));
    termios t = {};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);

    const QByteArray frame = Command + '\r';
    char buffer[256];
    const double cpu = cpuMicroseconds();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < exchanges; ++i) {
        if (::write(fd, frame.constData(), static_cast<size_t>(frame.size())) != frame.size())
            fail(QStringLiteral("bare write failed"));
        bool complete = false;
        while (!complete) {
            pollfd p = {fd, POLLIN, 0};
            if (::poll(&p, 1, TimeoutMs) <= 0)
                fail(QStringLiteral("bare loop: no reply to exchange %1").arg(i));
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                fail(QStringLiteral("bare read failed"));
            complete = std::find(buffer, buffer + n, '\r') != buffer + n;
        }
    }
    const qint64 ns = timer.nsecsElapsed();
    const Figures result = figures(exchanges, ns, cpuMicroseconds() - cpu);
    ::close(fd);
    return result;
}


} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption exchangesOption(QStringLiteral("exchanges"),
                                             QStringLiteral("Exchanges per round."),
                                             QStringLiteral("N"), QStringLiteral("5000"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Rounds of each, alternating."),
                                          QStringLiteral("R"), QStringLiteral("5"));
    const QCommandLineOption minRateOption(
        QStringLiteral("min-rate"), QStringLiteral("Fail below this many SerialLink exchanges/s."),
        QStringLiteral("X"), QStringLiteral("0"));
    const QCommandLineOption minRatioOption(
        QStringLiteral("min-ratio"), QStringLiteral("Fail below this ratio to the bare loop."),
        QStringLiteral("Y"), QStringLiteral("0"));
    parser.addOptions({exchangesOption, roundsOption, minRateOption, minRatioOption});
    parser.process(app);
    const int exchanges = std::max(1, parser.value(exchangesOption).toInt());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    benchRun().name = "bench_seriallink";

    QTemporaryDir home;
    const auto simulator = startSimulator(home.path(), LineFile,
                         {QStringLiteral("--turnaround"), QStringLiteral("0")});
    SerialLink link(SystemClock::instance(), {}, home.path());
    const QString device = devicePathForPort(Port, home.path());

    // Warm-up, then rounds in turn so that a busy moment of the machine hits
    // both sides alike; the ratio is taken round by round.
    throughSerialLink(link, std::min(exchanges, 500));
    bareLoop(device, std::min(exchanges, 500));
    std::vector<double> linkRates;
    std::vector<double> bareRates;
    std::vector<double> linkCpu;
    std::vector<double> bareCpu;
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r) {
        const Figures viaLink = throughSerialLink(link, exchanges);
        const Figures bare = bareLoop(device, exchanges);
        linkRates.push_back(viaLink.rate);
        bareRates.push_back(bare.rate);
        linkCpu.push_back(viaLink.cpuPerExchange);
        bareCpu.push_back(bare.cpuPerExchange);
        ratios.push_back(viaLink.rate / bare.rate);
    }

    const double linkRate = median(linkRates);
    const double bareRate = median(bareRates);
    const double ratio = median(ratios);
    std::printf("exchanges \"%s\" at %d baud, telvioxd-sim --turnaround 0, no wire time\n",
                Command.constData(), Baud);
    std::printf("%d rounds of %d exchanges each, medians (best):\n", rounds, exchanges);
    std::printf("  SerialLink : %8.0f exchanges/s (%.0f), client CPU %.1f us/exchange\n", linkRate,
                *std::max_element(linkRates.begin(), linkRates.end()), median(linkCpu));
    std::printf("  bare loop  : %8.0f exchanges/s (%.0f), client CPU %.1f us/exchange\n", bareRate,
                *std::max_element(bareRates.begin(), bareRates.end()), median(bareCpu));
    std::printf("  ratio      : %8.2f\n", ratio);

    const double minRate = parser.value(minRateOption).toDouble();
    const double minRatio = parser.value(minRatioOption).toDouble();
    if (linkRate < minRate || ratio < minRatio) {
        std::printf("below target (%.0f exchanges/s, ratio %.2f)\n", minRate, minRatio);
        return 1;
    }
    return 0;
}
