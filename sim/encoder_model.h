// SPDX-License-Identifier: MIT
#pragma once

// The simulated Quarn-2: bytes in with their arrival time and the line's baud rate, requests and
// replies out. It has no clock of its own (every call carries the time in milliseconds) and no
// I/O, so it runs the same under the pseudo-terminal server and in unit tests.

#include "calibration_model.h"
#include "encoder_config.h"
#include "request_log.h"
#include "request_parser.h"
#include "shaft.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace sim {

// One request as the encoder took it, and what it sends back (empty: nothing).
struct Exchange {
    LogEntry entry;
    QByteArray reply;
};

// The encoder's inner state, for tests and for the log of a session.
struct EncoderSnapshot {
    std::int64_t rawPosition = 0;
    ShaftReading reading;
    ShaftSettings settings;
    ShaftSettings savedSettings;
    bool debugMode = false;
    std::uint16_t statusWord = 0;
    std::uint16_t persistentStatusWord = 0;
    CalibrationStatus calibration;
    std::uint16_t calibrationArc = 0;
    std::uint8_t calibrationTimeout = 0;
    int saveCount = 0;
};

class EncoderModel {
public:
    explicit EncoderModel(const EncoderConfig &config, std::int64_t nowMs = 0);

    // Bytes that arrived at `nowMs` while the line ran at `lineBaud`. At any other rate than the
    // encoder's own the requests are only logged, marked wrong-rate, and nothing happens.
    std::vector<Exchange> receive(const QByteArray &bytes, std::int64_t nowMs, std::int32_t lineBaud);
    // Lets time pass: a protected request left incomplete for too long is dropped and reported.
    std::vector<Exchange> advance(std::int64_t nowMs, std::int32_t lineBaud);
    // The moment at which advance() has something to report, if any.
    std::optional<std::int64_t> nextDeadline() const;

    const EncoderConfig &config() const { return config_; }
    EncoderGeometry geometry() const { return geometry_; }
    EncoderSnapshot snapshot(std::int64_t nowMs);

    void setSpeed(std::int32_t countsPerSecond, std::int64_t nowMs);
    void setPosition(std::int64_t rawCounts, std::int64_t nowMs);
    void setStatusWord(std::uint16_t word);
    void setTemperature(std::int8_t celsius) { config_.temperatureC = celsius; }
    void setSignalLevel(std::uint16_t level) { config_.signalLevel = level; }
    void setSelfCalibration(const SelfCalibrationConfig &selfCalibration);
    void setFaults(const FaultConfig &faults) { config_.faults = faults; }
    const FaultConfig &faults() const { return config_.faults; }
    void setNoise(bool on) { config_.noise = on; }
    void setReplyLatencyUs(std::int64_t latency) { config_.replyLatencyUs = latency; }

    // The position word as it would be sent now (3 or 5 bytes).
    QByteArray positionBytesAt(std::int64_t nowMs) const;

private:
    Exchange handle(const ParsedRequest &request, std::int64_t nowMs, std::int32_t lineBaud);
    QByteArray respond(const ParsedRequest &request, std::int64_t nowMs);
    void execute(char command, const QByteArray &arguments, std::int64_t nowMs);
    QByteArray debugRecordAt(std::int64_t nowMs);
    QByteArray withFaults(QByteArray reply, char command, std::int64_t nowMs);
    QByteArray withMixedFault(QByteArray reply, char command);
    std::uint16_t persistentStatusWord() const { return latchedStatus_ | config_.statusWord; }

    EncoderConfig config_;
    EncoderGeometry geometry_;
    RequestParser parser_;
    Shaft shaft_;
    ShaftSettings savedSettings_;
    CalibrationModel calibration_;
    std::uint16_t latchedStatus_ = 0;
    bool debugMode_ = false;
    std::uint8_t resetCount_ = 0;
    int saveCount_ = 0;
    std::uint64_t replyCount_ = 0;
    std::uint64_t mixedFaultCount_ = 0;
    std::array<std::uint64_t, 256> repliesPerCommand_{};
    std::mt19937 random_;
};

} // namespace sim
