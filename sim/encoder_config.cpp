// SPDX-License-Identifier: MIT
#include "encoder_config.h"

#include "part_number.h"

namespace sim {

EncoderGeometry geometryOf(const QByteArray &partNumber)
{
    EncoderGeometry geometry;
    if (const auto resolution = quarn::resolutionFromPartNumber(partNumber)) {
        geometry.bits = resolution->bits;
        geometry.countsPerTurn = resolution->countsPerTurn;
    }
    geometry.multiturn = quarn::isMultiturnPartNumber(partNumber);
    geometry.codeLength = quarn::ringModelFromPartNumber(partNumber).codeLength;
    return geometry;
}

} // namespace sim
