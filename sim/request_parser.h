// SPDX-License-Identifier: MIT
#pragma once

// Splits the byte stream that reaches the encoder into requests: one-byte commands, protected
// commands behind the unlock prefix with their argument bytes, and the debug entry. Anything
// else is reported as unknown and skipped, so the next request parses afresh.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

enum class RequestKind {
    Plain,      // one command byte
    Protected,  // prefix, command byte, argument bytes
    DebugEntry, // prefix, debug-entry code byte
    Unknown,    // bytes that form no request
    Truncated,  // a protected request whose bytes stopped before it was complete
};

struct ParsedRequest {
    RequestKind kind = RequestKind::Unknown;
    QByteArray bytes;      // every byte the request consumed, prefix included
    char command = 0;      // the command byte (Plain and Protected)
    QByteArray arguments;  // the argument bytes (Protected)
    std::int64_t timeMs = 0; // arrival of its first byte
};

// Number of argument bytes after a protected command byte; nothing for an unknown command.
std::optional<int> protectedArgumentCount(char command);
bool isPlainCommand(char byte);

class RequestParser {
public:
    // A protected request whose next byte is later than this is dropped as truncated.
    static constexpr std::int64_t InterByteTimeoutMs = 50;

    std::vector<ParsedRequest> feed(const QByteArray &bytes, std::int64_t timeMs);
    // Drops a pending protected request that has waited too long for its next byte.
    std::vector<ParsedRequest> expire(std::int64_t nowMs);
    // When the pending protected request, if any, will be dropped.
    std::optional<std::int64_t> deadline() const;

private:
    void feedByte(char byte, std::int64_t timeMs, std::vector<ParsedRequest> &out);
    void emitPending(RequestKind kind, std::vector<ParsedRequest> &out);

    QByteArray pending_;
    std::int64_t firstByteMs_ = 0;
    std::int64_t lastByteMs_ = 0;
};

} // namespace sim
