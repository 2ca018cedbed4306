// SPDX-License-Identifier: MIT
#include "self_calibration.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace quarn;

namespace {

// An 8-byte status reply with the given flag byte and fields.
QByteArray statusReply(std::uint8_t flags, std::uint16_t ecc = 0, std::uint16_t angle = 0,
                       std::uint16_t shift = 0)
{
    QByteArray reply(8, '\0');
    reply[0] = 'i';
    reply[1] = static_cast<char>(flags);
    reply[2] = static_cast<char>(ecc >> 8);
    reply[3] = static_cast<char>(ecc & 0xFF);
    reply[4] = static_cast<char>(angle >> 8);
    reply[5] = static_cast<char>(angle & 0xFF);
    reply[6] = static_cast<char>(shift >> 8);
    reply[7] = static_cast<char>(shift & 0xFF);
    return reply;
}

QStringList reportLines(const QString &report)
{
    return report.split(QStringLiteral("\r\n"));
}

} // namespace

TEST(SelfCalTimeout, ClampsZeroAndAboveFortyAndSaysSo)
{
    struct Row {
        int spin;
        int seconds;
        bool setSpin;
    };
    const Row rows[] = {{0, 40, true}, {41, 40, true}, {255, 40, true},
                        {1, 1, false}, {40, 40, false}, {10, 10, false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.spin);
        const SelfCalTimeout timeout = selfCalTimeoutValue(row.spin);
        EXPECT_EQ(timeout.seconds, row.seconds);
        EXPECT_EQ(timeout.setSpinEdit, row.setSpin);
    }
}

TEST(SelfCalTimeout, RequestOnlyForCoreTwoNineAndLater)
{
    EXPECT_TRUE(timeoutRequestApplies(2, 9));
    EXPECT_TRUE(timeoutRequestApplies(2, 12));
    EXPECT_FALSE(timeoutRequestApplies(2, 8));
    EXPECT_FALSE(timeoutRequestApplies(3, 0));
    EXPECT_FALSE(timeoutRequestApplies(3, 9));
    EXPECT_FALSE(timeoutRequestApplies(1, 9));
}

TEST(SelfCalStatusDecoding, FieldsAndFlagBits)
{
    const SelfCalStatus status = decodeSelfCalStatus(QByteArray::fromHex("69 7E 01 2C 00 5A FF FE"));
    EXPECT_TRUE(status.complete);
    EXPECT_EQ(status.counter, 2);
    EXPECT_TRUE(status.timeoutExpired);
    EXPECT_TRUE(status.outOfRange);
    EXPECT_TRUE(status.arcOutOfRange);
    EXPECT_TRUE(status.noCorrection);
    EXPECT_TRUE(status.userErrorMap);
    EXPECT_EQ(status.eccentricityUm, 300);
    EXPECT_EQ(status.eccentricityAngleDeg, 90);
    EXPECT_EQ(status.radialShiftUm, -2);

    // Bit 7 and byte 0 mean nothing; bit 6 alone is not a flag of the set.
    const SelfCalStatus userMapOnly = decodeSelfCalStatus(statusReply(0xC3, 0xFFFF, 359, 0x7FFF));
    EXPECT_EQ(userMapOnly.counter, 3);
    EXPECT_TRUE(userMapOnly.userErrorMap);
    EXPECT_FALSE(userMapOnly.anyFlagSet());
    EXPECT_EQ(userMapOnly.eccentricityUm, 65535);
    EXPECT_EQ(userMapOnly.radialShiftUm, 32767);

    for (int bit = 2; bit <= 5; ++bit) {
        SCOPED_TRACE(bit);
        EXPECT_TRUE(decodeSelfCalStatus(statusReply(static_cast<std::uint8_t>(1u << bit))).anyFlagSet());
    }
}

TEST(SelfCalStatusDecoding, ShortReplyReadsMissingBytesAsZero)
{
    const SelfCalStatus empty = decodeSelfCalStatus({});
    EXPECT_FALSE(empty.complete);
    EXPECT_EQ(empty.counter, 0);
    EXPECT_EQ(empty.eccentricityUm, 0);

    const SelfCalStatus partial = decodeSelfCalStatus(QByteArray::fromHex("69 21 01"));
    EXPECT_FALSE(partial.complete);
    EXPECT_EQ(partial.counter, 1);
    EXPECT_TRUE(partial.noCorrection);
    EXPECT_EQ(partial.eccentricityUm, 256);
    EXPECT_EQ(partial.eccentricityAngleDeg, 0);
    EXPECT_EQ(partial.radialShiftUm, 0);

    // A longer reply is decoded from its first 8 bytes.
    const SelfCalStatus longer = decodeSelfCalStatus(statusReply(0x01, 5, 6, 7) + QByteArray("xyz"));
    EXPECT_TRUE(longer.complete);
    EXPECT_EQ(longer.radialShiftUm, 7);
}

TEST(SelfCalWait, ProgressRoundsHalvesToEvenAndEndsAfterElevenTenthsOfTimeout)
{
    struct Row {
        std::int64_t elapsed;
        int position;
    };
    const Row rows[] = {{0, 0},       {49, 0},      {50, 0},      {51, 1},     {150, 2},
                        {250, 2},     {11049, 110}, {11050, 110}, {11051, 111}, {11150, 112},
                        {-20, 0},     {44050, 440}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.elapsed);
        EXPECT_EQ(selfCalProgressPosition(row.elapsed), row.position);
    }
    EXPECT_FALSE(selfCalWaitExpired(110, 10));
    EXPECT_TRUE(selfCalWaitExpired(111, 10));
    EXPECT_FALSE(selfCalWaitExpired(440, 40));
    EXPECT_TRUE(selfCalWaitExpired(441, 40));
    EXPECT_TRUE(selfCalWaitExpired(12, 1));
}

TEST(SelfCalWait, AnyDifferenceCountsAsFinished)
{
    const QByteArray initial = statusReply(0x01, 10, 20, 30);
    EXPECT_FALSE(selfCalStatusChanged(initial, statusReply(0x01, 10, 20, 30)));
    EXPECT_TRUE(selfCalStatusChanged(initial, statusReply(0x01, 10, 20, 31)));
    EXPECT_TRUE(selfCalStatusChanged(initial, statusReply(0x01, 10, 20, 30) + '\0'));
    EXPECT_TRUE(selfCalStatusChanged(QByteArray(), initial));
}

TEST(SelfCalStatusConfirmation, OnlyTwoAgreeingPlausibleRepliesDecide)
{
    const QByteArray before = statusReply(0x01, 10, 20, 30);
    const QByteArray after = statusReply(0x02, 12, 137, 0xFFFD);
    QByteArray wrongBit = after;
    wrongBit[1] = static_cast<char>(0x82); // the unused bit 7 set
    const QByteArray noise = QByteArray::fromHex("3F7A11C2095E0D44");
    const QByteArray failed;                  // a read that brought too little
    const QByteArray truncated = after.left(7);
    const QByteArray surplus = after + 'x';

    EXPECT_TRUE(selfCalStatusPlausible(before));
    for (const QByteArray &spoilt : {wrongBit, failed, truncated, surplus})
        EXPECT_FALSE(selfCalStatusPlausible(spoilt)) << spoilt.toHex().toStdString();

    struct Case {
        const char *what;
        std::vector<QByteArray> reads;
        std::optional<QByteArray> confirmed; // after the last read
    };
    const Case cases[] = {
        {"two agreeing", {before, before}, before},
        {"a single reply", {after}, std::nullopt},
        {"a change, not yet agreed", {before, before, after}, std::nullopt},
        {"a change agreed", {before, after, after}, after},
        {"random bytes between two agreeing", {after, noise, after}, std::nullopt},
        {"a failed read between two agreeing", {after, failed, after}, after},
        {"a spoilt copy between two agreeing", {after, wrongBit, truncated, surplus, after}, after},
        {"the same spoilt reply twice", {wrongBit, wrongBit}, std::nullopt},
        {"truncated replies twice", {truncated, truncated}, std::nullopt},
        {"noise, then two agreeing", {noise, before, before}, before},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SelfCalStatusConfirmation reads;
        std::optional<QByteArray> confirmed;
        for (const QByteArray &reply : c.reads)
            confirmed = reads.take(reply);
        EXPECT_EQ(confirmed, c.confirmed);
    }

    // Going on from the wait's last plausible reply: one agreeing reply confirms it.
    SelfCalStatusConfirmation fromWait(after);
    EXPECT_EQ(fromWait.take(after), after);
    SelfCalStatusConfirmation fromNoise(noise);
    EXPECT_EQ(fromNoise.take(after), std::nullopt);
    EXPECT_EQ(fromNoise.lastPlausible(), after);
    SelfCalStatusConfirmation fromSpoilt(wrongBit);
    EXPECT_TRUE(fromSpoilt.lastPlausible().isEmpty());
    EXPECT_EQ(fromSpoilt.take(wrongBit), std::nullopt);
}

TEST(SelfCalAccuracyEstimate, KnownRingsAndClamps)
{
    struct Row {
        std::uint16_t ecc;
        float diameter;
        bool noCorrection;
        const char *before;
        const char *after;
    };
    const Row rows[] = {
        {100, 45.8f, false, "0.265", "0.044"},
        {10, 57.3f, false, "0.035", "0.015"},
        {0, 45.8f, false, "0.015", "0.015"},
        {100, 45.8f, true, "0.265", "0.265"},
        {65535, 45.8f, false, "70.754", "11.792"},
        {65535, 1e9f, false, "0.015", "0.015"}, // unknown ring: huge diameter
    };
    const QLocale c = QLocale::c();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.ecc);
        const SelfCalAccuracy accuracy = selfCalAccuracy(row.ecc, row.diameter, row.noCorrection);
        EXPECT_EQ(c.toString(double(accuracy.before), 'f', 3), QString::fromLatin1(row.before));
        EXPECT_EQ(c.toString(double(accuracy.after), 'f', 3), QString::fromLatin1(row.after));
    }
}

TEST(SelfCalAccuracyEstimate, ZeroEccentricityGivesTheFloorInSinglePrecision)
{
    const SelfCalAccuracy accuracy = selfCalAccuracy(0, 45.8f, false);
    EXPECT_EQ(accuracy.before, 0.015f);
    EXPECT_EQ(accuracy.after, 0.015f);
    const SelfCalAccuracy noCorrection = selfCalAccuracy(37, 45.8f, true);
    EXPECT_EQ(noCorrection.after, noCorrection.before);
}

TEST(SelfCalLampsAndProgress, TableOfFinalStates)
{
    constexpr std::uint32_t off = SelfCalLamps::Off;
    struct Row {
        const char *name;
        std::uint8_t flags;
        bool finished;
        SelfCalLamps lamps;
        int progress;
    };
    const Row rows[] = {
        {"success", 0x01, true, {32768, off, off, off, off, off, 65280}, 100},
        {"success with user map", 0x41, true, {32768, off, off, off, off, 65280, 65280}, 100},
        {"no correction only", 0x20, true, {32768, off, off, off, 43775, off, off}, 0},
        {"timeout", 0x04, true, {32768, 255, off, off, off, off, off}, 0},
        {"out of range", 0x08, true, {32768, off, 255, off, off, off, off}, 0},
        {"arc out of range", 0x10, true, {32768, off, off, 255, off, off, off}, 0},
        {"unchanged", 0x00, false, {off, off, off, off, off, off, off}, 0},
        {"unchanged with user map", 0x40, false, {off, off, off, off, off, 65280, off}, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const SelfCalStatus status = decodeSelfCalStatus(statusReply(row.flags));
        const SelfCalLamps lamps = selfCalLamps(status, row.finished);
        EXPECT_EQ(lamps.finished, row.lamps.finished);
        EXPECT_EQ(lamps.timeoutExpired, row.lamps.timeoutExpired);
        EXPECT_EQ(lamps.outOfRange, row.lamps.outOfRange);
        EXPECT_EQ(lamps.arcOutOfRange, row.lamps.arcOutOfRange);
        EXPECT_EQ(lamps.noCorrection, row.lamps.noCorrection);
        EXPECT_EQ(lamps.userErrorMap, row.lamps.userErrorMap);
        EXPECT_EQ(lamps.successful, row.lamps.successful);
        EXPECT_EQ(selfCalFinalProgress(status, row.finished), row.progress);
    }
}

TEST(SelfCalReport, SixLinesInTheLocale)
{
    const SelfCalStatus status = decodeSelfCalStatus(statusReply(0x02, 100, 215, 0xFFFE));
    const QString report = selfCalReportText(status, 45.8f, QLocale::c());
    EXPECT_EQ(report, QStringLiteral("Counter: 2\r\n"
                                     "Ring eccentricity: 100 µm\r\n"
                                     "Eccentricity angle: 215 deg\r\n"
                                     "Readhead radial shift: -2 µm\r\n"
                                     "Est. accuracy before calib.: ±0.265°\r\n"
                                     "Est. accuracy after calib.: ±0.044°"));

    const QStringList german = reportLines(selfCalReportText(status, 45.8f, QLocale(QLocale::German)));
    ASSERT_EQ(german.size(), 6);
    EXPECT_EQ(german[4], QStringLiteral("Est. accuracy before calib.: ±0,265°"));
    EXPECT_EQ(german[5], QStringLiteral("Est. accuracy after calib.: ±0,044°"));

    // No correction necessary: the estimate after equals the one before.
    const QStringList noCorrection =
        reportLines(selfCalReportText(decodeSelfCalStatus(statusReply(0x20, 100)), 45.8f, QLocale::c()));
    ASSERT_EQ(noCorrection.size(), 6);
    EXPECT_EQ(noCorrection[5], QStringLiteral("Est. accuracy after calib.: ±0.265°"));
}

TEST(SelfCalReport, InitialTextWithAndWithoutAStatus)
{
    EXPECT_EQ(selfCalInitialText(statusReply(0x03)), QStringLiteral("Counter: 3"));
    EXPECT_EQ(selfCalInitialText(statusReply(0x7C)), QStringLiteral("Counter: 0"));
    EXPECT_EQ(selfCalInitialText(QByteArray()), QStringLiteral("Counter: "));
    EXPECT_EQ(selfCalInitialText(QByteArray::fromHex("6903")), QStringLiteral("Counter: "));
}

TEST(SelfCalOutcomeOfRun, UnchangedStatusReportsWithGreyLampsUnderTheLineThatItDidNotFinish)
{
    const QByteArray reply = statusReply(0x01, 10, 0, 5);
    const SelfCalOutcome outcome = selfCalOutcome(reply, false, 10, 57.3f, QLocale::c());
    EXPECT_EQ(outcome.lamps.finished, SelfCalLamps::Off);
    EXPECT_EQ(outcome.lamps.successful, SelfCalLamps::Off);
    EXPECT_EQ(outcome.progress, 0);
    const QStringList lines = reportLines(outcome.report);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[0], QStringLiteral("Calibration did not finish within 11 s"));
    EXPECT_EQ(lines[1], QStringLiteral("Counter: 1"));
    EXPECT_EQ(lines[5], QStringLiteral("Est. accuracy before calib.: ±0.035°"));
    EXPECT_EQ(lines[6], QStringLiteral("Est. accuracy after calib.: ±0.015°"));

    // A status that changed is this run's result: the six lines alone.
    const SelfCalOutcome finished = selfCalOutcome(reply, true, 10, 57.3f, QLocale::c());
    EXPECT_EQ(finished.report, selfCalReportText(decodeSelfCalStatus(reply), 57.3f, QLocale::c()));
}

TEST(SelfCalOutcomeOfRun, TheNotFinishedLineGivesTheWaitsLimitInTheLocale)
{
    const struct {
        int timeoutSeconds;
        QLocale locale;
        const char *line;
    } cases[] = {
        {1, QLocale::c(), "Calibration did not finish within 1.1 s"},
        {3, QLocale::c(), "Calibration did not finish within 3.3 s"},
        {10, QLocale::c(), "Calibration did not finish within 11 s"},
        {40, QLocale::c(), "Calibration did not finish within 44 s"},
        {7, QLocale(QLocale::German), "Calibration did not finish within 7,7 s"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(selfCalNotFinishedLine(c.timeoutSeconds, c.locale), QLatin1String(c.line))
            << c.timeoutSeconds;
}
