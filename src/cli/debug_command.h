// SPDX-License-Identifier: MIT
#pragma once

// `debug`: what the window does on each poll tick while "Read const" or "Record debug data to
// file" is ticked: one poll step, then the 129-byte debug record, decoded, with the code words
// and the three harmonic magnitudes; optionally each reading as a row of the window's
// recording file.

#include "cli_context.h"
#include "command.h"
#include "encoder_link.h"
#include "output.h"
#include "poll_command.h"

#include "debug_record.h"
#include "harmonics.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>

namespace cli {

struct DebugOptions {
    bool unlock = false;     // open the debug mode first (a recording always does)
    qint64 count = 1;        // readings; 0 until stopped
    int intervalMs = 50;     // from the start of one reading to the next
    QString recordPath;      // a file, or a directory that gets the window's file name; empty: none
    bool overwrite = false;  // an existing file named by recordPath is replaced rather than refused
    OutputFormat format = OutputFormat::Text;
    // Spoilt readings in a row that end the run with exit code 5; 0: never.
    int maxErrors = DefaultMaxErrors;
    // The local time that names a recording file.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};

QJsonObject debugRecordJson(const quarn::DebugRecord &record, const quarn::HarmonicBars &bars,
                            int codeLength, qint64 timeMs);
// A reading spoilt on the line: the keys of a record, every value null, and the fault.
QJsonObject debugFaultJson(int codeLength, qint64 timeMs, const QString &fault);
QString debugRecordText(const quarn::DebugRecord &record, const quarn::HarmonicBars &bars,
                        int codeLength, qint64 timeMs);

struct RecordingTarget {
    QString path;
    // The window's file name inside a directory: made free (-2, -3, ...) when taken, never
    // refused or replaced.
    bool namedInDirectory = false;
};

// The path a recording goes to: `recordPath` itself, or the first free name from the window's
// file name on inside it when it is a directory.
RecordingTarget recordingTarget(const QString &recordPath, const quarn::EncoderIdentity &identity,
                                const QDateTime &start);

// Ctrl+C ends the run after the current reading; a spoilt reading is written as such and the
// run goes on, up to --max-errors in a row; a recording is closed with its
// duration on standard error. An existing file named for the recording without `overwrite`
// ends the run before anything is sent.
int runDebug(EncoderLink &link, const DebugOptions &options, Context &context);

Command debugCommand();

} // namespace cli
