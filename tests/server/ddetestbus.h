#pragma once

// A private session bus for the D-Bus item tests, and helpers that run
// programs while the test's event loop keeps serving.

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace telviox::test {

using namespace Qt::StringLiterals;

// Starts a dbus-daemon of the test's own and points DBUS_SESSION_BUS_ADDRESS
// (of this process and its children) at it, so that names never meet those of
// tests running beside. Falls back to the given bus. Call before the first
// QDBusConnection::sessionBus().
class TestBus
{
public:
    ~TestBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    bool start(QString *reason)
    {
        m_daemon.start(QStandardPaths::findExecutable(u"dbus-daemon"_s),
                       {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
        QByteArray address;
        while (!address.contains('\n') && m_daemon.waitForReadyRead(10000))
            address += m_daemon.readAllStandardOutput();
        if (!address.trimmed().isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.trimmed());
        m_address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        if (m_address.isEmpty())
            *reason = u"no dbus-daemon and no session bus"_s;
        return !m_address.isEmpty();
    }

    QString address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

inline QString programPath(const QString &name)
{
    const QString bin = qEnvironmentVariable("TELVIOXD_BIN");
    return bin.isEmpty() ? name : QDir(bin).filePath(name);
}

struct ToolRun
{
    int exitCode = -1; // -1 when the program did not end normally
    QString out;
    QString err;
};

// Runs a program to its end while the event loop goes on (a server in the
// test answers it meanwhile). The limit only keeps a hung program from
// hanging the test.
inline ToolRun runTool(const QString &program, const QStringList &args)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    process.start(program, args);
    loop.exec();
    const bool ended = process.state() == QProcess::NotRunning &&
                       process.exitStatus() == QProcess::NormalExit &&
                       process.error() != QProcess::FailedToStart;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A program running beside the test that prints lines.
class LineProcess
{
public:
    ~LineProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start(const QString &program, const QStringList &args)
    {
        m_process.start(program, args);
        return m_process.waitForStarted(10000);
    }

    // The next line of standard output; false when the program ends or the
    // limit passes first.
    bool nextLine(QString *line, int limitMs = 30000)
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(limitMs))
                return false;
        }
        *line = QString::fromUtf8(m_process.readLine()).chopped(1);
        return true;
    }

    // The next line of standard error, the same way.
    bool nextErrorLine(QString *line, int limitMs = 30000)
    {
        m_process.setReadChannel(QProcess::StandardError);
        const bool got = nextLine(line, limitMs);
        m_process.setReadChannel(QProcess::StandardOutput);
        return got;
    }

    void write(const QByteArray &data)
    {
        m_process.write(data);
        m_process.waitForBytesWritten(10000);
    }
    QProcess &process() { return m_process; }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
};

} // namespace telviox::test
