// SPDX-License-Identifier: MIT
#pragma once

// The encoder's shaft: a raw count that grows at a set speed, and what the encoder reports of it
// after its zero offset and multiturn zero.

#include <cstdint>

namespace sim {

struct ShaftReading {
    std::uint32_t singleTurn = 0;    // 0 to counts per turn - 1, zero offset applied
    std::int16_t turns = 0;          // multiturn counter, wrapping as a 16-bit two's complement
    std::uint32_t rawSingleTurn = 0; // without the zero offset
};

// Settings the encoder keeps in its memory ("c" saves them, "r" restores the factory ones).
struct ShaftSettings {
    std::int32_t zeroOffset = 0;       // raw single-turn count that reads 0
    std::int64_t multiturnOffset = 0;  // turns subtracted from the counter

    bool operator==(const ShaftSettings &) const = default;
};

class Shaft {
public:
    explicit Shaft(std::int32_t countsPerTurn, std::int64_t startRaw, std::int32_t speed, std::int64_t nowMs);

    std::int64_t rawAt(std::int64_t nowMs) const;
    ShaftReading readingAt(std::int64_t nowMs) const;

    void setSpeed(std::int32_t countsPerSecond, std::int64_t nowMs);
    std::int32_t speed() const { return speed_; }
    void setRaw(std::int64_t raw, std::int64_t nowMs);

    // The raw single-turn position `position` (taken modulo one turn) reads 0 from now on.
    void setZeroOffset(std::int64_t position);
    void clearZeroOffset();
    // The multiturn counter reads 0 at the current position.
    void zeroMultiturn(std::int64_t nowMs);

    const ShaftSettings &settings() const { return settings_; }
    void setSettings(const ShaftSettings &settings) { settings_ = settings; }

private:
    std::int32_t countsPerTurn_;
    std::int64_t baseRaw_;
    std::int64_t baseMs_;
    std::int32_t speed_;
    ShaftSettings settings_;
};

// Division rounding towards minus infinity, and the matching non-negative remainder.
std::int64_t floorDiv(std::int64_t value, std::int64_t divisor);
std::int64_t floorMod(std::int64_t value, std::int64_t divisor);

} // namespace sim
