// SPDX-License-Identifier: MIT
#pragma once

// How strongly the code-track samples oscillate at L - 1, L and L + 1 periods (L the ring's
// code length), and the bars that show it.

#include "debug_record.h"

#include <array>

namespace quarn {

// Tukey (tapered cosine) window of M points, n = 0 to M - 1, taper fraction alpha.
// M of 1 or less gives 1.
float HarmonicWindow(int n, int M, float alpha);

// Samples analysed for a code length: 54 for 9, 48 for 8 and 6, 49 for 7 and any other.
int harmonicAnalysisLength(int codeLength);

// A bar's height for a magnitude: magnitude / 25, to nearest with ties to even.
int harmonicBarHeight(double magnitude);

struct HarmonicBars {
    std::array<int, 3> harmonics{};     // L - 1, L, L + 1
    std::array<double, 3> magnitudes{}; // windowed Fourier magnitude of each
    std::array<int, 3> heights{};       // bar heights in pixels
};

// The windowed Fourier sums over samples 1 to N (entry 0 is left out).
HarmonicBars analyzeCodeHarmonics(const DebugSamples &samples, int codeLength);

// The background box the bars stand in, design geometry.
inline constexpr int HarmonicBackgroundTop = 127;
inline constexpr int HarmonicBackgroundHeight = 370;

struct HarmonicBarGeometry {
    int top = 0;
    int height = 0;
};
// The bar's bottom stays on the background's bottom; a tall bar reaches above the box.
HarmonicBarGeometry harmonicBarGeometry(int height, int backgroundTop = HarmonicBackgroundTop,
                                        int backgroundHeight = HarmonicBackgroundHeight);

} // namespace quarn
