#include "simline.h"

#include "simmodule.h"

#include <algorithm>

namespace telviox::sim {

namespace {

// Bytes of an unfinished command kept while waiting for its CR: no command is
// longer, and a babbling sender must not grow the buffer without bound.
constexpr int MaxPendingBytes = 256;
constexpr int MaxCommandLog = 4096;

bool isLead(char c)
{
    return c == '$' || c == '#' || c == '@' || c == '%' || c == '~';
}

QByteArray addressText(int address)
{
    return QByteArray::number(address, 16).toUpper().rightJustified(2, '0');
}

QByteArray hex2(int value)
{
    return QByteArray::number(value & 0xFF, 16).toUpper().rightJustified(2, '0');
}

int byteSum(const QByteArray &text)
{
    int sum = 0;
    for (char c : text)
        sum += static_cast<unsigned char>(c);
    return sum & 0xFF;
}

} // namespace

SimLine::SimLine() = default;
SimLine::~SimLine() = default;

QByteArray SimLine::checksumOf(const QByteArray &text)
{
    return hex2(byteSum(text));
}

qint64 SimLine::wireTimeUs(qint64 characters, qint32 baud)
{
    if (baud <= 0 || characters <= 0)
        return 0;
    return characters * 10 * 1000000 / baud;
}

qint64 SimLine::replyDelayUs(const SimReply &reply, qint32 baud) const
{
    qint64 delay = qint64(m_turnaroundMs) * 1000;
    if (m_wireTime)
        delay += wireTimeUs(reply.bytes.size(), baud);
    return delay;
}

QByteArray SimLine::receive(const QByteArray &bytes, qint32 baud, qint64 nowMs)
{
    QByteArray out;
    for (const SimReply &reply : process(bytes, baud, nowMs))
        out += reply.bytes;
    return out;
}

std::vector<SimReply> SimLine::process(const QByteArray &bytes, qint32 baud, qint64 nowMs)
{
    std::vector<SimReply> replies;
    // A command cannot straddle a change of rate: its first part is noise.
    if (baud != m_pendingBaud) {
        m_pending.clear();
        m_pendingBaud = baud;
    }
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype cr = bytes.indexOf('\r', from);
        if (cr < 0) {
            m_pending += bytes.mid(from);
            if (m_pending.size() > MaxPendingBytes)
                m_pending = m_pending.right(MaxPendingBytes);
            break;
        }
        QByteArray frame = m_pending + bytes.mid(from, cr - from);
        m_pending.clear();
        handleFrame(frame, baud, nowMs, replies);
        from = cr + 1;
    }
    return replies;
}

void SimLine::handleFrame(const QByteArray &frame, qint32 baud, qint64 nowMs,
                          std::vector<SimReply> &replies)
{
    if (m_commands.size() >= MaxCommandLog)
        m_commands.removeFirst();
    m_commands.append(frame);

    // A module listens from the last lead character on; what came before is
    // line noise to it.
    qsizetype start = frame.size() - 1;
    while (start >= 0 && !isLead(frame.at(start)))
        --start;
    if (start < 0)
        return;
    const QByteArray command = frame.mid(start);
    if (command.size() < 3)
        return;
    const QByteArray aa = command.mid(1, 2);

    for (const auto &module : m_modules) {
        if (module->baud != baud || addressText(module->address) != aa)
            continue;
        QByteArray body = command;
        if (module->checksum) {
            // A checksum module ignores what it cannot verify.
            if (command.size() < 5)
                return;
            body = command.chopped(2);
            if (command.right(2).toUpper() != checksumOf(body))
                return;
        }
        const QByteArray text = module->execute(body, nowMs);
        bool endless = false;
        QByteArray wire = applyFault(module->address, text, module->checksum, &endless);
        if (!wire.isEmpty())
            replies.push_back({module->address, frame, std::move(wire), endless});
        return;
    }
}

QByteArray SimLine::applyFault(int address, const QByteArray &text, bool checksum, bool *endless)
{
    QByteArray body = text;
    if (checksum)
        body += checksumOf(text);
    const QByteArray wire = body + '\r';

    const auto it = m_faults.find(address);
    if (it == m_faults.end())
        return wire;
    const Fault &fault = it->second;
    const qint64 count = ++m_replyCounts[address];
    if (count % std::max(1, fault.every) != 0)
        return wire;

    switch (fault.kind) {
    case Fault::Kind::None:
        return wire;
    case Fault::Kind::NoReply:
        return {};
    case Fault::Kind::BadChecksum:
        return text + hex2(byteSum(text) + 1) + '\r';
    case Fault::Kind::Cut: {
        const qsizetype keep =
            fault.keep >= 0 ? std::min<qsizetype>(fault.keep, body.size()) : body.size() / 2;
        return body.left(keep);
    }
    case Fault::Kind::Noise:
        return fault.noise + wire;
    case Fault::Kind::Endless: {
        *endless = true;
        QByteArray out = body;
        while (out.size() < fault.length)
            out += body;
        out.truncate(std::max<qsizetype>(fault.length, body.size()));
        return out;
    }
    }
    return wire;
}

SimModule *SimLine::find(int address, int slot) const
{
    for (const auto &module : m_modules) {
        if (module->address != address)
            continue;
        if (slot < 0)
            return module.get();
        return module->slotModule(slot);
    }
    return nullptr;
}

std::optional<double> SimLine::analogOutput(int address, int channel, int slot) const
{
    const SimModule *m = find(address, slot);
    if (!m || channel < 0 || channel >= int(m->outputs.size()))
        return std::nullopt;
    return m->outputs[size_t(channel)];
}

std::optional<quint32> SimLine::digitalOutputs(int address, int slot) const
{
    const SimModule *m = find(address, slot);
    if (!m || m->info().kind != catalogue::Kind::Digital)
        return std::nullopt;
    return m->digitalOutputs;
}

bool SimLine::setDigitalInputs(int address, quint32 bits, int slot)
{
    SimModule *m = find(address, slot);
    if (!m || m->info().inputBits <= 0)
        return false;
    const int count = m->info().inputBits;
    m->digitalInputs = count >= 32 ? bits : bits & ((quint32(1) << count) - 1);
    return true;
}

bool SimLine::setAnalogInput(int address, int channel, double value, int slot)
{
    SimModule *m = find(address, slot);
    if (!m || channel < 0 || channel >= int(m->inputs.size()))
        return false;
    Wave &wave = m->inputs[size_t(channel)].wave;
    wave = Wave{};
    wave.offset = value;
    return true;
}

bool SimLine::setCounter(int address, int channel, quint32 start, double countsPerSecond,
                         qint64 originMs)
{
    SimModule *m = find(address, -1);
    if (!m || m->info().kind != catalogue::Kind::Counter || channel < 0 || channel > 1)
        return false;
    CounterChannel &c = m->counters[size_t(channel)];
    c.start = start;
    c.countsPerSecond = countsPerSecond;
    c.originMs = originMs;
    c.counting = true;
    return true;
}

void SimLine::setFault(int address, const Fault &fault)
{
    m_replyCounts[address] = 0;
    if (fault.kind == Fault::Kind::None)
        m_faults.erase(address);
    else
        m_faults[address] = fault;
}

} // namespace telviox::sim
