// SPDX-License-Identifier: MIT
#include "harmonics.h"

#include <cmath>
#include <numbers>

namespace quarn {

namespace {

using Extended = long double;
constexpr Extended Pi = std::numbers::pi_v<Extended>;
constexpr float WindowTaper = 0.9f;

} // namespace

float HarmonicWindow(int n, int M, float alpha)
{
    const Extended a = alpha;
    if (a < 0.01L || M <= 1)
        return 1.0f;
    const Extended span = M - 1;
    const Extended x = n;
    if (x < a * span / 2)
        return static_cast<float>((1 + std::cos(Pi * (2 * x / (a * span) - 1))) / 2);
    if (x <= span * (1 - a / 2))
        return 1.0f;
    return static_cast<float>((1 + std::cos(Pi * (2 * x / (a * span) - 2 / a + 1))) / 2);
}

int harmonicAnalysisLength(int codeLength)
{
    switch (codeLength) {
    case 9: return 54;
    case 8: return 48;
    case 6: return 48;
    default: return 49;
    }
}

int harmonicBarHeight(double magnitude)
{
    return static_cast<int>(std::lrint(magnitude / 25.0));
}

HarmonicBars analyzeCodeHarmonics(const DebugSamples &samples, int codeLength)
{
    const int length = harmonicAnalysisLength(codeLength);
    // Weights indexed from 1 like the samples; the window's two zero end points are left out.
    std::array<float, DebugSampleSlots> weights{};
    for (int i = 1; i <= length; ++i)
        weights[static_cast<std::size_t>(i)] = HarmonicWindow(i, length + 2, WindowTaper);

    HarmonicBars bars;
    for (std::size_t h = 0; h < 3; ++h) {
        const int k = codeLength - 1 + static_cast<int>(h);
        double sine = 0.0;
        double cosine = 0.0;
        for (int i = 1; i <= length; ++i) {
            const auto phase = static_cast<double>(2 * Pi * k * (i - 1) / length);
            const Extended term = static_cast<Extended>(samples[static_cast<std::size_t>(i)])
                                  * weights[static_cast<std::size_t>(i)];
            sine = static_cast<double>(sine + std::sin(Extended{phase}) * term);
            cosine = static_cast<double>(cosine + std::cos(Extended{phase}) * term);
        }
        bars.harmonics[h] = k;
        bars.magnitudes[h] = std::sqrt(sine * sine + cosine * cosine);
        bars.heights[h] = harmonicBarHeight(bars.magnitudes[h]);
    }
    return bars;
}

HarmonicBarGeometry harmonicBarGeometry(int height, int backgroundTop, int backgroundHeight)
{
    return {backgroundTop + backgroundHeight - height, height};
}

} // namespace quarn
