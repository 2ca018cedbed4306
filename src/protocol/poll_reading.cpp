// SPDX-License-Identifier: MIT
#include "poll_reading.h"

#include "quarn_konstante.h"

namespace quarn {

PollReading decodePollReading(const QByteArray &reply, int index, const EncoderIdentity &identity)
{
    PollReading reading;
    reading.index = pollCycleIndex(index);
    reading.command = pollCommand(reading.index);
    reading.position = decodePositionWord(reply, reading.index, identity.multiturn,
                                          identity.resolution.bits, identity.singleTurnMask,
                                          identity.resolution.countsPerTurn);
    const int payload = reading.position.payloadOffset;
    switch (reading.index) {
    case 3:
        reading.status = decodeStatusWord(reply, payload);
        break;
    case 4:
        reading.persistentStatus = decodeStatusWord(reply, payload);
        break;
    case 5:
        reading.speed = decodeSpeed(reply, payload);
        break;
    case 6:
        reading.temperature = decodeTemperature(reply, payload);
        break;
    case 7:
        reading.signalLevel = decodeSignalLevel(reply, payload);
        if (reading.signalLevel)
            reading.airGapMicrometres =
                airGapMicrometres(*reading.signalLevel, identity.airGapK, identity.airGapN);
        break;
    default:
        break;
    }
    return reading;
}

} // namespace quarn
