#pragma once

#include "monitor/diagnosticsmodel.h"
#include "monitor/itemcsvlogger.h"
#include "monitor/trafficlog.h"
#include "monitor/trafficmodel.h"

namespace telviox {

class Clock;
class LineDiagnostics;
class SerialLink;
class ServerItems;

// What the line monitor window shows and does, without the window: the
// traffic recorded from the moment this is made (the program's start, so that
// trouble before the window was first opened is there to see), the
// diagnostics table and the item log. Lives as long as the serving program.
class LineMonitor
{
public:
    LineMonitor(SerialLink &link, Clock &clock, const LineDiagnostics &diagnostics,
                const ServerItems &items, int capacity = TrafficLog::DefaultCapacity);

    TrafficLog &log() { return m_log; }
    TrafficModel &traffic() { return m_traffic; }
    DiagnosticsModel &diagnostics() { return m_diagnostics; }
    ItemCsvLogger &itemLogger() { return m_itemLogger; }

private:
    TrafficLog m_log;
    TrafficModel m_traffic;
    DiagnosticsModel m_diagnostics;
    ItemCsvLogger m_itemLogger;
};

} // namespace telviox
