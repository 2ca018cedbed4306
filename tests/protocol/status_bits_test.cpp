// SPDX-License-Identifier: MIT
#include "status_bits.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <map>
#include <set>

using namespace quarn;

namespace {

std::uint32_t colourOf(const std::array<std::uint32_t, StatusLampCount> &colours, const char *objectName)
{
    for (std::size_t i = 0; i < StatusLamps.size(); ++i) {
        if (QByteArray(StatusLamps[i].objectName) == objectName)
            return colours[i];
    }
    ADD_FAILURE() << "no lamp " << objectName;
    return 0;
}

} // namespace

TEST(StatusBits, WordsWithNoLampBitsLeaveEveryLampGrey)
{
    for (const quint16 word : {quint16{0x0000}, quint16{0x0084}, quint16{0x0004}, quint16{0x0080}}) {
        SCOPED_TRACE(word);
        for (const std::uint32_t c : lampColours(word))
            EXPECT_EQ(c, colour::Grey);
    }
}

TEST(StatusBits, AllBitsSetLightEveryLampInItsColour)
{
    const auto colours = lampColours(0xFFFF);
    const std::map<const char *, std::uint32_t> expected{
        {"pnlMultiturnErr", 5987327}, {"pnlClipADC", 255},      {"pnlAmplitudaHi", 43775},
        {"pnlAsicReset", 255},        {"pnlSyncErr", 255},      {"pnlNoOffsetTable", 255},
        {"pnlAError", 255},           {"pnlAWarning", 43775},   {"pnlAmplitudaWarn", 43775},
        {"pnlAmplitudaErr", 255},     {"pnlTemperaturaAsic", 43775}, {"pnlVref_out_of_range", 255},
        {"pnlInvalidPNcode", 255},    {"pnlSkokPozicije", 255},
    };
    ASSERT_EQ(expected.size(), std::size_t{StatusLampCount});
    for (const auto &[name, c] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(colourOf(colours, name), c);
    }
}

TEST(StatusBits, EachBitLightsExactlyItsOwnLamp)
{
    const std::map<int, const char *> lampOfBit{
        {15, "Multiturn Err"}, {14, "Ext Magn Field"}, {13, "Signal High"}, {12, "Sensor Init"},
        {11, "Sensor Err"},    {10, "No Calibration"}, {9, "Error"},        {8, "Warning"},
        {6, "Signal Low"},     {5, "Signal Lost"},     {4, "Temerature"},   {3, "Supply Err"},
        {1, "Wrong Reading"},  {0, "Accelerat Err"},
    };
    for (int bit = 0; bit < 16; ++bit) {
        SCOPED_TRACE(bit);
        const auto colours = lampColours(static_cast<quint16>(1u << bit));
        std::set<std::size_t> lit;
        for (std::size_t i = 0; i < colours.size(); ++i) {
            if (colours[i] != colour::Grey)
                lit.insert(i);
        }
        const auto lamp = lampOfBit.find(bit);
        if (lamp == lampOfBit.end()) {
            EXPECT_TRUE(lit.empty());
            continue;
        }
        ASSERT_EQ(lit.size(), 1u);
        EXPECT_EQ(QByteArray(StatusLamps[*lit.begin()].caption), QByteArray(lamp->second));
        EXPECT_EQ(colours[*lit.begin()], StatusLamps[*lit.begin()].onColour);
    }
}
