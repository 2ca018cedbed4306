// SPDX-License-Identifier: MIT
#include "code_track.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CodeTrack, EveryCodeWordOfTheRingIsDistinct)
{
    for (int length = 5; length <= 9; ++length) {
        SCOPED_TRACE(length);
        const std::uint32_t ringLength = sim::codeRingLength(length);
        EXPECT_EQ(ringLength, (1u << length) - 1);
        std::vector<bool> seen(1u << length, false);
        for (std::uint32_t k = 0; k < ringLength; ++k) {
            const std::uint16_t word = sim::codeWordAt(length, k);
            ASSERT_LT(word, 1u << length);
            EXPECT_FALSE(seen[word]) << "word " << word << " repeats at " << k;
            seen[word] = true;
        }
        // The ring closes: position ringLength reads as position 0.
        EXPECT_EQ(sim::codeWordAt(length, ringLength), sim::codeWordAt(length, 0));
    }
}

} // namespace
