// SPDX-License-Identifier: MIT
// Poll replies for every command index and both turn types, decoded the way the poll step does
// (echo line, hexadecimal text, position word, the command's own quantity, readouts, lamps, dial)
// and the way the command-line companion does (the whole reply at once).
//
// Input: byte 0 the command index (as a signed byte, so indexes outside 1 to 7 occur too),
// byte 1 the turn type (bit 0), resolution (bits 1-3) and code length (bits 4-6), byte 2 the
// locale, byte 3 the dial's width; the rest is the reply.

#include "fuzz_support.h"

#include "dial_geometry.h"
#include "identification.h"
#include "part_number.h"
#include "poll_decoding.h"
#include "poll_reading.h"
#include "quarn_konstante.h"
#include "status_bits.h"
#include "write_confirmation.h"

#include <cmath>
#include <optional>

namespace {

bool isUpperHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// The resolution the identification leaves: one of the six codes, or the preset.
quarn::Resolution resolutionChoice(int choice)
{
    if (choice < 6) {
        const auto bits = static_cast<std::uint8_t>(16 + choice);
        return {bits, std::int32_t{1} << bits};
    }
    return quarn::StartupResolution;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quarn;
    fuzz::Input input(data, size);
    const int requestedIndex = static_cast<std::int8_t>(input.byte());
    const std::uint8_t identityByte = input.byte();
    const QLocale &locale = fuzz::locale(input.byte());
    const int dialWidth = input.byte();
    const QByteArray reply = input.rest();

    const bool multiturn = (identityByte & 1u) != 0;
    const Resolution resolution = resolutionChoice((identityByte >> 1) & 7);
    const int codeLength = 5 + ((identityByte >> 4) & 7) % 5;
    const AirGapCoefficients airGap = airGapCoefficients(codeLength).value();
    const std::uint32_t mask = singleTurnMask(resolution.bits);

    const int index = pollCycleIndex(requestedIndex);
    FUZZ_CHECK(index >= 1 && index <= PollCycleLength);
    FUZZ_CHECK(nextPollIndex(requestedIndex) >= 1 && nextPollIndex(requestedIndex) <= PollCycleLength);
    const char command = pollCommand(index);
    FUZZ_CHECK(isPollCommand(command));

    // The echo keeps every byte, surplus included.
    const QString echo = hexEchoLine(command, reply);
    FUZZ_CHECK(echo.size() == 2 + 3 * reply.size() + 2);
    FUZZ_CHECK(echo.at(0) == QLatin1Char(command) && echo.endsWith(QStringLiteral("\r\n")));
    const QByteArray hex = replyHex(reply);
    FUZZ_CHECK(hex.size() == 2 * reply.size() && isUpperHex(hex));

    const PositionWord word =
        decodePositionWord(reply, requestedIndex, multiturn, resolution.bits, mask, resolution.countsPerTurn);
    const int start = index == 2 ? 0 : 1;
    const int wordLength = multiturn ? 5 : 3;
    FUZZ_CHECK(word.payloadOffset == start + wordLength);
    FUZZ_CHECK(word.complete == (reply.size() >= start + wordLength));
    FUZZ_CHECK(word.error == (!word.complete || (word.raw & 2) == 0));
    FUZZ_CHECK(word.raw >= 0 && word.raw < (std::int64_t{1} << (8 * wordLength)));
    FUZZ_CHECK(word.singleTurn >= 0 && word.singleTurn < resolution.countsPerTurn);
    FUZZ_CHECK(word.angleDegrees >= 0.0 && word.angleDegrees < 360.0);
    FUZZ_CHECK(word.kot >= 0.0f && word.kot < 360.0f);
    FUZZ_CHECK(multiturn || word.multiTurn == 0);
    FUZZ_CHECK(reply.size() >= PollReplyLengths[multiturn ? 1 : 0][index] ? word.complete : true);

    const PositionTexts texts = positionTexts(word, locale);
    if (word.error) {
        FUZZ_CHECK(texts.degrees == QString::fromLatin1(PositionErrorText));
        FUZZ_CHECK(texts.counts == texts.degrees && texts.multiturn == texts.degrees);
    } else {
        FUZZ_CHECK(texts.degrees.endsWith(QStringLiteral(" °")));
        bool ok = false;
        const double shown = locale.toDouble(texts.degrees.chopped(2), &ok);
        FUZZ_CHECK(ok && shown >= 0.0 && shown <= 360.0 && std::fabs(shown - word.angleDegrees) <= 0.005 + 1e-9);
        FUZZ_CHECK(texts.counts == QString::number(word.singleTurn));
        FUZZ_CHECK(texts.multiturn == QString::number(word.multiTurn));
    }

    // The command's own quantity: present exactly when the reply is long enough to hold it.
    const int payload = word.payloadOffset;
    const auto holds = [&](int width) { return reply.size() >= payload + width; };
    switch (index) {
    case 3:
    case 4: {
        const std::optional<std::uint16_t> status = decodeStatusWord(reply, payload);
        FUZZ_CHECK(status.has_value() == holds(2));
        const auto colours = lampColours(status.value_or(0));
        FUZZ_CHECK(colours.size() == 14);
        for (std::size_t i = 0; i < colours.size(); ++i) {
            const bool on = (status.value_or(0) >> StatusLamps[i].bit) & 1u;
            FUZZ_CHECK(colours[i] == (on ? StatusLamps[i].onColour : colour::Grey));
        }
        break;
    }
    case 5: {
        const std::optional<std::int32_t> speed = decodeSpeed(reply, payload);
        FUZZ_CHECK(speed.has_value() == holds(3));
        if (speed) {
            FUZZ_CHECK(*speed >= -8388608 && *speed <= 8388607);
            const QString text = speedText(*speed, word.error, locale);
            FUZZ_CHECK(word.error ? text == QStringLiteral("Speed: - - - - -")
                                  : text == QStringLiteral("Speed: ") + locale.toString(*speed));
        }
        break;
    }
    case 6: {
        const std::optional<std::int8_t> celsius = decodeTemperature(reply, payload);
        FUZZ_CHECK(celsius.has_value() == holds(1));
        if (celsius)
            FUZZ_CHECK(temperatureText(*celsius) == QStringLiteral("Temp: ") + QString::number(*celsius) + QStringLiteral(" °C"));
        break;
    }
    case 7: {
        const std::optional<std::uint16_t> level = decodeSignalLevel(reply, payload);
        FUZZ_CHECK(level.has_value() == holds(2));
        if (level) {
            FUZZ_CHECK(signalLevelText(*level) == QStringLiteral("Signal level: ") + QString::number(*level));
            FUZZ_CHECK(storedSignalLevel(*level) >= 1);
            const double gap = airGapMicrometres(*level, airGap.k, airGap.n);
            FUZZ_CHECK(std::isfinite(gap));
            FUZZ_CHECK(*level > 1 || gap == double{airGap.n});
            const QString text = airGapText(gap, locale);
            FUZZ_CHECK(text.startsWith(QStringLiteral("Air gap: ")) && text.endsWith(QStringLiteral(" (±20) µm")));
        }
        break;
    }
    default:
        break;
    }

    // The whole-reply decoder agrees with the steps above and fills only its command's quantity.
    EncoderIdentity identity;
    identity.multiturn = multiturn;
    identity.resolution = resolution;
    identity.singleTurnMask = mask;
    identity.airGapK = airGap.k;
    identity.airGapN = airGap.n;
    const PollReading reading = decodePollReading(reply, requestedIndex, identity);
    FUZZ_CHECK(reading.index == index && reading.command == command);
    FUZZ_CHECK(reading.position.raw == word.raw && reading.position.error == word.error
               && reading.position.singleTurn == word.singleTurn && reading.position.multiTurn == word.multiTurn
               && reading.position.complete == word.complete);
    FUZZ_CHECK(reading.status == (index == 3 ? decodeStatusWord(reply, payload) : std::nullopt));
    FUZZ_CHECK(reading.persistentStatus == (index == 4 ? decodeStatusWord(reply, payload) : std::nullopt));
    FUZZ_CHECK(reading.speed == (index == 5 ? decodeSpeed(reply, payload) : std::nullopt));
    FUZZ_CHECK(reading.temperature == (index == 6 ? decodeTemperature(reply, payload) : std::nullopt));
    FUZZ_CHECK(reading.signalLevel == (index == 7 ? decodeSignalLevel(reply, payload) : std::nullopt));
    FUZZ_CHECK(reading.airGapMicrometres.has_value() == reading.signalLevel.has_value());
    if (reading.airGapMicrometres)
        FUZZ_CHECK(*reading.airGapMicrometres == airGapMicrometres(*reading.signalLevel, airGap.k, airGap.n));

    FUZZ_CHECK(anglePanelColour(word.error) == (word.error ? colour::LightRed : colour::White));

    // A zero or a write's read-back takes only a whole reply with its echo and no error flag,
    // and then the same position the display decodes.
    const std::optional<PositionWord> usable = usablePosition(reply, requestedIndex, identity);
    const bool whole = reply.size() == pollReplyLength(multiturn ? 1 : 0, index);
    const bool echoed = index == 2 || (!reply.isEmpty() && reply.at(0) == command);
    FUZZ_CHECK(usable.has_value() == (whole && echoed && !word.error));
    if (usable)
        FUZZ_CHECK(usable->singleTurn == word.singleTurn && usable->multiTurn == word.multiTurn);
    const std::int32_t fromZero = countsFromZero(word.singleTurn, resolution.countsPerTurn);
    FUZZ_CHECK(2 * std::int64_t{fromZero} > -resolution.countsPerTurn
               && 2 * std::int64_t{fromZero} <= resolution.countsPerTurn);
    // Any pair of readings and moments is judged without a fault; a standing shaft at 0 is zeroed.
    const std::int64_t ms = static_cast<std::int64_t>(word.raw & 0xFFFFFF) - 100;
    (void)zeroConfirmed(resolution.countsPerTurn, {word.singleTurn, ms}, {word.multiTurn, ms * 3 + word.multiTurn});
    FUZZ_CHECK(zeroConfirmed(resolution.countsPerTurn, {0, 200}, {0, 600}));

    if (!word.error) {
        const DialGeometry dial = dialGeometry(dialWidth, word.kot);
        const int r = dial.radius;
        FUZZ_CHECK(dial.pointerTo.x >= 0 && dial.pointerTo.x <= 2 * r);
        FUZZ_CHECK(dial.pointerTo.y >= 0 && dial.pointerTo.y <= 2 * r);
    }
    return 0;
}
