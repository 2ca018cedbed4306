// SPDX-License-Identifier: MIT
// Failures the simulator cannot be made to show at a chosen moment, forced on a scripted port:
// a write that fails in the middle of a poll, and a self-calibration status that never comes.

#include "cli_harness.h"

#include "fake_serial_port.h"
#include "quarn_konstante.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray identificationReply(std::uint8_t minor)
{
    QByteArray reply = QByteArrayLiteral("vQuarn-2 000042") + QByteArray(3, ' ')
                       + QByteArrayLiteral("QX105---18M-----") + QByteArray(1, ' ');
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>(minor));
    reply.append(static_cast<char>(1));
    reply.append(QByteArray::fromHex("00000004"));
    return reply;
}

// An encoder on a scripted port: identification, position replies ("1": 1000 counts, turn 2),
// and no answer to anything else.
std::unique_ptr<serial::FakeSerialPort> scriptedEncoder()
{
    auto port = std::make_unique<serial::FakeSerialPort>();
    port->setResponder([](const QByteArray &request) {
        QList<serial::FakeReplyChunk> reply;
        if (request == "v")
            reply.append({0, identificationReply(9)});
        else if (request == "1")
            reply.append({0, QByteArray::fromHex("31") + QByteArray::fromHex("0002") + QByteArray::fromHex("00FA02")});
        return reply;
    });
    return port;
}

class ForcedFaultsTest : public ::testing::Test {
protected:
    CliResult run(const QStringList &arguments, std::unique_ptr<serial::FakeSerialPort> port)
    {
        record = port->sharedRecord();
        fake = port.get();
        auto handedOut = std::make_shared<std::unique_ptr<serial::FakeSerialPort>>(std::move(port));
        CliHarness cli;
        cli.makePort = [handedOut]() -> std::unique_ptr<serial::SerialPort> { return std::move(*handedOut); };
        return cli.run(arguments + QStringList{QStringLiteral("--port"), QStringLiteral("/dev/fake0"),
                                               QStringLiteral("--baud"), QStringLiteral("115200")});
    }

    serial::FakeSerialPort *fake = nullptr;
    std::shared_ptr<const serial::FakePortRecord> record;
};

TEST_F(ForcedFaultsTest, AWriteFailingMidPollEndsWithCableDisconnectedAndTheReadingsSoFar)
{
    auto port = scriptedEncoder();
    // "v", then three readings; the fourth request's byte fails.
    port->failWriteAt(4);
    const CliResult result = run({QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("1"),
                                  QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--json")},
                                 std::move(port));
    EXPECT_EQ(result.exitCode, 1);
    const QList<QJsonObject> readings = result.jsonLines();
    ASSERT_EQ(readings.size(), 3);
    for (const QJsonObject &reading : readings) {
        EXPECT_EQ(reading[u"counts"].toInt(), 1000); // FA02 >> 6 = 1000
        EXPECT_EQ(reading[u"turns"].toInt(), 2);
    }
    ASSERT_EQ(result.errLines().size(), 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("trevisor-cli: Cable disconnected! \"1\" could not be written to /dev/fake0")))
        << result.err.toStdString();
    // The port is released at once; nothing is tried on it afterwards.
    EXPECT_EQ(record->events.last(), QStringLiteral("close"));
    EXPECT_EQ(record->writes.size(), 5);
}

TEST_F(ForcedFaultsTest, AStatusThatNeverComesStopsTheSelfCalibrationBeforeItsStart)
{
    const CliResult result = run({QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("300")},
                                 scriptedEncoder());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_TRUE(result.err.contains(QStringLiteral("no reply to \"i\" within 300 ms")));
    EXPECT_TRUE(result.errLines().last().endsWith(QStringLiteral("Command \"i\" failed!")));
    // Arc and timeout went out, the start did not.
    const QByteArray written = record->written();
    EXPECT_TRUE(written.contains(quarn::selfCalArcRequest(300)));
    EXPECT_TRUE(written.contains(quarn::selfCalTimeoutRequest(10)));
    EXPECT_FALSE(written.contains(quarn::selfCalStartRequest()));
}

} // namespace
