#include "monitor/lineeventlog.h"

#include "core/clock.h"
#include "core/scripttext.h"
#include "device/seriallink.h"
#include "server/linediagnostics.h"

#include <cstdio>

namespace telviox {

LineEventLog::LineEventLog(const LineDiagnostics &diagnostics, SerialLink &link, Clock &clock,
                           QString program, Sink sink, QObject *parent)
    : QObject(parent), m_diagnostics(diagnostics), m_link(link), m_clock(clock),
      m_program(std::move(program)), m_sink(sink ? std::move(sink) : Sink(&writeToStderr))
{
    static_assert(LineDiagnostics::ItemCount == 32);
    connect(&diagnostics, &LineDiagnostics::qualityChanged, this, &LineEventLog::qualityChanged);
    connect(&diagnostics, &LineDiagnostics::tableReset, this, [this] {
        m_states.fill(State::Unknown);
        m_codes.fill(0);
    });
    m_observerId = m_link.addObserver([this](const TrafficRecord &record) { traffic(record); });
}

LineEventLog::~LineEventLog()
{
    m_link.removeObserver(m_observerId);
}

void LineEventLog::writeToStderr(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void LineEventLog::write(const QString &text)
{
    m_sink(QStringLiteral("%1 %2: %3")
               .arg(scripttext::isoTimeStamp(m_clock.wallTime()), m_program, text));
}

void LineEventLog::qualityChanged(int position)
{
    if (position < 1 || position > LineDiagnostics::ItemCount)
        return;
    const ItemDiagnostics row = m_diagnostics.row(position);
    if (!row.visited)
        return;
    const State state = row.code != 0 ? State::Bad : row.stale ? State::Stale : State::Good;
    State &was = m_states[std::size_t(position - 1)];
    qint16 &wasCode = m_codes[std::size_t(position - 1)];
    if (state == was && (state != State::Bad || row.code == wasCode))
        return;
    const State before = was;
    was = state;
    wasCode = row.code;
    const QString item =
        QStringLiteral("Text%1 (%2 at %3)").arg(position).arg(row.model, row.address);
    switch (state) {
    case State::Bad:
        write(QStringLiteral("%1: %2").arg(item, row.report));
        break;
    case State::Stale:
        write(QStringLiteral("%1: no good exchange for %2 poll intervals")
                  .arg(item)
                  .arg(LineDiagnostics::StaleIntervals));
        break;
    case State::Good:
        // The first good visit is no news.
        if (before != State::Unknown)
            write(QStringLiteral("%1: recovered").arg(item));
        break;
    case State::Unknown:
        break;
    }
}

void LineEventLog::traffic(const TrafficRecord &record)
{
    if (record.direction == TrafficRecord::Direction::Event)
        write(QStringLiteral("COM%1: %2").arg(record.port).arg(record.event));
}

} // namespace telviox
