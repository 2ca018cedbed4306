// SPDX-License-Identifier: MIT
// Self-calibration status replies: the status read before the start and the final one, the
// finished flag, the lamps, the report and the progress bar, plus the progress position for any
// elapsed time the clock may give.
//
// Input: byte 0 the finished flag (bit 0), the code ring (bits 1-4) and the locale (bits 5-6);
// bytes 1-8 an elapsed time in milliseconds (signed, big-endian); then the initial status reply
// as a piece (its length first) and the final status reply as the rest.

#include "fuzz_support.h"

#include "part_number.h"
#include "self_calibration.h"

#include <QStringList>

#include <array>
#include <cmath>
#include <optional>

namespace {

// Every ring of the table and one that is not in it.
float ringDiameter(int choice)
{
    static constexpr std::array<const char *, 11> prefixes{
        "QX101", "QX102", "QX103", "QX104", "QX105", "QX106", "QX107", "QX108", "QX109", "QY1", "ZZ"};
    return quarn::ringModelFromPartNumber(prefixes[static_cast<std::size_t>(choice) % prefixes.size()]).diameterMm;
}

std::uint8_t at(const QByteArray &bytes, int index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

bool oneOf(std::uint32_t colour, std::uint32_t onColour)
{
    return colour == onColour || colour == quarn::SelfCalLamps::Off;
}

// The number between the sign and the degree mark of an accuracy line.
double accuracyShown(const QString &line, const QLocale &locale)
{
    const qsizetype from = line.indexOf(u'±');
    FUZZ_CHECK(from > 0 && line.endsWith(u'°'));
    bool ok = false;
    const double value = locale.toDouble(line.mid(from + 1, line.size() - from - 2), &ok);
    FUZZ_CHECK(ok);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quarn;
    fuzz::Input input(data, size);
    const std::uint8_t settings = input.byte();
    std::uint64_t elapsedBits = 0;
    for (int i = 0; i < 8; ++i)
        elapsedBits = (elapsedBits << 8) | input.byte();
    const QByteArray initialReply = input.piece();
    const QByteArray finalReply = input.rest();

    const bool finishedByFlag = (settings & 1u) != 0;
    const float diameter = ringDiameter((settings >> 1) & 15);
    const QLocale &locale = fuzz::locale(static_cast<std::uint8_t>((settings >> 5) & 3));

    // The progress position never goes negative and follows elapsed / 100 where that fits.
    const auto elapsed = static_cast<std::int64_t>(elapsedBits);
    const int position = selfCalProgressPosition(elapsed);
    FUZZ_CHECK(position >= 0);
    if (elapsed >= 0 && elapsed <= 1'000'000'000)
        FUZZ_CHECK(position == static_cast<int>(std::lrint(static_cast<double>(elapsed) / 100.0)));
    FUZZ_CHECK(selfCalWaitExpired(position, 40) == (position > 440));

    // The text shown while the calibration runs.
    const SelfCalStatus initial = decodeSelfCalStatus(initialReply);
    FUZZ_CHECK(initial.complete == (initialReply.size() >= 8));
    FUZZ_CHECK(selfCalInitialText(initialReply)
               == QStringLiteral("Counter: ") + (initial.complete ? QString::number(initial.counter) : QString()));

    // A status counts only once a plausible reply agrees with the plausible reply before it;
    // the final reply as a run of 8-byte reads (the last read shorter).
    SelfCalStatusConfirmation reads(initialReply);
    QByteArray lastPlausible = selfCalStatusPlausible(initialReply) ? initialReply : QByteArray();
    for (qsizetype from = 0; from < finalReply.size(); from += 8) {
        const QByteArray read = finalReply.mid(from, 8);
        const std::optional<QByteArray> confirmed = reads.take(read);
        const bool plausible = selfCalStatusPlausible(read);
        FUZZ_CHECK(plausible == (read.size() == 8 && (at(read, 1) & 0x80) == 0));
        FUZZ_CHECK(confirmed.has_value() == (plausible && read == lastPlausible));
        if (plausible)
            lastPlausible = read;
        FUZZ_CHECK(reads.lastPlausible() == lastPlausible);
    }

    // The finished flag compares whole replies, length included.
    FUZZ_CHECK(selfCalStatusChanged(initialReply, finalReply) == (initialReply != finalReply));
    FUZZ_CHECK(!selfCalStatusChanged(finalReply, finalReply));
    const bool finished = finishedByFlag || selfCalStatusChanged(initialReply, finalReply);

    const SelfCalStatus status = decodeSelfCalStatus(finalReply);
    FUZZ_CHECK(status.complete == (finalReply.size() >= 8));
    FUZZ_CHECK(status.counter >= 0 && status.counter <= 3);
    if (status.complete) {
        const std::uint8_t flags = at(finalReply, 1);
        FUZZ_CHECK(status.counter == (flags & 3));
        FUZZ_CHECK(status.timeoutExpired == ((flags & 0x04) != 0) && status.outOfRange == ((flags & 0x08) != 0)
                   && status.arcOutOfRange == ((flags & 0x10) != 0) && status.noCorrection == ((flags & 0x20) != 0)
                   && status.userErrorMap == ((flags & 0x40) != 0));
        FUZZ_CHECK(status.eccentricityUm == ((at(finalReply, 2) << 8) | at(finalReply, 3)));
        FUZZ_CHECK(status.eccentricityAngleDeg == ((at(finalReply, 4) << 8) | at(finalReply, 5)));
        FUZZ_CHECK(status.radialShiftUm == static_cast<std::int16_t>((at(finalReply, 6) << 8) | at(finalReply, 7)));
    }

    // The wait's limit in seconds, as the spin edit allows it (1 to 40).
    const int timeoutSeconds = 1 + static_cast<int>(elapsedBits % 40);
    const SelfCalOutcome outcome = selfCalOutcome(finalReply, finished, timeoutSeconds, diameter, locale);
    const SelfCalLamps &lamps = outcome.lamps;
    const bool successful = finished && !status.anyFlagSet();
    FUZZ_CHECK(lamps.finished == (finished ? SelfCalLamps::DarkGreen : SelfCalLamps::Off));
    FUZZ_CHECK(oneOf(lamps.timeoutExpired, SelfCalLamps::Red) && oneOf(lamps.outOfRange, SelfCalLamps::Red)
               && oneOf(lamps.arcOutOfRange, SelfCalLamps::Red) && oneOf(lamps.noCorrection, SelfCalLamps::Orange)
               && oneOf(lamps.userErrorMap, SelfCalLamps::Green));
    FUZZ_CHECK(lamps.successful == (successful ? SelfCalLamps::Green : SelfCalLamps::Off));
    FUZZ_CHECK(outcome.progress == (successful ? 100 : 0));

    const SelfCalAccuracy accuracy = selfCalAccuracy(status.eccentricityUm, diameter, status.noCorrection);
    FUZZ_CHECK(std::isfinite(accuracy.before) && std::isfinite(accuracy.after));
    FUZZ_CHECK(accuracy.before >= 0.015f && accuracy.before < 90.1f);
    FUZZ_CHECK(accuracy.after >= 0.015f && accuracy.after <= accuracy.before);
    FUZZ_CHECK(!status.noCorrection || accuracy.after == accuracy.before);

    // Six lines, the last without a line end, numbers as decoded; a run that did not finish says
    // so in a line above them.
    QStringList lines = outcome.report.split(QStringLiteral("\r\n"));
    if (!finished) {
        FUZZ_CHECK(!lines.isEmpty() && lines.first() == selfCalNotFinishedLine(timeoutSeconds, locale));
        lines.removeFirst();
    }
    FUZZ_CHECK(lines.size() == 6);
    FUZZ_CHECK(lines[0] == QStringLiteral("Counter: ") + QString::number(status.counter));
    FUZZ_CHECK(lines[1] == QStringLiteral("Ring eccentricity: ") + QString::number(status.eccentricityUm) + QStringLiteral(" µm"));
    FUZZ_CHECK(lines[2] == QStringLiteral("Eccentricity angle: ") + QString::number(status.eccentricityAngleDeg) + QStringLiteral(" deg"));
    FUZZ_CHECK(lines[3] == QStringLiteral("Readhead radial shift: ") + QString::number(status.radialShiftUm) + QStringLiteral(" µm"));
    FUZZ_CHECK(lines[4].startsWith(QStringLiteral("Est. accuracy before calib.: ±")));
    FUZZ_CHECK(lines[5].startsWith(QStringLiteral("Est. accuracy after calib.: ±")));
    FUZZ_CHECK(std::fabs(accuracyShown(lines[4], locale) - double{accuracy.before}) <= 0.0005 + 1e-6);
    FUZZ_CHECK(std::fabs(accuracyShown(lines[5], locale) - double{accuracy.after}) <= 0.0005 + 1e-6);
    return 0;
}
