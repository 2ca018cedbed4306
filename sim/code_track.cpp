// SPDX-License-Identifier: MIT
#include "code_track.h"

#include "shaft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace sim {
namespace {

int supportedLength(int codeLength)
{
    return codeLength >= 5 && codeLength <= 9 ? codeLength : 8;
}

// Feedback taps of a maximal-length Fibonacci shift register, bit i for x^(i+1).
std::uint32_t feedbackTaps(int codeLength)
{
    switch (codeLength) {
    case 5: return (1u << 4) | (1u << 2);                           // x^5 + x^3 + 1
    case 6: return (1u << 5) | (1u << 4);                           // x^6 + x^5 + 1
    case 7: return (1u << 6) | (1u << 5);                           // x^7 + x^6 + 1
    case 9: return (1u << 8) | (1u << 4);                           // x^9 + x^5 + 1
    default: return (1u << 7) | (1u << 5) | (1u << 4) | (1u << 3); // x^8 + x^6 + x^5 + x^4 + 1
    }
}

} // namespace

std::uint32_t codeRingLength(int codeLength)
{
    return (1u << supportedLength(codeLength)) - 1u;
}

bool codeRingBit(int codeLength, std::int64_t index)
{
    const int length = supportedLength(codeLength);
    const std::uint32_t taps = feedbackTaps(length);
    const auto step = static_cast<std::uint32_t>(floorMod(index, codeRingLength(length)));
    std::uint32_t state = 1;
    for (std::uint32_t i = 0; i < step; ++i) {
        const auto feedback = static_cast<std::uint32_t>(std::popcount(state & taps) & 1);
        state = ((state << 1) | feedback) & codeRingLength(length);
    }
    return (state >> (length - 1)) & 1u;
}

std::uint16_t codeWordAt(int codeLength, std::int64_t codePosition)
{
    const int length = supportedLength(codeLength);
    std::uint32_t word = 0;
    for (int bit = 0; bit < length; ++bit)
        word = (word << 1) | (codeRingBit(length, codePosition + bit) ? 1u : 0u);
    return static_cast<std::uint16_t>(word);
}

std::int64_t codePositionOf(int codeLength, std::uint32_t singleTurn, std::int32_t countsPerTurn)
{
    if (countsPerTurn <= 0)
        return 0;
    return std::int64_t{singleTurn} * codeRingLength(codeLength) / countsPerTurn;
}

int sampleStep(int codeLength)
{
    switch (codeLength) {
    case 5: return 10;
    case 6: return 8;
    case 7: return 7;
    default: return 6;
    }
}

std::uint8_t decodeSelect(int codeLength)
{
    // The crest of sin(2 pi (k + 0.5) / step) lies at k = step / 4 - 0.5.
    const int step = sampleStep(codeLength);
    return static_cast<std::uint8_t>(std::max(0, (step + 2) / 4 - 1) + 1);
}

std::array<std::int16_t, DebugSampleCount> codeTrackSamples(std::uint16_t word, int codeLength,
                                                            double amplitude, std::mt19937 *noise)
{
    const int length = supportedLength(codeLength);
    const int step = sampleStep(codeLength);
    std::normal_distribution<double> jitter(0.0, amplitude * 0.03);
    std::array<std::int16_t, DebugSampleCount> samples{};
    for (int n = 0; n < DebugSampleCount; ++n) {
        const int bitIndex = (n / step) % length;
        const bool bit = (word >> (length - 1 - bitIndex)) & 1u;
        const double phase = 2.0 * std::numbers::pi * ((n % step) + 0.5) / step;
        double value = (bit ? amplitude : -amplitude) * std::sin(phase);
        if (noise)
            value += jitter(*noise);
        samples[static_cast<std::size_t>(n)] =
            static_cast<std::int16_t>(std::clamp(std::lrint(value), -1201L, 1201L));
    }
    return samples;
}

} // namespace sim
