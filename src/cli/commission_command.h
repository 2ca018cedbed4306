// SPDX-License-Identifier: MIT
#pragma once

// `commission`: a production line's step. On each port, in one process that holds the port
// from the identification to the closing reading, it runs the chosen steps in a fixed order
// and writes one record per encoder. Several ports (--port given more than once, or --all)
// run side by side, each in a thread of its own: one that fails stops neither the others nor
// their records.

#include "cli_context.h"
#include "command.h"
#include "commission_record.h"
#include "encoder_link.h"
#include "output.h"
#include "selfcal_command.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace cli {

struct CommissionOptions {
    // The ports to commission on, each side by side; none: the search finds the one encoder.
    QStringList ports;
    // Every port the search walks, each that has an encoder answering; the others are passed
    // over (a port held by another program or not ours to open with a warning).
    bool allPorts = false;
    qint32 baudRate = 0;       // 0: every rate in turn
    QString serialNumber;      // with one port or none: the encoder with this serial number
    QString partNumber;        // the encoder must have this part number; empty: any
    bool factoryReset = false; // the steps chosen; identify and verify always run
    bool resetStatus = false;
    bool selfCal = false;
    bool zero = false;
    bool multiturnZero = false;
    SelfCalOptions selfCalOptions;
    OutputFormat format = OutputFormat::Text;

    // In the order they run.
    QList<CommissionStep> steps() const;
};

// Every port of `options`, side by side; the records on standard output as each encoder is
// done, then a summary. The exit code: 0 when every encoder was commissioned, else the code of
// the first that failed (in the order the ports were given), 130 when stopped.
int runCommission(const CommissionOptions &options, Context &context);

Command commissionCommand();

} // namespace cli
