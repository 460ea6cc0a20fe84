#pragma once

#include "device/catalogue.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace telviox::sim {

// A signal that changes over time: a constant, or a periodic wave around an
// offset.
struct Wave
{
    enum class Shape { Constant, Sine, Triangle, Square };
    Shape shape = Shape::Constant;
    double offset = 0.0; // the constant's value, or the wave's middle
    double amplitude = 0.0;
    qint64 periodMs = 1000;
    qint64 phaseMs = 0;

    double valueAt(qint64 ms) const;
};

struct AnalogInputChannel
{
    Wave wave;
    // Readings beyond these limits report over or under range.
    std::optional<double> min;
    std::optional<double> max;
};

struct AlarmSettings
{
    int mode = 0; // 0 disabled, 1 momentary, 2 latch
    double high = 0.0;
    double low = 0.0;
    quint32 outputs = 0; // output bits while the alarm is disabled
};

struct CounterChannel
{
    quint32 start = 0;
    double countsPerSecond = 0.0;
    bool counting = true;
    qint64 originMs = 0; // time at which start was the count
    quint32 preset = 0;
    quint32 max = 0xFFFFFFFFu;
    quint32 alarmLimit = 0;
    int minWidthUs = 0;
};

// One module: its configuration, its present state and the commands it
// understands. A main unit owns the modules in its slots.
class SimModule
{
public:
    SimModule(QString name, const catalogue::ModelInfo &info);

    // Executes one command (lead, address digits, command; checksum already
    // checked and stripped) and returns the reply text without checksum or CR.
    QByteArray execute(const QByteArray &command, qint64 nowMs);

    const QString &name() const { return m_name; }
    const catalogue::ModelInfo &info() const { return m_info; }
    catalogue::Family family() const { return catalogue::familyOf(m_name); }
    SimModule *slotModule(int slot) const;
    int slotCount() const { return m_info.slotCount; }
    // The two-character code a main unit reports for this module in a slot.
    QByteArray slotCode() const;

    // Configuration, as the line file sets it.
    int address = 0;
    qint32 baud = 9600;
    bool checksum = false;
    int rangeCode = 0;
    int dataFormat = 0;
    std::vector<AnalogInputChannel> inputs;
    std::vector<double> outputs;
    std::vector<int> outputRanges; // per channel of 2-channel outputs: 0, 1 or 2
    quint32 digitalInputs = 0;
    quint32 digitalOutputs = 0;
    AlarmSettings alarm;
    int linearMapping = 0;
    int channelMask = 0xFF;
    int wiring = 0;
    // Counters
    int counterMode = 0; // 0 counter, 1 frequency
    int inputMode = 0;
    int levelHigh = 24; // tenths of a volt
    int levelLow = 8;
    std::array<CounterChannel, 2> counters;
    std::vector<std::unique_ptr<SimModule>> slotModules; // main units: slotCount entries

    quint32 countAt(int channel, qint64 nowMs) const;
    double inputAt(int channel, qint64 nowMs) const;
    // Clamps a value to what the output channel can deliver.
    double clampOutput(int channel, double value) const;
    // Output bits of the alarm-capable inputs and counters at a time.
    quint32 alarmOutputs(qint64 nowMs);
    // Range code as the module reports it.
    int reportedRangeCode() const;

    static QByteArray formatValue(double value);
    static std::optional<double> parseValue(const QByteArray &text);

private:
    QByteArray executeAnalogInput(char lead, const QByteArray &ok, const QByteArray &rest,
                                  qint64 nowMs);
    QByteArray executeAnalogOutput(char lead, const QByteArray &ok, const QByteArray &rest);
    QByteArray executeDigital(char lead, const QByteArray &ok, const QByteArray &rest);
    QByteArray executeCounter(char lead, const QByteArray &ok, const QByteArray &rest,
                              qint64 nowMs);
    QByteArray executeMainUnit(char lead, const QByteArray &aa, const QByteArray &rest,
                               qint64 nowMs);
    QByteArray digitalStatus(const QByteArray &aa, quint32 outputBits, quint32 inputBits) const;
    // Whether a channel digit is part of the analog commands of this model.
    bool singleChannelForm() const;
    bool isSlotFamily() const;

    QString m_name;
    catalogue::ModelInfo m_info;
    quint32 m_latchedAlarms = 0;
};

// Reply code of a baud rate in the configuration reply; 0 when unsupported.
int baudCode(qint32 baud);

} // namespace telviox::sim
