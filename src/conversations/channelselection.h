#pragma once

#include <QtGlobal>
#include <array>

namespace telviox {

// Channel masks of the channel selection dialogs. Eight-channel inputs put
// CH:0 in the highest of the low eight bits (0x80) and CH:7 in bit 0; a
// dialog showing one box (a single-channel input) gives 1 for CH:0.
inline qint16 channelMask(const std::array<bool, 8> &ticked, int shown)
{
    if (shown == 1)
        return ticked[0] ? 1 : 0;
    qint16 mask = 0;
    for (int n = 0; n < 8; ++n) {
        if (ticked[std::size_t(n)])
            mask = qint16(mask | (1 << (7 - n)));
    }
    return mask;
}

// The counter dialog: bit 0 counter channel 0, bit 1 counter channel 1.
inline qint16 counterMask(bool channel0, bool channel1)
{
    return qint16((channel1 ? 2 : 0) + (channel0 ? 1 : 0));
}

} // namespace telviox
