#include "core/moduleerror.h"

#include "core/textutil.h"

#include <array>

namespace telviox {

namespace {

// Index = code - 1. Codes 21 and 22 carry two leading blanks, the rest four.
constexpr std::array<const char *, 22> Descriptions = {
    "    Function Error !",
    "    COM Port Error !",
    "    Baud Rate Error !",
    "    Data Bit Error !",
    "    Stop Bit Error !",
    "    Parity Error !",
    "    Checksum Error !",
    "    COM Port not open !",
    "    Create Thread Error !",
    "    SendCom Error !",
    "    ReadComStatus Error !",
    "    ResultStrCheck Error !",
    "    Cmd Error !",
    "    Error Code 14 !",
    "    Time Out !",
    "    Error Code 16 !",
    "    ModuleID Error !",
    "    AD Channel Error !",
    "    Under Input Range !",
    "    Exceed Input Range !",
    "  Invalidate Counter No !",
    "  Invalidate Counter Value !",
};

} // namespace

QString moduleErrorDescription(qint16 code)
{
    if (code < 1 || code > qint16(Descriptions.size()))
        return {};
    return QLatin1String(Descriptions[size_t(code - 1)]);
}

QString moduleErrorLine(const QString &moduleName, qint16 code)
{
    return QLatin1String("Error in Module: ") + moduleName + QLatin1String("  Error Code: ") +
           textutil::plainNumber(code) + moduleErrorDescription(code);
}

} // namespace telviox
