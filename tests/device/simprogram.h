// telvioxd-sim from the build, serving a line file on a link, for the tests
// that run the real programs on a pseudo-terminal.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <csignal>

namespace telviox::test {

class SimProgram
{
public:
    ~SimProgram() { stop(SIGTERM); }

    // Writes the line file and the log into folder; true once it serves.
    bool start(const QString &folder, const QString &link, const QByteArray &lineFile)
    {
        const QDir dir(folder);
        QFile file(dir.filePath(QStringLiteral("line.json")));
        if (!file.open(QIODevice::WriteOnly) || file.write(lineFile) < 0)
            return false;
        file.close();
        m_log = dir.filePath(QStringLiteral("sim.log"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(
            QDir(qEnvironmentVariable("TELVIOXD_BIN")).filePath(QStringLiteral("telvioxd-sim")),
            {QStringLiteral("--line"), file.fileName(), QStringLiteral("--link"), link,
             QStringLiteral("--log"), m_log, QStringLiteral("--turnaround"), QStringLiteral("0")});
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        return m_process.readLine().contains("serving");
    }

    void stop(int signal)
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        m_process.waitForFinished(10000);
    }

    qint64 pid() const { return m_process.processId(); }
    QString logPath() const { return m_log; }

private:
    QProcess m_process;
    QString m_log;
};

} // namespace telviox::test
