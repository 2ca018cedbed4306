// SPDX-License-Identifier: MIT
#pragma once

// Everything that makes one simulated Quarn-2 what it is: identity, line settings, the shaft,
// the readings it reports, the self-calibration outcome and the faults it shows.

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace sim {

struct FirmwareVersion {
    std::uint8_t major = 2;
    std::uint8_t minor = 9;
    std::uint8_t protocol = 1;
    std::uint32_t revision = 4;
};

struct SelfCalibrationConfig {
    // How long a calibration run takes; nothing means it never ends (the status stays as it was).
    std::optional<std::int64_t> durationMs = 1500;
    // Bits 2 to 6 of status byte 1 after a run that finished within its timeout.
    std::uint8_t finalFlags = 0;
    std::uint16_t eccentricityUm = 12;
    std::uint16_t angleDeg = 137;
    std::int16_t radialShiftUm = -3;
};

struct FaultConfig {
    // Position words report an error (bit 1 cleared).
    bool errorFlag = false;
    // No reply at all from this moment of the encoder's clock on.
    std::optional<std::int64_t> silentFromMs;
    // Every reply loses its last byte.
    bool shortReplies = false;
    // The debug record starts with a byte other than "D".
    bool wrongDebugHeader = false;
    // "G" is answered with "g", in debug mode and before it.
    bool wrongConfirmEcho = false;
    // 0: off; N: every N-th reply is replaced by random bytes of the same length (1: all of them).
    int garbageEvery = 0;
    // 0: off; N: the N-th, 2N-th, ... reply to each command carries a fault (counted per
    // command, so that a client alternating two requests still sees both spoilt). The three
    // kinds take turns: random bytes of the same length, the last byte missing, the error flag
    // cleared in the position word (a reply without a position word goes out unchanged on
    // that turn).
    int mixedFaultEvery = 0;
};

struct EncoderConfig {
    QByteArray partNumber = QByteArrayLiteral("QX105---18M-----");
    QByteArray serialNumber = QByteArrayLiteral("000042");
    FirmwareVersion firmware;
    std::int32_t baudRate = 115200;
    std::int32_t speedCountsPerSecond = 0;
    // Raw shaft position at start, in counts from turn 0 position 0 (negative: turns below 0).
    std::int64_t startPosition = 0;
    // Pause between the last byte of a request and the first byte of its reply.
    std::int64_t replyLatencyUs = 1000;
    std::int8_t temperatureC = 31;
    std::uint16_t signalLevel = 1700;
    std::uint16_t statusWord = 0;
    std::uint8_t resetCount = 1;
    SelfCalibrationConfig selfCalibration;
    // Noise on the code-track samples and the signal level.
    bool noise = false;
    std::uint32_t randomSeed = 1;
    FaultConfig faults;
};

// What the part number makes of the encoder. An unlisted resolution code counts as 18 bits.
struct EncoderGeometry {
    int bits = 18;
    std::int32_t countsPerTurn = 262144;
    bool multiturn = true;
    int codeLength = 8;
};

EncoderGeometry geometryOf(const QByteArray &partNumber);

} // namespace sim
