#include "core/systemclose.h"

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace telviox {

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t deadlineSet = 0;
// Lock-free, so that the handler may set it.
std::atomic<bool> closingFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free);
constexpr std::array<int, 3> Watched = {SIGTERM, SIGINT, SIGHUP};
// The program ends on the event loop's next turn; a turn that does not come
// (a linked source that does not answer blocks the one thread for up to
// minutes) must not keep it alive: SIGALRM's default action ends it.
constexpr unsigned EndDeadlineSeconds = 10;

void writeByte(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Only async-signal-safe work here: the notifier reads the byte.
void onCloseSignal(int signalNumber)
{
    const int saved = errno;
    closingFlag.store(true);
    if (!deadlineSet) {
        deadlineSet = 1;
        ::alarm(EndDeadlineSeconds);
    }
    writeByte(signalNumber);
    errno = saved;
}

void onReloadSignal(int signalNumber)
{
    const int saved = errno;
    writeByte(signalNumber);
    errno = saved;
}

void install(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SystemCloseWatcher::SystemCloseWatcher(QObject *parent) : SystemCloseWatcher(HangUp::Closes, parent)
{}

SystemCloseWatcher::SystemCloseWatcher(HangUp hangUp, QObject *parent)
    : QObject(parent), m_hangUp(hangUp)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("telvioxd: termination signals are not watched");
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SystemCloseWatcher::readSignal);

    for (const int s : Watched)
        install(s, s == SIGHUP && hangUp == HangUp::Reloads ? onReloadSignal : onCloseSignal);
    ::signal(SIGALRM, SIG_DFL);
}

SystemCloseWatcher::~SystemCloseWatcher()
{
    if (!m_notifier)
        return;
    ::alarm(0);
    deadlineSet = 0;
    for (const int s : Watched)
        install(s, SIG_DFL);
    closingFlag.store(false);
    m_notifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

bool SystemCloseWatcher::closing()
{
    return closingFlag.load();
}

void SystemCloseWatcher::readSignal()
{
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
        if (int(byte) == SIGHUP && m_hangUp == HangUp::Reloads)
            emit reloadRequested();
        else
            emit closeRequested(int(byte));
    }
}

} // namespace telviox
