#include "app/windows/programstart.h"

#include "core/prompt.h"
#include "app/shell/configfile.h"
#include "app/shell/startupprobe.h"
#include "app/windows/splashwindow.h"
#include "conversations/sharedstate.h"
#include "core/clock.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <utility>

namespace telviox {

ProgramStart::ProgramStart(ProgramServices services, Wait wait, QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_wait(std::move(wait))
{
    if (!m_wait)
        m_wait = [this](qint64 ms) { waitWithEvents(ms); };
}

ProgramStart::~ProgramStart() = default;

void ProgramStart::waitWithEvents(qint64 ms)
{
    if (ms <= 0 || m_stopped)
        return;
    QEventLoop loop;
    m_waiting = &loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

void ProgramStart::stop()
{
    m_stopped = true;
    if (m_waiting)
        m_waiting->quit();
}

std::unique_ptr<MainWindow> ProgramStart::run()
{
    Clock &clock = m_services.clock;
    SharedState &state = m_services.state;

    m_splash = std::make_unique<SplashWindow>();
    m_splash->show();
    QCoreApplication::processEvents();
    const qint64 t0 = clock.tickCount();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    emit splashShown();

    StartupProbe probe(
        m_services.link, clock,
        [this] { return m_stopped || (m_splash && m_splash->takeMousePress()); },
        [] { QCoreApplication::processEvents(); });
    const StartupProbe::Result found = probe.run(t0);
    state.ComPort = found.comPort;
    if (!m_stopped)
        m_wait(StartupProbe::splashRemaining(found, t0, clock.tickCount()));

    QApplication::restoreOverrideCursor();
    if (m_stopped) {
        m_splash.reset();
        return nullptr;
    }
    readConfiguration(state, m_services.prompt, m_services.folder);
    m_splash->close();
    m_splash.reset();
    // Ended while the box about the configuration was up.
    if (m_stopped)
        return nullptr;

    auto window = std::make_unique<MainWindow>(m_services);
    emit windowBuilt(window.get());
    window->show();
    window->MDIForm_Load();
    // Ended while the load waited in a box, or the load's server start ended
    // the program.
    if (m_stopped)
        return nullptr;
    m_services.prompt.beep();
    return window;
}

} // namespace telviox
