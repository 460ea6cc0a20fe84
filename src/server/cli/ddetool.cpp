#include "ddetool.h"

#include "core/clock.h"
#include "core/scripttext.h"
#include "server/ddeclient.h"
#include "server/ddeitemserver.h"
#include "server/ddenames.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace telviox::dde {

namespace {

const char Usage[] = "usage: telvioxd-dde [--timeout MS] request SERVICE TOPIC ITEM\n"
                     "       telvioxd-dde [--timeout MS] poke SERVICE TOPIC ITEM TEXT\n"
                     "       telvioxd-dde [--timeout MS] [--csv] advise SERVICE TOPIC ITEM\n"
                     "       telvioxd-dde serve SERVICE TOPIC ITEM=TEXT...\n"
                     "\n"
                     "request  prints the item's text\n"
                     "poke     writes TEXT into the item\n"
                     "advise   prints the item's text, then every change, until interrupted;\n"
                     "         on stderr, with the time, when the server leaves the bus and\n"
                     "         when it comes back (then the item's text again); waits for a\n"
                     "         server that is not there yet\n"
                     "serve    holds the items until interrupted; prints a ready line, then\n"
                     "         ITEM=TEXT for every poke; ITEM=TEXT lines on standard input\n"
                     "         change items\n"
                     "\n"
                     "--timeout MS  how long to wait for the server's answer (default 300000)\n"
                     "--csv         advise: a header row, then time,item,text rows; the time\n"
                     "              is local to the millisecond (2026-12-06T22:14:03.512+01:00)\n"
                     "--version     print the program's version\n";

// One run as the command line asks for it.
struct Invocation
{
    QString command;
    QStringList args;
    int timeoutMs = DdeClient::DefaultTimeoutMs;
    bool csv = false;
};

// The words each command takes; a usage error's text, or nothing when they fit.
std::optional<QString> checkWords(const QString &command, qsizetype count, bool timeoutGiven,
                                  bool csv)
{
    if (command.isEmpty())
        return QStringLiteral("no command given");
    if (command == u"serve" && timeoutGiven)
        return QStringLiteral("--timeout does not apply to serve");
    if (csv && command != u"advise")
        return QStringLiteral("--csv goes with advise");
    if (command == u"request" || command == u"advise") {
        if (count != 3)
            return QStringLiteral("%1 takes SERVICE TOPIC ITEM").arg(command);
    } else if (command == u"poke") {
        if (count != 4)
            return QStringLiteral("poke takes SERVICE TOPIC ITEM TEXT");
    } else if (command == u"serve") {
        if (count < 3)
            return QStringLiteral("serve takes SERVICE TOPIC and at least one ITEM=TEXT");
    } else {
        return QStringLiteral("unknown command \"%1\"").arg(command);
    }
    return std::nullopt;
}

// SIGINT and SIGTERM end the event loop through a socket pair, since a signal
// handler may do no more than write a byte.
int signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalFds[0], &byte, 1);
}

bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalFds[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

int runRequest(ToolCommandLine &cl, const Invocation &run)
{
    const DdeResult result =
        DdeClient().request(run.args.at(0), run.args.at(1), run.args.at(2), run.timeoutMs);
    if (!result.ok())
        return cl.failure(result.error);
    cl.out() << result.text << Qt::endl;
    return ToolCommandLine::ExitOk;
}

int runPoke(ToolCommandLine &cl, const Invocation &run)
{
    const DdeResult result = DdeClient().poke(run.args.at(0), run.args.at(1), run.args.at(2),
                                              run.args.at(3), run.timeoutMs);
    return result.ok() ? ToolCommandLine::ExitOk : cl.failure(result.error);
}

// Watches one item across its server's comings and goings: the item's text
// and every change on stdout; on stderr, with the time, when the server
// leaves the bus and when it comes back, after which the text is read again.
class AdviseWatch
{
public:
    AdviseWatch(ToolCommandLine &cl, const Invocation &run, Clock &clock)
        : m_cl(cl), m_service(run.args.at(0)), m_topic(run.args.at(1)), m_item(run.args.at(2)),
          m_timeoutMs(run.timeoutMs), m_csv(run.csv), m_clock(clock),
          m_link(QDBusConnection::sessionBus(), m_service, m_topic, m_item),
          m_owners(DdeNames::busName(m_service), QDBusConnection::sessionBus(),
                   QDBusServiceWatcher::WatchForOwnerChange)
    {
        QObject::connect(&m_link, &DdeAdviseLink::advised, &m_link,
                         [this](const QString &, const QString &text) { print(text); });
        QObject::connect(&m_owners, &QDBusServiceWatcher::serviceOwnerChanged, &m_owners,
                         [this](const QString &, const QString &, const QString &owner) {
                             ownerChanged(owner);
                         });
    }

    // Reads the current text when the server is there; a failure that
    // waiting would not mend ends the run with its status.
    std::optional<int> start()
    {
        // Listen first, then read: a change between the two is not lost. The
        // answer and an early Advise may then carry the same text; print it once.
        if (!m_link.isActive())
            return m_cl.failure(m_link.errorString());
        const QDBusReply<QString> owner =
            QDBusConnection::sessionBus().interface()->serviceOwner(DdeNames::busName(m_service));
        m_owner = owner.isValid() ? owner.value() : QString();
        if (m_csv)
            m_cl.out() << scripttext::csvRow({QStringLiteral("time"), QStringLiteral("item"),
                                              QStringLiteral("text")})
                       << Qt::endl;
        if (m_owner.isEmpty()) {
            note(QStringLiteral("is not on the bus; waiting for it"));
            return std::nullopt;
        }
        m_seen = true;
        const DdeResult current = DdeClient().request(m_service, m_topic, m_item, m_timeoutMs);
        if (current.status == DdeResult::Status::NoService)
            return std::nullopt; // gone meanwhile: its leaving is heard next
        if (!current.ok())
            return m_cl.failure(current.error);
        print(current.text);
        return std::nullopt;
    }

private:
    void ownerChanged(const QString &owner)
    {
        if (owner == m_owner)
            return;
        if (!m_owner.isEmpty())
            note(QStringLiteral("left the bus"));
        m_owner = owner;
        m_reading.reset();
        if (owner.isEmpty())
            return;
        note(m_seen ? QStringLiteral("came back") : QStringLiteral("is on the bus"));
        m_seen = true;
        // A fresh server's text is news even when it equals the last one.
        m_last.reset();
        m_reading = std::make_unique<QDBusPendingCallWatcher>(
            DdeClient().startRequest(m_service, m_topic, m_item, m_timeoutMs));
        QObject::connect(m_reading.get(), &QDBusPendingCallWatcher::finished, m_reading.get(),
                         [this](QDBusPendingCallWatcher *call) {
                             const DdeResult result =
                                 DdeClient::requestResult(call->reply(), m_service, m_topic);
                             // Gone again before answering: its leaving says so.
                             if (result.ok())
                                 print(result.text);
                             else if (result.status != DdeResult::Status::NoService)
                                 stampedError(result.error);
                         });
    }

    void print(const QString &text)
    {
        if (m_last == text)
            return;
        m_last = text;
        QTextStream &out = m_cl.out();
        if (m_csv)
            out << scripttext::csvRow({stamp(), m_item, text});
        else
            out << text;
        out << Qt::endl;
    }

    QString stamp() const { return scripttext::isoTimeStamp(m_clock.wallTime()); }
    void stampedError(const QString &text) { m_cl.err() << stamp() << ' ' << text << Qt::endl; }
    void note(const QString &what)
    {
        stampedError(QStringLiteral("server ") + m_service + QLatin1Char(' ') + what);
    }

    ToolCommandLine &m_cl;
    const QString m_service;
    const QString m_topic;
    const QString m_item;
    const int m_timeoutMs;
    const bool m_csv;
    Clock &m_clock;
    DdeAdviseLink m_link;
    QDBusServiceWatcher m_owners;
    QString m_owner;
    bool m_seen = false;
    std::optional<QString> m_last;
    std::unique_ptr<QDBusPendingCallWatcher> m_reading;
};

int runAdvise(QCoreApplication &app, ToolCommandLine &cl, const Invocation &run)
{
    AdviseWatch watch(cl, run, SystemClock::instance());
    if (const std::optional<int> done = watch.start())
        return *done;
    if (!quitOnSignals(app))
        return cl.failure(QStringLiteral("cannot catch SIGINT and SIGTERM"));
    return app.exec() == 0 ? ToolCommandLine::ExitOk : ToolCommandLine::ExitFailure;
}

// "ITEM=TEXT" words in order; a word without "=" is an item with no text.
std::optional<QList<QPair<QString, QString>>> serveItems(const QStringList &words, QString *error)
{
    QList<QPair<QString, QString>> items;
    QStringList names;
    for (const QString &word : words) {
        const qsizetype eq = word.indexOf(u'=');
        const QString item = eq < 0 ? word : word.left(eq);
        if (item.isEmpty()) {
            *error = QStringLiteral("an item needs a name: \"%1\"").arg(word);
            return std::nullopt;
        }
        if (names.contains(item)) {
            *error = QStringLiteral("item \"%1\" given twice").arg(item);
            return std::nullopt;
        }
        names.append(item);
        items.append({item, eq < 0 ? QString() : word.mid(eq + 1)});
    }
    return items;
}

int runServe(QCoreApplication &app, ToolCommandLine &cl, const Invocation &run)
{
    QString error;
    const auto texts = serveItems(run.args.mid(2), &error);
    if (!texts)
        return cl.usageError(error);
    QStringList items;
    for (const auto &entry : *texts)
        items.append(entry.first);

    DdeItemServer server(run.args.at(0), run.args.at(1), items);
    for (const auto &[item, text] : *texts)
        server.setText(item, text);
    QTextStream &out = cl.out();
    QObject::connect(&server, &DdeItemServer::poked, &app,
                     [&out](const QString &item, const QString &text) {
                         out << item << '=' << text << Qt::endl;
                     });
    if (!quitOnSignals(app))
        return cl.failure(QStringLiteral("cannot catch SIGINT and SIGTERM"));
    if (!server.publish())
        return cl.failure(server.errorString());

    // ITEM=TEXT lines on standard input change items, so a script can play
    // the publishing side too. End of input changes nothing.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(newline));
            pending.remove(0, newline + 1);
            const qsizetype eq = line.indexOf(u'=');
            if (eq <= 0 || !server.setText(line.left(eq), line.mid(eq + 1)))
                cl.err() << "telvioxd-dde: ignored input line \"" << line << "\"" << Qt::endl;
        }
    });

    out << "ready " << server.busName() << ' ' << server.objectPath() << Qt::endl;
    return app.exec() == 0 ? ToolCommandLine::ExitOk : ToolCommandLine::ExitFailure;
}

} // namespace

void ToolOptions::addTo(QCommandLineParser &parser) const
{
    // A text after the command word may start with a dash ("-2.5").
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({timeout, csv});
}

QString helpText()
{
    return QLatin1String(Usage);
}

int runTool(QCoreApplication &app, ToolCommandLine &commandLine, const ToolOptions &options)
{
    const QCommandLineParser &parser = commandLine.parser();
    Invocation run;
    const bool timeoutGiven = parser.isSet(options.timeout);
    if (timeoutGiven) {
        const QString value = parser.value(options.timeout);
        bool ok = false;
        run.timeoutMs = value.toInt(&ok);
        if (!ok || run.timeoutMs <= 0)
            return commandLine.usageError(
                QStringLiteral("--timeout needs a positive number of milliseconds, not \"%1\"")
                    .arg(value));
    }
    run.csv = parser.isSet(options.csv);
    run.args = parser.positionalArguments();
    if (!run.args.isEmpty())
        run.command = run.args.takeFirst();
    if (const auto mistake = checkWords(run.command, run.args.size(), timeoutGiven, run.csv))
        return commandLine.usageError(*mistake);

    if (!QDBusConnection::sessionBus().isConnected())
        return commandLine.failure(QStringLiteral("not connected to the D-Bus session bus: %1")
                                       .arg(QDBusConnection::sessionBus().lastError().message()));
    if (run.command == u"request")
        return runRequest(commandLine, run);
    if (run.command == u"poke")
        return runPoke(commandLine, run);
    if (run.command == u"advise")
        return runAdvise(app, commandLine, run);
    return runServe(app, commandLine, run);
}

} // namespace telviox::dde
