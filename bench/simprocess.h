#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

// The telvioxd-sim program beside the benchmarks, or in TELVIOXD_BIN; empty
// when it is not there.
inline QString simulatorProgram()
{
    QString bin = qEnvironmentVariable("TELVIOXD_BIN");
    if (bin.isEmpty())
        bin = QCoreApplication::applicationDirPath();
    const QString program = QDir(bin).filePath(QStringLiteral("telvioxd-sim"));
    return QFileInfo(program).isExecutable() ? program : QString();
}

// telvioxd-sim serving a benchmark's line file on home/ports/com1 for the
// whole run. Check ok() after construction; error() says what went wrong.
class SimProcess
{
public:
    SimProcess(const QString &program, const QString &home, const QByteArray &lineJson,
               const QStringList &options)
    {
        const QString lineFile = QDir(home).filePath(QStringLiteral("line.json"));
        QFile file(lineFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(lineJson) < 0) {
            m_error = QStringLiteral("cannot write %1").arg(lineFile);
            return;
        }
        file.close();
        QDir(home).mkpath(QStringLiteral("ports"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, QStringList{QStringLiteral("--line"), lineFile,
                                             QStringLiteral("--link"),
                                             QDir(home).filePath(QStringLiteral("ports/com1")),
                                             QStringLiteral("--log"), QStringLiteral("/dev/null")}
                                     + options);
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("cannot start %1").arg(program);
            return;
        }
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000)) {
                m_error = QStringLiteral("%1 did not report ready").arg(program);
                return;
            }
        }
        const QByteArray ready = m_process.readLine().trimmed();
        if (!ready.contains("serving"))
            m_error = QStringLiteral("unexpected first line from the simulator: %1")
                          .arg(QString::fromLocal8Bit(ready));
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_error;
};
