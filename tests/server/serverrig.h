#pragma once

// A server on a simulated line with virtual time: the real serial link and
// module functions talk to the in-process simulator; the items, the linked
// sources, the status line and the windows are plain fakes that record what
// they were asked.

#include "conversations/establishview.h"
#include "conversations/sharedstate.h"
#include "device/catalogue.h"
#include "device/clock.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "server/acquisition.h"
#include "server/pollcycle.h"
#include "server/serverinterfaces.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"

#include <QMap>
#include <QStringList>

#include <array>
#include <memory>
#include <stdexcept>

namespace telviox::test {

class FakeItems final : public ServerItems
{
public:
    void setItemText(int position, const QString &text) override
    {
        texts[std::size_t(position)] = text;
        writes << position;
    }
    QString itemText(int position) const override { return texts[std::size_t(position)]; }

    std::array<QString, 33> texts{};   // index 1..32
    QList<int> writes;                 // positions, in the order written
};

// Sources by "service|topic|item"; a source not in the map refuses the link.
class FakeSource final : public LinkSource
{
public:
    bool connectItem(int position, const LinkSourceName &source, int timeoutMs) override
    {
        lastTimeoutMs = timeoutMs;
        const QString key = source.service + QLatin1Char('|') + source.topic + QLatin1Char('|') +
                            source.item;
        connects << key;
        if (!values.contains(key))
            return false;
        linked[position] = key;
        return true;
    }
    std::optional<QString> requestItem(int position) override
    {
        ++requests;
        if (!linked.contains(position) || silent)
            return std::nullopt;
        return values.value(linked.value(position));
    }

    QMap<QString, QString> values;
    QMap<int, QString> linked;
    QStringList connects;
    bool silent = false;   // links are accepted but requests fail
    int requests = 0;
    int lastTimeoutMs = 0;
};

class FakeStatus final : public StatusLine
{
public:
    void setStatusText(const QString &value) override
    {
        text = value;
        history << value;
    }
    QString text;
    QStringList history;
};

class FakeView final : public ServerView
{
public:
    void showServerWindow() override { ++shown; }
    void unloadServerWindow() override { ++unloaded; }
    void restoreServerWindow() override { ++restored; }
    void hideServerWindow() override { ++hidden; }
    void minimiseWindows() override { ++minimised; }
    void setServerMenusEnabled(bool enabled) override { menusEnabled = enabled; }
    void processEvents() override { ++eventRuns; }

    int shown = 0, unloaded = 0, restored = 0, hidden = 0, minimised = 0, eventRuns = 0;
    bool menusEnabled = true;
};

class FakeEstablish final : public EstablishView
{
public:
    void setChecked(int index, bool ticked) override { checks[std::size_t(index)] = ticked; }
    bool isChecked(int index) const override { return checks[std::size_t(index)]; }
    void setIntervalValue(int value) override { interval = value; }

    std::array<bool, ConvCount> checks{};
    int interval = IntervalInitial;
};

// Records every open and close the serial link does on its devices.
class CountingDevice final : public PortDevice
{
public:
    CountingDevice(std::unique_ptr<PortDevice> inner, QStringList &log)
        : m_inner(std::move(inner)), m_log(log)
    {
    }
    OpenResult open(qint32 baud) override
    {
        m_log << QStringLiteral("open %1").arg(baud);
        return m_inner->open(baud);
    }
    void close() override
    {
        if (m_inner->isOpen())
            m_log << QStringLiteral("close");
        m_inner->close();
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    QString path() const override { return m_inner->path(); }
    bool write(const QByteArray &data) override { return m_inner->write(data); }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        return m_inner->read(buffer, timeoutMs);
    }

private:
    std::unique_ptr<PortDevice> m_inner;
    QStringList &m_log;
};

inline std::unique_ptr<sim::SimLine> loadLine(const QByteArray &json)
{
    QString error;
    auto line = sim::SimLine::load(json, &error);
    if (!line)
        throw std::runtime_error(("line file: " + error).toStdString());
    return line;
}

// The line every rig starts from unless a test brings its own.
inline QByteArray defaultLine()
{
    return R"({"modules": [
        {"name": "2026", "address": 1, "baud": 9600, "inputs": [1.5]},
        {"name": "2091", "address": 2, "baud": 9600,
         "inputs": [1.5, -0.25, 0, 0.0625, -0.0625, 2, 3, 4]},
        {"name": "2011", "address": 3, "baud": 9600},
        {"name": "2028", "address": 4, "baud": 9600},
        {"name": "2032", "address": 5, "baud": 9600},
        {"name": "2017", "address": 6, "baud": 9600},
        {"name": "92091", "address": 7, "baud": 9600, "inputs": [0.5, 0, 0, 0, 0, 0, 0, -7.5]},
        {"name": "92028", "address": 8, "baud": 9600},
        {"name": "92035", "address": 9, "baud": 9600},
        {"name": "9000", "address": 10, "baud": 9600, "slots": [
            {"slot": 1, "name": "9091", "inputs": [0, 2.25]},
            {"slot": 2, "name": "9028"},
            {"slot": 3, "name": "9035"}]},
        {"name": "2026", "address": 11, "baud": 19200, "inputs": [-3.125]},
        {"name": "2017", "address": 12, "baud": 9600, "checksum": true},
        {"name": "2063", "address": 13, "baud": 9600, "inputs": [0.75]}
    ]})";
}

struct ServerRig
{
    explicit ServerRig(const QByteArray &json = defaultLine())
        : line(loadLine(json)),
          link(clock,
               [this](int port, const QString &path) -> std::unique_ptr<PortDevice> {
                   return std::make_unique<CountingDevice>(
                       sim::simDeviceFactory(*line, clock)(port, path), portLog);
               }),
          library(link),
          context{state, link, library, clock, prompt, items, source, status},
          cycle(context, establish, view, [this] { ++quits; })
    {
        state.ComPort = 1;
    }

    // A conversation as the setting dialog leaves it.
    ConvRecord &configure(int index, const QString &model, int address, qint32 baud = 9600,
                          qint16 channels = 1)
    {
        ConvRecord &record = state.Conv[std::size_t(index)];
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(model);
        record.BaudRate = baud;
        record.Address = qint16(address);
        record.Channels = channels;
        return record;
    }

    // Opens the port at a rate as the start of the server does.
    void openAt(qint32 baud)
    {
        link.Open_Com(state.ComPort, baud);
        state.OpenBaud = baud;
        portLog.clear();
    }

    Acquisition &acquisition() { return cycle.acquisition(); }

    VirtualClock clock;
    QStringList portLog;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    SharedState state;
    FakeItems items;
    FakeSource source;
    FakeStatus status;
    FakeView view;
    FakeEstablish establish;
    ServerContext context;
    PollCycle cycle;
    int quits = 0;
};

} // namespace telviox::test
