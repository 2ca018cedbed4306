// SPDX-License-Identifier: MIT
#include "part_number.h"

#include <array>

namespace quarn {

std::optional<Resolution> resolutionFromPartNumber(const QByteArray &partNumber)
{
    if (partNumber.size() < 10)
        return std::nullopt;
    const QByteArray code = partNumber.mid(8, 2);
    for (std::uint8_t bits = 16; bits <= 21; ++bits) {
        if (code == QByteArray::number(bits))
            return Resolution{bits, std::int32_t{1} << bits};
    }
    return std::nullopt;
}

bool isMultiturnPartNumber(const QByteArray &partNumber)
{
    return partNumber.size() > 10 && partNumber.at(10) == 'M';
}

RingModel ringModelFromPartNumber(const QByteArray &partNumber)
{
    struct Row {
        const char *prefix;
        float diameterMm;
        int codeLength;
    };
    static constexpr std::array<Row, 10> rows{{
        {"QX101", 18.3f, 6},
        {"QX102", 23.7f, 6},
        {"QX103", 33.4f, 7},
        {"QX104", 42.1f, 7},
        {"QX105", 45.8f, 8},
        {"QX106", 57.3f, 8},
        {"QX107", 72.8f, 8},
        {"QX108", 109.096f, 9},
        {"QX109", 143.398f, 9},
        {"QY1", 1e9f, 5},
    }};
    for (const Row &row : rows) {
        if (partNumber.startsWith(row.prefix))
            return {row.diameterMm, row.codeLength};
    }
    return {};
}

std::optional<AirGapCoefficients> airGapCoefficients(int codeLength)
{
    switch (codeLength) {
    case 5: return AirGapCoefficients{-119.36621f, 1236.0f};
    case 6: return AirGapCoefficients{-95.492966f, 977.1f};
    case 7: return AirGapCoefficients{-83.55634f, 846.1f};
    case 8: return AirGapCoefficients{-71.61973f, 682.0f};
    case 9: return AirGapCoefficients{-70.293434f, 735.0f};
    default: return std::nullopt;
    }
}

std::uint32_t singleTurnMask(int bits)
{
    std::uint32_t mask = 0;
    for (int i = 0; i < bits && i < 32; ++i)
        mask = (mask << 1) | 1u;
    return mask;
}

} // namespace quarn
