// SPDX-License-Identifier: MIT
#pragma once

// What every sub-command is handed: where its output and messages go, how it learns that it
// should stop (Ctrl+C), and where ports come from. The program wires the real ones; tests
// pass their own streams and ports.

#include "port_lister.h"
#include "qt_serial_port.h"
#include "serial_port.h"

#include "failure.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

namespace cli {

// The exit codes; src/cli/failure.h maps each kind of failure to one of them.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitFailure = 1, // anything else: a file or standard output that cannot be written
    ExitUsage = 2,   // unknown option, missing or out-of-range value
    // selfcal: the status never changed within the wait; the report shows the last status
    ExitCalibrationNotFinished = 3,
    // selfcal: the calibration finished, but a flag says it did not succeed
    ExitCalibrationFailed = 4,
    // The encoder stopped answering, or a write went out but the encoder did not confirm it: no
    // whole, error-free reading after it, or one that shows the write did not take (selfcal: no
    // status that two replies agree on)
    ExitNotConfirmed = 5,
    ExitNoEncoder = 6,        // no encoder answered on the ports tried
    ExitPortBusy = 7,         // the port is held by another program
    ExitPermissionDenied = 8, // this user may not open the port
    ExitNoSuchPort = 9,       // the path does not exist or is not a serial port
    ExitEncoderRefused = 10,  // the error flag, the firmware or the turn type refuses the command
    ExitSeveralEncoders = 11, // more than one encoder and none chosen
    ExitInterrupted = 130,    // Ctrl+C, as the shell reports a program ended by SIGINT
};

// The first failure of a run: it decides the exit code and the JSON error object.
struct Failure {
    FailureKind kind = FailureKind::Failed;
    QString message;
    QString port; // the port it concerns; empty when none or not one
};

struct Context {
    QTextStream *out = nullptr; // readings and results: text, JSON lines or CSV
    QTextStream *err = nullptr; // errors, warnings, notes and the progress bar
    // The progress bar is drawn only on a terminal.
    bool errIsTerminal = false;
    // True once the user asked the program to end (Ctrl+C, SIGTERM).
    std::function<bool()> stopRequested = [] { return false; };
    // A new, closed port.
    std::function<std::unique_ptr<serial::SerialPort>()> makePort = [] {
        return std::make_unique<serial::QtSerialPort>();
    };
    // The ports the search walks when no --port is given.
    std::function<QList<serial::PortEntry>()> listPorts = [] { return serial::listPorts(); };
    // Why the last write to `out` failed (a full disk, a closed pipe); empty while every write
    // went through. Runs of readings end when it is set.
    QString outputError;
    // Keys every JSON object carries once the encoder is known: its port, part and serial number.
    QJsonObject jsonKeys;
    // Named in every message after its prefix ("trevisor-cli: error: /dev/ttyUSB1: ...") while
    // several ports run side by side; empty otherwise.
    QString messagePort;
    // --verbose: progress notes on standard error (the ports and rates tried, each step).
    bool verbose = false;
    // --json: a failure also writes an error object on standard output.
    bool json = false;
    std::optional<Failure> failure;
    // --trace: every request and reply in hexadecimal on standard error, timed from `started`.
    bool trace = false;
    QElapsedTimer started;
};

// The context of the real program: standard output and error, whether standard error is a
// terminal, and the stop request.
// The streams live as long as the program.
Context standardContext(std::function<bool()> stopRequested);

} // namespace cli
