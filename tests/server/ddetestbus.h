#pragma once

// Support for the D-Bus item tests: a session bus of the test's own and small
// helpers that run command-line clients while the test's event loop keeps
// serving.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace telviox::test {

// Starts a private dbus-daemon and points DBUS_SESSION_BUS_ADDRESS (of this
// process and of every program it starts) at it, so that names the tests
// register never meet those of tests running beside them. Where no daemon can
// be started, the bus already given in the environment is used. Must run
// before the first use of QDBusConnection::sessionBus().
class TestBus
{
public:
    TestBus() = default;
    TestBus(const TestBus &) = delete;
    TestBus &operator=(const TestBus &) = delete;

    ~TestBus()
    {
        if (m_daemon) {
            m_daemon->terminate();
            m_daemon->waitForFinished(5000);
        }
    }

    // False, with a reason, when there is no bus at all.
    bool start(QString *reason)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (!daemon.isEmpty()) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::SeparateChannels);
            process->start(daemon,
                           {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
            QByteArray address;
            if (process->waitForStarted(10000)) {
                while (!address.contains('\n') && process->waitForReadyRead(10000))
                    address += process->readAllStandardOutput();
            }
            address = address.trimmed();
            if (!address.isEmpty()) {
                qputenv("DBUS_SESSION_BUS_ADDRESS", address);
                m_address = QString::fromUtf8(address);
                m_daemon = std::move(process);
                return true;
            }
            process->kill();
            process->waitForFinished(5000);
        }
        m_address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (m_address.isEmpty()) {
            *reason = QStringLiteral("no dbus-daemon and no session bus");
            return false;
        }
        return true;
    }

    QString address() const { return m_address; }

private:
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
};

inline QString programPath(const QString &name)
{
    const QString bin = qEnvironmentVariable("TELVIOXD_BIN");
    return bin.isEmpty() ? name : QDir(bin).filePath(name);
}

struct ToolRun
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program to its end while this process's event loop goes on (a
// server in the test answers the program's calls meanwhile). The limit only
// keeps a hung program from hanging the test.
inline ToolRun runTool(const QString &program, const QStringList &args, int limitMs = 60000)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    process.start(program, args);
    loop.exec();
    ToolRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    } else {
        run.finished = process.exitStatus() == QProcess::NormalExit &&
                       process.error() != QProcess::FailedToStart;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A program that runs beside the test (a server, a watcher) and prints lines.
class LineProcess
{
public:
    LineProcess() { m_process.setProcessChannelMode(QProcess::SeparateChannels); }
    ~LineProcess() { stop(); }
    LineProcess(const LineProcess &) = delete;
    LineProcess &operator=(const LineProcess &) = delete;

    bool start(const QString &program, const QStringList &args)
    {
        m_process.start(program, args);
        return m_process.waitForStarted(10000);
    }

    // The next line of standard output, waiting in the event loop; false when
    // the program ends or the limit passes first.
    bool nextLine(QString *line, int limitMs = 30000)
    {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        limit.start(limitMs);
        for (;;) {
            m_buffer += m_process.readAllStandardOutput();
            const qsizetype newline = m_buffer.indexOf('\n');
            if (newline >= 0) {
                *line = QString::fromUtf8(m_buffer.left(newline));
                m_buffer.remove(0, newline + 1);
                return true;
            }
            if (m_process.state() == QProcess::NotRunning || !limit.isActive())
                return false;
            loop.exec();
        }
    }

    // Reads lines until one satisfies pred; false if none comes.
    template <typename Pred>
    bool waitForLine(Pred pred, QString *line = nullptr, int limitMs = 30000)
    {
        QString l;
        while (nextLine(&l, limitMs)) {
            if (pred(l)) {
                if (line)
                    *line = l;
                return true;
            }
        }
        return false;
    }

    void write(const QByteArray &data) { m_process.write(data); }
    QProcess &process() { return m_process; }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QByteArray m_buffer;
};

} // namespace telviox::test
