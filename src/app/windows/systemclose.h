#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace telviox {

// Turns the termination signals (SIGTERM, SIGINT, SIGHUP) into a Qt signal on
// the user-interface thread, through a pipe the handler writes to: a close
// the system asks for. One per process. A program still running ten seconds
// after the first signal (its one thread blocked in an exchange) is ended by
// SIGALRM.
class SystemCloseWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SystemCloseWatcher(QObject *parent = nullptr);
    ~SystemCloseWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

signals:
    void closeRequested(int signalNumber);

private:
    void readSignal();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace telviox
