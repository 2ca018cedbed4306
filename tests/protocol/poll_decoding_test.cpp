// SPDX-License-Identifier: MIT
#include "poll_decoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quarn;

namespace {

const QLocale cLocale = QLocale::c();
const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

struct Encoder {
    bool multiturn;
    int bits;
};

PositionWord decode(const QByteArray &reply, int index, Encoder e)
{
    const std::int32_t counts = std::int32_t{1} << e.bits;
    return decodePositionWord(reply, index, e.multiturn, e.bits, static_cast<std::uint32_t>(counts - 1), counts);
}

constexpr Encoder singleTurn18{false, 18};
constexpr Encoder multiturn21{true, 21};

} // namespace

TEST(PollDecoding, PositionWord)
{
    const struct {
        const char *name;
        QByteArray reply;
        int index;
        Encoder encoder;
        std::int64_t raw;
        bool error;
        std::int32_t singleTurn;
        std::int16_t multiTurn;
        double angle;
        int payloadOffset;
    } cases[] = {
        {"single-turn 18 bit, \"1\"", hex("31123456"), 1, singleTurn18, 0x123456, false, 18641, 0, 25.5995178, 4},
        {"surplus bytes ignored", hex("31123456FFFFFF"), 1, singleTurn18, 0x123456, false, 18641, 0, 25.5995178, 4},
        {"error bit clear, fields still decoded", hex("31123454"), 1, singleTurn18, 0x123454, true, 18641, 0,
         25.5995178, 4},
        {"multiturn 21 bit, \"3\" without echo", hex("FFFE800002"), 2, multiturn21, 0xFFFE800002, false, 1048576, -2,
         180.0, 5},
        {"multiturn \"d\" with echo", hex("647FFF0000020102"), 3, multiturn21, 0x7FFF000002, false, 0, 32767, 0.0, 6},
        {"multiturn counter at its minimum", hex("618000FFFFFE0000"), 7, multiturn21, 0x8000FFFFFE, false, 2097151,
         -32768, 359.9998283, 6},
        {"16 bit keeps the top 16 of 24 bits", hex("73FFFF02000000"), 5, Encoder{false, 16}, 0xFFFF02, false, 65535, 0,
         359.9945068, 4},
        {"index outside the cycle reads like \"1\"", hex("31123456"), 0, singleTurn18, 0x123456, false, 18641, 0,
         25.5995178, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const PositionWord w = decode(c.reply, c.index, c.encoder);
        EXPECT_TRUE(w.complete);
        EXPECT_EQ(w.raw, c.raw);
        EXPECT_EQ(w.error, c.error);
        EXPECT_EQ(w.singleTurn, c.singleTurn);
        EXPECT_EQ(w.multiTurn, c.multiTurn);
        EXPECT_NEAR(w.angleDegrees, c.angle, 1e-6);
        EXPECT_EQ(w.kot, static_cast<float>(w.angleDegrees));
        EXPECT_EQ(w.payloadOffset, c.payloadOffset);
    }
}

TEST(PollDecoding, ShortRepliesReadMissingBytesAsZeroAndReportAnError)
{
    const struct {
        const char *name;
        QByteArray reply;
        int index;
        Encoder encoder;
        std::int64_t raw;
    } cases[] = {
        {"empty", QByteArray(), 1, singleTurn18, 0},
        {"echo only", hex("31"), 1, singleTurn18, 0},
        {"last byte of the word missing", hex("31123456"), 1, multiturn21, 0x1234560000},
        {"\"3\" one byte short", hex("FFFE8000"), 2, multiturn21, 0xFFFE800000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const PositionWord w = decode(c.reply, c.index, c.encoder);
        EXPECT_FALSE(w.complete);
        EXPECT_TRUE(w.error);
        EXPECT_EQ(w.raw, c.raw);
    }
}

TEST(PollDecoding, OddEncoderSettingsStayDefined)
{
    // A zero resolution or zero counts per turn must not shift by a negative amount or divide by zero.
    const PositionWord noBits = decodePositionWord(hex("31123456"), 1, false, 0, 0, 0);
    EXPECT_EQ(noBits.singleTurn, 0);
    EXPECT_EQ(noBits.angleDegrees, 0.0);
    const PositionWord tooManyBits = decodePositionWord(hex("31123456"), 1, false, 40, 0xFFFFFFFFu, 1 << 24);
    EXPECT_EQ(tooManyBits.singleTurn, 0x123456);
}

TEST(PollDecoding, Payloads)
{
    // Single-turn replies: echo and a 3-byte word, so payloads start at 4; multiturn at 6.
    EXPECT_EQ(decodeStatusWord(hex("6412345680 01"), 4), 0x8001);
    EXPECT_EQ(decodeStatusWord(hex("6A0001123456FFFF"), 6), 0xFFFF);
    EXPECT_EQ(decodeSignalLevel(hex("61123456 0000"), 4), 0);
    EXPECT_EQ(decodeSignalLevel(hex("61123456 04D2 99"), 4), 1234);

    const struct {
        const char *bytes;
        std::int32_t speed;
    } speeds[] = {{"FFFFFE", -2}, {"7FFFFF", 8388607}, {"800000", -8388608}, {"000001", 1}, {"000000", 0}};
    for (const auto &s : speeds) {
        SCOPED_TRACE(s.bytes);
        EXPECT_EQ(decodeSpeed(hex("73123456") + hex(s.bytes), 4), s.speed);
        EXPECT_EQ(decodeSpeed(hex("7300001234 56") + hex(s.bytes) + hex("EE"), 6), s.speed);
    }

    const struct {
        const char *byte;
        int celsius;
    } temperatures[] = {{"F6", -10}, {"7F", 127}, {"80", -128}, {"19", 25}};
    for (const auto &t : temperatures) {
        SCOPED_TRACE(t.byte);
        EXPECT_EQ(decodeTemperature(hex("74123456") + hex(t.byte), 4), t.celsius);
    }
}

TEST(PollDecoding, PayloadsMissingFromAShortReplyGiveNothing)
{
    EXPECT_FALSE(decodeStatusWord(hex("6412345680"), 4));
    EXPECT_FALSE(decodeSpeed(hex("73123456FFFF"), 4));
    EXPECT_FALSE(decodeTemperature(hex("74123456"), 4));
    EXPECT_FALSE(decodeSignalLevel(QByteArray(), 4));
    EXPECT_FALSE(decodeSpeed(hex("FFFFFF"), -1));
}

TEST(PollDecoding, AirGap)
{
    // A level of 0 is kept as 1, whose logarithm is 0: the estimate is the offset alone.
    EXPECT_EQ(storedSignalLevel(0), 1);
    EXPECT_EQ(storedSignalLevel(1234), 1234);
    EXPECT_EQ(airGapMicrometres(0, -70.293434f, 735.0f), 735.0);
    EXPECT_EQ(airGapMicrometres(1, -119.36621f, 1236.0f), 1236.0);
    EXPECT_NEAR(airGapMicrometres(1000, -71.61973f, 682.0f), 187.268, 0.001);
    EXPECT_TRUE(std::isfinite(airGapMicrometres(65535, -119.36621f, 1236.0f)));
}

TEST(PollDecoding, AngleText)
{
    const struct {
        double degrees;
        const QLocale *locale;
        const char *text;
    } cases[] = {
        {6710760.0 / 262144.0, &cLocale, "25.60 °"},
        {180.0, &cLocale, "180.00 °"},
        {180.0, &german, "180,00 °"},
        {359.9945068359375, &english, "359.99 °"},
        {0.0, &cLocale, "0.00 °"},
        // Exact halves (angles of 18-bit counts) go to the even hundredth.
        {5.625, &cLocale, "5.62 °"},
        {0.375, &cLocale, "0.38 °"},
        {-0.001, &cLocale, "0.00 °"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.degrees);
        EXPECT_EQ(angleText(c.degrees, *c.locale), QString::fromUtf8(c.text));
    }
}

TEST(PollDecoding, AngleTextMatchesTheLocaleNumberFormatAtEveryHundredth)
{
    // The angle is put together by hand where the locale allows it; it must read exactly as
    // the locale's own formatting, with other digits, decimal points and group sizes too.
    const QLocale locales[] = {
        cLocale,
        english,
        german,
        QLocale(QLocale::French, QLocale::France),
        QLocale(QLocale::German, QLocale::Switzerland),
        QLocale(QLocale::Hindi, QLocale::India),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Persian, QLocale::Iran),
        QLocale(QLocale::Bangla, QLocale::Bangladesh),
    };
    for (const QLocale &locale : locales) {
        SCOPED_TRACE(locale.name().toStdString());
        int mismatches = 0;
        for (int hundredths = 0; hundredths <= 36000; ++hundredths) {
            const double degrees = hundredths / 100.0;
            if (angleText(degrees, locale) != locale.toString(degrees, 'f', 2) + QStringLiteral(" °")) {
                if (++mismatches <= 3)
                    ADD_FAILURE() << degrees << ": " << angleText(degrees, locale).toStdString();
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(PollDecoding, PositionPanelTexts)
{
    const PositionTexts good = positionTexts(decode(hex("FFFE800002"), 2, multiturn21), cLocale);
    EXPECT_EQ(good.degrees, QString::fromUtf8("180.00 °"));
    EXPECT_EQ(good.counts, QStringLiteral("1048576"));
    EXPECT_EQ(good.multiturn, QStringLiteral("-2"));

    const PositionTexts bad = positionTexts(decode(hex("FFFE800000"), 2, multiturn21), cLocale);
    for (const QString &text : {bad.degrees, bad.counts, bad.multiturn})
        EXPECT_EQ(text, QStringLiteral("-  -  -  -  -"));
}

TEST(PollDecoding, ReadoutTexts)
{
    const struct {
        QString actual;
        const char *expected;
    } cases[] = {
        {speedText(-2, false, english), "Speed: -2"},
        {speedText(8388607, false, english), "Speed: 8,388,607"},
        {speedText(8388607, false, german), "Speed: 8.388.607"},
        {speedText(-8388608, false, english), "Speed: -8,388,608"},
        {speedText(8388607, true, english), "Speed: - - - - -"},
        {temperatureText(-10), "Temp: -10 °C"},
        {temperatureText(127), "Temp: 127 °C"},
        {signalLevelText(0), "Signal level: 0"},
        {signalLevelText(65535), "Signal level: 65535"},
        {airGapText(735.0, cLocale), "Air gap: 735 (±20) µm"},
        {airGapText(187.268, english), "Air gap: 187 (±20) µm"},
        {airGapText(682.5, english), "Air gap: 682 (±20) µm"},
        {airGapText(683.5, english), "Air gap: 684 (±20) µm"},
        {airGapText(1234.4, english), "Air gap: 1,234 (±20) µm"},
        {airGapText(1234.4, german), "Air gap: 1.234 (±20) µm"},
        {airGapText(-0.4, english), "Air gap: 0 (±20) µm"},
        {airGapText(-88.6, english), "Air gap: -89 (±20) µm"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.actual, QString::fromUtf8(c.expected));
    }
}

TEST(PollDecoding, HexEcho)
{
    EXPECT_EQ(hexEchoLine('1', hex("3112AB56")), QStringLiteral("1 31 12 AB 56 \r\n"));
    EXPECT_EQ(hexEchoLine('3', QByteArray()), QStringLiteral("3 \r\n"));
    EXPECT_EQ(hexEchoLine('a', hex("0a00ff")), QStringLiteral("a 0A 00 FF \r\n"));
    EXPECT_EQ(replyHex(hex("3112ab560aff")), QByteArray("3112AB560AFF"));
    EXPECT_EQ(replyHex(QByteArray()), QByteArray());
}

TEST(PollDecoding, CycleRunsOneToSevenAndSkipsThePersistentStatusOnOldFirmware)
{
    const struct {
        int index;
        int next;
    } steps[] = {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 1}, {0, 2}, {8, 2}, {-3, 2}, {255, 2}};
    for (const auto &s : steps) {
        SCOPED_TRACE(s.index);
        EXPECT_EQ(nextPollIndex(s.index), s.next);
    }

    for (const int minor : {8, 9}) {
        SCOPED_TRACE(minor);
        std::vector<int> sent;
        int index = 0; // before the first start
        for (int tick = 0; tick < 8; ++tick) {
            if (!isIdlePollStep(index, minor))
                sent.push_back(pollCycleIndex(index));
            index = nextPollIndex(index);
        }
        const std::vector<int> expected = minor < 9 ? std::vector<int>{1, 2, 3, 5, 6, 7, 1}
                                                    : std::vector<int>{1, 2, 3, 4, 5, 6, 7, 1};
        EXPECT_EQ(sent, expected);
    }
}

TEST(PollDecoding, LampColours)
{
    EXPECT_EQ(toggledCommLampColour(17408), 47872u);
    EXPECT_EQ(toggledCommLampColour(47872), 17408u);
    EXPECT_EQ(anglePanelColour(true), 5987327u);
    EXPECT_EQ(anglePanelColour(false), 16777215u);
}
