#pragma once

// A server on a simulated line with virtual time, put together as the program
// does: the real serial link and module functions talk to the in-process
// simulator; items, linked sources, status line and windows are fakes that
// record what they were asked.

#include "conversations/establishview.h"
#include "server/pollcycle.h"
#include "server/servingprogram.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"
#include "support/simrig.h"

#include <QMap>
#include <QStringList>

namespace telviox::test {

using namespace Qt::StringLiterals;

class FakeItems final : public ServerItems
{
public:
    void setItemText(int position, const QString &text) override
    {
        texts[std::size_t(position)] = text;
        writes << position;
    }
    QString itemText(int position) const override { return texts[std::size_t(position)]; }

    std::array<QString, 33> texts{}; // index 1..32
    QList<int> writes;               // positions in the order written
};

// Sources by "service|topic|item"; one not in the map refuses the link.
class FakeSource final : public LinkSource
{
public:
    bool connectItem(int position, const LinkSourceName &source, int) override
    {
        const QString key = source.service + '|' + source.topic + '|' + source.item;
        connects << key;
        if (values.contains(key))
            linked[position] = key;
        return values.contains(key);
    }
    std::optional<QString> requestItem(int position) override
    {
        if (!linked.contains(position))
            return std::nullopt;
        return values.value(linked.value(position));
    }
    void disconnectAll() override { linked.clear(); }

    QMap<QString, QString> values;
    QMap<int, QString> linked;
    QStringList connects;
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
    void setIntervalValue(int) override {}
    std::array<bool, ConvCount> checks{};
};

inline const char *const DefaultLine = R"({"modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [1.5]},
    {"name": "2091", "address": 2, "baud": 9600, "inputs": [1.5, -0.25, 0, 0.0625, -0.0625, 2, 3, 4]},
    {"name": "2011", "address": 3, "baud": 9600},
    {"name": "2028", "address": 4, "baud": 9600},
    {"name": "2032", "address": 5, "baud": 9600},
    {"name": "2017", "address": 6, "baud": 9600},
    {"name": "92091", "address": 7, "baud": 9600, "inputs": [0.5, 0, 0, 0, 0, 0, 0, -7.5]},
    {"name": "92028", "address": 8, "baud": 9600},
    {"name": "92035", "address": 9, "baud": 9600},
    {"name": "9000", "address": 10, "baud": 9600, "slots": [
        {"slot": 1, "name": "9091", "inputs": [0, 2.25]}, {"slot": 2, "name": "9028"},
        {"slot": 3, "name": "9035"}]},
    {"name": "2026", "address": 11, "baud": 19200, "inputs": [-3.125]},
    {"name": "2063", "address": 13, "baud": 9600, "inputs": [0.75]}]})";

struct ServerRig
{
    explicit ServerRig(const QByteArray &json = DefaultLine)
        : line(loadLine(json)),
          link(clock,
               [this](int port, const QString &path) -> std::unique_ptr<PortDevice> {
                   return std::make_unique<LoggingDevice>(
                       sim::simDeviceFactory(*line, clock)(port, path), portLog);
               }),
          serving({state, link, clock, prompt, status}, items, source), library(serving.library()),
          cycle(serving.attach(establish, view, [this] { ++quits; }))
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

    // Opens the port as the start of the server does.
    void openAt(qint32 baud)
    {
        link.Open_Com(state.ComPort, baud);
        state.OpenBaud = baud;
        portLog.clear();
    }

    // Ticks the boxes, sets the interval and starts the server.
    void start(const QList<int> &ticked, int interval = 1000)
    {
        for (int n : ticked)
            establish.setChecked(n, true);
        intervalChanged(state, interval);
        cycle.mnuRunDDE_Click();
    }

    Acquisition &acquisition() { return cycle.acquisition(); }

    VirtualClock clock;
    QStringList portLog;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ScriptedPrompt prompt;
    SharedState state;
    FakeItems items;
    FakeSource source;
    RecordingStatus status;
    FakeView view;
    FakeEstablish establish;
    ServingProgram serving;
    ModuleLibrary &library;
    PollCycle &cycle;
    int quits = 0;
};

} // namespace telviox::test
