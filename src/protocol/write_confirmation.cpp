// SPDX-License-Identifier: MIT
#include "write_confirmation.h"

#include "quarn_konstante.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quarn {

namespace {

// The noise a standing shaft shows, as a share of the turn (0.35 degrees), but at least a few
// counts on coarse encoders.
constexpr std::int32_t NoiseShareOfTurn = 1024;
constexpr std::int32_t MinimumNoiseCounts = 8;
// How far off the moment of a reading may be from when it was taken: the reply's latency and
// transfer, and the scheduling of the reading program.
constexpr double ReadingMomentSlackMs = 50.0;
// The most the shaft may move between the zero's reading and the check, as a share of the turn.
constexpr std::int64_t FastestShareOfTurn = 8;

} // namespace

std::optional<PositionWord> usablePosition(const QByteArray &reply, int index, const EncoderIdentity &identity)
{
    const int cycleIndex = pollCycleIndex(index);
    if (reply.size() != pollReplyLength(identity.multiturn ? 1 : 0, cycleIndex))
        return std::nullopt;
    if (positionWordOffset(cycleIndex) > 0 && reply.at(0) != pollCommand(cycleIndex))
        return std::nullopt;
    const PositionWord word =
        decodePositionWord(reply, cycleIndex, identity.multiturn, identity.resolution.bits,
                           identity.singleTurnMask, identity.resolution.countsPerTurn);
    if (word.error)
        return std::nullopt;
    return word;
}

std::int32_t countsFromZero(std::int64_t counts, std::int32_t countsPerTurn)
{
    if (countsPerTurn <= 0)
        return 0;
    std::int64_t wrapped = counts % countsPerTurn;
    if (wrapped < 0)
        wrapped += countsPerTurn;
    if (wrapped > countsPerTurn / 2)
        wrapped -= countsPerTurn;
    return static_cast<std::int32_t>(wrapped);
}

bool zeroConfirmed(std::int32_t countsPerTurn, CountsAt afterZero, CountsAt closing)
{
    if (countsPerTurn <= 0 || afterZero.msAfterZeroReading <= 0
        || closing.msAfterZeroReading < afterZero.msAfterZeroReading)
        return false;
    // Beyond an eighth of a turn the shaft turns too fast for the readings to tell a zero that
    // took from one that did not (half a turn either way reads the same).
    const std::int32_t movedSinceZero = countsFromZero(afterZero.counts, countsPerTurn);
    if (std::abs(static_cast<std::int64_t>(movedSinceZero)) * FastestShareOfTurn > countsPerTurn)
        return false;
    const double countsPerMs =
        static_cast<double>(movedSinceZero) / static_cast<double>(afterZero.msAfterZeroReading);
    const double expected = countsPerMs * static_cast<double>(closing.msAfterZeroReading);
    const double margin = std::max(countsPerTurn / NoiseShareOfTurn, MinimumNoiseCounts)
                          + std::abs(countsPerMs) * ReadingMomentSlackMs;
    // Where the closing reading lies from where it should, along the turn.
    const double offBy = static_cast<double>(closing.counts) - std::fmod(expected, countsPerTurn);
    const auto offByCounts = countsFromZero(std::llround(offBy), countsPerTurn);
    return std::abs(static_cast<double>(offByCounts)) <= margin;
}

bool multiturnZeroConfirmed(std::int16_t turns)
{
    return std::abs(static_cast<int>(turns)) <= 1;
}

} // namespace quarn
