// SPDX-License-Identifier: MIT
#include "shaft.h"

namespace sim {

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor)
{
    std::int64_t quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0)))
        --quotient;
    return quotient;
}

std::int64_t floorMod(std::int64_t value, std::int64_t divisor)
{
    return value - floorDiv(value, divisor) * divisor;
}

Shaft::Shaft(std::int32_t countsPerTurn, std::int64_t startRaw, std::int32_t speed,
             std::int64_t nowMs)
    : countsPerTurn_(countsPerTurn > 0 ? countsPerTurn : 1)
    , baseRaw_(startRaw)
    , baseMs_(nowMs)
    , speed_(speed)
{
}

std::int64_t Shaft::rawAt(std::int64_t nowMs) const
{
    return baseRaw_ + floorDiv(std::int64_t{speed_} * (nowMs - baseMs_), 1000);
}

ShaftReading Shaft::readingAt(std::int64_t nowMs) const
{
    const std::int64_t raw = rawAt(nowMs);
    const std::int64_t shifted = raw - settings_.zeroOffset;
    const std::int64_t turns = floorDiv(shifted, countsPerTurn_) - settings_.multiturnOffset;
    ShaftReading reading;
    reading.singleTurn = static_cast<std::uint32_t>(floorMod(shifted, countsPerTurn_));
    reading.rawSingleTurn = static_cast<std::uint32_t>(floorMod(raw, countsPerTurn_));
    reading.turns = static_cast<std::int16_t>(static_cast<std::uint16_t>(turns & 0xFFFF));
    return reading;
}

void Shaft::setSpeed(std::int32_t countsPerSecond, std::int64_t nowMs)
{
    baseRaw_ = rawAt(nowMs);
    baseMs_ = nowMs;
    speed_ = countsPerSecond;
}

void Shaft::setRaw(std::int64_t raw, std::int64_t nowMs)
{
    baseRaw_ = raw;
    baseMs_ = nowMs;
}

void Shaft::setZeroOffset(std::int64_t position)
{
    settings_.zeroOffset = static_cast<std::int32_t>(floorMod(position, countsPerTurn_));
}

void Shaft::clearZeroOffset()
{
    settings_.zeroOffset = 0;
}

void Shaft::zeroMultiturn(std::int64_t nowMs)
{
    settings_.multiturnOffset = 0;
    settings_.multiturnOffset = floorDiv(rawAt(nowMs) - settings_.zeroOffset, countsPerTurn_);
}

} // namespace sim
