// Publishing 32 items every 50 ms to an MQTT subscriber and HTTP clients at
// once: how much longer the poll tick takes than with no publishing, and the
// round trip of an item change through a real broker (fill to receipt).
//
// A tick here stands for the poll cycle's: 32 visits, each waiting for its
// reply (--visit-us, slept as the link waits) and then filling its item with
// a new text. Rounds with and without publishing alternate so that the
// machine's other load falls on both alike.
//
//   bench_publish [--rounds N] [--ticks N] [--visit-us N] [--http-clients N]
//                 [--max-ratio Y]
//
// Exit 1 when the median tick with publishing exceeds Y times the one
// without, 2 when the broker cannot be started.

#include "core/clock.h"
#include "publish/brokerfixture.h"
#include "publish/mqtt/mqttpublisher.h"
#include "publish/publishing.h"
#include "server/ddeprogramitems.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mosquitto.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace telviox;
using namespace telviox::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int TickMs = 50;
constexpr int Items = DdeProgramItems::ItemCount;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// A subscriber of its own, on libmosquitto's thread: notes when each change
// of Text1 ("<sequence>") arrives.
class Subscriber
{
public:
    explicit Subscriber(quint16 port)
    {
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto *, void *self, const mosquitto_message *message) {
                static_cast<Subscriber *>(self)->received(message);
            });
        mosquitto_connect_callback_set(m_mosq, [](mosquitto *mosq, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(mosq, nullptr, "telvioxd/TELVIOXD/Form5/+", 0);
        });
        m_ok = mosquitto_connect(m_mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    bool ok() const { return m_ok; }
    qint64 messages() const { return m_messages; }

    // Receipt time of sequence numbers of Text1, by number; 0 until seen.
    void expect(std::size_t count)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_arrivals.assign(count, 0);
    }
    std::vector<qint64> arrivals()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrivals;
    }

private:
    void received(const mosquitto_message *message)
    {
        const qint64 at = nowNs();
        ++m_messages;
        if (std::strcmp(message->topic, "telvioxd/TELVIOXD/Form5/Text1") != 0 || message->retain)
            return;
        const QByteArray text(static_cast<const char *>(message->payload), message->payloadlen);
        bool ok = false;
        const qulonglong sequence = text.toULongLong(&ok);
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (ok && sequence < m_arrivals.size())
            m_arrivals[sequence] = at;
    }

    mosquitto *m_mosq = nullptr;
    bool m_ok = false;
    std::atomic<qint64> m_messages{0};
    std::mutex m_mutex;
    std::vector<qint64> m_arrivals;
};

// HTTP clients asking for the pages in turn, each again once answered and
// a tick has passed.
class HttpClients : public QObject
{
public:
    HttpClients(quint16 port, int count) : m_port(port)
    {
        for (int i = 0; i < count; ++i)
            ask(i);
    }
    void stop() { m_stopped = true; }
    qint64 answered() const { return m_answered; }
    qint64 failed() const { return m_failed; }

private:
    void ask(int client)
    {
        static const char *const Pages[] = {"/items.json", "/items.html", "/items.csv",
                                            "/items/Text1"};
        const QString path = QString::fromLatin1(Pages[(client + m_answered) % 4]);
        QNetworkReply *reply =
            m_manager.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_port).arg(path))));
        connect(reply, &QNetworkReply::finished, this, [this, reply, client] {
            reply->deleteLater();
            if (reply->error() == QNetworkReply::NoError && !reply->readAll().isEmpty())
                ++m_answered;
            else
                ++m_failed;
            if (!m_stopped)
                QTimer::singleShot(TickMs, this, [this, client] { ask(client); });
        });
    }

    QNetworkAccessManager m_manager;
    quint16 m_port;
    bool m_stopped = false;
    qint64 m_answered = 0;
    qint64 m_failed = 0;
};

struct Round
{
    std::vector<double> tickMs;
    std::vector<double> fillUs;   // the fills alone, without the visits' waits
    std::vector<qint64> filledAt; // by sequence
};

// Runs ticks every 50 ms on the event loop (so that HTTP and the publisher's
// hand-overs are served between them, as in the program).
Round runTicks(DdeProgramItems &items, int ticks, int visitUs, qulonglong &sequence)
{
    Round round;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    int done = 0;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const qint64 start = nowNs();
        qint64 filling = 0;
        for (int position = 1; position <= Items; ++position) {
            std::this_thread::sleep_for(std::chrono::microseconds(visitUs));
            const qint64 fillStart = nowNs();
            if (position == 1) {
                round.filledAt.push_back(nowNs());
                items.FillText(1, QString::number(sequence++));
            } else {
                items.FillText(position, u"%1:%2"_s.arg(position).arg(sequence));
            }
            filling += nowNs() - fillStart;
        }
        round.tickMs.push_back(double(nowNs() - start) / 1e6);
        round.fillUs.push_back(double(filling) / 1e3);
        if (++done == ticks)
            loop.quit();
    });
    timer.start(TickMs);
    loop.exec();
    return round;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption roundsOption(u"rounds"_s, u"Rounds with and without."_s, u"N"_s,
                                          u"5"_s);
    const QCommandLineOption ticksOption(u"ticks"_s, u"Ticks per round."_s, u"N"_s, u"60"_s);
    const QCommandLineOption visitOption(u"visit-us"_s, u"Wait of one visit."_s, u"N"_s, u"1000"_s);
    const QCommandLineOption clientsOption(u"http-clients"_s, u"HTTP clients."_s, u"N"_s, u"4"_s);
    const QCommandLineOption ratioOption(u"max-ratio"_s, u"Greatest ratio allowed."_s, u"Y"_s,
                                         u"0"_s);
    parser.addOptions({roundsOption, ticksOption, visitOption, clientsOption, ratioOption});
    parser.process(app);
    const int rounds = parser.value(roundsOption).toInt();
    const int ticks = parser.value(ticksOption).toInt();
    const int visitUs = parser.value(visitOption).toInt();
    const double maxRatio = parser.value(ratioOption).toDouble();

    if (!Broker::installed()) {
        out() << "mosquitto is not installed\n";
        return 2;
    }
    Broker broker;
    if (!broker.start()) {
        out() << "the broker did not start\n";
        return 2;
    }
    DdeProgramItems items;
    SystemClock &clock = SystemClock::instance();
    Publishing publishing(items, nullptr, clock);
    Subscriber subscriber(broker.port());
    if (!subscriber.ok()) {
        out() << "the subscriber could not connect\n";
        return 2;
    }

    PublishSettings settings;
    settings.mqtt = MqttSettings{};
    settings.mqtt->host = u"127.0.0.1"_s;
    settings.mqtt->port = broker.port();
    settings.http = HttpSettings{};
    qulonglong sequence = 0;
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> fillWithout;
    std::vector<double> fillWith;
    std::vector<double> roundTrips;
    qint64 httpAnswers = 0;
    qint64 httpFailures = 0;
    for (int r = 0; r < rounds; ++r) {
        publishing.stop();
        Round plain = runTicks(items, ticks, visitUs, sequence);
        without.insert(without.end(), plain.tickMs.begin(), plain.tickMs.end());
        fillWithout.insert(fillWithout.end(), plain.fillUs.begin(), plain.fillUs.end());

        const QStringList errors = publishing.start(settings);
        if (!errors.isEmpty()) {
            out() << errors.join(u'\n') << '\n';
            return 2;
        }
        QElapsedTimer waiting;
        waiting.start();
        while (!publishing.mqtt()->isConnected() && waiting.elapsed() < Patience)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!publishing.mqtt()->isConnected()) {
            out() << "the publisher did not connect\n";
            return 2;
        }
        HttpClients clients(publishing.http()->serverPort(), parser.value(clientsOption).toInt());
        const qulonglong first = sequence;
        subscriber.expect(first + std::size_t(ticks));
        Round published = runTicks(items, ticks, visitUs, sequence);
        clients.stop();
        // The last changes still on their way.
        waiting.restart();
        while (waiting.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        httpAnswers += clients.answered();
        httpFailures += clients.failed();
        with.insert(with.end(), published.tickMs.begin(), published.tickMs.end());
        fillWith.insert(fillWith.end(), published.fillUs.begin(), published.fillUs.end());
        const std::vector<qint64> arrivals = subscriber.arrivals();
        for (std::size_t i = 0; i < published.filledAt.size(); ++i) {
            const qint64 at = arrivals[first + i];
            if (at != 0)
                roundTrips.push_back(double(at - published.filledAt[i]) / 1e6);
        }
    }
    publishing.stop();

    const double plainMedian = percentile(without, 0.5);
    const double publishedMedian = percentile(with, 0.5);
    const double ratio = publishedMedian / plainMedian;
    out() << "ticks of 32 visits (" << visitUs << " us each) every " << TickMs << " ms, " << rounds
          << " rounds of " << ticks << " each way\n";
    out() << QString::asprintf("  tick without publishing: median %.3f ms, p99 %.3f ms\n",
                               plainMedian, percentile(without, 0.99));
    out() << QString::asprintf("  tick with MQTT + %d HTTP clients: median %.3f ms, p99 %.3f ms\n",
                               parser.value(clientsOption).toInt(), publishedMedian,
                               percentile(with, 0.99));
    out() << QString::asprintf("  ratio of medians: %.4f (%+.2f %%)\n", ratio, (ratio - 1) * 100);
    out() << QString::asprintf("  the 32 fills of a tick: median %.1f us without, %.1f us with "
                               "publishing\n",
                               percentile(fillWithout, 0.5), percentile(fillWith, 0.5));
    out() << QString::asprintf("  broker round trip of a change: %zu of %zu seen, median %.3f ms, "
                               "p99 %.3f ms, max %.3f ms\n",
                               roundTrips.size(), std::size_t(rounds) * std::size_t(ticks),
                               percentile(roundTrips, 0.5), percentile(roundTrips, 0.99),
                               percentile(roundTrips, 1.0));
    out() << "  subscriber messages: " << subscriber.messages() << ", HTTP answers: " << httpAnswers
          << ", HTTP failures: " << httpFailures << '\n';
    out().flush();
    if (maxRatio > 0 && ratio > maxRatio) {
        out() << "FAIL: the tick slowed by more than " << (maxRatio - 1) * 100 << " %\n";
        return 1;
    }
    return httpFailures == 0 ? 0 : 1;
}
