// SPDX-License-Identifier: MIT
#pragma once

// `ports` and `identify`.

#include "cli_context.h"
#include "encoder_link.h"
#include "output.h"

#include <QList>

namespace cli {

// The ports the search would walk (or the one given), each opened and closed again to tell
// whether it can be used, and why not. Always 0: the list is the result.
int runPorts(const QList<serial::PortEntry> &ports, OutputFormat format, Context &context);

// Header, part and serial number, firmware, resolution, counts per turn, turn type, ring.
int runIdentify(const EncoderLink &link, OutputFormat format, Context &context);

} // namespace cli
