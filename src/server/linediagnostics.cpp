#include "server/linediagnostics.h"

#include "conversations/sharedstate.h"
#include "core/clock.h"
#include "core/moduleerror.h"
#include "core/scripttext.h"
#include "core/textutil.h"
#include "device/catalogue.h"
#include "device/seriallink.h"

#include <QMutexLocker>

namespace telviox {

namespace {

bool validPosition(int position)
{
    return position >= 1 && position <= LineDiagnostics::ItemCount;
}

std::size_t slotOf(int position)
{
    return std::size_t(position - 1);
}

} // namespace

QString ItemDiagnostics::qualityName() const
{
    if (!visited)
        return QStringLiteral("unknown");
    if (code != 0)
        return QStringLiteral("bad");
    return stale ? QStringLiteral("stale") : QStringLiteral("good");
}

QVariantMap ItemDiagnostics::toVariantMap() const
{
    return {
        {QStringLiteral("Position"), position},
        {QStringLiteral("Conversation"), conversation},
        {QStringLiteral("Model"), model},
        {QStringLiteral("Address"), address},
        {QStringLiteral("Rate"), rate},
        {QStringLiteral("Checksum"), checksum},
        {QStringLiteral("Quality"), qualityName()},
        {QStringLiteral("Code"), code},
        {QStringLiteral("Report"), report},
        {QStringLiteral("LastGood"),
         lastGood.isValid() ? scripttext::isoTimeStamp(lastGood) : QString()},
        {QStringLiteral("Good"), good},
        {QStringLiteral("Failed"), failed},
        {QStringLiteral("Timeouts"), timeouts},
        {QStringLiteral("ExchangeMs"), exchangeMs},
        {QStringLiteral("Stale"), stale},
    };
}

LineDiagnostics::LineDiagnostics(const SharedState &state, SerialLink &link, Clock &clock,
                                 QObject *parent)
    : QObject(parent), m_state(state), m_link(link), m_clock(clock)
{
    for (int p = 1; p <= ItemCount; ++p)
        m_rows[slotOf(p)].position = p;
    m_observerId = m_link.addObserver([this](const TrafficRecord &record) { traffic(record); });
}

LineDiagnostics::~LineDiagnostics()
{
    m_link.removeObserver(m_observerId);
}

std::array<ItemDiagnostics, LineDiagnostics::ItemCount> LineDiagnostics::table() const
{
    const QMutexLocker lock(&m_mutex);
    return m_rows;
}

ItemDiagnostics LineDiagnostics::row(int position) const
{
    if (!validPosition(position))
        return {};
    const QMutexLocker lock(&m_mutex);
    return m_rows[slotOf(position)];
}

QList<ItemDiagnostics> LineDiagnostics::servedRows() const
{
    QList<ItemDiagnostics> served;
    const QMutexLocker lock(&m_mutex);
    for (const ItemDiagnostics &r : m_rows) {
        if (r.conversation >= 0)
            served.append(r);
    }
    return served;
}

void LineDiagnostics::reset()
{
    {
        const QMutexLocker lock(&m_mutex);
        for (int p = 1; p <= ItemCount; ++p) {
            ItemDiagnostics &r = m_rows[slotOf(p)];
            r = ItemDiagnostics{};
            r.position = p;
        }
        m_agingSince.fill(0);
        m_visit.reset();
    }
    emit tableReset();
}

QDateTime LineDiagnostics::wallTime(qint64 tick) const
{
    return m_clock.wallTime().addMSecs(tick - m_clock.tickCount());
}

void LineDiagnostics::visitStarted(qint16 index, qint16 position)
{
    if (!validPosition(position) || index < 0 || index >= ConvCount)
        return;
    const ConvRecord &record = m_state.Conv[std::size_t(index)];
    Visit visit;
    visit.position = position;
    visit.startTick = m_clock.tickCount();
    m_visit = visit;

    const QMutexLocker lock(&m_mutex);
    ItemDiagnostics &r = m_rows[slotOf(position)];
    if (r.conversation != index) {
        // Another conversation fills this item now: its history is not ours.
        r = ItemDiagnostics{};
        r.position = position;
        r.conversation = index;
    }
    r.model = catalogue::modelNameOfTypeCode(record.TypeCode);
    r.address = QString::fromLatin1(textutil::hexByte(quint8(record.Address)));
    r.rate = record.BaudRate;
    r.checksum = record.Checksum != 0;
    if (!r.visited)
        m_agingSince[slotOf(position)] = visit.startTick;
}

void LineDiagnostics::moduleError(qint16 code)
{
    if (m_visit && !m_visit->reportedCode && code != 0)
        m_visit->reportedCode = code;
}

void LineDiagnostics::traffic(const TrafficRecord &record)
{
    if (!m_visit || record.direction != TrafficRecord::Direction::Received)
        return;
    const QMutexLocker lock(&m_mutex);
    ItemDiagnostics &r = m_rows[slotOf(m_visit->position)];
    if (record.result == LinkCode::Ok) {
        ++r.good;
        m_visit->goodExchange = true;
        return;
    }
    ++r.failed;
    if (record.result == LinkCode::TimeOut)
        ++r.timeouts;
    if (!m_visit->failedExchange)
        m_visit->failedExchange = record.result;
}

void LineDiagnostics::visitEnded()
{
    if (!m_visit)
        return;
    const Visit visit = *m_visit;
    m_visit.reset();
    const qint64 now = m_clock.tickCount();
    const std::size_t slot = slotOf(visit.position);
    bool qualityMoved = false;
    {
        const QMutexLocker lock(&m_mutex);
        ItemDiagnostics &r = m_rows[slot];
        // The routine's own report names the fault best; an exchange that
        // failed without one (a channel shown in its field) still makes the
        // visit bad. A visit with no exchange at all (a linked output whose
        // source did not answer) says nothing new about the module.
        std::optional<qint16> code = visit.reportedCode ? visit.reportedCode
                                                        : visit.failedExchange;
        if (!code && !visit.goodExchange)
            return;
        const qint16 newCode = code.value_or(0);
        qualityMoved = !r.visited || r.code != newCode;
        r.visited = true;
        r.code = newCode;
        r.report = newCode == 0 ? QString() : moduleErrorLine(r.model, newCode);
        r.exchangeMs = now - visit.startTick;
        if (newCode == 0) {
            m_agingSince[slot] = now;
            r.lastGood = wallTime(now);
            qualityMoved = qualityMoved || r.stale;
            r.stale = false;
        }
    }
    emit rowChanged(visit.position);
    if (qualityMoved)
        emit qualityChanged(visit.position);
}

bool LineDiagnostics::staleNow(const ItemDiagnostics &row, qint64 now) const
{
    if (!row.visited || row.conversation < 0)
        return false;
    const qint64 interval = qMax<qint64>(1, m_state.PollInterval);
    return now - m_agingSince[slotOf(row.position)] > StaleIntervals * interval;
}

void LineDiagnostics::tickEnded()
{
    const qint64 now = m_clock.tickCount();
    QList<int> turnedStale;
    {
        const QMutexLocker lock(&m_mutex);
        for (ItemDiagnostics &r : m_rows) {
            const bool stale = staleNow(r, now);
            // A bad item is already reported; stale only news for a good one.
            if (stale && !r.stale && r.code == 0)
                turnedStale.append(r.position);
            r.stale = stale;
        }
    }
    for (int position : std::as_const(turnedStale)) {
        emit rowChanged(position);
        emit qualityChanged(position);
    }
    emit tickFinished(wallTime(now));
}

void LineDiagnostics::serverStopped()
{
    m_visit.reset();
}

} // namespace telviox
