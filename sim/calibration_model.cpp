// SPDX-License-Identifier: MIT
#include "calibration_model.h"

namespace sim {

QByteArray calibrationStatusReply(const CalibrationStatus &status)
{
    QByteArray reply;
    reply.append('i');
    reply.append(static_cast<char>((status.counter & 0x03) | (status.flags & CalibrationFlagMask)));
    reply.append(static_cast<char>(status.eccentricityUm >> 8));
    reply.append(static_cast<char>(status.eccentricityUm & 0xFF));
    reply.append(static_cast<char>(status.angleDeg >> 8));
    reply.append(static_cast<char>(status.angleDeg & 0xFF));
    const auto shift = static_cast<std::uint16_t>(status.radialShiftUm);
    reply.append(static_cast<char>(shift >> 8));
    reply.append(static_cast<char>(shift & 0xFF));
    return reply;
}

void CalibrationModel::start(std::int64_t nowMs, const SelfCalibrationConfig &config)
{
    dueMs_.reset();
    if (arcDegrees_ < 180 || arcDegrees_ > 360) {
        // Refused at once: the run ends with the arc flag and no new measurement.
        finish(CalibrationArcOutOfRangeFlag, false);
        return;
    }
    if (!config.durationMs)
        return;
    result_.flags = config.finalFlags & CalibrationFlagMask;
    result_.eccentricityUm = config.eccentricityUm;
    result_.angleDeg = config.angleDeg;
    result_.radialShiftUm = config.radialShiftUm;
    const std::int64_t timeoutMs = std::int64_t{timeoutSeconds_} * 1000;
    dueWithTimeout_ = *config.durationMs > timeoutMs;
    dueMs_ = nowMs + (dueWithTimeout_ ? timeoutMs : *config.durationMs);
}

CalibrationStatus CalibrationModel::statusAt(std::int64_t nowMs)
{
    if (dueMs_ && nowMs >= *dueMs_) {
        dueMs_.reset();
        if (dueWithTimeout_)
            finish(CalibrationTimeoutFlag, false);
        else
            finish(result_.flags, true);
    }
    return status_;
}

void CalibrationModel::finish(std::uint8_t flags, bool withResult)
{
    status_.counter = static_cast<std::uint8_t>((status_.counter + 1) & 0x03);
    status_.flags = flags;
    if (withResult) {
        status_.eccentricityUm = result_.eccentricityUm;
        status_.angleDeg = result_.angleDeg;
        status_.radialShiftUm = result_.radialShiftUm;
    }
}

} // namespace sim
