#pragma once

#include <QtGlobal>

// The 16/32-bit conversions of the library's parameter blocks: a 32-bit value
// travels as two 16-bit elements, and a 16-bit element holds the low half of
// a 32-bit type code.
namespace telviox {

// Joins two 16-bit words into the 32-bit value whose upper half is the bit
// pattern of high and lower half the bit pattern of low (low is not
// sign-extended).
constexpr qint32 MakeLong(qint16 high, qint16 low)
{
    return static_cast<qint32>((static_cast<quint32>(static_cast<quint16>(high)) << 16) |
                               static_cast<quint16>(low));
}

// The low half of a 32-bit bit pattern, as a 16-bit element holds it.
constexpr qint16 lowWord(quint32 bits)
{
    return static_cast<qint16>(static_cast<quint16>(bits & 0xFFFFu));
}

} // namespace telviox
