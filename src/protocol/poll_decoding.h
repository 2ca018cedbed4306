// SPDX-License-Identifier: MIT
#pragma once

// The poll cycle's replies: the position word that every reply carries, the quantity that
// follows it, the readout texts, the hexadecimal echo, and the steps of the cycle itself.

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace quarn {

// Shown in the position panels while the encoder reports an error (two blanks apart).
inline constexpr char PositionErrorText[] = "-  -  -  -  -";

struct PositionWord {
    // False when the reply ended inside the word. The missing bytes read as 0, which always
    // clears the error bit (it sits in the last byte), so such a word also reports an error.
    bool complete = false;
    std::int64_t raw = 0;        // MTST_value
    bool error = true;           // Encoder_Error: bit 1 of the word is 0
    std::int32_t singleTurn = 0; // ST_value
    std::int16_t multiTurn = 0;  // MT_value, 0 for a single-turn encoder
    float kot = 0.0f;            // degrees, as the dial draws it
    double angleDegrees = 0.0;   // the same angle at full precision, for the text
    int payloadOffset = 0;       // first byte after the word
};

// Index 2 ("3") has no echo byte; every other reply starts with one.
int positionWordOffset(int index);

// Decodes the 3-byte (single-turn) or 5-byte (multiturn) position word of a poll reply with
// command index `index`. Bytes beyond the word are ignored. A resolution outside 0 to 24 bits
// is clamped to it, and counts per turn of 0 or less give an angle of 0.
PositionWord decodePositionWord(const QByteArray &reply, int index, bool multiturn, int resolutionBits,
                                std::uint32_t singleTurnMask, std::int32_t countsPerTurn);

// The quantities after the position word, read from `offset` (PositionWord::payloadOffset).
// Nothing when the reply is too short to hold them.
std::optional<std::uint16_t> decodeStatusWord(const QByteArray &reply, int offset); // "d" and "j"
std::optional<std::int32_t> decodeSpeed(const QByteArray &reply, int offset);        // 24-bit signed
std::optional<std::int8_t> decodeTemperature(const QByteArray &reply, int offset);   // degrees Celsius
std::optional<std::uint16_t> decodeSignalLevel(const QByteArray &reply, int offset);

// The signal level as kept for the air gap: 0 counts as 1, so that its logarithm is defined.
std::uint16_t storedSignalLevel(std::uint16_t level);
// Estimated air gap in micrometres: k × ln(level) + n, with a level of 0 taken as 1.
double airGapMicrometres(std::uint16_t level, float k, float n);

struct PositionTexts {
    QString degrees;
    QString counts;
    QString multiturn;
};

// The angle with exactly two decimals in the locale's format, then " °". A value exactly
// half-way between two hundredths rounds to the even one (5.625 gives 5.62).
QString angleText(double degrees, const QLocale &locale);
// The three position panels; all three read PositionErrorText while the encoder reports an error.
PositionTexts positionTexts(const PositionWord &word, const QLocale &locale);

// "Speed: " + the speed in the locale's format, or "Speed: - - - - -" on an encoder error.
QString speedText(std::int32_t speed, bool encoderError, const QLocale &locale);
// "Temp: -10 °C"
QString temperatureText(std::int8_t celsius);
// "Signal level: 1234" (the level as received, 0 included)
QString signalLevelText(std::uint16_t level);
// "Air gap: " + the estimate rounded to a whole micrometre (halves to even) in the locale's
// format + " (±20) µm".
QString airGapText(double micrometres, const QLocale &locale);

// One line of the echo labels: the command, a blank, every byte as two uppercase hex digits and
// a blank, then CR LF.
QString hexEchoLine(char command, const QByteArray &reply);
// Every byte as two uppercase hex digits, no separators.
QByteArray replyHex(const QByteArray &reply);

// The index 1 to 7 that a poll step uses: any other value counts as 1.
int pollCycleIndex(int index);
// The index of the step after `index`: 1 to 7, then 1 again.
int nextPollIndex(int index);
// A step that sends nothing: the persistent status "j" on firmware without it.
bool isIdlePollStep(int index, int firmwareMinor);

// The communication lamp changes colour on every decoded reply (17408 and 47872 alternate).
std::uint32_t toggledCommLampColour(std::uint32_t colour);
// Light red while the encoder reports an error, white otherwise.
std::uint32_t anglePanelColour(bool encoderError);

} // namespace quarn
