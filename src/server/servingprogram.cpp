#include "server/servingprogram.h"

#include "server/ddelinksource.h"
#include "server/ddeprogramitems.h"
#include "server/diagnosticsinterface.h"
#include "server/linediagnostics.h"
#include "server/polltimer.h"

#include <utility>

namespace telviox {

ServingProgram::ServingProgram(const Services &services, const QDBusConnection &bus, Ticks ticks)
    : ServingProgram(services, std::make_unique<DdeProgramItems>(bus),
                     std::make_unique<DdeLinkSource>(bus), nullptr, nullptr, ticks)
{
    // A linked output's item shows what its source advises between ticks;
    // the next tick writes the value it sent to the module over it.
    m_linkSource->setFollower([items = m_programItems.get()](int position, const QString &text) {
        items->FillText(position, text);
    });
    m_programItems->addInterface(std::make_shared<DiagnosticsInterface>(*m_diagnostics));
    m_announcer = std::make_unique<DiagnosticsAnnouncer>(*m_diagnostics, *m_programItems);
}

ServingProgram::ServingProgram(const Services &services, ServerItems &items, LinkSource &source,
                               Ticks ticks)
    : ServingProgram(services, nullptr, nullptr, &items, &source, ticks)
{}

ServingProgram::ServingProgram(const Services &services,
                               std::unique_ptr<DdeProgramItems> programItems,
                               std::unique_ptr<DdeLinkSource> linkSource, ServerItems *items,
                               LinkSource *source, Ticks ticks)
    : m_library(std::make_unique<ModuleLibrary>(services.link)),
      m_diagnostics(
          std::make_unique<LineDiagnostics>(services.state, services.link, services.clock)),
      m_programItems(std::move(programItems)), m_linkSource(std::move(linkSource)),
      m_context{services.state,
                services.link,
                *m_library,
                services.clock,
                services.prompt,
                items ? *items : static_cast<ServerItems &>(*m_programItems),
                source ? *source : static_cast<LinkSource &>(*m_linkSource),
                services.status,
                m_diagnostics.get()},
      m_ticks(ticks)
{}

ServingProgram::~ServingProgram()
{
    // The timer refers to the cycle, the cycle to the items and the source.
    m_timer.reset();
    m_cycle.reset();
    m_announcer.reset();
}

PollCycle &ServingProgram::attach(EstablishView &establish, ServerView &view,
                                  PollCycle::QuitNow quitNow)
{
    Q_ASSERT(!m_cycle);
    m_cycle = std::make_unique<PollCycle>(m_context, establish, view, std::move(quitNow));
    if (m_ticks == Ticks::Timer)
        m_timer = std::make_unique<PollTimer>(*m_cycle);
    return *m_cycle;
}

} // namespace telviox
