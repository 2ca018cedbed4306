// SPDX-License-Identifier: MIT
#include "sim_options.h"

#include <gtest/gtest.h>

namespace {

sim::SimOptions parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("quarn2-sim"));
    return sim::parseSimOptions(arguments);
}

TEST(SimOptions, DefaultsAreAMultiturn18BitEncoderWithEveryFeature)
{
    const sim::SimOptions options = parse({});
    ASSERT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    const sim::EncoderConfig &config = options.config;
    EXPECT_EQ(config.baudRate, 115200);
    EXPECT_EQ(config.partNumber, QByteArray("QX105---18M-----"));
    EXPECT_EQ(config.serialNumber, QByteArray("000042"));
    EXPECT_EQ(config.firmware.major, 2);
    EXPECT_GE(config.firmware.minor, 9);
    EXPECT_EQ(config.replyLatencyUs, 1000);
    EXPECT_FALSE(config.faults.errorFlag);
    EXPECT_FALSE(config.faults.silentFromMs.has_value());
    const sim::EncoderGeometry geometry = sim::geometryOf(config.partNumber);
    EXPECT_EQ(geometry.bits, 18);
    EXPECT_TRUE(geometry.multiturn);
    EXPECT_EQ(geometry.codeLength, 8);
}

TEST(SimOptions, ValuesReachTheConfiguration)
{
    const sim::SimOptions options = parse({
        QStringLiteral("--baud"), QStringLiteral("128000"),
        QStringLiteral("--part"), QStringLiteral("QX108---19S"),
        QStringLiteral("--serial"), QStringLiteral("42"),
        QStringLiteral("--firmware"), QStringLiteral("2.8.3.4294967295"),
        QStringLiteral("--speed"), QStringLiteral("-8388608"),
        QStringLiteral("--position"), QStringLiteral("-2713600"),
        QStringLiteral("--status"), QStringLiteral("0x0140"),
        QStringLiteral("--latency"), QStringLiteral("0.5"),
        QStringLiteral("--link"), QStringLiteral("/tmp/q2"),
        QStringLiteral("--log"), QStringLiteral("/tmp/q2.log"),
        QStringLiteral("--selfcal-time"), QStringLiteral("0.25"),
        QStringLiteral("--selfcal-flags"), QStringLiteral("0x20"),
        QStringLiteral("--error-flag"),
        QStringLiteral("--silent-after"), QStringLiteral("3000"),
        QStringLiteral("--garbage-every"), QStringLiteral("5"),
        QStringLiteral("--fault-every"), QStringLiteral("10"),
        QStringLiteral("--noise"),
        QStringLiteral("--verbose"),
    });
    ASSERT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    const sim::EncoderConfig &config = options.config;
    EXPECT_EQ(config.baudRate, 128000);
    EXPECT_EQ(config.partNumber, QByteArray("QX108---19S-----"));
    EXPECT_EQ(config.serialNumber, QByteArray("000042"));
    EXPECT_EQ(config.firmware.minor, 8);
    EXPECT_EQ(config.firmware.protocol, 3);
    EXPECT_EQ(config.firmware.revision, 4294967295u);
    EXPECT_EQ(config.speedCountsPerSecond, -8388608);
    EXPECT_EQ(config.startPosition, -2713600);
    EXPECT_EQ(config.statusWord, 0x0140);
    EXPECT_EQ(config.replyLatencyUs, 500);
    EXPECT_EQ(options.linkPath, QStringLiteral("/tmp/q2"));
    EXPECT_EQ(options.logFile, QStringLiteral("/tmp/q2.log"));
    EXPECT_EQ(config.selfCalibration.durationMs, std::optional<std::int64_t>(250));
    EXPECT_EQ(config.selfCalibration.finalFlags, 0x20);
    EXPECT_TRUE(config.faults.errorFlag);
    EXPECT_EQ(config.faults.silentFromMs, std::optional<std::int64_t>(3000));
    EXPECT_EQ(config.faults.garbageEvery, 5);
    EXPECT_EQ(config.faults.mixedFaultEvery, 10);
    EXPECT_TRUE(config.noise);
    EXPECT_TRUE(options.verbose);

    EXPECT_FALSE(parse({QStringLiteral("--selfcal-time"), QStringLiteral("never")})
                     .config.selfCalibration.durationMs.has_value());
}

TEST(SimOptions, BadValuesGiveOneLineErrors)
{
    const QStringList cases[] = {
        {QStringLiteral("--part"), QStringLiteral("QX105---18M------X")},
        {QStringLiteral("--part"), QStringLiteral("")},
        {QStringLiteral("--serial"), QStringLiteral("1234567")},
        {QStringLiteral("--baud"), QStringLiteral("0")},
        {QStringLiteral("--baud"), QStringLiteral("fast")},
        {QStringLiteral("--firmware"), QStringLiteral("2.9.1")},
        {QStringLiteral("--firmware"), QStringLiteral("256.0.0.0")},
        {QStringLiteral("--speed"), QStringLiteral("8388608")},
        {QStringLiteral("--latency"), QStringLiteral("-1")},
        {QStringLiteral("--position"), QStringLiteral("137438953472")},
        {QStringLiteral("--position"), QStringLiteral("1.5")},
        {QStringLiteral("--status"), QStringLiteral("0x10000")},
        {QStringLiteral("--status"), QStringLiteral("low")},
        {QStringLiteral("--selfcal-time"), QStringLiteral("soon")},
        {QStringLiteral("--selfcal-flags"), QStringLiteral("0x03")},
        {QStringLiteral("--silent-after"), QStringLiteral("-5")},
        {QStringLiteral("--garbage-every"), QStringLiteral("x")},
        {QStringLiteral("--unknown")},
        {QStringLiteral("stray")},
    };
    for (const QStringList &arguments : cases) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const sim::SimOptions options = parse(arguments);
        EXPECT_FALSE(options.error.isEmpty());
        EXPECT_FALSE(options.error.contains(QLatin1Char('\n')));
    }
}

} // namespace
