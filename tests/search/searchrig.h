#pragma once

// The search on a simulated line with virtual time: the real serial link and
// module functions talk to the in-process simulator; the window, the status
// line and the boxes are fakes that record what they were asked, in one log.

#include "conversations/sharedstate.h"
#include "device/modulelibrary.h"
#include "search/resultline.h"
#include "search/searchengine.h"
#include "search/searchsettings.h"
#include "server/serverinterfaces.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"

#include <QStringList>
#include <functional>
#include <map>
#include <stdexcept>

namespace telviox::test {

using namespace Qt::StringLiterals;

// Replies that replace the line's own for chosen command frames (checksum
// digits included, no CR); an empty one is silence.
using ReplyOverrides = std::map<QByteArray, QByteArray>;

// A frame as the log shows it: a valid checksum is written as "+".
inline QString frameText(const QByteArray &data)
{
    const QByteArray frame = data.trimmed();
    if (frame.size() > 3 && frame.right(2) == sim::SimLine::checksumOf(frame.chopped(2)))
        return QString::fromLatin1(frame.chopped(2)) + '+';
    return QString::fromLatin1(frame);
}

// Opens and closes of the port, in the same log as the frames sent (with the
// time each was sent); overridden commands never reach the line.
class LoggingDevice final : public PortDevice
{
public:
    LoggingDevice(std::unique_ptr<PortDevice> inner, QStringList &log, VirtualClock &clock,
                  const ReplyOverrides &overrides)
        : m_inner(std::move(inner)), m_log(log), m_clock(clock), m_overrides(overrides)
    {}
    OpenResult open(qint32 baud) override
    {
        m_log << u"open %1"_s.arg(baud);
        return m_inner->open(baud);
    }
    void close() override
    {
        if (m_inner->isOpen())
            m_log << u"close"_s;
        m_inner->close();
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    QString path() const override { return m_inner->path(); }
    bool write(const QByteArray &data) override
    {
        m_log << u"@%1 %2"_s.arg(m_clock.tickCount()).arg(frameText(data));
        const auto it = m_overrides.find(data.trimmed());
        m_overridden = it != m_overrides.end();
        if (!m_overridden)
            return m_inner->write(data);
        m_pending = it->second.isEmpty() ? QByteArray() : it->second + '\r';
        return true;
    }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        if (!m_overridden)
            return m_inner->read(buffer, timeoutMs);
        if (m_pending.isEmpty()) {
            m_clock.advance(timeoutMs);
            return ReadResult::Timeout;
        }
        buffer += m_pending;
        m_pending.clear();
        return ReadResult::Data;
    }

private:
    std::unique_ptr<PortDevice> m_inner;
    QStringList &m_log;
    VirtualClock &m_clock;
    const ReplyOverrides &m_overrides;
    bool m_overridden = false;
    QByteArray m_pending;
};

class RecordingStatus final : public StatusLine
{
public:
    void setStatusText(const QString &text) override { history << text; }
    QStringList history;
};

class RecordingView final : public SearchView
{
public:
    void addModuleLine(const QString &line) override { lines << line; }
    void setCaption(const QString &text) override { caption = text; }
    void clearModuleList() override { lines.clear(); }
    void setComLabel(const QString &text) override { com = text; }
    void setBaudLabel(const QString &text) override { baud = text; }
    void setAddressLabels(const QString &dec, const QString &hex) override
    {
        decimal = dec;
        hexadecimal = hex;
    }
    void setLabelsRed(bool value) override { red = value; }
    void setProgress(int value) override { progress = value; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setHintText(const QString &text) override { hint = text; }
    void processEvents() override
    {
        ++eventRuns;
        if (onEvents)
            onEvents();
    }
    void closeWindow() override { ++closes; }

    QStringList lines;
    QString caption, com, baud, decimal, hexadecimal, hint;
    bool red = false;
    int progress = -1;
    bool progressVisible = false;
    int eventRuns = 0;
    int closes = 0;
    std::function<void()> onEvents; // what the user does while events run
};

inline std::unique_ptr<sim::SimLine> searchLine(const QByteArray &json)
{
    QString error;
    auto line = sim::SimLine::load(json, &error);
    if (!line)
        throw std::runtime_error(("line file: " + error).toStdString());
    return line;
}

// Index of a rate in the search's rate table.
inline int rateIndex(qint32 baud)
{
    for (int i = 0; i < int(search::SearchBaudTable.size()); ++i) {
        if (search::SearchBaudTable[std::size_t(i)] == baud)
            return i;
    }
    throw std::runtime_error("not a search rate");
}

struct SearchRig
{
    explicit SearchRig(const QByteArray &json, const QList<qint32> &rates = {9600})
        : line(searchLine(json)),
          link(clock,
               [this](int port, const QString &path) -> std::unique_ptr<PortDevice> {
                   return std::make_unique<LoggingDevice>(
                       sim::simDeviceFactory(*line, clock)(port, path), log, clock, overrides);
               }),
          library(link), context{state, link, library, clock, prompt, status}, engine(context, view)
    {
        state.ComPort = 1;
        for (qint32 rate : rates)
            state.SearchBauds[std::size_t(rateIndex(rate))] = 1;
    }

    // The frames sent, without their times; with an address, only the
    // frames to it other than the read-name command.
    QStringList frames(int address = -1) const
    {
        const QString aa = QString::number(address, 16).toUpper().rightJustified(2, '0');
        QStringList out;
        for (const QString &entry : log) {
            if (!entry.startsWith('@'))
                continue;
            const QString frame = entry.section(' ', 1);
            if (address < 0 || (frame.mid(1, 2) == aa &&
                                !frame.startsWith(QLatin1Char('$') + aa + QLatin1Char('M'))))
                out << frame;
        }
        return out;
    }
    QStringList foundLines() const
    {
        QStringList out;
        for (int i = 0; i < state.Found.FoundCount; ++i)
            out << state.Found.ResultLines[std::size_t(i)];
        return out;
    }
    const FoundRecord &record(int index) const { return state.Found.Records[std::size_t(index)]; }

    VirtualClock clock;
    QStringList log;
    ReplyOverrides overrides;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    RecordingStatus status;
    RecordingView view;
    SharedState state;
    SearchContext context;
    SearchEngine engine;
};

} // namespace telviox::test
