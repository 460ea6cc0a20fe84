#include "app/windows/systemclose.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace telviox {

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t deadlineSet = 0;
constexpr std::array<int, 3> Watched = {SIGTERM, SIGINT, SIGHUP};
// The program ends on the event loop's next turn; a turn that does not come
// (an exchange or a linked source that does not answer blocks the one thread
// for up to minutes) must not keep it alive: SIGALRM's default action ends it.
constexpr unsigned EndDeadlineSeconds = 10;

// Only async-signal-safe work here: the notifier reads the byte.
void onSignal(int signalNumber)
{
    const int saved = errno;
    if (!deadlineSet) {
        deadlineSet = 1;
        ::alarm(EndDeadlineSeconds);
    }
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SystemCloseWatcher::SystemCloseWatcher(QObject *parent) : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("telvioxd: termination signals are not watched");
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SystemCloseWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : Watched)
        ::sigaction(s, &action, nullptr);
    ::signal(SIGALRM, SIG_DFL);
}

SystemCloseWatcher::~SystemCloseWatcher()
{
    if (!m_notifier)
        return;
    ::alarm(0);
    deadlineSet = 0;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int s : Watched)
        ::sigaction(s, &action, nullptr);
    m_notifier.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SystemCloseWatcher::readSignal()
{
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        emit closeRequested(int(byte));
}

} // namespace telviox
