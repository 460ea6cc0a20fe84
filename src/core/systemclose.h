#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace telviox {

// Turns the termination signals (SIGTERM, SIGINT and, unless it reloads,
// SIGHUP) into a Qt signal on the program's thread, through a pipe the
// handler writes to: a close the system asks for. One per process. A program
// still running ten seconds after the first termination signal (its one
// thread blocked in a wait nothing cuts short) is ended by SIGALRM.
class SystemCloseWatcher : public QObject
{
    Q_OBJECT

public:
    // What SIGHUP means: the end of the session (a desktop program), or "read
    // your files again" (a service).
    enum class HangUp { Closes, Reloads };

    explicit SystemCloseWatcher(QObject *parent = nullptr);
    explicit SystemCloseWatcher(HangUp hangUp, QObject *parent = nullptr);
    ~SystemCloseWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

    // True from the first termination signal on, until the watcher goes.
    // Safe to ask anywhere, inside waits included: long waits on a device
    // ask it so that the program's thread gets back to its loop at once.
    static bool closing();

signals:
    void closeRequested(int signalNumber);
    // SIGHUP with HangUp::Reloads.
    void reloadRequested();

private:
    void readSignal();

    HangUp m_hangUp = HangUp::Closes;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace telviox
