#pragma once

// The eight conversations the tick benchmarks serve, the line of modules
// they talk to, and the stand-ins for everything around the poll cycle.

#include "../benchviews.h"
#include "../simprocess.h"
#include "conversations/conversationtable.h"
#include "conversations/establishview.h"
#include "core/prompt.h"
#include "device/catalogue.h"
#include "server/serverinterfaces.h"

#include <QCoreApplication>
#include <QStringList>
#include <array>
#include <ctime>
#include <optional>

namespace telviox::tickbench {

// The same seven modules twice: at 9600 bit/s from address 01, at 115200 from 11.
inline const char LineFile[] = R"({
  "turnaroundMs": 2,
  "wireTime": true,
  "modules": [
    {"name": "2026", "address": "01", "baud": 9600, "inputs": [1.5]},
    {"name": "2091", "address": "02", "baud": 9600,
     "inputs": [1.5, 2.5, 3.5, 4.5, -5.5, 6.5, 7.5, 8.5]},
    {"name": "2011", "address": "03", "baud": 9600},
    {"name": "2028", "address": "04", "baud": 9600},
    {"name": "2032", "address": "05", "baud": 9600,
     "counters": [{"start": 1000, "countsPerSecond": 10}, {"start": 5}]},
    {"name": "2017", "address": "06", "baud": 9600, "digitalInputs": 90},
    {"name": "2063", "address": "07", "baud": 9600, "inputs": [0.75, 0.5]},
    {"name": "2026", "address": "11", "baud": 115200, "inputs": [1.5]},
    {"name": "2091", "address": "12", "baud": 115200,
     "inputs": [1.5, 2.5, 3.5, 4.5, -5.5, 6.5, 7.5, 8.5]},
    {"name": "2011", "address": "13", "baud": 115200},
    {"name": "2028", "address": "14", "baud": 115200},
    {"name": "2032", "address": "15", "baud": 115200,
     "counters": [{"start": 1000, "countsPerSecond": 10}, {"start": 5}]},
    {"name": "2017", "address": "16", "baud": 115200, "digitalInputs": 90},
    {"name": "2063", "address": "17", "baud": 115200, "inputs": [0.75, 0.5]}
  ]
})";

class QuietPrompt final : public Prompt
{
public:
    Answer message(const QString &text, int, const QString &) override
    {
        fail(QStringLiteral("unexpected message: %1").arg(text));
    }
    void beep() override {}
};

class Items final : public ServerItems
{
public:
    void setItemText(int position, const QString &text) override
    {
        texts[std::size_t(position)] = text;
    }
    QString itemText(int position) const override { return texts[std::size_t(position)]; }
    std::array<QString, 33> texts;
};

class NoSource final : public LinkSource
{
public:
    bool connectItem(int, const LinkSourceName &, int) override { return false; }
    std::optional<QString> requestItem(int) override { return std::nullopt; }
};

class Status final : public StatusLine
{
public:
    void setStatusText(const QString &value) override
    {
        if (!value.isEmpty())
            errors << value;
    }
    QStringList errors;
};

using bench::Establish;
using bench::View;

// Eight conversations on the modules of one rate (first address 01 or 11).
inline void configure(SharedState &state, qint32 baud, int base)
{
    struct Conversation
    {
        const char *model;
        int address;
        qint16 channels;
        qint16 ioType;
        qint16 outData;
        float outValue;
    };
    const Conversation conversations[] = {
        {"2026", 1, 1, 0, 0, 0.0f},    {"2091", 2, 0xFF, 0, 0, 0.0f}, {"2011", 3, 1, 0, 0, 2.5f},
        {"2028", 4, 2, 0, 0, 1.25f},   {"2032", 5, 3, 0, 0, 0.0f},    {"2017", 6, 0, 1, 0, 0.0f},
        {"2017", 6, 0, 2, 0x5A, 0.0f}, {"2063", 7, 1, 3, 0, 0.0f},
    };
    int n = 0;
    for (const Conversation &c : conversations) {
        ConvRecord &record = state.Conv[std::size_t(n++)];
        record = ConvRecord{};
        record.InUse = 1;
        record.TypeCode = catalogue::typeCodeOfName(QLatin1String(c.model));
        record.BaudRate = baud;
        record.Address = qint16(base + c.address - 1);
        record.Channels = c.channels;
        record.IoType = c.ioType;
        record.OutData = c.outData;
        record.OutValue = c.outValue;
    }
}

// CPU time of this thread: what the tick itself costs, apart from waiting.
inline double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace telviox::tickbench
