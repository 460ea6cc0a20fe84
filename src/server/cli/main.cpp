// telvioxd-dde: reads, writes and watches items of servers on the session bus,
// and holds items of its own for scripts and tests.

#include "server/ddeclient.h"
#include "server/ddeitemserver.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using telviox::DdeAdviseLink;
using telviox::DdeClient;
using telviox::DdeItemServer;
using telviox::DdeResult;

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

const char Usage[] = "usage: telvioxd-dde [--timeout MS] request SERVICE TOPIC ITEM\n"
                     "       telvioxd-dde [--timeout MS] poke SERVICE TOPIC ITEM TEXT\n"
                     "       telvioxd-dde [--timeout MS] advise SERVICE TOPIC ITEM\n"
                     "       telvioxd-dde serve SERVICE TOPIC ITEM=TEXT...\n"
                     "\n"
                     "request  prints the item's text\n"
                     "poke     writes TEXT into the item\n"
                     "advise   prints the item's text, then every change, until interrupted\n"
                     "serve    holds the items until interrupted; prints a ready line, then\n"
                     "         ITEM=TEXT for every poke; ITEM=TEXT lines on standard input\n"
                     "         change items\n"
                     "\n"
                     "--timeout MS  how long to wait for the server's answer (default 300000)\n";

struct Options
{
    QString command;
    QStringList args;
    int timeoutMs = DdeClient::DefaultTimeoutMs;
    bool timeoutGiven = false;
    bool help = false;
};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString &message)
{
    err() << "telvioxd-dde: " << message << "\n" << Usage;
    err().flush();
    return ExitUsage;
}

int failed(const QString &message)
{
    err() << "telvioxd-dde: " << message << Qt::endl;
    return ExitFailure;
}

// Options are the words starting with "--" (up to a lone "--"); a single dash
// is an argument, so texts such as "-2.5" need no quoting.
std::optional<Options> parse(const QStringList &words, QString *error)
{
    Options options;
    bool optionsDone = false;
    QStringList positional;
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (optionsDone || !word.startsWith(u"--")) {
            if (word == u"-h" && !optionsDone) {
                options.help = true;
                continue;
            }
            positional.append(word);
            continue;
        }
        if (word == u"--") {
            optionsDone = true;
        } else if (word == u"--help") {
            options.help = true;
        } else if (word == u"--timeout" || word.startsWith(u"--timeout=")) {
            QString value;
            if (word == u"--timeout") {
                if (++i >= words.size()) {
                    *error = QStringLiteral("--timeout needs a value in milliseconds");
                    return std::nullopt;
                }
                value = words.at(i);
            } else {
                value = word.mid(int(sizeof("--timeout=")) - 1);
            }
            bool ok = false;
            const int ms = value.toInt(&ok);
            if (!ok || ms <= 0) {
                *error =
                    QStringLiteral("--timeout needs a positive number of milliseconds, not \"%1\"")
                        .arg(value);
                return std::nullopt;
            }
            options.timeoutMs = ms;
            options.timeoutGiven = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(word);
            return std::nullopt;
        }
    }
    if (!positional.isEmpty())
        options.command = positional.takeFirst();
    options.args = positional;
    return options;
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

int runRequest(const Options &options)
{
    const DdeResult result = DdeClient().request(options.args.at(0), options.args.at(1),
                                                 options.args.at(2), options.timeoutMs);
    if (!result.ok())
        return failed(result.error);
    out() << result.text << Qt::endl;
    return 0;
}

int runPoke(const Options &options)
{
    const DdeResult result =
        DdeClient().poke(options.args.at(0), options.args.at(1), options.args.at(2),
                         options.args.at(3), options.timeoutMs);
    if (!result.ok())
        return failed(result.error);
    return 0;
}

int runAdvise(QCoreApplication &app, const Options &options)
{
    const QString &service = options.args.at(0);
    const QString &topic = options.args.at(1);
    const QString &item = options.args.at(2);

    // Listen first, then read: a change between the two is not lost. The
    // answer and an early Advise may then carry the same text; print it once.
    DdeAdviseLink link(QDBusConnection::sessionBus(), service, topic, item);
    if (!link.isActive())
        return failed(link.errorString());
    const DdeResult current = DdeClient().request(service, topic, item, options.timeoutMs);
    if (!current.ok())
        return failed(current.error);
    QString last = current.text;
    out() << last << Qt::endl;
    QObject::connect(&link, &DdeAdviseLink::advised, &app,
                     [&last](const QString &, const QString &text) {
                         if (text == last)
                             return;
                         last = text;
                         out() << text << Qt::endl;
                     });
    if (!quitOnSignals(app))
        return failed(QStringLiteral("cannot catch SIGINT and SIGTERM"));
    return app.exec() == 0 ? 0 : ExitFailure;
}

int runServe(QCoreApplication &app, const Options &options)
{
    const QString &service = options.args.at(0);
    const QString &topic = options.args.at(1);
    QStringList items;
    QList<QPair<QString, QString>> texts;
    for (int i = 2; i < options.args.size(); ++i) {
        const QString &word = options.args.at(i);
        const int eq = word.indexOf(u'=');
        const QString item = eq < 0 ? word : word.left(eq);
        if (item.isEmpty())
            return usageError(QStringLiteral("an item needs a name: \"%1\"").arg(word));
        if (items.contains(item))
            return usageError(QStringLiteral("item \"%1\" given twice").arg(item));
        items.append(item);
        texts.append({item, eq < 0 ? QString() : word.mid(eq + 1)});
    }

    DdeItemServer server(service, topic, items);
    for (const auto &[item, text] : std::as_const(texts))
        server.setText(item, text);
    QObject::connect(
        &server, &DdeItemServer::poked, &app,
        [](const QString &item, const QString &text) { out() << item << '=' << text << Qt::endl; });
    if (!quitOnSignals(app))
        return failed(QStringLiteral("cannot catch SIGINT and SIGTERM"));
    if (!server.publish())
        return failed(server.errorString());

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
            const int eq = line.indexOf(u'=');
            if (eq <= 0 || !server.setText(line.left(eq), line.mid(eq + 1)))
                err() << "telvioxd-dde: ignored input line \"" << line << "\"" << Qt::endl;
        }
    });

    out() << "ready " << server.busName() << ' ' << server.objectPath() << Qt::endl;
    return app.exec() == 0 ? 0 : ExitFailure;
}

} // namespace

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<Options> options = parse(app.arguments().mid(1), &error);
    if (!options)
        return usageError(error);
    if (options->help) {
        out() << Usage;
        out().flush();
        return 0;
    }

    const QString &command = options->command;
    const qsizetype count = options->args.size();
    if (command.isEmpty())
        return usageError(QStringLiteral("no command given"));
    if (command == u"serve" && options->timeoutGiven)
        return usageError(QStringLiteral("--timeout does not apply to serve"));
    if (command == u"request" || command == u"advise") {
        if (count != 3)
            return usageError(QStringLiteral("%1 takes SERVICE TOPIC ITEM").arg(command));
    } else if (command == u"poke") {
        if (count != 4)
            return usageError(QStringLiteral("poke takes SERVICE TOPIC ITEM TEXT"));
    } else if (command == u"serve") {
        if (count < 3)
            return usageError(
                QStringLiteral("serve takes SERVICE TOPIC and at least one ITEM=TEXT"));
    } else {
        return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
    }
    if (!QDBusConnection::sessionBus().isConnected())
        return failed(QStringLiteral("not connected to the D-Bus session bus: %1")
                          .arg(QDBusConnection::sessionBus().lastError().message()));

    if (command == u"request")
        return runRequest(*options);
    if (command == u"poke")
        return runPoke(*options);
    if (command == u"advise")
        return runAdvise(app, *options);
    return runServe(app, *options);
}

int main(int argc, char *argv[])
{
    const int code = run(argc, argv);
    // Leave without the library's exit handlers: the bus connection's thread
    // may still be handing on a message the bus sent unasked (the name
    // acquired at connect) while they tear down the types it decodes into,
    // which prints spurious warnings. Everything of ours is closed by now.
    out().flush();
    err().flush();
    std::fflush(nullptr);
    std::_Exit(code);
}
