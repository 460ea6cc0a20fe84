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
    const auto line = parseConfiguration(text);
    if (!line)
        return 0;

    // Every value taken lies in its range; an unusable one is left out.
    FUZZ_CHECK(!line->ComPort || (*line->ComPort >= 1 && *line->ComPort <= ConfigFile::MaxComPort));
    FUZZ_CHECK(!line->SearchBaudMask ||
               (*line->SearchBaudMask >= 0 && *line->SearchBaudMask <= ConfigFile::MaxSearchBaudMask));
    FUZZ_CHECK(!line->SearchChecksum || *line->SearchChecksum == 0 || *line->SearchChecksum == 1);
    FUZZ_CHECK(!line->AutoRun || *line->AutoRun == 0 || *line->AutoRun == 1);

    Configuration c;
    c.ComPort = line->ComPort.value_or(c.ComPort);
    c.SearchBaudMask = line->SearchBaudMask.value_or(c.SearchBaudMask);
    c.SearchChecksum = line->SearchChecksum.value_or(c.SearchChecksum);
    c.AutoRun = line->AutoRun.value_or(c.AutoRun);

    // What is written back reads as the same four values.
    const auto again = parseConfiguration(formatConfiguration(c));
    FUZZ_CHECK(again && again->ComPort == c.ComPort && again->SearchBaudMask == c.SearchBaudMask &&
               again->SearchChecksum == c.SearchChecksum && again->AutoRun == c.AutoRun);
    FUZZ_CHECK(searchBaudMaskOf(searchBaudsOfMask(c.SearchBaudMask)) == c.SearchBaudMask);
    return 0;
}
