#pragma once

// Test support for the application shell: ports with nothing behind them,
// file dialogs that answer from a script, and a simulated line on virtual time.

#include "app/filedialog.h"
#include "device/clock.h"
#include "device/portdevice.h"
#include "device/seriallink.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"

#include <QList>
#include <QStringList>
#include <memory>
#include <optional>
#include <stdexcept>

namespace telviox::test {

// A COM port with nothing behind it: opening fails, after costMs of virtual
// time (a slow driver) or at once.
class AbsentDevice final : public PortDevice
{
public:
    AbsentDevice(VirtualClock &clock, int costMs) : m_clock(clock), m_costMs(costMs) {}
    OpenResult open(qint32) override
    {
        m_clock.advance(m_costMs);
        return OpenResult::Missing;
    }
    void close() override {}
    bool isOpen() const override { return false; }
    QString path() const override { return QStringLiteral("absent"); }
    bool write(const QByteArray &) override { return false; }
    ReadResult read(QByteArray &, int) override { return ReadResult::Failed; }

private:
    VirtualClock &m_clock;
    int m_costMs;
};

// Answers the file dialogs in order; a dialog nobody expected is recorded
// and cancelled.
class ScriptedDialogs final : public FileDialogs
{
public:
    void answer(std::optional<QString> path) { m_answers.append(std::move(path)); }

    std::optional<QString> getOpenFileName(const QString &, const QString &filter,
                                           int index) override
    {
        return next(QStringLiteral("open %1 %2").arg(filter).arg(index));
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &filter,
                                           int index) override
    {
        return next(QStringLiteral("save %1 %2").arg(filter).arg(index));
    }

    QStringList calls;
    QStringList unexpected;

private:
    std::optional<QString> next(const QString &call)
    {
        calls << call;
        if (m_answers.isEmpty()) {
            unexpected << call;
            return std::nullopt;
        }
        return m_answers.takeFirst();
    }
    QList<std::optional<QString>> m_answers;
};

inline std::unique_ptr<sim::SimLine> loadLine(const QByteArray &json)
{
    QString error;
    auto line = sim::SimLine::load(json, &error);
    if (!line)
        throw std::runtime_error(("line file: " + error).toStdString());
    return line;
}

// Ports listed in `present` lead to the simulated line; the others are absent.
inline PortDeviceFactory lineOnPorts(sim::SimLine &line, VirtualClock &clock, QList<int> present,
                                     int absentCostMs = 0)
{
    return [&line, &clock, present, absentCostMs](int port,
                                                  const QString &) -> std::unique_ptr<PortDevice> {
        if (present.contains(port))
            return std::make_unique<sim::SimPortDevice>(line, clock);
        return std::make_unique<AbsentDevice>(clock, absentCostMs);
    };
}

} // namespace telviox::test
