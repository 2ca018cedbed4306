// SPDX-License-Identifier: MIT
#include "reply_arrival.h"

#include <gtest/gtest.h>

namespace serial {
namespace {

const QByteArray kPosition = QByteArrayLiteral("1");
const QByteArray kStatus = QByteArrayLiteral("d");

TEST(ReplyArrival, LearnsEachRequestsLeadAndExpectsItsReplyAfterItsLineTime)
{
    ReplyArrival arrival;
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), std::nullopt);

    // Six bytes take 520 us at 115200 baud: the reply began 1480 us after the request.
    arrival.noteWhole(kPosition, 6, 115200, 2000, false);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), 2000);
    // A longer reply to the same request: the same lead, a longer line time.
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 8, 115200), 1480 + 694);
    // Another request has not been learnt.
    EXPECT_EQ(arrival.expectedWholeUs(kStatus, 6, 115200), std::nullopt);

    // Found whole at the first look: the lead creeps towards a faster link.
    arrival.noteWhole(kPosition, 6, 115200, 2000, true);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), 2000 - ReplyArrival::DriftUs);

    // Not whole at the first look: the lead moves towards when it was found, by at most a
    // millisecond at a time (a quarter of the lead when that is more).
    arrival.noteWhole(kPosition, 6, 115200, 2400, false);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), 2400);
    arrival.noteWhole(kPosition, 6, 115200, 9000, false);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), 2400 + ReplyArrival::MostRiseUs);

    // A reply that never came: its lead is not known any more.
    arrival.noteWhole(kStatus, 8, 115200, 2500, false);
    arrival.noteMissing(kPosition);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), std::nullopt);
    EXPECT_EQ(arrival.expectedWholeUs(kStatus, 8, 115200), 2500);
}

TEST(ReplyArrival, LeadsBelongToOneRateAndStayWithinBounds)
{
    ReplyArrival arrival;
    arrival.noteWhole(kPosition, 6, 115200, 2000, false);
    // Line times are another rate's: nothing is known there, and learning there starts afresh.
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 9600), std::nullopt);
    arrival.noteWhole(kStatus, 6, 9600, 9000, false);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 115200), std::nullopt);
    EXPECT_EQ(arrival.expectedWholeUs(kStatus, 6, 9600), 9000);

    // Found sooner than its line time allows (bytes already waiting): a lead of 0, not less.
    arrival.noteWhole(kPosition, 6, 9600, 100, false);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 9600), lineTimeUs(6, 9600));
    arrival.noteWhole(kPosition, 6, 9600, lineTimeUs(6, 9600), true);
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 9600), lineTimeUs(6, 9600));

    // A reply slower than the longest lead kept is waited for in the driver, as an unknown one.
    const QByteArray slow = QByteArrayLiteral("t");
    arrival.noteWhole(slow, 6, 9600, lineTimeUs(6, 9600) + ReplyArrival::MaxLeadUs + 1, false);
    EXPECT_EQ(arrival.expectedWholeUs(slow, 6, 9600), std::nullopt);

    arrival.forget();
    EXPECT_EQ(arrival.expectedWholeUs(kPosition, 6, 9600), std::nullopt);
}

TEST(ReplyArrival, AFirstReplyHeldUpOnceIsNotWaitedForLong)
{
    // The first reply was found only after 15 ms (the program was held up), though the link
    // answers in about 2 ms: every later reply is whole at the first look.
    ReplyArrival arrival;
    arrival.noteWhole(kPosition, 6, 115200, 15000 + lineTimeUs(6, 115200), false);
    const auto lead = [&] { return *arrival.expectedWholeUs(kPosition, 0, 115200); };
    for (int reply = 1; reply < ReplyArrival::LongRun; ++reply)
        arrival.noteWhole(kPosition, 6, 115200, 0, true);
    EXPECT_EQ(lead(), 15000 - (ReplyArrival::LongRun - 1) * ReplyArrival::DriftUs);
    // From the long run on, a 64th at a time: a few hundred replies, not thousands.
    for (int reply = 0; reply < 200; ++reply)
        arrival.noteWhole(kPosition, 6, 115200, 0, true);
    EXPECT_LT(lead(), 1000);
    // A reply not whole at the first look ends the run: small steps again.
    arrival.noteWhole(kPosition, 6, 115200, 2000 + lineTimeUs(6, 115200), false);
    const qint64 after = lead();
    arrival.noteWhole(kPosition, 6, 115200, 0, true);
    EXPECT_EQ(lead(), after - ReplyArrival::DriftUs);
}

} // namespace
} // namespace serial
