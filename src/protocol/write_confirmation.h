// SPDX-License-Identifier: MIT
#pragma once

// Readings that may decide a write to the encoder or confirm one: the position a zero is set
// to, and the readings after a write that show the encoder took it. The display decodes every
// reply it gets; these decisions take only replies that are whole and look like their kind.

#include "identification.h"
#include "poll_decoding.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace quarn {

// The position of a poll reply to index 1 to 7, when the reply is fit to act on: exactly the
// reply's length (a surplus means something else was on the line), the echo of its command
// where the reply has one, and no error flag. Nothing for any other reply.
std::optional<PositionWord> usablePosition(const QByteArray &reply, int index, const EncoderIdentity &identity);

// A position in counts as a signed distance from zero along the turn: -countsPerTurn/2 (not
// included) to countsPerTurn/2.
std::int32_t countsFromZero(std::int64_t counts, std::int32_t countsPerTurn);

// A position reading taken some time after the reading that the zero was set to.
struct CountsAt {
    std::int32_t counts = 0;
    std::int64_t msAfterZeroReading = 0;
};

// Whether the readings after "Set zero here" show the zero where it was set. At the zero
// reading the shaft stood at what is now 0; from there a shaft turns steadily. The reading
// `afterZero` (taken once the zero was sent) gives its speed, and `closing` (the last reading
// of the sequence) must lie where that speed has brought it, within a margin for the encoder's
// noise and the uncertain moment of each reading. A zero the encoder did not take leaves both
// readings where the shaft was, which is not where a steady turn from 0 leads (unless the
// shaft stood within that margin of 0 anyway). A shaft that moved more than an eighth of a
// turn before `afterZero` turns too fast to tell, and the zero counts as not confirmed.
bool zeroConfirmed(std::int32_t countsPerTurn, CountsAt afterZero, CountsAt closing);

// Whether a reading after "Multiturn 0" shows the counter at 0: a shaft standing at the turn's
// edge may read -1 or 1 a moment later.
bool multiturnZeroConfirmed(std::int16_t turns);

} // namespace quarn
