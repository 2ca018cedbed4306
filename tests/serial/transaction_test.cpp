// SPDX-License-Identifier: MIT
#include "fake_serial_port.h"
#include "transaction.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace serial {
namespace {

const QByteArray kRequest = QByteArrayLiteral("\x5e\x1a\xc3\x77v");

struct Timed {
    TransactionResult result;
    qint64 elapsedMs;
};

Timed timedTransaction(SerialPort *port, const QByteArray &request, qint32 expected,
                       QByteArray &reply)
{
    QElapsedTimer clock;
    clock.start();
    const TransactionResult result = runTransaction(port, request, expected, reply);
    return {result, clock.elapsed()};
}

TEST(Transaction, WithoutAnOpenPortNothingIsSentAndTheReplyIsKept)
{
    QByteArray reply = QByteArrayLiteral("before");
    EXPECT_EQ(runTransaction(nullptr, kRequest, 3, reply), TransactionResult::NoPort);
    EXPECT_EQ(reply, QByteArrayLiteral("before"));

    FakeSerialPort closed;
    closed.queueReply(QByteArrayLiteral("abc"));
    EXPECT_EQ(runTransaction(&closed, kRequest, 3, reply), TransactionResult::NoPort);
    EXPECT_EQ(reply, QByteArrayLiteral("before"));
    EXPECT_TRUE(closed.record().events.isEmpty());
}

TEST(Transaction, RepliesAgainstTheExpectedLength)
{
    struct Case {
        const char *name;
        QList<FakeReplyChunk> chunks;
        qint32 expected;
        TransactionResult result;
        QByteArray reply;
    };
    const Case cases[] = {
        {"exact", {{5, "abc"}}, 3, TransactionResult::Complete, "abc"},
        {"surplus taken in one read", {{5, "abcde"}}, 3, TransactionResult::Complete, "abcde"},
        {"in chunks", {{5, "ab"}, {20, "c"}}, 3, TransactionResult::Complete, "abc"},
        {"half", {{5, "ab"}}, 4, TransactionResult::Incomplete, "ab"},
        {"silence", {}, 4, TransactionResult::Incomplete, ""},
        {"too late", {{400, "abcd"}}, 4, TransactionResult::Incomplete, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSerialPort port(true);
        port.queueReply(c.chunks);
        QByteArray reply = QByteArrayLiteral("stale");
        EXPECT_EQ(runTransaction(&port, kRequest, c.expected, reply), c.result);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(port.record().written(), kRequest);
    }
}

TEST(Transaction, ExpectedLengthZeroCompletesAfterOneQuery)
{
    FakeSerialPort port(true);
    port.queueReply(QByteArrayLiteral("late"), 50);
    QByteArray reply = QByteArrayLiteral("old");
    EXPECT_EQ(runTransaction(&port, QByteArrayLiteral("s"), 0, reply), TransactionResult::Complete);
    EXPECT_EQ(port.record().inputQueries, 1);
    EXPECT_EQ(port.record().waits, 0);
    EXPECT_TRUE(reply.isEmpty());
}

TEST(Transaction, SilenceEndsJustAfterTheWindow)
{
    FakeSerialPort port(true);
    QByteArray reply;
    const Timed t = timedTransaction(&port, QByteArrayLiteral("1"), 4, reply);
    EXPECT_EQ(t.result, TransactionResult::Incomplete);
    EXPECT_GT(t.elapsedMs, 300);
    EXPECT_LT(t.elapsedMs, 400);
    // Blocked in the port rather than spinning on the count.
    EXPECT_LE(port.record().inputQueries, 5);
}

TEST(Transaction, AReplyIsTakenTheMomentItIsComplete)
{
    FakeSerialPort port(true);
    port.queueReply({{30, "ab"}, {60, "cd"}});
    QByteArray reply;
    const Timed t = timedTransaction(&port, QByteArrayLiteral("1"), 4, reply);
    EXPECT_EQ(t.result, TransactionResult::Complete);
    EXPECT_EQ(reply, QByteArrayLiteral("abcd"));
    EXPECT_GE(t.elapsedMs, 60);
    EXPECT_LT(t.elapsedMs, 120);
    EXPECT_LE(port.record().inputQueries, 5);
}

TEST(Transaction, AReplyCompletedInTheLastMomentsCounts)
{
    FakeSerialPort port(true);
    port.queueReply({{5, "ab"}, {297, "cd"}});
    QByteArray reply;
    const Timed t = timedTransaction(&port, QByteArrayLiteral("1"), 4, reply);
    EXPECT_EQ(t.result, TransactionResult::Complete);
    EXPECT_EQ(reply, QByteArrayLiteral("abcd"));
    EXPECT_LT(t.elapsedMs, 330);
}

TEST(Transaction, AFlowingReplySleepsOutItsLineTimeAndAStalledOneBlocksAgain)
{
    // At 9600 baud the 20 missing bytes need about 21 ms on the line: one sleep, not 20 wakes.
    FakeSerialPort flowing(true);
    flowing.configure(9600);
    QList<FakeReplyChunk> bytewise;
    for (int i = 0; i < 21; ++i)
        bytewise.append({5 + i, QByteArray(1, static_cast<char>('a' + i))});
    flowing.queueReply(bytewise);
    QByteArray reply;
    Timed t = timedTransaction(&flowing, QByteArrayLiteral("1"), 21, reply);
    EXPECT_EQ(t.result, TransactionResult::Complete);
    EXPECT_EQ(reply.size(), 21);
    EXPECT_LT(t.elapsedMs, 60);
    EXPECT_LE(flowing.record().inputQueries, 8);

    // Half a reply and then nothing: back to blocking waits until the window ends.
    FakeSerialPort stalled(true);
    stalled.configure(115200);
    stalled.queueReply(QByteArrayLiteral("ab"), 5);
    t = timedTransaction(&stalled, QByteArrayLiteral("1"), 40, reply);
    EXPECT_EQ(t.result, TransactionResult::Incomplete);
    EXPECT_EQ(reply, QByteArrayLiteral("ab"));
    EXPECT_GT(t.elapsedMs, 300);
    EXPECT_LE(stalled.record().inputQueries, 8);
}

TEST(Transaction, ARequestWhoseRepliesCameByAKnownTimeSleepsUntilThenAndLooksOnce)
{
    // The reply's first bytes a millisecond before its last.
    FakeSerialPort port(true);
    port.configure(115200);
    int lastMs = 9;
    port.setResponder([&lastMs](const QByteArray &) {
        return QList<FakeReplyChunk>{{lastMs - 1, "abc"}, {lastMs, "def"}};
    });
    const QByteArray request = QByteArrayLiteral("1");
    QByteArray reply;
    struct Step {
        int replyWholeAtMs;
        TransactionResult result;
        bool waitsInTheDriver;
    };
    const auto exchange = [&](const Step &step) {
        lastMs = step.replyWholeAtMs;
        const int waitsBefore = port.record().waits;
        const int queriesBefore = port.record().inputQueries;
        const Timed t = timedTransaction(&port, request, 6, reply);
        EXPECT_EQ(t.result, step.result);
        const bool waited = port.record().waits > waitsBefore;
        EXPECT_EQ(waited, step.waitsInTheDriver);
        if (step.result != TransactionResult::Complete)
            return waited;
        EXPECT_EQ(reply, QByteArrayLiteral("abcdef"));
        // Never before the reply is whole, and not long after it was due.
        EXPECT_GE(t.elapsedMs, step.replyWholeAtMs);
        EXPECT_LT(t.elapsedMs, std::max(step.replyWholeAtMs, 20) + 15);
        if (!step.waitsInTheDriver) {
            EXPECT_EQ(port.record().inputQueries - queriesBefore, 1);
        }
        return waited;
    };
    {
        SCOPED_TRACE("unknown: waits for the first byte");
        exchange({9, TransactionResult::Complete, true});
    }
    // Replies that come a little sooner than the first are whole at the first look, whatever
    // the machine's load did to the first.
    for (int again = 0; again < 3; ++again) {
        SCOPED_TRACE("learnt");
        exchange({7, TransactionResult::Complete, false});
    }
    {
        // Much slower: the lead follows a step at a time, each exchange whole all the same.
        SCOPED_TRACE("slower");
        int waited = 0;
        lastMs = 20;
        while (waited < 8) {
            const int waitsBefore = port.record().waits;
            const int queriesBefore = port.record().inputQueries;
            ASSERT_EQ(runTransaction(&port, request, 6, reply), TransactionResult::Complete);
            // Whole at the one look: the lead has caught up.
            if (port.record().waits == waitsBefore && port.record().inputQueries - queriesBefore == 1)
                break;
            ++waited;
        }
        EXPECT_GE(waited, 1);
        EXPECT_LE(waited, 6);
    }
    {
        SCOPED_TRACE("slower, learnt");
        exchange({18, TransactionResult::Complete, false});
    }
    {
        SCOPED_TRACE("faster: taken when it was due");
        exchange({5, TransactionResult::Complete, false});
    }
    {
        SCOPED_TRACE("silent: forgotten");
        exchange({400, TransactionResult::Incomplete, true});
    }
    {
        SCOPED_TRACE("unknown again");
        exchange({9, TransactionResult::Complete, true});
    }
}

TEST(Transaction, APortThatWillNotWaitDoesNotMakeTheLoopSpin)
{
    FakeSerialPort port(true);
    port.setWaitReturnsAtOnce(true);
    QByteArray reply;
    const Timed t = timedTransaction(&port, QByteArrayLiteral("1"), 4, reply);
    EXPECT_EQ(t.result, TransactionResult::Incomplete);
    EXPECT_GT(t.elapsedMs, 300);
    EXPECT_LT(t.elapsedMs, 400);
    // At most about one pass per millisecond of the window.
    EXPECT_LE(port.record().inputQueries, 350);
}

TEST(Transaction, OnlyTheLastByteDecidesTheSend)
{
    {
        SCOPED_TRACE("an earlier byte fails");
        FakeSerialPort port(true);
        port.failWriteAt(1);
        port.queueReply(QByteArrayLiteral("ok"));
        QByteArray reply;
        EXPECT_EQ(runTransaction(&port, kRequest, 2, reply), TransactionResult::Complete);
        EXPECT_EQ(reply, QByteArrayLiteral("ok"));
        EXPECT_EQ(port.record().writes.size(), kRequest.size());
    }
    {
        SCOPED_TRACE("the last byte fails");
        FakeSerialPort port(true);
        port.failWriteAt(kRequest.size() - 1);
        port.queueReply(QByteArrayLiteral("ok"));
        QByteArray reply = QByteArrayLiteral("before");
        EXPECT_EQ(runTransaction(&port, kRequest, 2, reply), TransactionResult::WriteFailed);
        EXPECT_EQ(reply, QByteArrayLiteral("before"));
        EXPECT_EQ(port.record().writes.size(), kRequest.size());
        EXPECT_EQ(port.record().inputQueries, 0);
    }
    {
        SCOPED_TRACE("the device vanished");
        FakeSerialPort port(true);
        port.vanish();
        QByteArray reply = QByteArrayLiteral("before");
        EXPECT_EQ(runTransaction(&port, kRequest, 2, reply), TransactionResult::WriteFailed);
        EXPECT_EQ(reply, QByteArrayLiteral("before"));
    }
}

TEST(Transaction, PurgesStaleInputBeforeWritingWithGapsBetweenBytes)
{
    FakeSerialPort port(true);
    port.addInput(QByteArrayLiteral("stale"));
    port.queueReply(QByteArrayLiteral("new"));
    QByteArray reply;
    EXPECT_EQ(runTransaction(&port, kRequest, 3, reply), TransactionResult::Complete);
    EXPECT_EQ(reply, QByteArrayLiteral("new"));

    const FakePortRecord &record = port.record();
    ASSERT_FALSE(record.events.isEmpty());
    EXPECT_EQ(record.events.first(), QStringLiteral("purge"));
    EXPECT_EQ(record.events.count(QStringLiteral("purge")), 1);
    ASSERT_EQ(record.writes.size(), kRequest.size());
    for (qsizetype i = 1; i < record.writes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(record.writes[i].atMs - record.writes[i - 1].atMs, 2.0);
    }
}

} // namespace
} // namespace serial
