// SPDX-License-Identifier: MIT
#pragma once

// The code ring as the readhead sees it: a maximal-length bit sequence of 2^L - 1 bits for code
// length L, the L-bit code word at each ring position, and the sampled track signal of the
// debug record.

#include <array>
#include <cstdint>
#include <random>

namespace sim {

inline constexpr int DebugSampleCount = 53;

// The ring's bit sequence for code length 5 to 9 (other lengths use 8), bit k at index k.
std::uint32_t codeRingLength(int codeLength);
bool codeRingBit(int codeLength, std::int64_t index);
// The L bits starting at ring index `codePosition`, the first bit most significant.
std::uint16_t codeWordAt(int codeLength, std::int64_t codePosition);
// The ring index under the readhead at a single-turn position.
std::int64_t codePositionOf(int codeLength, std::uint32_t singleTurn, std::int32_t countsPerTurn);

// Samples per code bit on the track (10, 8, 7, 6, 6 for L = 5 to 9; 6 otherwise).
int sampleStep(int codeLength);
// The record's DecodSelect: the sample, counted from 1 within each bit period, at the crest.
std::uint8_t decodeSelect(int codeLength);

// One period of a sine per code bit, its phase turned over for a 0 bit; the bits of `word` from
// the most significant one, repeating after L bits. Noise of a few percent when `noise` is given.
std::array<std::int16_t, DebugSampleCount> codeTrackSamples(std::uint16_t word, int codeLength,
                                                            double amplitude, std::mt19937 *noise);

} // namespace sim
