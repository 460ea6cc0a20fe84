#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>

namespace telviox {

class Clock;
class LineDiagnostics;
class SerialLink;
struct TrafficRecord;

// Module errors and the port's device coming and going, as time-stamped lines
// for a log (stderr, which the journal keeps when the program runs as a
// service). One line per change, never one per tick: an item turning bad
// (with the module error line), its error changing, turning stale,
// recovering; the device lost and reconnected.
//
//   2026-12-06T22:14:03.512+01:00 telvioxd: Text3 (2091 at 02): Error in Module: ...
//   2026-12-06T22:14:09.114+01:00 telvioxd: Text3 (2091 at 02): recovered
//   2026-12-06T22:15:00.020+01:00 telvioxd: COM1: device /dev/ttyUSB0 lost
class LineEventLog final : public QObject
{
    Q_OBJECT

public:
    using Sink = std::function<void(const QString &line)>;

    // program names the writer in every line; the sink defaults to stderr.
    LineEventLog(const LineDiagnostics &diagnostics, SerialLink &link, Clock &clock,
                 QString program, Sink sink = {}, QObject *parent = nullptr);
    ~LineEventLog() override;

    // Writes one line to stderr at once.
    static void writeToStderr(const QString &line);

private:
    enum class State { Unknown, Good, Bad, Stale };

    void qualityChanged(int position);
    void traffic(const TrafficRecord &record);
    void write(const QString &text);

    const LineDiagnostics &m_diagnostics;
    SerialLink &m_link;
    Clock &m_clock;
    QString m_program;
    Sink m_sink;
    int m_observerId = 0;
    std::array<State, 32> m_states{};
    std::array<qint16, 32> m_codes{};
};

} // namespace telviox
