// SPDX-License-Identifier: MIT
#include "quarn_konstante.h"

namespace quarn {

namespace {
int normalisedPollIndex(int index)
{
    return index >= 1 && index <= PollCommandCount ? index : 1;
}
} // namespace

bool isPollCommand(char command)
{
    for (int index = 1; index <= PollCycleLength; ++index) {
        if (pollCommand(index) == command)
            return true;
    }
    return false;
}

char pollCommand(int index)
{
    return PollCommands[normalisedPollIndex(index) - 1];
}

int pollReplyLength(int multiturn, int index)
{
    return PollReplyLengths[multiturn == 1 ? 1 : 0][static_cast<std::size_t>(normalisedPollIndex(index))];
}

QByteArray protectedRequest(char command, const QByteArray &arguments)
{
    return UnlockPrefix + QByteArray(1, command) + arguments;
}

QByteArray zeroOffsetTemplate()
{
    return protectedRequest(cmd::ZeroOffset, QByteArray::fromHex("00000002"));
}

QByteArray zeroOffsetRequest(std::int32_t value)
{
    QByteArray request = zeroOffsetTemplate();
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 8; i >= 5; --i) {
        request[i] = static_cast<char>(bits & 0xFFu);
        bits >>= 8;
    }
    return request;
}

QByteArray multiturnZeroRequest()
{
    return protectedRequest(cmd::MultiturnZero, QByteArray(4, '\0'));
}

QByteArray saveRequest() { return protectedRequest(cmd::Save); }
QByteArray factoryResetRequest() { return protectedRequest(cmd::FactoryReset); }
QByteArray resetPersistentStatusRequest() { return protectedRequest(cmd::ResetPersistentStatus); }
QByteArray selfCalStartRequest() { return protectedRequest(cmd::SelfCalStart); }

QByteArray selfCalArcRequest(std::uint16_t arcDegrees)
{
    QByteArray arguments;
    arguments.append(static_cast<char>(arcDegrees >> 8));
    arguments.append(static_cast<char>(arcDegrees & 0xFFu));
    return protectedRequest(cmd::SelfCalArc, arguments);
}

QByteArray selfCalTimeoutRequest(std::uint8_t seconds)
{
    return protectedRequest(cmd::SelfCalTimeout, QByteArray(1, static_cast<char>(seconds)));
}

QByteArray debugEntryRequest()
{
    return UnlockPrefix + QByteArray(1, DebugEntryCode);
}

} // namespace quarn
