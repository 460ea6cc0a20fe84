#pragma once

#include "conversations/sharedstate.h"

#include <QString>

#include <optional>
#include <vector>

namespace telviox {

class Clock;
class ModuleLibrary;
class Prompt;

namespace panels {

// The analog output panels: one single-channel panel and three four-channel
// panels that differ only in how they read the module's output back.
enum class AnalogPanel {
    SingleChannel, // frm2011
    Q2000,         // frm2028, also 2046 with two channels
    Slot92000,     // frm92028
    Slot9000,      // frm9028, the 9000 family's outputs in a main unit
};

// One output range as a panel shows it. The slider spans the whole range, one
// position per step; position p stands for rangeMin + p * rangeStep.
struct OutputRange
{
    const char *caption; // Frame2
    const char *minText; // Label9
    const char *maxText; // Label10
    const char *midText; // Label11
    const char *unit;    // Label12
    float rangeMin;
    float rangeStep;

    int positions() const; // the slider's maximum
};

// The ranges of a panel, by the output-range code the search decoded; as many
// as the decoding's range table for the panel's models holds.
const std::vector<OutputRange> &outputRanges(AnalogPanel panel);
// The range of a code, if the panel has one.
const OutputRange *outputRange(AnalogPanel panel, int code);
// The range shown when nothing was read back.
const OutputRange &fallbackRange(AnalogPanel panel);

// The panel a setting list entry opens, if it opens one of these.
std::optional<AnalogPanel> analogPanelOfListEntry(int entry);

// The value of a slider position, and the position nearest a value (halves to
// even), kept on the slider.
double positionValue(const OutputRange &range, int position);
int positionOfValue(const OutputRange &range, double value);
// A value as the panel's text box shows a slider value: "04.000", "-10.000".
QString valueText(double value);

// What an analog output panel does, without its window. It reads and writes
// the shared state as the setting dialog expects.
class AnalogOutputPanel
{
public:
    AnalogOutputPanel(AnalogPanel panel, SharedState &state, ModuleLibrary &library, Clock &clock,
                      Prompt &prompt);

    AnalogPanel kind() const { return m_panel; }

    // Loading: the caption, the range and value from the found module's
    // read-back when opened from a found module, else the fallback range and
    // the conversation's stored value.
    void load();

    QString caption() const { return m_caption; }
    const OutputRange &range() const { return *m_range; }
    int rangeCode() const { return m_rangeCode; } // -1: a range not chosen by code
    int position() const { return m_position; }
    QString outputText() const { return m_outputText; }
    bool readBack() const { return m_readBack; } // the value shown came from the module
    int channelCount() const { return m_channelCount; }

    // Option1: the single-channel panel's range options.
    void chooseRange(int code);
    // Option2: the output channel; reads nothing back.
    void chooseChannel(int channel);
    // The slider moved.
    void setPosition(int position);
    // Enter in the text box: a value inside the range moves the slider; one
    // outside is refused with a message and the slider's value comes back.
    // False when refused.
    bool enterText(const QString &text);

    // The three buttons. Each returns after setting the shared state; the
    // window then closes.
    void useDdeLink(const QString &service, const QString &topic, const QString &item);
    void useReadBack();
    void useAssigned();
    // The panel closes; closeBox when by the window's close box.
    void close(bool closeBox);

private:
    const FoundRecord *foundRecord() const;
    std::optional<float> readOutput(const FoundRecord &found);
    void setRange(const OutputRange &range, int code);

    AnalogPanel m_panel;
    SharedState &m_state;
    ModuleLibrary &m_library;
    Clock &m_clock;
    Prompt &m_prompt;
    QString m_caption;
    const OutputRange *m_range;
    int m_rangeCode = -1;
    int m_position = 0;
    QString m_outputText;
    bool m_readBack = false;
    int m_channelCount = 1;
};

} // namespace panels
} // namespace telviox
