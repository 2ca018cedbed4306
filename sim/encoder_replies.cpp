// SPDX-License-Identifier: MIT
#include "encoder_replies.h"

#include "part_number.h"
#include "quarn_konstante.h"

#include <algorithm>

namespace sim {
namespace {

void appendBigEndian(QByteArray &out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray identificationReply(const EncoderConfig &config)
{
    QByteArray reply = QByteArrayLiteral("vQuarn-2 ");
    reply.append(config.serialNumber.leftJustified(quarn::SerialNumberLength, ' ', true));
    reply.append("   ");
    reply.append(config.partNumber.leftJustified(quarn::PartNumberLength, ' ', true));
    reply.append('\0');
    reply.append(static_cast<char>(config.firmware.major));
    reply.append(static_cast<char>(config.firmware.minor));
    reply.append(static_cast<char>(config.firmware.protocol));
    appendBigEndian(reply, config.firmware.revision, 4);
    return reply;
}

std::uint64_t positionWord(std::uint32_t singleTurn, std::int16_t turns, int bits, bool error)
{
    const int width = std::clamp(bits, 1, 22);
    const std::uint64_t position = singleTurn & ((std::uint64_t{1} << width) - 1);
    std::uint64_t word = std::uint64_t{static_cast<std::uint16_t>(turns)} << 24;
    word |= position << (24 - width);
    if (!error)
        word |= 0x02;
    return word;
}

QByteArray positionBytes(std::uint64_t word, bool multiturn)
{
    QByteArray out;
    appendBigEndian(out, word, multiturn ? 5 : 3);
    return out;
}

QByteArray pollReply(char command, const QByteArray &position, const PollValues &values)
{
    if (!quarn::isPollCommand(command))
        return {};
    QByteArray reply;
    if (command != quarn::cmd::PositionNoEcho)
        reply.append(command);
    reply.append(position);
    switch (command) {
    case quarn::cmd::Status:
        appendBigEndian(reply, values.statusWord, 2);
        break;
    case quarn::cmd::PersistentStatus:
        appendBigEndian(reply, values.persistentStatusWord, 2);
        break;
    case quarn::cmd::Speed: {
        const std::int32_t speed = std::clamp(values.speed, -8388608, 8388607);
        appendBigEndian(reply, static_cast<std::uint32_t>(speed) & 0xFFFFFFu, 3);
        break;
    }
    case quarn::cmd::Temperature:
        reply.append(static_cast<char>(values.temperatureC));
        break;
    case quarn::cmd::SignalLevel:
        appendBigEndian(reply, values.signalLevel, 2);
        break;
    default:
        break;
    }
    return reply;
}

QByteArray debugRecord(const DebugRecordFields &fields)
{
    QByteArray record;
    record.reserve(quarn::DebugRecordLength);
    record.append(fields.header);
    for (const std::int16_t sample : fields.samples)
        appendBigEndian(record, static_cast<std::uint16_t>(sample), 2);
    appendBigEndian(record, fields.absPos, 4);
    record.append(2, '\0');
    record.append(static_cast<char>(fields.decodSelect));
    appendBigEndian(record, fields.codeA, 2);
    appendBigEndian(record, fields.codeB, 2);
    record.append(2, '\0');
    appendBigEndian(record, fields.mcuTemp, 2);
    appendBigEndian(record, fields.cycleTime, 2);
    appendBigEndian(record, fields.debugStatus, 2);
    appendBigEndian(record, fields.vdda, 2);
    record.append(static_cast<char>(fields.resetCount));
    return record;
}

QByteArray debugEntryReply()
{
    QByteArray reply(1, quarn::DebugEntryCode);
    reply.append("DBG1");
    return reply;
}

} // namespace sim
