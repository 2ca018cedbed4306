// SPDX-License-Identifier: MIT
#include "poll_decoding.h"

#include "identification.h"
#include "quarn_konstante.h"
#include "status_bits.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarn {

namespace {

constexpr int SingleTurnWordLength = 3;
constexpr int MultiturnWordLength = 5;
constexpr int WordBits = 24; // the single-turn position is left-aligned in the low 24 bits

// Big-endian unsigned value of `length` bytes from `offset`; nothing when the reply is shorter.
std::optional<std::uint32_t> readBigEndian(const QByteArray &reply, int offset, int length)
{
    if (offset < 0 || reply.size() - offset < length)
        return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < length; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(reply.at(offset + i));
    return value;
}

} // namespace

int positionWordOffset(int index)
{
    return pollCycleIndex(index) == 2 ? 0 : 1;
}

PositionWord decodePositionWord(const QByteArray &reply, int index, bool multiturn, int resolutionBits,
                                std::uint32_t singleTurnMask, std::int32_t countsPerTurn)
{
    PositionWord word;
    const int start = positionWordOffset(index);
    const int length = multiturn ? MultiturnWordLength : SingleTurnWordLength;

    std::uint64_t w = 0;
    word.complete = true;
    for (int i = 0; i < length; ++i) {
        std::uint8_t byte = 0;
        if (start + i < reply.size())
            byte = static_cast<std::uint8_t>(reply.at(start + i));
        else
            word.complete = false;
        w = (w << 8) | byte;
    }
    word.raw = static_cast<std::int64_t>(w);
    word.payloadOffset = start + length;
    word.error = (w & 0x2u) == 0 || !word.complete;

    const int shift = WordBits - std::clamp(resolutionBits, 0, WordBits);
    word.singleTurn = static_cast<std::int32_t>((w >> shift) & singleTurnMask);
    word.multiTurn = multiturn ? static_cast<std::int16_t>(static_cast<std::uint16_t>((w >> WordBits) & 0xFFFFu)) : 0;
    word.angleDegrees = countsPerTurn > 0 ? word.singleTurn * 360.0 / countsPerTurn : 0.0;
    word.kot = static_cast<float>(word.angleDegrees);
    return word;
}

std::optional<std::uint16_t> decodeStatusWord(const QByteArray &reply, int offset)
{
    const auto value = readBigEndian(reply, offset, 2);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<std::int32_t> decodeSpeed(const QByteArray &reply, int offset)
{
    const auto value = readBigEndian(reply, offset, 3);
    if (!value)
        return std::nullopt;
    const auto speed = static_cast<std::int32_t>(*value);
    return (*value & 0x800000u) ? speed - 0x1000000 : speed;
}

std::optional<std::int8_t> decodeTemperature(const QByteArray &reply, int offset)
{
    const auto value = readBigEndian(reply, offset, 1);
    if (!value)
        return std::nullopt;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(*value));
}

std::optional<std::uint16_t> decodeSignalLevel(const QByteArray &reply, int offset)
{
    return decodeStatusWord(reply, offset);
}

std::uint16_t storedSignalLevel(std::uint16_t level)
{
    return level == 0 ? 1 : level;
}

double airGapMicrometres(std::uint16_t level, float k, float n)
{
    return double{k} * std::log(static_cast<double>(storedSignalLevel(level))) + double{n};
}

QString angleText(double degrees, const QLocale &locale)
{
    // Round to hundredths first so that exact halves go to the even digit; adding 0.0 turns a
    // negative zero into a plain zero.
    const double hundredths = std::nearbyint(degrees * 100.0) + 0.0;
    // The window writes an angle at every poll step. Below 1000 there is no group separator,
    // so with the locale's digits being 0 to 9 the text is the digits, the locale's decimal
    // point and two more digits, put together here without the general number formatting.
    if (hundredths >= 0.0 && hundredths < 100000.0 && locale.zeroDigit() == u'0') {
        const auto value = static_cast<int>(hundredths);
        char whole[4];
        qsizetype wholeDigits = 0;
        for (int rest = value / 100; wholeDigits == 0 || rest > 0; rest /= 10)
            whole[wholeDigits++] = static_cast<char>('0' + rest % 10);
        QString text;
        text.reserve(wholeDigits + 8);
        while (wholeDigits > 0)
            text += QLatin1Char(whole[--wholeDigits]);
        text += locale.decimalPoint();
        text += QLatin1Char(static_cast<char>('0' + value / 10 % 10));
        text += QLatin1Char(static_cast<char>('0' + value % 10));
        text += QStringLiteral(" °");
        return text;
    }
    return locale.toString(hundredths / 100.0, 'f', 2) + QStringLiteral(" °");
}

PositionTexts positionTexts(const PositionWord &word, const QLocale &locale)
{
    if (word.error) {
        const QString dashes = QString::fromLatin1(PositionErrorText);
        return {dashes, dashes, dashes};
    }
    return {angleText(word.angleDegrees, locale), QString::number(word.singleTurn), QString::number(word.multiTurn)};
}

QString speedText(std::int32_t speed, bool encoderError, const QLocale &locale)
{
    if (encoderError)
        return QStringLiteral("Speed: - - - - -");
    return QStringLiteral("Speed: ") + locale.toString(speed);
}

QString temperatureText(std::int8_t celsius)
{
    return QStringLiteral("Temp: ") + QString::number(celsius) + QStringLiteral(" °C");
}

QString signalLevelText(std::uint16_t level)
{
    return QStringLiteral("Signal level: ") + QString::number(level);
}

QString airGapText(double micrometres, const QLocale &locale)
{
    const double whole = std::nearbyint(micrometres);
    // Only a value that fits a 64-bit integer goes through one; that also drops a negative zero.
    const bool fits = std::isfinite(whole) && std::fabs(whole) < 1e18;
    const QString number = fits ? locale.toString(static_cast<qlonglong>(whole)) : locale.toString(whole, 'f', 0);
    return QStringLiteral("Air gap: ") + number + QStringLiteral(" (±20) µm");
}

QString hexEchoLine(char command, const QByteArray &reply)
{
    // Written straight into the string: the window makes a line at every poll step.
    static constexpr char Digits[] = "0123456789ABCDEF";
    QString line(2 + 3 * reply.size() + 2, Qt::Uninitialized);
    QChar *out = line.data();
    *out++ = QLatin1Char(command);
    *out++ = u' ';
    for (const char byte : reply) {
        const auto value = static_cast<std::uint8_t>(byte);
        *out++ = QLatin1Char(Digits[value >> 4]);
        *out++ = QLatin1Char(Digits[value & 0x0F]);
        *out++ = u' ';
    }
    *out++ = u'\r';
    *out = u'\n';
    return line;
}

QByteArray replyHex(const QByteArray &reply)
{
    return reply.toHex().toUpper();
}

int pollCycleIndex(int index)
{
    return (index >= 1 && index <= PollCycleLength) ? index : 1;
}

int nextPollIndex(int index)
{
    return pollCycleIndex(index) % PollCycleLength + 1;
}

bool isIdlePollStep(int index, int firmwareMinor)
{
    return pollCommand(pollCycleIndex(index)) == cmd::PersistentStatus && firmwareMinor < PersistentStatusMinimumMinor;
}

std::uint32_t toggledCommLampColour(std::uint32_t colour)
{
    return colour ^ colour::Green;
}

std::uint32_t anglePanelColour(bool encoderError)
{
    return encoderError ? colour::LightRed : colour::White;
}

} // namespace quarn
