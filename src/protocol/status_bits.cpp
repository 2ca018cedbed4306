// SPDX-License-Identifier: MIT
#include "status_bits.h"

namespace quarn {

std::array<std::uint32_t, StatusLampCount> lampColours(quint16 word)
{
    std::array<std::uint32_t, StatusLampCount> colours{};
    for (std::size_t i = 0; i < StatusLamps.size(); ++i) {
        const bool on = (word >> StatusLamps[i].bit) & 1u;
        colours[i] = on ? StatusLamps[i].onColour : colour::Grey;
    }
    return colours;
}

} // namespace quarn
