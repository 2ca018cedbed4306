// SPDX-License-Identifier: MIT
#pragma once

// The kinds of failure: each has a stable name (the "kind" of a JSON error object) and an exit
// code, the same in every command. Several kinds may share a code; a script acts on the code
// and may tell the kinds apart in the JSON.

#include <QString>

#include <span>

namespace cli {

enum class FailureKind {
    Failed,                 // anything else: a file or standard output that cannot be written
    Usage,                  // unknown option, missing or out-of-range value
    CalibrationNotFinished, // selfcal: the status never changed within the wait
    CalibrationFailed,      // selfcal: finished with a failure flag
    NoReply,                // the encoder stopped answering: no reply, a short one, spoilt ones in a row
    PortLost,               // the port took no more bytes: cable pulled, adapter gone
    NotConfirmed,           // a write the reading after it did not confirm
    NoEncoder,              // no encoder answered on the ports tried
    CorruptReply,           // something answered the identification, but not a Quarn-2's whole reply
    PortBusy,               // the port is held by another program
    PermissionDenied,       // this user may not open the port
    NoSuchPort,             // the path does not exist or is not a serial port
    PositionError,          // the encoder's error flag refuses the command
    Unsupported,            // the encoder lacks the command (firmware, single-turn)
    WrongPart,              // commission: the encoder's part number is not the one asked for
    SeveralEncoders,        // more than one encoder found and none chosen
    Interrupted,            // Ctrl+C or SIGTERM before the command completed
};

int exitCodeOf(FailureKind kind);
// "no-reply", "port-busy" ...: the names in JSON error objects.
QString kindName(FailureKind kind);

// One line of the exit code table: the code, the kinds that give it, what it means.
struct ExitCodeRow {
    int code;
    const char *kinds;
    const char *meaning;
};
std::span<const ExitCodeRow> exitCodeRows();

// The table as help text: "  0    success", wrapped to 80 columns with the meaning indented.
QString exitCodesHelp();

} // namespace cli
