#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

class SimProcess;

// The running benchmark: its name in failure messages, and the simulator that
// must be stopped on a failure, since exit() unwinds nothing.
struct BenchRun
{
    const char *name = "bench";
    SimProcess *simulator = nullptr;
};

inline BenchRun &benchRun()
{
    static BenchRun run;
    return run;
}

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
    ~SimProcess()
    {
        if (benchRun().simulator == this)
            benchRun().simulator = nullptr;
        stop();
    }
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

[[noreturn]] inline void fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", benchRun().name, qPrintable(message));
    if (benchRun().simulator)
        benchRun().simulator->stop();
    std::exit(1);
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// telvioxd-sim started for the whole run, or the benchmark fails.
inline std::unique_ptr<SimProcess> startSimulator(const QString &home, const QByteArray &lineJson,
                                                  const QStringList &options)
{
    const QString program = simulatorProgram();
    if (program.isEmpty())
        fail(QStringLiteral("telvioxd-sim not found (set TELVIOXD_BIN)"));
    auto simulator = std::make_unique<SimProcess>(program, home, lineJson, options);
    if (!simulator->ok())
        fail(simulator->error());
    benchRun().simulator = simulator.get();
    return simulator;
}
