// SPDX-License-Identifier: MIT
#include "request_parser.h"

#include "quarn_konstante.h"

namespace sim {

std::optional<int> protectedArgumentCount(char command)
{
    switch (command) {
    case quarn::cmd::MultiturnZero:
    case quarn::cmd::ZeroOffset:
        return 4;
    case quarn::cmd::SelfCalArc:
        return 2;
    case quarn::cmd::SelfCalTimeout:
        return 1;
    case quarn::cmd::Save:
    case quarn::cmd::FactoryReset:
    case quarn::cmd::ResetPersistentStatus:
    case quarn::cmd::SelfCalStart:
        return 0;
    default:
        return std::nullopt;
    }
}

bool isPlainCommand(char byte)
{
    switch (byte) {
    case quarn::cmd::Identify:
    case quarn::cmd::SelfCalStatus:
    case quarn::cmd::DebugConfirm:
    case quarn::cmd::DebugRead:
        return true;
    default:
        return quarn::isPollCommand(byte);
    }
}

std::vector<ParsedRequest> RequestParser::feed(const QByteArray &bytes, std::int64_t timeMs)
{
    std::vector<ParsedRequest> out;
    for (const char byte : bytes)
        feedByte(byte, timeMs, out);
    return out;
}

std::vector<ParsedRequest> RequestParser::expire(std::int64_t nowMs)
{
    std::vector<ParsedRequest> out;
    if (!pending_.isEmpty() && nowMs - lastByteMs_ > InterByteTimeoutMs)
        emitPending(RequestKind::Truncated, out);
    return out;
}

std::optional<std::int64_t> RequestParser::deadline() const
{
    if (pending_.isEmpty())
        return std::nullopt;
    return lastByteMs_ + InterByteTimeoutMs + 1;
}

void RequestParser::emitPending(RequestKind kind, std::vector<ParsedRequest> &out)
{
    ParsedRequest request;
    request.kind = kind;
    request.bytes = pending_;
    request.timeMs = firstByteMs_;
    const qsizetype prefixLength = quarn::UnlockPrefix.size();
    if (kind == RequestKind::Protected) {
        request.command = pending_.at(prefixLength);
        request.arguments = pending_.mid(prefixLength + 1);
    }
    out.push_back(std::move(request));
    pending_.clear();
}

void RequestParser::feedByte(char byte, std::int64_t timeMs, std::vector<ParsedRequest> &out)
{
    if (!pending_.isEmpty() && timeMs - lastByteMs_ > InterByteTimeoutMs)
        emitPending(RequestKind::Truncated, out);

    const QByteArray &prefix = quarn::UnlockPrefix;
    if (pending_.isEmpty()) {
        if (byte == prefix.at(0)) {
            pending_.append(byte);
            firstByteMs_ = lastByteMs_ = timeMs;
        } else {
            ParsedRequest request;
            request.kind = isPlainCommand(byte) ? RequestKind::Plain : RequestKind::Unknown;
            request.bytes = QByteArray(1, byte);
            request.command = request.kind == RequestKind::Plain ? byte : char{0};
            request.timeMs = timeMs;
            out.push_back(std::move(request));
        }
        return;
    }

    pending_.append(byte);
    lastByteMs_ = timeMs;
    const qsizetype length = pending_.size();
    const qsizetype prefixLength = prefix.size();
    if (length <= prefixLength) {
        if (byte != prefix.at(length - 1)) {
            // Not a prefix after all: what came before is unknown, and this byte starts afresh.
            pending_.chop(1);
            emitPending(RequestKind::Unknown, out);
            feedByte(byte, timeMs, out);
        }
        return;
    }

    const char command = pending_.at(prefixLength);
    if (length == prefixLength + 1) {
        if (command == quarn::DebugEntryCode) {
            emitPending(RequestKind::DebugEntry, out);
            return;
        }
        const auto arguments = protectedArgumentCount(command);
        if (!arguments) {
            emitPending(RequestKind::Unknown, out);
            return;
        }
        if (*arguments == 0)
            emitPending(RequestKind::Protected, out);
        return;
    }
    if (length == prefixLength + 1 + *protectedArgumentCount(command))
        emitPending(RequestKind::Protected, out);
}

} // namespace sim
