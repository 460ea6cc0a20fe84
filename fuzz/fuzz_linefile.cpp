// The simulator's line file from any bytes, and the line it describes run on
// commands: a file is either refused with a message naming a field or makes a
// line that answers whatever it is sent, at any time.
//
// Input: the line file, then optionally a NUL and the traffic: the port's rate,
// then steps of (milliseconds later, bytes sent). Bytes sent are taken from the
// front of the traffic, everything else from its back.

#include "fuzzcheck.h"
#include "sim/simline.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace telviox::sim;

namespace {
// About ten years of running; later times are not a line's concern.
constexpr qint64 LongestRunMs = 10LL * 366 * 24 * 3600 * 1000;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto *bytes = reinterpret_cast<const char *>(data);
    const auto *end = static_cast<const char *>(std::memchr(bytes, '\0', size));
    const std::size_t jsonSize = end ? std::size_t(end - bytes) : size;

    QString error;
    const auto line = SimLine::load(QByteArray(bytes, qsizetype(jsonSize)), &error);
    FUZZ_CHECK((line == nullptr) != error.isEmpty());
    if (!line || !end)
        return 0;

    FuzzedDataProvider traffic(data + jsonSize + 1, size - jsonSize - 1);
    // Mostly the rate a module has when its file names none, so that the
    // modules answer; now and then any rate at all.
    const qint32 baud = traffic.ConsumeBool() ? traffic.ConsumeIntegral<qint32>() : 9600;
    qint64 now = 0;
    while (traffic.remaining_bytes() > 0) {
        now = std::min(LongestRunMs, now + traffic.ConsumeIntegralInRange<qint64>(0, LongestRunMs));
        const std::string sent = traffic.ConsumeRandomLengthString(64);
        line->process(QByteArray::fromStdString(sent), baud, now);
    }
    return 0;
}
