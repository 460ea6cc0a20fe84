#pragma once

#include "server/acquisition.h"
#include "server/pollcycle.h"

#include <QDBusConnection>
#include <memory>

namespace telviox {

class DdeLinkSource;
class DdeProgramItems;
class DiagnosticsAnnouncer;
class LineDiagnostics;
class EstablishView;
class PollTimer;

// The serving program put together from its parts: the module functions on
// the serial link, the items the server publishes, the client links of
// linked outputs, the acquisition routines and the poll cycle with its timer.
// The desktop program, the headless server and the tests all build it here;
// only the windows around it (or their stand-ins) differ.
//
// The caller owns the shared state, the serial link and the services; they
// outlive this object (the start-up uses them before any server exists).
class ServingProgram
{
public:
    struct Services
    {
        SharedState &state;
        SerialLink &link;
        Clock &clock;
        Prompt &prompt;
        StatusLine &status;
    };

    // Who runs the ticks: a timer following the cycle's Timer1, or the caller
    // (tests on virtual time call PollCycle::Timer1_Timer themselves).
    enum class Ticks { Timer, Manual };

    // Publishes the program's items on the bus and links outputs to other
    // servers through it. A linked output's item follows its source between
    // ticks.
    ServingProgram(const Services &services, const QDBusConnection &bus,
                   Ticks ticks = Ticks::Timer);
    // Items and sources of the caller's own.
    ServingProgram(const Services &services, ServerItems &items, LinkSource &source,
                   Ticks ticks = Ticks::Manual);
    ~ServingProgram();

    ServingProgram(const ServingProgram &) = delete;
    ServingProgram &operator=(const ServingProgram &) = delete;

    // Builds the poll cycle on the windows around the server (once; the server
    // window's host needs the items first, so this cannot be done earlier).
    // quitNow ends the program at once, without unloading its windows.
    PollCycle &attach(EstablishView &establish, ServerView &view, PollCycle::QuitNow quitNow);

    ModuleLibrary &library() { return *m_library; }
    // Quality and statistics of the served items (also on the bus with the
    // program's own items).
    LineDiagnostics &diagnostics() { return *m_diagnostics; }
    ServerItems &items() { return m_context.items; }
    LinkSource &source() { return m_context.source; }
    // The published items; null when the caller gave items of its own.
    DdeProgramItems *programItems() const { return m_programItems.get(); }
    // Null before attach().
    PollCycle *cycle() const { return m_cycle.get(); }
    const ServerContext &context() const { return m_context; }

private:
    // Either the program's own items and source, or the caller's.
    ServingProgram(const Services &services, std::unique_ptr<DdeProgramItems> programItems,
                   std::unique_ptr<DdeLinkSource> linkSource, ServerItems *items,
                   LinkSource *source, Ticks ticks);

    std::unique_ptr<ModuleLibrary> m_library;
    // Before the items: their published object reads it until unpublished.
    std::unique_ptr<LineDiagnostics> m_diagnostics;
    std::unique_ptr<DdeProgramItems> m_programItems;
    std::unique_ptr<DiagnosticsAnnouncer> m_announcer;
    std::unique_ptr<DdeLinkSource> m_linkSource;
    ServerContext m_context;
    Ticks m_ticks;
    std::unique_ptr<PollCycle> m_cycle;
    std::unique_ptr<PollTimer> m_timer;
};

} // namespace telviox
