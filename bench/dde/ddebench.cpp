// How fast a change of an item reaches a subscribed client, and what
// publishing costs the server with and without subscribers.
//
// bench_dde [--changes N] [--writes N] [--subscribers N]

#include "server/ddeclient.h"
#include "server/ddeitemserver.h"
#include "server/ddetestbus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

using namespace telviox;

namespace {

const QString Service = QStringLiteral("BenchItems");
const QString Topic = QStringLiteral("Form5");
const QString Item = QStringLiteral("Text1");

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Subscriber
{
    QString connectionName;
    std::unique_ptr<DdeAdviseLink> link;
    qint64 received = 0;
};

class Subscribers
{
public:
    Subscribers(const QString &address, int count)
    {
        for (int i = 0; i < count; ++i) {
            auto s = std::make_unique<Subscriber>();
            s->connectionName = QStringLiteral("bench-subscriber-%1").arg(i);
            const QDBusConnection connection =
                QDBusConnection::connectToBus(address, s->connectionName);
            s->link = std::make_unique<DdeAdviseLink>(connection, Service, Topic, Item);
            Subscriber *raw = s.get();
            QObject::connect(s->link.get(), &DdeAdviseLink::advised, s->link.get(),
                             [raw] { ++raw->received; });
            // A round trip on the connection: its match is in place afterwards.
            DdeClient(connection).checkService(Service);
            m_subscribers.push_back(std::move(s));
        }
    }

    ~Subscribers()
    {
        for (auto &s : m_subscribers) {
            s->link.reset();
            QDBusConnection::disconnectFromBus(s->connectionName);
        }
    }

    Subscribers(const Subscribers &) = delete;
    Subscribers &operator=(const Subscribers &) = delete;

    bool allReceived(qint64 count) const
    {
        return std::all_of(m_subscribers.begin(), m_subscribers.end(),
                           [count](const auto &s) { return s->received >= count; });
    }

    void reset()
    {
        for (auto &s : m_subscribers)
            s->received = 0;
    }

    Subscriber &first() { return *m_subscribers.front(); }

private:
    std::vector<std::unique_ptr<Subscriber>> m_subscribers;
};

// Runs the event loop until done() holds; false if that takes over a minute.
template <typename Done> bool spinUntil(Done done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return true;
}

double percentile(std::vector<qint64> sorted, double p)
{
    if (sorted.empty())
        return 0;
    const auto at = std::size_t(p * double(sorted.size() - 1) + 0.5);
    return double(sorted[at]) / 1000.0;
}

int argValue(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : fallback;
}

// Time of `writes` setText calls, and until every subscriber heard the last.
bool measureWrites(DdeItemServer &server, Subscribers *subscribers, int writes, int round,
                   double *callUs, double *deliveredMs)
{
    if (subscribers)
        subscribers->reset();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < writes; ++i)
        server.setText(Item, QStringLiteral("w%1-%2").arg(round).arg(i));
    *callUs = double(timer.nsecsElapsed()) / 1000.0 / writes;
    if (subscribers && !spinUntil([&] { return subscribers->allReceived(writes); }))
        return false;
    *deliveredMs = double(timer.nsecsElapsed()) / 1e6;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int changes = argValue(args, QStringLiteral("--changes"), 2000);
    const int writes = argValue(args, QStringLiteral("--writes"), 20000);
    const int subscriberCount = std::max(1, argValue(args, QStringLiteral("--subscribers"), 10));

    telviox::test::TestBus bus;
    QString reason;
    if (!bus.start(&reason)) {
        QTextStream(stderr) << "bench_dde: " << reason << Qt::endl;
        return 1;
    }
    DdeItemServer server(Service, Topic, {Item});
    if (!server.publish()) {
        QTextStream(stderr) << "bench_dde: " << server.errorString() << Qt::endl;
        return 1;
    }

    // 1. One change at a time: setText until the subscriber's Advise.
    std::vector<qint64> latencies;
    latencies.reserve(std::size_t(changes));
    {
        Subscribers one(bus.address(), 1);
        Subscriber &s = one.first();
        QElapsedTimer timer;
        for (int i = 0; i < changes; ++i) {
            const qint64 before = s.received;
            timer.start();
            server.setText(Item, QString::number(i));
            if (!spinUntil([&] { return s.received > before; })) {
                QTextStream(stderr) << "bench_dde: change " << i << " never arrived" << Qt::endl;
                return 1;
            }
            latencies.push_back(timer.nsecsElapsed());
        }
    }
    std::sort(latencies.begin(), latencies.end());
    out() << "setText -> Advise, " << changes << " changes: p50 " << percentile(latencies, 0.5)
          << " us, p99 " << percentile(latencies, 0.99) << " us, max "
          << double(latencies.back()) / 1000.0 << " us" << Qt::endl;

    // 2. Publishing cost with no subscriber and with several.
    double idleUs = 0, busyUs = 0, unusedMs = 0, deliveredMs = 0;
    if (!measureWrites(server, nullptr, writes, 0, &idleUs, &unusedMs))
        return 1;
    {
        Subscribers many(bus.address(), subscriberCount);
        if (!measureWrites(server, &many, writes, 1, &busyUs, &deliveredMs)) {
            QTextStream(stderr) << "bench_dde: not every change reached every subscriber"
                                << Qt::endl;
            return 1;
        }
    }
    out() << "setText, " << writes << " changes, 0 subscribers: " << idleUs << " us per call"
          << Qt::endl;
    out() << "setText, " << writes << " changes, " << subscriberCount << " subscribers: " << busyUs
          << " us per call; all delivered to all after " << deliveredMs << " ms ("
          << (double(writes) * subscriberCount) / deliveredMs * 1000.0 << " deliveries/s)"
          << Qt::endl;
    return 0;
}
