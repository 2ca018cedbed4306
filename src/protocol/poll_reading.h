// SPDX-License-Identifier: MIT
#pragma once

// One poll reply decoded whole: the position word and the quantity its command adds, with the
// encoder's identity supplying turn type, resolution and air-gap coefficients.

#include "identification.h"
#include "poll_decoding.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace quarn {

struct PollReading {
    int index = 1;     // 1 to 7
    char command = '1';
    PositionWord position;
    std::optional<std::uint16_t> status;           // "d"
    std::optional<std::uint16_t> persistentStatus; // "j"
    std::optional<std::int32_t> speed;             // "s"
    std::optional<std::int8_t> temperature;        // "t"
    std::optional<std::uint16_t> signalLevel;      // "a", as received (0 stays 0)
    std::optional<double> airGapMicrometres;       // "a", from the level with 0 taken as 1
};

// Decodes a reply to poll index 1 to 7 (any other index counts as 1). A quantity the reply is
// too short to hold stays empty.
PollReading decodePollReading(const QByteArray &reply, int index, const EncoderIdentity &identity);

} // namespace quarn
