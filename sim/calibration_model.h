// SPDX-License-Identifier: MIT
#pragma once

// The encoder's self-calibration: the arc and timeout it is given, the run that "A" starts, and
// the 8-byte status that "i" reads.

#include "encoder_config.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace sim {

struct CalibrationStatus {
    std::uint8_t counter = 0; // 0 to 3, one up after every run
    std::uint8_t flags = 0;   // bits 2 to 6 of byte 1
    std::uint16_t eccentricityUm = 0;
    std::uint16_t angleDeg = 0;
    std::int16_t radialShiftUm = 0;

    bool operator==(const CalibrationStatus &) const = default;
};

inline constexpr std::uint8_t CalibrationTimeoutFlag = 1u << 2;
inline constexpr std::uint8_t CalibrationArcOutOfRangeFlag = 1u << 4;
inline constexpr std::uint8_t CalibrationFlagMask = 0x7C;

// The status reply: byte 0 "i", byte 1 counter and flags, then eccentricity, angle and shift.
QByteArray calibrationStatusReply(const CalibrationStatus &status);

class CalibrationModel {
public:
    static constexpr std::uint16_t DefaultArcDegrees = 360;
    static constexpr std::uint8_t DefaultTimeoutSeconds = 10;

    void setArc(std::uint16_t degrees) { arcDegrees_ = degrees; }
    void setTimeout(std::uint8_t seconds) { timeoutSeconds_ = seconds; }
    std::uint16_t arc() const { return arcDegrees_; }
    std::uint8_t timeout() const { return timeoutSeconds_; }

    // Starts a run; one already running is replaced by the new one.
    void start(std::int64_t nowMs, const SelfCalibrationConfig &config);
    CalibrationStatus statusAt(std::int64_t nowMs);
    bool running() const { return dueMs_.has_value(); }

private:
    void finish(std::uint8_t flags, bool withResult);

    CalibrationStatus status_;
    CalibrationStatus result_;
    std::optional<std::int64_t> dueMs_;
    bool dueWithTimeout_ = false;
    std::uint16_t arcDegrees_ = DefaultArcDegrees;
    std::uint8_t timeoutSeconds_ = DefaultTimeoutSeconds;
};

} // namespace sim
