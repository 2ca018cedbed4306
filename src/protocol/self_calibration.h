// SPDX-License-Identifier: MIT
#pragma once

// Self-calibration: the timeout rule, the status reply, the wait's arithmetic, and what the
// window shows when a run ends (lamps, report text, progress).

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace quarn {

// The timeout sent to the encoder: 0 or more than 40 seconds becomes 40, and the spin edit
// must then show 40 as well.
struct SelfCalTimeout {
    int seconds = 40;
    bool setSpinEdit = false;
};
SelfCalTimeout selfCalTimeoutValue(int spinValue);

// Only firmware core 2.9 and later knows the timeout request.
bool timeoutRequestApplies(int major, int minor);

// The seconds the wait uses when no timeout request is sent.
inline constexpr int DefaultSelfCalTimeoutSeconds = 10;

// The 8-byte reply to "i".
struct SelfCalStatus {
    bool complete = false;       // all 8 bytes were present; missing bytes decode as 0
    int counter = 0;             // byte 1, bits 0-1
    bool timeoutExpired = false; // bit 2
    bool outOfRange = false;     // bit 3
    bool arcOutOfRange = false;  // bit 4
    bool noCorrection = false;   // bit 5
    bool userErrorMap = false;   // bit 6, informative only
    std::uint16_t eccentricityUm = 0;
    std::uint16_t eccentricityAngleDeg = 0;
    std::int16_t radialShiftUm = 0;

    // Bits 2 to 5: any of them means the calibration did not succeed.
    bool anyFlagSet() const { return timeoutExpired || outOfRange || arcOutOfRange || noCorrection; }
};

// Decodes the first 8 bytes of the reply. A shorter reply decodes as if the missing bytes were
// zero and is marked incomplete.
SelfCalStatus decodeSelfCalStatus(const QByteArray &reply);

// The progress bar's position for the time since the start: elapsed / 100, ties to even.
// Negative elapsed times count as 0.
int selfCalProgressPosition(std::int64_t elapsedMs);

// The wait gives up at the first check whose position exceeds 1.1 × the timeout in seconds.
bool selfCalWaitExpired(int progressPosition, int timeoutSeconds);

// The finished flag: the status differs from the one read before the start (length included).
// Both must be confirmed statuses (below): a spoilt reply differs from everything.
bool selfCalStatusChanged(const QByteArray &initialReply, const QByteArray &currentReply);

// A status reply that looks like one: exactly 8 bytes (nothing more came on the line) and the
// unused bit 7 of byte 1 clear. Byte 0 is not used and not judged.
bool selfCalStatusPlausible(const QByteArray &reply);

// How many status requests a run spends on each status it must be sure of (the one before the
// start, the final one) before it gives up: two agreeing replies are needed, so one spoilt or
// missing reply on the way is tolerated, and up to two of them.
inline constexpr int SelfCalStatusReadAttempts = 4;

// What the encoder's status really is, from a run of status reads: a status counts once a
// plausible reply agrees with the plausible reply before it. Replies that fail or are not
// plausible are passed over (they neither confirm nor break a pair); a single spoilt reply
// then never decides anything, since random bytes do not agree with the reply before them.
class SelfCalStatusConfirmation {
public:
    SelfCalStatusConfirmation() = default;
    // Goes on from a reply read before: when it was plausible, one agreeing reply confirms it.
    explicit SelfCalStatusConfirmation(const QByteArray &lastRead);

    // Takes one read: the reply, or an empty array when the read failed. Gives the status once
    // confirmed, nothing while it is not.
    std::optional<QByteArray> take(const QByteArray &reply);

    // The last plausible reply taken (empty before the first).
    const QByteArray &lastPlausible() const { return last_; }

private:
    QByteArray last_;
};

// Lamp colours (24-bit, red in the low byte).
struct SelfCalLamps {
    static constexpr std::uint32_t Off = 8421504;       // grey
    static constexpr std::uint32_t DarkGreen = 32768;
    static constexpr std::uint32_t Red = 255;
    static constexpr std::uint32_t Orange = 43775;
    static constexpr std::uint32_t Green = 65280;

    std::uint32_t finished = Off;
    std::uint32_t timeoutExpired = Off;
    std::uint32_t outOfRange = Off;
    std::uint32_t arcOutOfRange = Off;
    std::uint32_t noCorrection = Off;
    std::uint32_t userErrorMap = Off;
    std::uint32_t successful = Off;

    // Every lamp in one colour: nothing known (no encoder), or nothing lit.
    static constexpr SelfCalLamps all(std::uint32_t colour)
    {
        return {colour, colour, colour, colour, colour, colour, colour};
    }
};
SelfCalLamps selfCalLamps(const SelfCalStatus &finalStatus, bool finished);

// Estimated accuracy in degrees before and after calibration, in single precision.
struct SelfCalAccuracy {
    float before = 0.0f;
    float after = 0.0f;
};
SelfCalAccuracy selfCalAccuracy(std::uint16_t eccentricityUm, float ringDiameterMm, bool noCorrection);

// "Counter: " and the counter of the status read before the start; just "Counter: " when that
// read brought no complete status (no port open).
QString selfCalInitialText(const QByteArray &initialReply);

// The six-line report of the final status (lines joined with CR LF, the last without).
QString selfCalReportText(const SelfCalStatus &finalStatus, float ringDiameterMm, const QLocale &locale);

// "Calibration did not finish within 11 s": the wait's limit, 1.1 × the timeout, in seconds.
QString selfCalNotFinishedLine(int timeoutSeconds, const QLocale &locale);

// The report of a run: the six lines of the final status, led by the not-finished line when the
// status never changed within the wait. The figures are then the encoder's unchanged status,
// often an earlier calibration's, and must not read as this run's result.
QString selfCalRunReport(const SelfCalStatus &finalStatus, bool finished, int timeoutSeconds,
                         float ringDiameterMm, const QLocale &locale);

// 100 when the status changed and no flag (bits 2 to 5) is set, otherwise 0.
int selfCalFinalProgress(const SelfCalStatus &finalStatus, bool finished);

// Everything the window shows at the end of a run, from the final reply; `timeoutSeconds` is
// the timeout the run's wait used.
struct SelfCalOutcome {
    SelfCalLamps lamps;
    QString report;
    int progress = 0;
};
SelfCalOutcome selfCalOutcome(const QByteArray &finalReply, bool finished, int timeoutSeconds,
                              float ringDiameterMm, const QLocale &locale);

} // namespace quarn
