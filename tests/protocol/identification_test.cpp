// SPDX-License-Identifier: MIT
#include "identification.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace quarn;

namespace {

// A 16-character part number: ring prefix padded to 8, resolution code, turn type, filler.
QByteArray makePartNumber(const char *ring, const char *resolutionCode, char turnType)
{
    QByteArray part = QByteArray(ring).leftJustified(8, '0');
    part += resolutionCode;
    part += turnType;
    return part.leftJustified(16, 'X', true);
}

struct ReplyFields {
    QByteArray partNumber = makePartNumber("QX105", "18", 'S');
    QByteArray serialNumber = "123456";
    std::uint8_t major = 2;
    std::uint8_t minor = 9;
    std::uint8_t protocol = 3;
    QByteArray revision = QByteArray::fromHex("00000102");
};

// A 42-byte "v" reply; the bytes that are not examined hold values that would show if they were.
QByteArray identificationReply(const ReplyFields &f = {})
{
    QByteArray reply("vQuarn-2 ");
    reply += f.serialNumber.leftJustified(6, '?', true);
    reply += "#@!";
    reply += f.partNumber.leftJustified(16, '?', true);
    reply += '%';
    reply += static_cast<char>(f.major);
    reply += static_cast<char>(f.minor);
    reply += static_cast<char>(f.protocol);
    reply += f.revision;
    return reply;
}

const Resolution retained{17, 131072};

} // namespace

TEST(Identification, ReadsTheFieldsOfAValidReply)
{
    const auto id = parseIdentification(identificationReply(), retained);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->header, QByteArray("Quarn-2"));
    EXPECT_EQ(id->serialNumber, QByteArray("123456"));
    EXPECT_EQ(id->partNumber, QByteArray("QX105000" "18S" "XXXXX"));
    EXPECT_EQ(id->firmwareMajor, 2);
    EXPECT_EQ(id->firmwareMinor, 9);
    EXPECT_EQ(id->protocolVersion, 3);
    EXPECT_EQ(id->firmwareRevision, 258u);
    EXPECT_EQ(id->resolution.bits, 18);
    EXPECT_EQ(id->resolution.countsPerTurn, 262144);
    EXPECT_FALSE(id->multiturn);
    EXPECT_EQ(id->singleTurnMask, 262143u);
}

TEST(Identification, AcceptsOnlyFullRepliesWithTheFamilyPrefixAtTheStart)
{
    const QByteArray valid = identificationReply();
    ASSERT_EQ(valid.size(), 42);
    QByteArray noBlank = valid;
    noBlank[8] = '_';
    QByteArray wrongEcho = valid;
    wrongEcho[0] = 'V';
    QByteArray lowercaseHeader = valid;
    lowercaseHeader[1] = 'q';
    const struct {
        const char *name;
        QByteArray reply;
        bool accepted;
    } cases[] = {
        {"exactly 42 bytes", valid, true},
        {"surplus bytes ignored", valid + QByteArray("\xff\x00zz", 4), true},
        {"one byte short", valid.left(41), false},
        {"empty", QByteArray(), false},
        {"no blank after the header", noBlank, false},
        {"other first byte", wrongEcho, false},
        {"header case differs", lowercaseHeader, false},
        {"prefix not at the start", QByteArray("x") + valid, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseIdentification(c.reply, retained).has_value(), c.accepted);
    }
}

TEST(Identification, SurplusBytesDoNotReachTheFields)
{
    ReplyFields fields;
    fields.revision = QByteArray::fromHex("01020304");
    const auto id = parseIdentification(identificationReply(fields) + QByteArray::fromHex("FFFFFFFF"), retained);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->firmwareRevision, 0x01020304u);
    EXPECT_EQ(id->partNumber.size(), 16);
}

TEST(Identification, DerivesTheEncoderFromThePartNumber)
{
    const struct {
        QByteArray part;
        int bits;
        std::int32_t counts;
        bool multiturn;
        std::uint32_t mask;
        float diameter;
        int codeLength;
        float airGapK;
        float airGapN;
    } cases[] = {
        {makePartNumber("QX108", "19", 'M'), 19, 524288, true, 524287u, 109.096f, 9, -70.293434f, 735.0f},
        {makePartNumber("QY1", "21", 'S'), 21, 2097152, false, 2097151u, 1e9f, 5, -119.36621f, 1236.0f},
        {makePartNumber("QX105", "16", 'S'), 16, 65536, false, 65535u, 45.8f, 8, -71.61973f, 682.0f},
        {makePartNumber("QX106", "20", 'M'), 20, 1048576, true, 1048575u, 57.3f, 8, -71.61973f, 682.0f},
        {makePartNumber("QX107", "17", 'S'), 17, 131072, false, 131071u, 72.8f, 8, -71.61973f, 682.0f},
        {makePartNumber("QX101", "18", 'm'), 18, 262144, false, 262143u, 18.3f, 6, -95.492966f, 977.1f},
        {makePartNumber("QX104", "18", 'M'), 18, 262144, true, 262143u, 42.1f, 7, -83.55634f, 846.1f},
        {makePartNumber("ZZ999", "18", 'S'), 18, 262144, false, 262143u, 1e9f, 8, -71.61973f, 682.0f},
        // Unknown resolution codes keep the retained pair, and the mask follows it.
        {makePartNumber("QX108", "22", 'M'), 17, 131072, true, 131071u, 109.096f, 9, -70.293434f, 735.0f},
        {makePartNumber("QX108", "1A", 'S'), 17, 131072, false, 131071u, 109.096f, 9, -70.293434f, 735.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.part.toStdString());
        ReplyFields fields;
        fields.partNumber = c.part;
        const auto id = parseIdentification(identificationReply(fields), retained);
        ASSERT_TRUE(id);
        EXPECT_EQ(id->resolution.bits, c.bits);
        EXPECT_EQ(id->resolution.countsPerTurn, c.counts);
        EXPECT_EQ(id->multiturn, c.multiturn);
        EXPECT_EQ(id->singleTurnMask, c.mask);
        EXPECT_EQ(id->ringDiameterMm, c.diameter);
        EXPECT_EQ(id->codeLength, c.codeLength);
        EXPECT_EQ(id->airGapK, c.airGapK);
        EXPECT_EQ(id->airGapN, c.airGapN);
        EXPECT_EQ(resolutionText(id->resolution.bits), QStringLiteral("Resolution: %1 bit").arg(c.bits));
    }
}

TEST(Identification, StartupResolutionIsAConsistentPair)
{
    EXPECT_EQ(StartupResolution.bits, 18);
    EXPECT_EQ(StartupResolution.countsPerTurn, std::int32_t{1} << StartupResolution.bits);

    ReplyFields fields;
    fields.partNumber = makePartNumber("QX103", "??", 'S');
    const auto id = parseIdentification(identificationReply(fields), StartupResolution);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->resolution.countsPerTurn, 262144);
    EXPECT_EQ(id->singleTurnMask, 262143u);
}

TEST(Identification, PersistentStatusNeedsMinorNine)
{
    const struct {
        std::uint8_t major;
        std::uint8_t minor;
        bool supported;
    } cases[] = {{2, 8, false}, {2, 9, true}, {1, 10, true}, {9, 0, false}, {0, 255, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.major) << '.' << int(c.minor));
        ReplyFields fields;
        fields.major = c.major;
        fields.minor = c.minor;
        const auto id = parseIdentification(identificationReply(fields), retained);
        ASSERT_TRUE(id);
        EXPECT_EQ(id->persistentStatusSupported, c.supported);
    }
}

TEST(Identification, LabelTexts)
{
    ReplyFields fields;
    fields.partNumber = makePartNumber("QX108", "19", 'M');
    fields.serialNumber = QByteArray("AB\xe9" "0\xb5" "9");
    fields.major = 2;
    fields.minor = 10;
    fields.protocol = 0;
    fields.revision = QByteArray::fromHex("FFFFFFFF");
    const auto id = parseIdentification(identificationReply(fields), retained);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->firmwareRevision, 4294967295u);
    EXPECT_EQ(headerText(*id), QStringLiteral("Header: Quarn-2"));
    EXPECT_EQ(encoderInfoText(*id), QStringLiteral("p/n: QX10800019MXXXXX\r\ns/n: AB\u00e90\u00b59   ver.: 2.10.0.4294967295"));
    EXPECT_EQ(resolutionText(18), QStringLiteral("Resolution: 18 bit"));
}
