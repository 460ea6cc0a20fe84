// The configuration line: any bytes either give four values within their
// ranges or nothing, and what is taken survives being written and read again.

#include "app/shell/configfile.h"
#include "fuzzcheck.h"

#include <cstddef>
#include <cstdint>

using namespace telviox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto configuration = parseConfiguration(text);
    if (!configuration)
        return 0;

    const Configuration &c = *configuration;
    FUZZ_CHECK(c.ComPort >= 1 && c.ComPort <= ConfigFile::MaxComPort);
    FUZZ_CHECK(c.SearchBaudMask >= 0 && c.SearchBaudMask <= ConfigFile::MaxSearchBaudMask);
    FUZZ_CHECK(c.SearchChecksum == 0 || c.SearchChecksum == 1);
    FUZZ_CHECK(c.AutoRun == 0 || c.AutoRun == 1);

    const auto again = parseConfiguration(formatConfiguration(c));
    FUZZ_CHECK(again && *again == c);
    FUZZ_CHECK(searchBaudMaskOf(searchBaudsOfMask(c.SearchBaudMask)) == c.SearchBaudMask);
    return 0;
}
