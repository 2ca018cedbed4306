// SPDX-License-Identifier: MIT
#include "self_calibration.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quarn {

namespace {

constexpr int SelfCalStatusLength = 8;
constexpr int MaxTimeoutSeconds = 40;

std::uint8_t byteAt(const QByteArray &bytes, qsizetype index)
{
    return index < bytes.size() ? static_cast<std::uint8_t>(bytes.at(index)) : std::uint8_t{0};
}

std::uint16_t wordAt(const QByteArray &bytes, qsizetype index)
{
    return static_cast<std::uint16_t>((byteAt(bytes, index) << 8) | byteAt(bytes, index + 1));
}

} // namespace

SelfCalTimeout selfCalTimeoutValue(int spinValue)
{
    if (spinValue == 0 || spinValue > MaxTimeoutSeconds)
        return {MaxTimeoutSeconds, true};
    return {spinValue, false};
}

bool timeoutRequestApplies(int major, int minor)
{
    return major == 2 && minor >= 9;
}

SelfCalStatus decodeSelfCalStatus(const QByteArray &reply)
{
    SelfCalStatus status;
    status.complete = reply.size() >= SelfCalStatusLength;
    const std::uint8_t flags = byteAt(reply, 1);
    status.counter = flags & 0x03;
    status.timeoutExpired = (flags & 0x04) != 0;
    status.outOfRange = (flags & 0x08) != 0;
    status.arcOutOfRange = (flags & 0x10) != 0;
    status.noCorrection = (flags & 0x20) != 0;
    status.userErrorMap = (flags & 0x40) != 0;
    status.eccentricityUm = wordAt(reply, 2);
    status.eccentricityAngleDeg = wordAt(reply, 4);
    status.radialShiftUm = static_cast<std::int16_t>(wordAt(reply, 6));
    return status;
}

int selfCalProgressPosition(std::int64_t elapsedMs)
{
    // Beyond about 60 hours the position no longer fits an int; the wait never lasts that long.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<int>::max()} * 100 - 100;
    const std::int64_t clamped = std::clamp<std::int64_t>(elapsedMs, 0, limit);
    return static_cast<int>(std::lrint(static_cast<double>(clamped) / 100.0));
}

bool selfCalWaitExpired(int progressPosition, int timeoutSeconds)
{
    return progressPosition > 11 * timeoutSeconds;
}

bool selfCalStatusChanged(const QByteArray &initialReply, const QByteArray &currentReply)
{
    return initialReply != currentReply;
}

bool selfCalStatusPlausible(const QByteArray &reply)
{
    constexpr std::uint8_t unusedBit = 0x80;
    return reply.size() == SelfCalStatusLength && (byteAt(reply, 1) & unusedBit) == 0;
}

SelfCalStatusConfirmation::SelfCalStatusConfirmation(const QByteArray &lastRead)
{
    if (selfCalStatusPlausible(lastRead))
        last_ = lastRead;
}

std::optional<QByteArray> SelfCalStatusConfirmation::take(const QByteArray &reply)
{
    if (!selfCalStatusPlausible(reply))
        return std::nullopt;
    const bool agrees = reply == last_;
    last_ = reply;
    if (agrees)
        return reply;
    return std::nullopt;
}

SelfCalLamps selfCalLamps(const SelfCalStatus &finalStatus, bool finished)
{
    SelfCalLamps lamps;
    const auto lamp = [](bool on, std::uint32_t onColour) { return on ? onColour : SelfCalLamps::Off; };
    lamps.finished = lamp(finished, SelfCalLamps::DarkGreen);
    lamps.timeoutExpired = lamp(finalStatus.timeoutExpired, SelfCalLamps::Red);
    lamps.outOfRange = lamp(finalStatus.outOfRange, SelfCalLamps::Red);
    lamps.arcOutOfRange = lamp(finalStatus.arcOutOfRange, SelfCalLamps::Red);
    lamps.noCorrection = lamp(finalStatus.noCorrection, SelfCalLamps::Orange);
    lamps.userErrorMap = lamp(finalStatus.userErrorMap, SelfCalLamps::Green);
    // A user error map is information, not a failure: it does not hold back "successful".
    lamps.successful = lamp(finished && !finalStatus.anyFlagSet(), SelfCalLamps::Green);
    return lamps;
}

SelfCalAccuracy selfCalAccuracy(std::uint16_t eccentricityUm, float ringDiameterMm, bool noCorrection)
{
    // Extended precision in between, rounded to single precision at each stored step: the
    // third decimal shown depends on exactly these roundings.
    using Extended = long double;
    const Extended slope = static_cast<Extended>(eccentricityUm) / 1000.0L * 2.0L
                           / static_cast<Extended>(ringDiameterMm);
    const auto before0 = static_cast<float>(std::atan(slope) * 180.0L / std::numbers::pi_v<Extended>);
    const auto before = static_cast<float>(static_cast<Extended>(before0) + 0.015L);
    auto after = static_cast<float>(static_cast<Extended>(before) / 6.0L);
    if (static_cast<Extended>(after) < 0.015L)
        after = 0.015f;
    if (noCorrection)
        after = before;
    return {before, after};
}

QString selfCalInitialText(const QByteArray &initialReply)
{
    QString text = QStringLiteral("Counter: ");
    const SelfCalStatus status = decodeSelfCalStatus(initialReply);
    if (status.complete)
        text += QString::number(status.counter);
    return text;
}

QString selfCalReportText(const SelfCalStatus &finalStatus, float ringDiameterMm, const QLocale &locale)
{
    const SelfCalAccuracy accuracy =
        selfCalAccuracy(finalStatus.eccentricityUm, ringDiameterMm, finalStatus.noCorrection);
    const QStringList lines{
        QStringLiteral("Counter: ") + QString::number(finalStatus.counter),
        QStringLiteral("Ring eccentricity: ") + QString::number(finalStatus.eccentricityUm)
            + QStringLiteral(" µm"),
        QStringLiteral("Eccentricity angle: ") + QString::number(finalStatus.eccentricityAngleDeg)
            + QStringLiteral(" deg"),
        QStringLiteral("Readhead radial shift: ") + QString::number(finalStatus.radialShiftUm)
            + QStringLiteral(" µm"),
        QStringLiteral("Est. accuracy before calib.: ±")
            + locale.toString(static_cast<double>(accuracy.before), 'f', 3) + QStringLiteral("°"),
        QStringLiteral("Est. accuracy after calib.: ±")
            + locale.toString(static_cast<double>(accuracy.after), 'f', 3) + QStringLiteral("°"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString selfCalNotFinishedLine(int timeoutSeconds, const QLocale &locale)
{
    // The wait gives up after 1.1 × the timeout. A whole number of tenths of a second, so the
    // shortest form is exact: 1.1, 11, 44.
    const double limitSeconds = 11.0 * timeoutSeconds / 10.0;
    return QStringLiteral("Calibration did not finish within ")
           + locale.toString(limitSeconds, 'g', QLocale::FloatingPointShortest) + QStringLiteral(" s");
}

QString selfCalRunReport(const SelfCalStatus &finalStatus, bool finished, int timeoutSeconds,
                         float ringDiameterMm, const QLocale &locale)
{
    const QString report = selfCalReportText(finalStatus, ringDiameterMm, locale);
    if (finished)
        return report;
    return selfCalNotFinishedLine(timeoutSeconds, locale) + QStringLiteral("\r\n") + report;
}

int selfCalFinalProgress(const SelfCalStatus &finalStatus, bool finished)
{
    return finished && !finalStatus.anyFlagSet() ? 100 : 0;
}

SelfCalOutcome selfCalOutcome(const QByteArray &finalReply, bool finished, int timeoutSeconds,
                              float ringDiameterMm, const QLocale &locale)
{
    const SelfCalStatus status = decodeSelfCalStatus(finalReply);
    return {selfCalLamps(status, finished),
            selfCalRunReport(status, finished, timeoutSeconds, ringDiameterMm, locale),
            selfCalFinalProgress(status, finished)};
}

} // namespace quarn
