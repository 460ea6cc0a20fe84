#pragma once

#include "server/pollobserver.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <array>
#include <optional>

namespace telviox {

class Clock;
class SerialLink;
struct SharedState;
struct TrafficRecord;

// What is known of one served item's conversation: which module it talks to,
// how its last exchange went and how many went well or not.
struct ItemDiagnostics
{
    int position = 0;      // 1..32, the item "Text<position>"
    int conversation = -1; // 0..31; -1 while no conversation fills the item
    QString model;         // the catalogue's model name
    QString address;       // two hexadecimal digits
    qint32 rate = 0;
    bool checksum = false;
    // Quality of the last visit: code 0 is good; otherwise the library's error
    // code and its one-line report. Nothing is known before the first visit.
    bool visited = false;
    qint16 code = 0;
    QString report;
    QDateTime lastGood; // invalid when no exchange went well yet
    quint64 good = 0;   // exchanges that went well
    quint64 failed = 0; // exchanges that did not, time-outs included
    quint64 timeouts = 0;
    qint64 exchangeMs = 0; // time the last visit's exchanges took
    // No good exchange for three poll intervals (or none at all since the
    // first visit that long ago).
    bool stale = false;

    bool isGood() const { return visited && code == 0 && !stale; }
    // "good", "stale", "bad", or "unknown" before the first visit.
    QString qualityName() const;
    // The row as a D-Bus dictionary (names as the diagnostics interface gives them).
    QVariantMap toVariantMap() const;
};

// Quality and statistics of every served item, kept from the poll cycle's
// visits and the link's traffic. Written on the poll cycle's thread; the
// snapshots may be read from any thread (the bus answers from its own).
class LineDiagnostics final : public QObject, public PollObserver
{
    Q_OBJECT

public:
    static constexpr int ItemCount = 32;
    static constexpr int StaleIntervals = 3;

    // Observes the link's traffic until destroyed.
    LineDiagnostics(const SharedState &state, SerialLink &link, Clock &clock,
                    QObject *parent = nullptr);
    ~LineDiagnostics() override;

    // Every position, in order; stale worked out now.
    std::array<ItemDiagnostics, ItemCount> table() const;
    ItemDiagnostics row(int position) const;
    // Positions filled by a conversation (the served items), in order.
    QList<ItemDiagnostics> servedRows() const;
    // Clears counts and quality (the monitor's reset, a new server run).
    void reset();

    // PollObserver
    void visitStarted(qint16 index, qint16 position) override;
    void moduleError(qint16 code) override;
    void visitEnded() override;
    void tickEnded() override;
    void serverStopped() override;

signals:
    // A position's row changed (after its visit) or turned stale.
    void rowChanged(int position);
    // The quality of a position went from good to bad or back (or its code
    // changed): worth a log line.
    void qualityChanged(int position);
    void tickFinished(const QDateTime &time);
    void tableReset();

private:
    struct Visit
    {
        int position = 0;
        qint64 startTick = 0;
        std::optional<qint16> reportedCode;
        std::optional<qint16> failedExchange;
        bool goodExchange = false;
    };

    void traffic(const TrafficRecord &record);
    bool staleNow(const ItemDiagnostics &row, qint64 now) const;
    QDateTime wallTime(qint64 tick) const;

    const SharedState &m_state;
    SerialLink &m_link;
    Clock &m_clock;
    int m_observerId = 0;

    mutable QMutex m_mutex;
    std::array<ItemDiagnostics, ItemCount> m_rows;
    // Tick of the last good visit, or of the first visit while none was good.
    std::array<qint64, ItemCount> m_agingSince{};
    std::optional<Visit> m_visit;
};

} // namespace telviox
