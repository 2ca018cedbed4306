// SPDX-License-Identifier: MIT
#pragma once

// `zero`, `mt-zero`, `factory-reset` and `reset-status`: the window's command sequences with
// the same requests, in the same order, with the same pauses, and then a position reading that
// confirms them: each succeeds only when that reading comes whole and without the error flag
// (for `zero`: near 0, for `mt-zero`: turns 0), and otherwise exits with ExitNotConfirmed (5),
// as it does when the encoder stops answering on the way.

#include "cli_context.h"
#include "command.h"
#include "encoder_link.h"
#include "output.h"

#include "poll_decoding.h"

#include <QString>

#include <optional>

namespace cli {

// A position reading that may decide or confirm a write, or why the reading cannot.
struct UsableReading {
    std::optional<quarn::PositionWord> position;
    QString why;           // when there is none
    bool portLost = false; // the request did not go out; already reported
    bool flagged = false;  // the reading carries the encoder's error flag
};

// A poll step at `index` whose reply must come whole, with its echo and without the error flag.
UsableReading readUsablePosition(EncoderLink &link, Context &context, int index);

// Set zero here. One poll step first: the window never sets a zero while the last position
// carried the error flag, and the program has no earlier reading to tell.
int runZero(EncoderLink &link, OutputFormat format, Context &context);
// Multiturn 0; refused for a single-turn encoder, whose window hides the button.
int runMultiturnZero(EncoderLink &link, OutputFormat format, Context &context);
// Reset to factory settings.
int runFactoryReset(EncoderLink &link, OutputFormat format, Context &context);
// Reset of the persistent status; refused for firmware whose minor version is below 9, as the
// window's button is.
int runResetStatus(EncoderLink &link, OutputFormat format, Context &context);

Command zeroCommand();
Command multiturnZeroCommand();
Command factoryResetCommand();
Command resetStatusCommand();

} // namespace cli
