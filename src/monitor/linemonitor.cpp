#include "monitor/linemonitor.h"

namespace telviox {

LineMonitor::LineMonitor(SerialLink &link, Clock &clock, const LineDiagnostics &diagnostics,
                         const ServerItems &items, int capacity)
    : m_log(clock, capacity), m_traffic(m_log), m_diagnostics(diagnostics),
      m_itemLogger(diagnostics, items)
{
    m_log.attach(link);
}

} // namespace telviox
