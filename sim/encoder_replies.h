// SPDX-License-Identifier: MIT
#pragma once

// The byte layouts of the encoder's replies, built from plain values.

#include "code_track.h"
#include "encoder_config.h"

#include <QByteArray>

#include <array>
#include <cstdint>

namespace sim {

// 42 bytes: "v", "Quarn-2", blank, serial (6), 3 spare, part number (16), 1 spare, the four
// firmware numbers (revision 32-bit, most significant byte first).
QByteArray identificationReply(const EncoderConfig &config);

// The 40-bit position word: turns in bits 39..24, the `bits`-bit single-turn position
// left-aligned below them, bit 1 set when there is no error.
std::uint64_t positionWord(std::uint32_t singleTurn, std::int16_t turns, int bits, bool error);
// The word as sent: its low 3 bytes (single-turn) or all 5 (multiturn), most significant first.
QByteArray positionBytes(std::uint64_t word, bool multiturn);

struct PollValues {
    std::uint16_t statusWord = 0;
    std::uint16_t persistentStatusWord = 0;
    std::int32_t speed = 0; // clamped to 24 bits
    std::int8_t temperatureC = 0;
    std::uint16_t signalLevel = 0;
};

// The reply to one of "13djsta": echo (none for "3"), position bytes, then the command's value.
QByteArray pollReply(char command, const QByteArray &position, const PollValues &values);

struct DebugRecordFields {
    char header = 'D';
    std::array<std::int16_t, DebugSampleCount> samples{};
    std::uint32_t absPos = 0;
    std::uint8_t decodSelect = 0;
    std::uint16_t codeA = 0;
    std::uint16_t codeB = 0;
    std::uint16_t mcuTemp = 0;
    std::uint16_t cycleTime = 0;
    std::uint16_t debugStatus = 0;
    std::uint16_t vdda = 0;
    std::uint8_t resetCount = 0;
};

inline constexpr int DebugEntryReplyLength = 5;
// 129 bytes: header, 53 samples, AbsPos at 107, DecodSelect at 113, CodeA 114, CodeB 116,
// McuTemp 120, CycleTime 122, DebugStatus 124, Vdda 126, ResetCnt 128.
QByteArray debugRecord(const DebugRecordFields &fields);
QByteArray debugEntryReply();

} // namespace sim
