// SPDX-License-Identifier: MIT
#pragma once

// The fourteen status lamps: which bit of the encoder's 16-bit status word lights which
// panel, and in what colour.

#include <QtGlobal>

#include <array>
#include <cstdint>

namespace quarn {

// Colours as 24-bit numbers with red in the low byte.
namespace colour {
inline constexpr std::uint32_t Silver = 12632256;
inline constexpr std::uint32_t Grey = 8421504; // a lamp that is off
inline constexpr std::uint32_t Red = 255;
inline constexpr std::uint32_t Orange = 43775;
inline constexpr std::uint32_t Green = 65280;
inline constexpr std::uint32_t DarkGreen = 32768;
inline constexpr std::uint32_t LightRed = 5987327;
inline constexpr std::uint32_t White = 16777215;
inline constexpr std::uint32_t Blue = 16711680;
} // namespace colour

struct StatusLamp {
    int bit;
    const char *objectName;
    const char *caption;
    std::uint32_t onColour;
};

inline constexpr int StatusLampCount = 14;

// From the most significant bit down. Bits 7 and 2 have no lamp.
inline constexpr std::array<StatusLamp, StatusLampCount> StatusLamps{{
    {15, "pnlMultiturnErr", "Multiturn Err", colour::LightRed},
    {14, "pnlClipADC", "Ext Magn Field", colour::Red},
    {13, "pnlAmplitudaHi", "Signal High", colour::Orange},
    {12, "pnlAsicReset", "Sensor Init", colour::Red},
    {11, "pnlSyncErr", "Sensor Err", colour::Red},
    {10, "pnlNoOffsetTable", "No Calibration", colour::Red},
    {9, "pnlAError", "Error", colour::Red},
    {8, "pnlAWarning", "Warning", colour::Orange},
    {6, "pnlAmplitudaWarn", "Signal Low", colour::Orange},
    {5, "pnlAmplitudaErr", "Signal Lost", colour::Red},
    {4, "pnlTemperaturaAsic", "Temerature", colour::Orange},
    {3, "pnlVref_out_of_range", "Supply Err", colour::Red},
    {1, "pnlInvalidPNcode", "Wrong Reading", colour::Red},
    {0, "pnlSkokPozicije", "Accelerat Err", colour::Red},
}};

// The colour of every lamp for a status word, in the order of StatusLamps: its on colour when
// its bit is set, grey otherwise.
std::array<std::uint32_t, StatusLampCount> lampColours(quint16 word);

} // namespace quarn
