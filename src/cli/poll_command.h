// SPDX-License-Identifier: MIT
#pragma once

// `poll`: the window's poll cycle ("1", "3", "d", "j", "s", "t", "a", one command per reading,
// "j" left out on firmware without it) or one of its commands, printed per reading.

#include "cli_context.h"
#include "encoder_link.h"
#include "output.h"

#include "poll_reading.h"

#include <QByteArray>

#include <optional>

namespace cli {

struct PollOptions {
    std::optional<int> commandIndex; // 1 to 7: only this command; none: the whole cycle
    qint64 count = 0;                // readings; 0 until stopped
    int intervalMs = 50;             // from the start of one reading to the next; 0 back to back
    OutputFormat format = OutputFormat::Text;
};

struct PollStep {
    quarn::PollReading reading;
    QByteArray reply;
};

// The poll index of a command character of the cycle ("1" gives 1, "a" gives 7); none for any
// other text.
std::optional<int> pollIndexOfCommand(const QString &command);

// One poll step at `index`, as the window's: the command of that index, its reply decoded.
// Nothing (and the failure reported) when the exchange fails.
std::optional<PollStep> pollStep(EncoderLink &link, Context &context, int index);

// The index the cycle uses next after `index`, passing over the step the firmware lacks.
int nextActivePollIndex(int index, int firmwareMinor);

// Ctrl+C ends the run after the current reading with success.
int runPoll(EncoderLink &link, const PollOptions &options, Context &context);

} // namespace cli
