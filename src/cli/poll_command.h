// SPDX-License-Identifier: MIT
#pragma once

// `poll`: the window's poll cycle ("1", "3", "d", "j", "s", "t", "a", one command per reading,
// "j" left out on firmware without it) or one of its commands, printed per reading.

#include "cli_context.h"
#include "command.h"
#include "encoder_link.h"
#include "output.h"

#include "poll_reading.h"

#include <QByteArray>

#include <optional>

namespace cli {

inline constexpr int DefaultMaxErrors = 3;

struct PollOptions {
    std::optional<int> commandIndex; // 1 to 7: only this command; none: the whole cycle
    qint64 count = 0;                // readings; 0 until stopped
    int intervalMs = 50;             // from the start of one reading to the next; 0 back to back
    OutputFormat format = OutputFormat::Text;
    // Readings in a row spoilt on the line that end the run with exit code 5; 0: never.
    int maxErrors = DefaultMaxErrors;
};

struct PollStep {
    quarn::PollReading reading;
    QByteArray reply;
    // Why the reply cannot be read (no reply, too short, a wrong echo); empty for a good one.
    QString fault;
};

// The poll index of a command character of the cycle ("1" gives 1, "a" gives 7); none for any
// other text.
std::optional<int> pollIndexOfCommand(const QString &command);

// One poll step at `index`, as the window's: the command of that index, its reply decoded, or
// the fault of a reply that came spoilt. Nothing (and the failure reported) when the request
// could not be sent: the port is gone.
std::optional<PollStep> pollAttempt(EncoderLink &link, Context &context, int index);

// The same for a sequence that must not go on without the reading: a spoilt reply is reported
// too and gives nothing.
std::optional<PollStep> pollStep(EncoderLink &link, Context &context, int index);

// Counts the spoilt readings in a row; true (after the message) once there are too many.
class FaultLimit {
public:
    explicit FaultLimit(int maxErrors) : maxErrors_(maxErrors) {}
    bool exceeded(const PollStep &step, Context &context);

private:
    int maxErrors_;
    int inRow_ = 0;
};

// One reading as text, a JSON object or a CSV row, spoilt or not.
void writePollStep(Context &context, OutputFormat format, const PollStep &step, qint64 startMs);

// The index the cycle uses next after `index`, passing over the step the firmware lacks.
int nextActivePollIndex(int index, int firmwareMinor);

// Ctrl+C ends the run after the current reading. A spoilt reading is written as such and the
// run goes on, up to --max-errors of them in a row.
int runPoll(EncoderLink &link, const PollOptions &options, Context &context);

Command pollCommand();

} // namespace cli
