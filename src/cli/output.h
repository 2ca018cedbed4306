// SPDX-License-Identifier: MIT
#pragma once

// Writing results and messages: one flushed line at a time, so that a pipe or a file holds
// every complete reading even when the program is stopped between two of them.

#include "cli_context.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace cli {

enum class OutputFormat {
    Text, // for people
    Json, // one compact JSON object per line
    Csv,  // semicolon-separated with a header line (poll only)
};

// "2026-05-04T12:34:56.789Z": the time of a line, in UTC with milliseconds.
QString isoTimestamp(const QDateTime &time);

// A line of output (the line end is added).
void writeLine(Context &context, const QString &line);
// Several lines at once; the text's own line breaks stay.
void writeText(Context &context, const QString &text);
void writeJson(Context &context, const QJsonObject &object);

// The exit code of a finished run. A failed write to standard output is reported once
// ("write error: <reason>") and makes any run a failure. A failed run ends with the code of the
// first failure it reported, and with --json that failure is also written as one error object
// {"event":"error","kind","message","port"} on standard output.
int finishRun(Context &context, int exitCode);

// {"event":"error","kind","message","port"}: the object of a failure with --json; "port" is null
// when the failure concerns no one port.
QJsonObject errorJson(const Failure &failure);

// A failure: "trevisor-cli: error: " + the message on standard error. The first failure of a
// run is kept for its exit code and error object. Returns the kind's exit code.
int fail(Context &context, FailureKind kind, const QString &message, const QString &port = {});
// Something that went wrong without failing the command: "trevisor-cli: warning: " + text.
void writeWarning(Context &context, const QString &text);
// A note for people, not a failure: "trevisor-cli: " + text (the encoder acted on, a file
// written).
void writeInfo(Context &context, const QString &text);
// A progress note: written only with --verbose, as writeInfo.
void writeNote(Context &context, const QString &note);

// A single-precision value as the shortest decimal that gives it back (45.8f is 45.8, not
// 45.799999237...), for text and as a double for JSON.
QString floatText(float value);
double floatAsDouble(float value);

// A double with as many digits as it needs to come back unchanged; "." as decimal point.
QString doubleText(double value);

} // namespace cli
