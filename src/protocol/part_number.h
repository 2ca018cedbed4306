// SPDX-License-Identifier: MIT
#pragma once

// What a Quarn-2 part number says about the encoder: resolution, turn type, code ring.
// Shared by identification and the simulator.

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace quarn {

inline constexpr int PartNumberLength = 16;
inline constexpr int SerialNumberLength = 6;

struct Resolution {
    std::uint8_t bits = 0;
    std::int32_t countsPerTurn = 0;
};

// Characters 8 and 9 of the part number: "16" to "21". Any other code gives nothing.
std::optional<Resolution> resolutionFromPartNumber(const QByteArray &partNumber);

// Character 10 is exactly "M" for a multiturn encoder.
bool isMultiturnPartNumber(const QByteArray &partNumber);

struct RingModel {
    float diameterMm = 1e9f;
    int codeLength = 8;
};

// The ring model table, matched as prefixes in table order; unknown rings give 1e9 mm and length 8.
RingModel ringModelFromPartNumber(const QByteArray &partNumber);

struct AirGapCoefficients {
    float k = 0.0f;
    float n = 0.0f;
};

// Slope and offset of the air-gap estimate for code lengths 5 to 9; nothing for other lengths.
std::optional<AirGapCoefficients> airGapCoefficients(int codeLength);

// The single-turn mask: the low `bits` bits set.
std::uint32_t singleTurnMask(int bits);

} // namespace quarn
