// SPDX-License-Identifier: MIT
#include "code_track.h"
#include "encoder_model.h"
#include "model_bench.h"
#include "quarn_konstante.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

namespace {

using simtest::ModelBench;

sim::EncoderConfig configFor(const char *part)
{
    sim::EncoderConfig config;
    config.partNumber = part;
    return config;
}

struct Position {
    std::uint32_t singleTurn = 0;
    int turns = 0;
    bool error = false;
};

// Reads the position word of a poll reply the way the program does.
Position positionOf(const QByteArray &reply, int offset, int bits, bool multiturn)
{
    std::uint64_t word = 0;
    for (int i = 0; i < (multiturn ? 5 : 3); ++i)
        word = (word << 8) | static_cast<std::uint8_t>(reply.at(offset + i));
    Position position;
    position.singleTurn = static_cast<std::uint32_t>((word >> (24 - bits)) & ((1u << bits) - 1));
    position.turns = static_cast<std::int16_t>(static_cast<std::uint16_t>(word >> 24));
    position.error = (word & 0x02) == 0;
    return position;
}

TEST(EncoderModel, IdentificationRecordLayout)
{
    struct Case {
        const char *part;
        const char *serial;
        sim::FirmwareVersion firmware;
        const char *versionHex; // bytes 35 to 41
    };
    const Case cases[] = {
        {"QX105---18M-----", "000042", {2, 9, 1, 4}, "02090100000004"},
        {"QX108---19S-----", "A1B2C3", {2, 8, 3, 0xFFFFFFFEu}, "020803fffffffe"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.part);
        sim::EncoderConfig config = configFor(c.part);
        config.serialNumber = c.serial;
        config.firmware = c.firmware;
        ModelBench bench(config);
        const QByteArray reply = bench.ask("v");
        ASSERT_EQ(reply.size(), quarn::IdentifyReplyLength);
        EXPECT_TRUE(reply.startsWith("vQuarn-2 "));
        EXPECT_EQ(reply.mid(9, 6), QByteArray(c.serial));
        EXPECT_EQ(reply.mid(18, 16), QByteArray(c.part));
        EXPECT_EQ(reply.mid(35, 7).toHex(), QByteArray(c.versionHex));
    }
}

TEST(EncoderModel, PollRepliesCarryThePositionWordAndTheirValue)
{
    constexpr std::int64_t Turn21 = 2097152;
    struct Case {
        const char *name;
        const char *part;
        std::int64_t raw;
        bool errorFlag;
        char command;
        const char *replyHex;
    };
    const Case cases[] = {
        {"18 bit single-turn", "QX105---18S-----", 18641, false, '1', "31123442"},
        {"18 bit single-turn, error flag", "QX105---18S-----", 18641, true, '1', "31123440"},
        {"18 bit single-turn, no echo", "QX105---18S-----", 18641, false, '3', "123442"},
        {"21 bit multiturn, turn -2, half a turn", "QX105---21M-----", -2 * Turn21 + Turn21 / 2,
         false, '3', "fffe800002"},
        {"21 bit multiturn, error flag", "QX105---21M-----", -2 * Turn21 + Turn21 / 2, true, '1',
         "31fffe800000"},
        {"21 bit single-turn ignores turns", "QX105---21S-----", 3 * Turn21 + 1, false, '1',
         "3100000a"},
        {"18 bit multiturn status word", "QX105---18M-----", 5 * 262144 + 18641, false, 'd',
         "6400051234420201"},
        {"temperature", "QX105---18S-----", 0, false, 't', "74000002f6"},
        {"signal level", "QX105---18S-----", 0, false, 'a', "610000021234"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::EncoderConfig config = configFor(c.part);
        config.startPosition = c.raw;
        config.faults.errorFlag = c.errorFlag;
        config.statusWord = 0x0201;
        config.temperatureC = -10;
        config.signalLevel = 0x1234;
        ModelBench bench(config);
        EXPECT_EQ(bench.ask(QByteArray(1, c.command)).toHex(), QByteArray(c.replyHex));
    }
}

TEST(EncoderModel, SpeedTurnsTheShaftAndIsReportedAs24BitTwosComplement)
{
    sim::EncoderConfig config = configFor("QX105---18S-----");
    config.speedCountsPerSecond = -2000;
    config.startPosition = 10;
    ModelBench bench(config);
    const QByteArray reply = bench.ask("s", 0);
    EXPECT_EQ(reply.mid(4).toHex(), QByteArray("fff830"));
    // 5 ms at -2000 counts per second: 10 counts back, to 0; 1 ms more wraps below zero.
    EXPECT_EQ(positionOf(bench.ask("1", 5), 1, 18, false).singleTurn, 0u);
    EXPECT_EQ(positionOf(bench.ask("1", 6), 1, 18, false).singleTurn, 262142u);
}

TEST(EncoderModel, MultiturnCounterWrapsAsSigned16Bit)
{
    constexpr std::int64_t Turn = 262144;
    struct Case {
        std::int64_t raw;
        std::int32_t speed;
        int turnsBefore, turnsAfter;
        std::uint32_t singleTurnAfter;
    };
    const Case cases[] = {
        {32767 * Turn + Turn - 1, 1000, 32767, -32768, 0},
        {-32768 * Turn, -1000, -32768, 32767, Turn - 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.turnsBefore);
        sim::EncoderConfig config = configFor("QX105---18M-----");
        config.startPosition = c.raw;
        config.speedCountsPerSecond = c.speed;
        ModelBench bench(config);
        EXPECT_EQ(positionOf(bench.ask("3", 0), 0, 18, true).turns, c.turnsBefore);
        const Position after = positionOf(bench.ask("3", 1), 0, 18, true);
        EXPECT_EQ(after.turns, c.turnsAfter);
        EXPECT_EQ(after.singleTurn, c.singleTurnAfter);
    }
}

TEST(EncoderModel, SetZeroHereSequenceMakesTheCurrentPositionReadZero)
{
    constexpr std::int64_t Turn = 262144;
    sim::EncoderConfig config = configFor("QX105---18M-----");
    config.startPosition = 5 * Turn + 100000;
    ModelBench bench(config);
    // An old offset, which the first request clears so that the poll reads the raw position.
    bench.ask(quarn::zeroOffsetRequest(777));
    EXPECT_EQ(positionOf(bench.ask("1"), 1, 18, true).singleTurn, static_cast<std::uint32_t>(100000 - 777));

    bench.ask(quarn::zeroOffsetTemplate());
    bench.ask(quarn::multiturnZeroRequest());
    const Position raw = positionOf(bench.ask("1"), 1, 18, true);
    EXPECT_EQ(raw.singleTurn, 100000u);
    EXPECT_EQ(raw.turns, 0);
    bench.ask(quarn::zeroOffsetRequest(static_cast<std::int32_t>(raw.singleTurn)));
    bench.ask(quarn::multiturnZeroRequest());
    bench.ask(quarn::saveRequest());
    const Position zeroed = positionOf(bench.ask("1"), 1, 18, true);
    EXPECT_EQ(zeroed.singleTurn, 0u);
    EXPECT_EQ(zeroed.turns, 0);

    const sim::EncoderSnapshot saved = bench.model.snapshot(0);
    EXPECT_EQ(saved.settings.zeroOffset, 100000);
    EXPECT_EQ(saved.savedSettings, saved.settings);

    // Turning on from the new zero, then back to the factory zero.
    bench.model.setPosition(6 * Turn + 100000 + 5, 0);
    const Position turned = positionOf(bench.ask("1"), 1, 18, true);
    EXPECT_EQ(turned.singleTurn, 5u);
    EXPECT_EQ(turned.turns, 1);
    bench.ask(quarn::factoryResetRequest());
    const Position factory = positionOf(bench.ask("1"), 1, 18, true);
    EXPECT_EQ(factory.singleTurn, 100005u);
    EXPECT_EQ(factory.turns, 6);
    EXPECT_EQ(bench.model.snapshot(0).savedSettings, sim::ShaftSettings{});
}

TEST(EncoderModel, PersistentStatusLatchesUntilReset)
{
    auto persistentWord = [](ModelBench &bench) {
        const QByteArray reply = bench.ask("j");
        return (static_cast<std::uint8_t>(reply.at(6)) << 8) | static_cast<std::uint8_t>(reply.at(7));
    };
    sim::EncoderConfig config;
    config.statusWord = 0x0100;
    ModelBench bench(config);
    bench.model.setStatusWord(0x0040);
    bench.model.setStatusWord(0x0000);
    EXPECT_EQ(bench.ask("d").mid(6).toHex(), QByteArray("0000"));
    EXPECT_EQ(persistentWord(bench), 0x0140);
    bench.ask(quarn::resetPersistentStatusRequest());
    EXPECT_EQ(persistentWord(bench), 0);
    // A bit still present shows again at once; a factory reset clears the latch too.
    bench.model.setStatusWord(0x2000);
    bench.model.setStatusWord(0x0008);
    bench.ask(quarn::resetPersistentStatusRequest());
    EXPECT_EQ(persistentWord(bench), 0x0008);
    bench.model.setStatusWord(0x0000);
    bench.ask(quarn::factoryResetRequest());
    EXPECT_EQ(persistentWord(bench), 0);
}

TEST(EncoderModel, SelfCalibrationRunChangesTheStatusAfterItsTime)
{
    struct Case {
        const char *name;
        std::uint16_t arc;
        std::optional<std::uint8_t> timeoutSeconds;
        std::optional<std::int64_t> durationMs;
        std::optional<std::int64_t> changesAfterMs; // counted from the start; nothing: never
        const char *statusHex;                      // bytes 1 to 7 after the change
    };
    const Case cases[] = {
        {"finishes with its result", 360, 10, 300, 300, "21 0064 002d fffe"},
        {"arc of 180 is fine", 180, std::nullopt, 300, 300, "21 0064 002d fffe"},
        {"takes longer than its timeout", 360, 5, 8000, 5000, "05 0000 0000 0000"},
        {"never ends", 360, 40, std::nullopt, std::nullopt, ""},
        {"arc below 180 refused at once", 179, 10, 300, 0, "11 0000 0000 0000"},
        {"arc above 360 refused at once", 361, 10, 300, 0, "11 0000 0000 0000"},
    };
    constexpr std::int64_t Start = 1000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::EncoderConfig config;
        config.selfCalibration.durationMs = c.durationMs;
        config.selfCalibration.finalFlags = 0x20;
        config.selfCalibration.eccentricityUm = 100;
        config.selfCalibration.angleDeg = 45;
        config.selfCalibration.radialShiftUm = -2;
        ModelBench bench(config);
        const QByteArray initial = bench.ask("i", 0);
        ASSERT_EQ(initial.size(), quarn::SelfCalStatusReplyLength);
        bench.ask(quarn::selfCalArcRequest(c.arc), 100);
        if (c.timeoutSeconds)
            bench.ask(quarn::selfCalTimeoutRequest(*c.timeoutSeconds), 200);
        bench.ask(quarn::selfCalStartRequest(), Start);
        if (!c.changesAfterMs) {
            EXPECT_EQ(bench.ask("i", Start + 60000), initial);
            continue;
        }
        if (*c.changesAfterMs > 0) {
            EXPECT_EQ(bench.ask("i", Start + *c.changesAfterMs - 1), initial);
        }
        const QByteArray changed = bench.ask("i", Start + *c.changesAfterMs);
        EXPECT_EQ(changed.mid(1).toHex(), QByteArray::fromHex(c.statusHex).toHex());
    }
}

TEST(EncoderModel, SelfCalibrationCounterCountsRunsModuloFour)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = 10;
    ModelBench bench(config);
    for (int run = 1; run <= 5; ++run) {
        const std::int64_t start = run * 1000;
        bench.ask(quarn::selfCalStartRequest(), start);
        EXPECT_EQ(bench.ask("i", start + 10).at(1) & 0x03, run % 4) << "run " << run;
    }
}

TEST(EncoderModel, DebugModeOpensWithTheEntryRequest)
{
    sim::EncoderConfig config;
    ModelBench bench(config);
    EXPECT_TRUE(bench.ask("G").isEmpty());
    EXPECT_TRUE(bench.ask("D").isEmpty());
    EXPECT_EQ(bench.ask(quarn::debugEntryRequest()).size(), quarn::DebugEntryReplyLength);
    EXPECT_EQ(bench.ask("G"), QByteArray("G"));
    EXPECT_EQ(bench.ask("D").size(), quarn::DebugRecordLength);

    sim::FaultConfig faults;
    faults.wrongConfirmEcho = true;
    faults.wrongDebugHeader = true;
    bench.model.setFaults(faults);
    EXPECT_EQ(bench.ask("G"), QByteArray("g"));
    EXPECT_EQ(bench.ask("D").at(0), 'd');
    ModelBench closed(config);
    closed.model.setFaults(faults);
    EXPECT_EQ(closed.ask("G"), QByteArray("g"));
}

TEST(EncoderModel, DebugRecordFollowsTheCodeTrackOfTheRing)
{
    struct Case {
        const char *part;
        int codeLength;
    };
    const Case cases[] = {
        {"QY1-----18M-----", 5}, {"QX101---18M-----", 6}, {"QX103---19M-----", 7},
        {"QX105---18M-----", 8}, {"QX108---21M-----", 9},
    };
    for (const Case &c : cases) {
        for (const bool noise : {false, true}) {
            SCOPED_TRACE(std::string(c.part) + (noise ? " with noise" : ""));
            sim::EncoderConfig config = configFor(c.part);
            config.startPosition = 3 * (std::int64_t{1} << 21) + 123457;
            config.noise = noise;
            ModelBench bench(config);
            bench.ask(quarn::debugEntryRequest());
            const QByteArray record = bench.ask("D");
            ASSERT_EQ(record.size(), 129);
            EXPECT_EQ(record.at(0), 'D');
            auto u16 = [&](int at) {
                return (static_cast<std::uint8_t>(record.at(at)) << 8)
                    | static_cast<std::uint8_t>(record.at(at + 1));
            };
            int largest = 0;
            std::vector<int> samples;
            for (int n = 0; n < 53; ++n) {
                const int sample = static_cast<std::int16_t>(u16(1 + 2 * n));
                samples.push_back(sample);
                EXPECT_LE(std::abs(sample), 1201) << "sample " << n;
                largest = std::max(largest, std::abs(sample));
            }
            EXPECT_GE(largest, 800);

            const sim::EncoderGeometry geometry = sim::geometryOf(config.partNumber);
            const auto singleTurn = static_cast<std::uint32_t>(config.startPosition % geometry.countsPerTurn);
            const std::uint32_t absPos = (static_cast<std::uint32_t>(u16(107)) << 16) | static_cast<std::uint32_t>(u16(109));
            EXPECT_EQ(absPos, singleTurn);
            const int decodSelect = static_cast<std::uint8_t>(record.at(113));
            ASSERT_LE(decodSelect, 9);
            const int codeA = u16(114);
            EXPECT_EQ(codeA, sim::codeWordAt(c.codeLength,
                                             sim::codePositionOf(c.codeLength, singleTurn, geometry.countsPerTurn)));
            EXPECT_EQ(u16(116), codeA);
            EXPECT_EQ(codeA >> c.codeLength, 0);

            // Where the program places its bit markers, the sample's sign is the code bit.
            const int step = sim::sampleStep(c.codeLength);
            for (int j = 1; j <= c.codeLength; ++j) {
                const int index = std::max(0, (j - 1) * step + decodSelect - 1);
                if (index >= 53)
                    continue;
                const bool bit = (codeA >> (c.codeLength - j)) & 1;
                EXPECT_EQ(samples[static_cast<std::size_t>(index)] > 0, bit) << "bit " << j;
            }
            EXPECT_GT(u16(122), 0); // CycleTime
            EXPECT_GT(u16(126), 3000); // Vdda in mV
        }
    }
}

TEST(EncoderModel, FaultsShapeTheReplies)
{
    sim::EncoderConfig config;
    ModelBench bench(config);
    const QByteArray identification = bench.ask("v");

    sim::FaultConfig faults;
    faults.shortReplies = true;
    bench.model.setFaults(faults);
    EXPECT_EQ(bench.ask("v"), identification.left(41));

    faults = {};
    faults.garbageEvery = 3;
    ModelBench garbage(config);
    garbage.model.setFaults(faults);
    for (int i = 1; i <= 6; ++i) {
        const QByteArray reply = garbage.ask("v");
        EXPECT_EQ(reply.size(), 42);
        EXPECT_EQ(reply == identification, i % 3 != 0) << "reply " << i;
    }

    faults = {};
    faults.silentFromMs = 100;
    bench.model.setFaults(faults);
    EXPECT_EQ(bench.ask("1", 99).size(), 6);
    const auto silent = bench.model.receive("1", 100, config.baudRate);
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_TRUE(silent[0].reply.isEmpty());
    EXPECT_EQ(silent[0].entry.note, sim::ParseNote::Ok);
}

TEST(EncoderModel, MixedFaultsSpoilEveryNthReplyOfEachCommandInTurn)
{
    struct Case {
        const char *partNumber;
        int wordLength;
    };
    const Case cases[] = {{"QX105---18M-----", 5}, {"QX108---19S-----", 3}};
    // Counted per command: the second "1", "3", ... is spoilt. The spoilt ones in order are
    // "1" random, "3" short, "v" error flag (no position word: unchanged), "d" random, "s"
    // short, "t" error flag, "a" random, "j" short; then "1" error flag and "3" random.
    const QByteArray requests("1133vvddsstt1aajj313");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.partNumber);
        sim::EncoderConfig config;
        config.partNumber = c.partNumber;
        config.startPosition = 123456;
        ModelBench clean(config);
        config.faults.mixedFaultEvery = 2;
        ModelBench faulty(config);
        std::map<char, int> seen;
        int faultTurn = 0;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            const char command = requests.at(i);
            const QByteArray request(1, command);
            SCOPED_TRACE(testing::Message() << "request " << i << " " << command);
            const QByteArray expected = clean.ask(request, i);
            const QByteArray reply = faulty.ask(request, i);
            if (++seen[command] % 2 != 0) {
                EXPECT_EQ(reply, expected);
                continue;
            }
            switch (faultTurn++ % 3) {
            case 0:
                EXPECT_EQ(reply.size(), expected.size());
                EXPECT_NE(reply, expected);
                break;
            case 1:
                EXPECT_EQ(reply, expected.left(expected.size() - 1));
                break;
            default: {
                QByteArray flagged = expected;
                if (quarn::isPollCommand(command)) {
                    const int wordEnd = (command == '3' ? 0 : 1) + c.wordLength;
                    ASSERT_NE(flagged.at(wordEnd - 1) & 0x02, 0);
                    flagged[wordEnd - 1] = static_cast<char>(flagged.at(wordEnd - 1) & ~0x02);
                }
                EXPECT_EQ(reply, flagged);
            }
            }
        }
        EXPECT_EQ(faultTurn, 10);
    }
}

TEST(EncoderModel, WrongRateIsLoggedWithThatRateAndIgnored)
{
    sim::EncoderConfig config;
    config.startPosition = 1000;
    sim::EncoderModel model(config, 0);
    const auto exchanges = model.receive(quarn::zeroOffsetRequest(1000) + "v", 5, 9600);
    ASSERT_EQ(exchanges.size(), 2u);
    for (const auto &exchange : exchanges) {
        EXPECT_EQ(exchange.entry.baudRate, 9600);
        EXPECT_EQ(exchange.entry.note, sim::ParseNote::WrongRate);
        EXPECT_TRUE(exchange.reply.isEmpty());
    }
    EXPECT_EQ(exchanges[0].entry.bytes, quarn::zeroOffsetRequest(1000));
    EXPECT_EQ(model.snapshot(5).settings.zeroOffset, 0);
}

TEST(EncoderModel, LogNotesUnknownAndTruncatedRequests)
{
    sim::EncoderModel model(sim::EncoderConfig{}, 0);
    auto first = model.receive(QByteArray::fromHex("5e1ac3775a00") + "x", 0, 115200);
    EXPECT_TRUE(first.empty()); // "x" is taken as an argument byte of the pending "Z"
    auto late = model.advance(60, 115200);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].entry.note, sim::ParseNote::Truncated);
    EXPECT_EQ(late[0].entry.timeMs, 0);
    auto next = model.receive("x1", 70, 115200);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[0].entry.note, sim::ParseNote::Unknown);
    EXPECT_EQ(next[1].entry.note, sim::ParseNote::Ok);
    EXPECT_EQ(next[1].reply.size(), 6);
}

TEST(EncoderModel, RandomInputNeverBreaksItAndEveryByteIsAccountedFor)
{
    const QByteArray favourites = QByteArray::fromHex("5e1ac377a5") + "13djstavGDiMZcrbpA";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> pick(0, 99);
    for (int round = 0; round < 4; ++round) {
        sim::EncoderConfig config;
        config.noise = round % 2 == 1;
        config.faults.garbageEvery = round;
        config.faults.shortReplies = round == 3;
        sim::EncoderModel model(config, 0);
        QByteArray sent;
        QByteArray logged;
        std::int64_t now = 0;
        for (int chunk = 0; chunk < 2000; ++chunk) {
            QByteArray bytes;
            const int length = 1 + pick(random) % 6;
            for (int i = 0; i < length; ++i) {
                const int p = pick(random);
                bytes.append(p < 60 ? favourites.at(p % favourites.size())
                                    : static_cast<char>(anyByte(random)));
            }
            now += pick(random) < 5 ? 60 : pick(random) % 3;
            sent += bytes;
            for (const auto &exchange : model.advance(now, 115200))
                logged += exchange.entry.bytes;
            for (const auto &exchange : model.receive(bytes, now, 115200)) {
                logged += exchange.entry.bytes;
                EXPECT_LE(exchange.reply.size(), 129);
            }
        }
        for (const auto &exchange : model.advance(now + 1000, 115200))
            logged += exchange.entry.bytes;
        EXPECT_EQ(logged, sent) << "round " << round;
    }
}

} // namespace
