// SPDX-License-Identifier: MIT
#pragma once

// `doctor`: for each port the search would walk (or the one given), why an encoder would not
// be found there and the line that fixes it: permissions, other programs holding the port,
// ModemManager, brltty, the FTDI latency timer, the driver's low-latency mode, and whether a
// Quarn-2 answers at one of the seven rates.

#include "cli_context.h"
#include "command.h"
#include "output.h"

#include "device_access.h"
#include "system_paths.h"

#include <QList>

namespace cli {

struct DoctorOptions {
    doctor::SystemPaths paths;
    doctor::UserIdentity user = doctor::currentUser();
    OutputFormat format = OutputFormat::Text;
};

// 0 when an encoder answered; otherwise the code of the first blocking finding's kind (held 7,
// permission 8, no such port 9), or 6 (no encoder) when nothing blocks.
int runDoctor(const QList<serial::PortEntry> &ports, const DoctorOptions &options, Context &context);

Command doctorCommand();

} // namespace cli
