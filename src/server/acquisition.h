#pragma once

#include "conversations/sharedstate.h"
#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "server/pollobserver.h"
#include "server/serverinterfaces.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace telviox {

class Clock;
class Prompt;
class SerialLink;

// Everything the server's logic works on. The references must outlive the
// objects built on them.
struct ServerContext
{
    SharedState &state;
    SerialLink &link;
    ModuleLibrary &library;
    Clock &clock;
    Prompt &prompt;
    ServerItems &items;
    LinkSource &source;
    StatusLine &status;
    // Told of every visit, module error and tick; none when nobody watches.
    PollObserver *observer = nullptr;
};

// The twelve acquisition routines of the poll cycle. Each takes the
// conversation's index (0..31) and the item position (1..32) its result goes
// to, exchanges data with the module and publishes the result as text. An
// index outside 0..31 names no conversation: the routine does nothing.
//
// Each routine traps its own failures (a linked source that does not answer,
// a linked value that does not fit): the conversation's LinkActive becomes 0,
// its item is not written, and the caller goes on with the next conversation.
class Acquisition
{
public:
    explicit Acquisition(const ServerContext &context);

    // The routine the catalogue assigns to the conversation's type code.
    void run(catalogue::Routine routine, qint16 index, qint16 position);

    // Analog inputs
    void PrepareData2026(qint16 index, qint16 position);
    void PrepareData2091(qint16 index, qint16 position);
    void PrepareDataAI_9K(qint16 index, qint16 position);
    void PrepareDataAI_92K(qint16 index, qint16 position);
    // Analog outputs
    void PrepareData2011(qint16 index, qint16 position);
    void PrepareData2028(qint16 index, qint16 position);
    void PrepareDataAO_9K(qint16 index, qint16 position);
    void PrepareDataAO_92K(qint16 index, qint16 position);
    // Counters, digital I/O and every other type code
    void PrepareData2032(qint16 index, qint16 position);
    void PrepareDataElse(qint16 index, qint16 position);
    void PrepareDataDIO9K(qint16 index, qint16 position);
    void PrepareDataDIO92K(qint16 index, qint16 position);

    // Writes item `position` (1..32); any other position is ignored.
    void FillText(qint16 position, const QString &text);
    // The one-line report of a library error, in the main window's status line.
    void ShowModuleError(const QString &moduleName, qint16 code);

    // Timeout the client link waits for a linked source.
    static constexpr int LinkTimeoutMs = 300000;

    // The parameter blocks as the last call left them (they persist between
    // calls, as the library expects).
    const WordBlock &wBuf() const { return m_wBuf; }
    const DWordBlock &dwBuf() const { return m_dwBuf; }
    const FloatBlock &fBuf() const { return m_fBuf; }
    const FloatBlock &inputFBuf() const { return m_fBufAI; }

private:
    // The two families whose functions take the 32-bit block; the 6000
    // modules are driven as 9000 ones.
    enum class WideFamily { Series9000, Series92000 };
    struct CallSetup;

    ConvRecord &conv(qint16 index) const;
    const LinkRecord &link(qint16 index) const;
    template <typename Block>
    void fillBlock(Block &block, const ConvRecord &record, const CallSetup &setup) const;
    QString modelName(const ConvRecord &record) const;
    void report(const ConvRecord &record, qint16 code, bool withBeep);
    void guarded(qint16 index, const std::function<void()> &routine);
    void portCheck(const ConvRecord &record);
    double linkedInput(qint16 index, qint16 position);
    // The value an output conversation writes: its fixed value, or its linked
    // source's value converted to what the module takes.
    template <typename Value>
    Value outputValue(qint16 index, qint16 position, Value fixed,
                      std::optional<Value> (*convert)(double));

    QString eightChannelText(qint16 channels, const std::function<qint16(int)> &read,
                             const FloatBlock &values);
    void wideInput(qint16 index, qint16 position, WideFamily family);
    void q2000AnalogOutput(qint16 index, qint16 position, bool multiChannel);
    void wideAnalogOutput(qint16 index, qint16 position, WideFamily family);
    void wideDigital(qint16 index, qint16 position, WideFamily family);

    SharedState &m_state;
    SerialLink &m_link;
    ModuleLibrary &m_library;
    Clock &m_clock;
    Prompt &m_prompt;
    ServerItems &m_items;
    LinkSource &m_source;
    StatusLine &m_status;
    PollObserver *m_observer;

    // The Q-2000 calls, the 9000/92000 outputs and digital calls share one
    // float block and text pair; the 9000/92000 inputs have their own.
    WordBlock m_wBuf{};
    DWordBlock m_dwBuf{};
    FloatBlock m_fBuf{};
    FloatBlock m_fBufAI{};
    QByteArray m_szSend;
    QByteArray m_szReceive;
    QByteArray m_szSendAI;
    QByteArray m_szReceiveAI;
};

} // namespace telviox
