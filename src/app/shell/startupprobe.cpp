#include "app/shell/startupprobe.h"

#include "core/clock.h"
#include "device/seriallink.h"

#include <utility>

namespace telviox {

StartupProbe::StartupProbe(SerialLink &link, Clock &clock, std::function<bool()> mousePressed,
                           std::function<void()> processEvents)
    : m_link(link), m_clock(clock), m_mousePressed(std::move(mousePressed)),
      m_processEvents(std::move(processEvents))
{}

bool StartupProbe::attempt(int port, qint32 baud, int address)
{
    // "$0dM": the name of the module at address 0d.
    const QByteArray command = "$0" + QByteArray::number(address) + 'M';
    if (m_link.Open_Com(port, baud, 8, 0, 0) != 0) {
        m_link.Close_Com(port);
        return false;
    }
    QByteArray reply;
    m_link.Send_Receive_Cmd(port, command, reply, ReplyTimeoutMs, 0);
    m_link.Close_Com(port);
    // Whatever the exchange's result, only a reply that starts as an answer counts.
    return reply.startsWith('!');
}

StartupProbe::Result StartupProbe::run(qint64 t0)
{
    Result result;
    result.comPort = 1;
    for (int port = FirstPort; port <= LastPort; ++port) {
        for (int address = 0; address < Addresses; ++address) {
            for (const qint32 baud : Bauds) {
                ++result.attempts;
                if (attempt(port, baud, address)) {
                    result.comPort = qint16(port);
                    result.end = End::Answer;
                    return result;
                }
                if (m_mousePressed && m_mousePressed()) {
                    result.end = End::MousePress;
                    return result;
                }
                if (m_clock.tickCount() - t0 > BudgetMs) {
                    result.end = End::BudgetUsed;
                    return result;
                }
                if (m_processEvents)
                    m_processEvents();
            }
        }
    }
    result.end = End::Exhausted;
    return result;
}

qint64 StartupProbe::splashRemaining(const Result &result, qint64 t0, qint64 now)
{
    if (result.end == End::BudgetUsed)
        return 0;
    const qint64 left = t0 + SplashMs - now;
    return left > 0 ? left : 0;
}

} // namespace telviox
