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
