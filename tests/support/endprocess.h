#pragma once

// Ends a program a test started: SIGCONT first (the test may have stopped
// it), then SIGTERM, SIGKILL when that is not heard within waitMs.

#include <QProcess>
#include <csignal>

namespace telviox::test {

inline void endProcess(QProcess &process, int waitMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGCONT);
    process.terminate();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(waitMs);
    }
}

} // namespace telviox::test
