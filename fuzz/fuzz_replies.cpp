// Module replies from any bytes: every module function of the library called
// with fuzzed parameters against a far end that answers with fuzzed frames,
// and the digital status decoding of the catalogue on its own.
//
// Input: a selector byte, then what the chosen part takes from the provider.

#include "device/catalogue.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

using namespace telviox;

namespace {

constexpr int Port = 1;

// The far end: every command written is answered by the next fuzzed frame,
// with its checksum digits (right or wrong) and CR when the input says so.
class FuzzedDevice final : public PortDevice
{
public:
    FuzzedDevice(FuzzedDataProvider &input, VirtualClock &clock) : m_input(input), m_clock(clock)
    {
    }

    OpenResult open(qint32) override
    {
        m_open = true;
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString path() const override { return QStringLiteral("fuzzed"); }

    bool write(const QByteArray &) override
    {
        QByteArray body = QByteArray::fromStdString(m_input.ConsumeRandomLengthString(300));
        switch (m_input.ConsumeIntegralInRange(0, 2)) {
        case 1:
            body += SerialLink::checksumDigits(body);
            break;
        case 2:
            body += "00";
            break;
        default:
            break;
        }
        if (m_input.ConsumeBool())
            body += '\r';
        m_pending = body;
        return true;
    }

    ReadResult read(QByteArray &buffer, int timeoutMs) override
    {
        if (!m_open)
            return ReadResult::Failed;
        if (m_pending.isEmpty()) {
            m_clock.sleep(timeoutMs);
            return ReadResult::Timeout;
        }
        // The reply arrives in pieces, each a little later.
        const qsizetype piece =
            qsizetype(m_input.ConsumeIntegralInRange<int>(1, int(m_pending.size())));
        buffer += m_pending.left(piece);
        m_pending.remove(0, piece);
        m_clock.sleep(1);
        return ReadResult::Data;
    }

private:
    FuzzedDataProvider &m_input;
    VirtualClock &m_clock;
    QByteArray m_pending;
    bool m_open = false;
};

const catalogue::ModelInfo &pickModel(FuzzedDataProvider &input)
{
    const auto &models = catalogue::models();
    return models[input.ConsumeIntegralInRange<std::size_t>(0, models.size() - 1)];
}

void callFunction(FuzzedDataProvider &input)
{
    const auto &functions = ModuleLibrary::functions();
    const ModuleLibrary::Function &function =
        functions[input.ConsumeIntegralInRange<std::size_t>(0, functions.size() - 1)];
    const qint32 typeCode = catalogue::typeCodeOfName(QString::fromLatin1(pickModel(input).name));

    VirtualClock clock;
    SerialLink link(clock,
                    [&input, &clock](int, const QString &) {
                        return std::make_unique<FuzzedDevice>(input, clock);
                    },
                    QStringLiteral("/nonexistent"));
    FUZZ_CHECK(link.Open_Com(Port, 9600) == LinkCode::Ok);
    ModuleLibrary library(link);

    WordBlock w{};
    DWordBlock dw{};
    FloatBlock f{};
    const qint32 address = input.ConsumeIntegralInRange(-1, 0x100);
    const bool checksum = input.ConsumeBool();
    const qint32 element5 = input.ConsumeIntegral<qint32>();
    const qint32 element7 = input.ConsumeIntegralInRange(-1, 8);
    const qint32 element8 = input.ConsumeIntegral<qint32>();
    f[0] = input.ConsumeFloatingPoint<float>();
    const qint32 block[] = {Port, address, typeCode, checksum ? 1 : 0, 100, element5, 0,
                            element7, element8};
    for (std::size_t i = 0; i < std::size(block); ++i) {
        w[i] = qint16(block[i]);
        dw[i] = block[i];
    }

    QByteArray sent;
    QByteArray received;
    const qint16 r = function.call(library, w, dw, f, sent, received);

    // A value taken from a reply is always a number the caller can show.
    const bool read = r == LinkCode::Ok || r == LinkCode::UnderRange || r == LinkCode::OverRange;
    if (read && (function.outputs & ModuleLibrary::OutValue))
        FUZZ_CHECK(std::isfinite(f[0]));
    FUZZ_CHECK(received.size() <= SerialLink::MaxReplyLength);
}

// Whatever the reply holds, the values decoded from it, written as a status
// reply and decoded again, stay the same.
void decodeStatus(FuzzedDataProvider &input)
{
    const QString name = input.ConsumeBool()
                             ? QString::fromLatin1(pickModel(input).name)
                             : QString::fromStdString(input.ConsumeRandomLengthString(8));
    const QByteArray reply = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    const catalogue::DigitalValues values = catalogue::decodeDigitalStatus(name, reply);

    const QByteArray data = catalogue::encodeDigitalData(name, values);
    const catalogue::Family family = catalogue::familyOf(name);
    const bool slotModule =
        family == catalogue::Family::F9000 || family == catalogue::Family::F6000;
    const catalogue::DigitalValues again =
        catalogue::decodeDigitalStatus(name, (slotModule ? "!01" : "!") + data);
    FUZZ_CHECK(again.outputs == values.outputs && again.inputs == values.inputs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        callFunction(input);
    else
        decodeStatus(input);
    return 0;
}
