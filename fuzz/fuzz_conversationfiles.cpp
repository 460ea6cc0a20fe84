// The conversation list's two record files read from any bytes: nothing is
// read outside the file, and what was read is written back unchanged.

#include "conversations/conversationfiles.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>

using namespace telviox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));

    // Every byte of a CNV record is a field: the first records come back as
    // they were, the missing ones as zeros.
    const QByteArray cnv = encodeCnv(decodeCnv(file));
    QByteArray expected = file.left(CnvFile::Size);
    expected.append(CnvFile::Size - expected.size(), '\0');
    FUZZ_CHECK(cnv == expected);

    // The companion's texts and flags, once read, are written and read back
    // to the same records.
    const LinkTable link = decodeCompanion(file);
    if (const auto companion = encodeCompanion(link)) {
        FUZZ_CHECK(companion->size() == CompanionFile::Size);
        const auto again = encodeCompanion(decodeCompanion(*companion));
        FUZZ_CHECK(again && *again == *companion);
    }
    return 0;
}
