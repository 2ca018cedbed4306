// SPDX-License-Identifier: MIT
#pragma once

// An identified encoder as the poll decoding sees it, for tests that feed it replies.

#include "identification.h"
#include "part_number.h"

namespace testing_identity {

// Multiturn or not, `bits` per turn, and the air-gap coefficients of a code length of 8.
inline quarn::EncoderIdentity identity(bool multiturn, int bits)
{
    quarn::EncoderIdentity id;
    id.multiturn = multiturn;
    id.resolution = {static_cast<std::uint8_t>(bits), 1 << bits};
    id.singleTurnMask = quarn::singleTurnMask(bits);
    id.airGapK = -71.61973f;
    id.airGapN = 682.0f;
    return id;
}

} // namespace testing_identity
