// The conversation list's text form read from any bytes: nothing crashes, and
// a list the reader accepts is written out in both forms and read back to the
// same records.

#include "conversations/conversationtext.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>

using namespace telviox;

namespace {

QByteArray bytesOf(const ConversationPair &pair)
{
    return encodeCnv(pair.conv) + encodeCompanion(pair.link).value_or(QByteArray("(no fit)"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const cnvtext::ImportResult read = cnvtext::importList(text);
    for (const cnvtext::Problem &problem : read.problems)
        FUZZ_CHECK(!problem.text().isEmpty());
    if (!read.problems.isEmpty())
        return 0;
    FUZZ_CHECK(encodeCompanion(read.pair.link).has_value());
    for (const auto format : {cnvtext::Format::Json, cnvtext::Format::Csv}) {
        const cnvtext::ImportResult again =
            cnvtext::importList(cnvtext::exportList(read.pair, format));
        FUZZ_CHECK(again.problems.isEmpty());
        FUZZ_CHECK(bytesOf(again.pair) == bytesOf(read.pair));
    }
    return 0;
}
