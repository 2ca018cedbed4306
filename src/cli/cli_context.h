// SPDX-License-Identifier: MIT
#pragma once

// What every sub-command is handed: where its output and messages go, how it learns that it
// should stop (Ctrl+C), and where ports come from. The program wires the real ones; tests
// pass their own streams and ports.

#include "port_lister.h"
#include "qt_serial_port.h"
#include "serial_port.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QTextStream>

#include <functional>
#include <memory>

namespace cli {

enum ExitCode : int {
    ExitSuccess = 0,
    ExitFailure = 1, // no encoder, a timeout, a device or file error
    ExitUsage = 2,   // unknown option, missing or out-of-range value
    // selfcal: the status never changed within the wait; the report shows the last status
    ExitCalibrationNotFinished = 3,
    // selfcal: the calibration finished, but a flag says it did not succeed
    ExitCalibrationFailed = 4,
    // A write went out but the encoder did not confirm it: no whole, error-free reading after
    // it, or one that shows the write did not take (selfcal: no status that two replies agree on)
    ExitNotConfirmed = 5,
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
    // --verbose: progress notes on standard error (the ports and rates tried, each step).
    bool verbose = false;
    // --trace: every request and reply in hexadecimal on standard error, timed from `started`.
    bool trace = false;
    QElapsedTimer started;
};

// The context of the real program: standard output and error, whether standard error is a
// terminal, and the stop request.
// The streams live as long as the program.
Context standardContext(std::function<bool()> stopRequested);

} // namespace cli
