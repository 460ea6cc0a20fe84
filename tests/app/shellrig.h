#pragma once

// File dialogs answered from a script, and a simulated line on virtual time
// behind some ports, nothing behind the others.

#include "core/filedialog.h"
#include "core/clock.h"
#include "device/portdevice.h"
#include "device/seriallink.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/simrig.h"

#include <QFile>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace telviox::test {

// Answers the dialogs in order and records each call; with no answer left it cancels.
class ScriptedDialogs final : public FileDialogs
{
public:
    std::optional<QString> getOpenFileName(const QString &, const QString &f, int i) override
    {
        return next(QStringLiteral("open %1 %2").arg(f).arg(i));
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &f, int i) override
    {
        return next(QStringLiteral("save %1 %2").arg(f).arg(i));
    }
    QList<std::optional<QString>> answers;
    QStringList calls;

private:
    std::optional<QString> next(const QString &call)
    {
        calls << call;
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// A port of the simulated line that reports its closing while open, or with
// nothing behind it (no `port`): then opening fails after openCostMs of
// virtual time (a slow driver).
class TestPort final : public PortDevice
{
public:
    TestPort(std::unique_ptr<PortDevice> port, VirtualClock &clock, int openCostMs,
             std::function<void()> closing)
        : m_port(std::move(port)), m_clock(clock), m_cost(openCostMs), m_closing(std::move(closing))
    {}
    OpenResult open(qint32 baud) override
    {
        if (m_port)
            return m_port->open(baud);
        m_clock.advance(m_cost);
        return OpenResult::Missing;
    }
    void close() override
    {
        if (isOpen() && m_closing)
            m_closing();
        if (m_port)
            m_port->close();
    }
    bool isOpen() const override { return m_port && m_port->isOpen(); }
    QString path() const override { return m_port ? m_port->path() : QStringLiteral("absent"); }
    bool write(const QByteArray &data) override { return m_port && m_port->write(data); }
    ReadResult read(QByteArray &buffer, int ms) override
    {
        return m_port ? m_port->read(buffer, ms) : ReadResult::Failed;
    }

private:
    std::unique_ptr<PortDevice> m_port;
    VirtualClock &m_clock;
    int m_cost;
    std::function<void()> m_closing;
};

// Ports in `present` lead to the simulated line; the others are absent.
inline PortDeviceFactory lineOnPorts(sim::SimLine &line, VirtualClock &clock, QList<int> present,
                                     int absentCostMs = 0, std::function<void()> closing = {})
{
    return [&line, &clock, present, absentCostMs, closing](int port, const QString &) {
        return std::make_unique<TestPort>(
            present.contains(port) ? std::make_unique<sim::SimPortDevice>(line, clock) : nullptr,
            clock, absentCostMs, closing);
    };
}

} // namespace telviox::test
