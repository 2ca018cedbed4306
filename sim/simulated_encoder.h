// SPDX-License-Identifier: MIT
#pragma once

// A simulated Quarn-2 on a pseudo-terminal, served by a thread of the calling process: the
// handle that tests use to start an encoder, point a port at it, change it while it runs and
// read back what it received.

#include "encoder_config.h"
#include "encoder_model.h"
#include "request_log.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace sim {

class PtyServer;

class SimulatedEncoder {
public:
    // Opens the port and starts serving; throws std::runtime_error when no pseudo-terminal opens.
    explicit SimulatedEncoder(const EncoderConfig &config = {});
    ~SimulatedEncoder();
    SimulatedEncoder(const SimulatedEncoder &) = delete;
    SimulatedEncoder &operator=(const SimulatedEncoder &) = delete;

    // The device path of the port (empty while it has vanished).
    QString portPath() const;
    // Keeps a symbolic link at `path` to the port, also after reappear(). False when it cannot.
    bool setLinkPath(const QString &path);

    std::vector<LogEntry> log() const;
    void clearLog();
    // Also writes every new request to this file, one line each (see logLine()).
    bool writeLogTo(const QString &path);
    // Milliseconds on the encoder's clock, the time base of the log and of the fault settings.
    std::int64_t nowMs() const;

    void setFaults(const FaultConfig &faults);
    FaultConfig faults() const;
    void setErrorFlag(bool on);
    // Silent from now on (true) or answering again (false).
    void setSilent(bool on);
    void setSilentFrom(std::optional<std::int64_t> ms);
    void setShortReplies(bool on);
    void setWrongDebugHeader(bool on);
    void setWrongConfirmEcho(bool on);
    void setGarbageEvery(int n);
    void setMixedFaultEvery(int n);

    void setSpeed(std::int32_t countsPerSecond);
    void setPosition(std::int64_t rawCounts);
    void setStatusWord(std::uint16_t word);
    void setTemperature(std::int8_t celsius);
    void setSignalLevel(std::uint16_t level);
    void setSelfCalibration(const SelfCalibrationConfig &selfCalibration);
    void setReplyLatencyUs(std::int64_t latency);
    EncoderSnapshot snapshot() const;

    // The port disappears as an unplugged adapter would; reappear() brings a new one (same link).
    void vanish();
    void reappear();

    // Stops serving and waits for the thread. Called by the destructor too.
    void stop();

private:
    template <typename Change>
    void changeFaults(Change &&change);

    std::unique_ptr<PtyServer> server_;
    std::thread thread_;
};

} // namespace sim
