#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace telviox::sim {

class SimModule;

// A fault injected into the replies given at one address.
struct Fault
{
    enum class Kind {
        None,
        NoReply,     // the module stays silent
        BadChecksum, // the reply carries checksum digits that do not match
        Cut,         // only the first `keep` characters, no CR
        Noise,       // `noise` bytes come before the reply
        Endless,     // the reply never ends: no CR, filler up to `length` bytes
    };
    Kind kind = Kind::None;
    int every = 1; // applies to every n-th reply at the address (1 = all)
    int keep = -1; // Cut: characters kept; -1 = half of the reply
    QByteArray noise = QByteArrayLiteral("\xFF\x00\x7F");
    int length = 256; // Endless: bytes handed out in-process
};

// One reply produced by the line for one command.
struct SimReply
{
    int address = 0;
    QByteArray command;   // the command frame as received, without CR
    QByteArray bytes;     // as on the wire: CR included unless a fault took it away
    bool endless = false; // the module goes on sending after `bytes`
};

// The modules of one RS-485 line as a line file describes them. Bytes go in as
// they arrive on the wire; replies come out. Time is whatever the caller says
// it is (milliseconds), so the line runs equally on virtual and real time.
class SimLine
{
public:
    ~SimLine();
    SimLine(const SimLine &) = delete;
    SimLine &operator=(const SimLine &) = delete;

    // Parses a line file. On failure returns nullptr and, when error is given,
    // a message naming the offending field ("modules[2].baud: ...").
    static std::unique_ptr<SimLine> load(const QByteArray &json, QString *error);
    static std::unique_ptr<SimLine> loadFile(const QString &path, QString *error);

    // Feeds bytes sent at the given baud rate at time nowMs; returns the reply
    // bytes of every command these bytes complete (empty when none answers).
    QByteArray receive(const QByteArray &bytes, qint32 baud, qint64 nowMs);
    // The same, one entry per answered command.
    std::vector<SimReply> process(const QByteArray &bytes, qint32 baud, qint64 nowMs);

    int turnaroundMs() const { return m_turnaroundMs; }
    void setTurnaroundMs(int ms) { m_turnaroundMs = ms < 0 ? 0 : ms; }
    bool wireTime() const { return m_wireTime; }
    void setWireTime(bool on) { m_wireTime = on; }

    // Modules addressed on the line (slot modules not counted).
    int moduleCount() const { return int(m_modules.size()); }

    // Inspection and control for tests. A module is found by address (the
    // first one at that address) and, for a main unit, slot (-1 = the module
    // itself). Setters return false when there is no such module or channel.
    std::optional<double> analogOutput(int address, int channel, int slot = -1) const;
    std::optional<quint32> digitalOutputs(int address, int slot = -1) const;
    bool setDigitalInputs(int address, quint32 bits, int slot = -1);
    bool setAnalogInput(int address, int channel, double value, int slot = -1);
    // The counter reads start at originMs and counts on from there.
    bool setCounter(int address, int channel, quint32 start, double countsPerSecond,
                    qint64 originMs = 0);
    void setFault(int address, const Fault &fault);
    void clearFault(int address) { setFault(address, Fault{}); }

    // Every complete command frame the line saw (CR stripped), answered or
    // not, oldest first; the most recent few thousand are kept.
    const QByteArrayList &commands() const { return m_commands; }
    void clearCommands() { m_commands.clear(); }

    // Time from the end of a command to the end of its reply on the wire: the
    // turnaround and, with wire time on, the reply's characters. The
    // command's own characters are not counted: the client's time-out starts
    // when its write has ended, after they have passed.
    qint64 replyDelayUs(const SimReply &reply, qint32 baud) const;

    // Wire time of a number of characters (10 bits each) at a baud rate.
    static qint64 wireTimeUs(qint64 characters, qint32 baud);
    // The two checksum digits of a text: its byte sum modulo 256, upper-case hex.
    static QByteArray checksumOf(const QByteArray &text);

private:
    SimLine();
    friend class LineFileReader;

    SimModule *find(int address, int slot) const;
    void handleFrame(const QByteArray &frame, qint32 baud, qint64 nowMs,
                     std::vector<SimReply> &replies);
    QByteArray applyFault(int address, const QByteArray &text, bool checksum, bool *endless);

    std::vector<std::unique_ptr<SimModule>> m_modules;
    std::map<int, Fault> m_faults;
    std::map<int, qint64> m_replyCounts;
    QByteArray m_pending;
    qint32 m_pendingBaud = 0;
    QByteArrayList m_commands;
    int m_turnaroundMs = 2;
    bool m_wireTime = false;
};

} // namespace telviox::sim
