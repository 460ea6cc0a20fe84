#pragma once

// A server on the in-process simulated line with virtual time, as the program
// puts it together, whose port can be unplugged and plugged in again.

#include "conversations/conversationtable.h"
#include "core/filedialog.h"
#include "device/catalogue.h"
#include "server/linediagnostics.h"
#include "server/serverrig.h"

namespace telviox::test {

// Save dialogs answered in order; with no answer left, cancelled.
class QueueDialogs final : public FileDialogs
{
public:
    std::optional<QString> getOpenFileName(const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &, int) override
    {
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
    QList<std::optional<QString>> answers;
};

// The simulator's port, gone while `unplugged` is set.
class UnpluggableDevice final : public PortDevice
{
public:
    UnpluggableDevice(std::unique_ptr<PortDevice> inner, const bool &unplugged)
        : m_inner(std::move(inner)), m_unplugged(unplugged)
    {}
    OpenResult open(qint32 baud) override
    {
        return m_unplugged ? OpenResult::Missing : m_inner->open(baud);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return !m_unplugged && m_inner->isOpen(); }
    QString path() const override { return m_inner->path(); }
    bool write(const QByteArray &data) override { return !m_unplugged && m_inner->write(data); }
    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        return m_unplugged ? ReadResult::Failed : m_inner->read(buffer, timeoutMs);
    }

private:
    std::unique_ptr<PortDevice> m_inner;
    const bool &m_unplugged;
};

// Two thermocouple inputs at 01 and 02; nothing answers at 20.
inline const char *const MonitorLine = R"({"modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [1.5]},
    {"name": "2026", "address": 2, "baud": 9600, "inputs": [-2.25]}]})";

struct MonitorRig
{
    MonitorRig()
        : line(loadLine(MonitorLine)),
          link(clock,
               [this](int, const QString &) -> std::unique_ptr<PortDevice> {
                   return std::make_unique<UnpluggableDevice>(
                       std::make_unique<sim::SimPortDevice>(*line, clock), unplugged);
               }),
          serving({state, link, clock, prompt, status}, items, source),
          cycle(serving.attach(establish, view, [] {}))
    {
        clock.setWallTime(QDateTime(QDate(2026, 12, 6), QTime(22, 0), Qt::UTC));
        state.ComPort = 1;
    }

    // Conversation index reads channel 0 of the thermocouple at address.
    void configure(int index, int address)
    {
        ConvRecord &record = state.Conv[std::size_t(index)];
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(QStringLiteral("2026"));
        record.BaudRate = 9600;
        record.Address = qint16(address);
        record.Channels = 1;
        establish.setChecked(index, true);
    }
    void start()
    {
        intervalChanged(state, 1000);
        cycle.mnuRunDDE_Click();
    }
    // One tick, then the time to the next.
    void tick()
    {
        cycle.Timer1_Timer();
        clock.advance(1000);
    }
    LineDiagnostics &diagnostics() { return serving.diagnostics(); }

    VirtualClock clock;
    bool unplugged = false;
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
    PollCycle &cycle;
};

} // namespace telviox::test
