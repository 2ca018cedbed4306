// SPDX-License-Identifier: MIT
#pragma once

// `ports` and `identify`.

#include "cli_context.h"
#include "command.h"
#include "encoder_link.h"
#include "output.h"

#include <QJsonObject>
#include <QList>

namespace cli {

enum class PortsMode {
    Listed,    // the ports the search walks: the list is the result, exit code 0
    NamedPort, // the one port of --port: a failure by its kind when it cannot be opened
};

Command portsCommand();
Command identifyCommand();

// The ports the search would walk (or the one given), each opened and closed again to tell
// whether it can be used, and why not (the program holding it, the dialout advice).
int runPorts(const QList<serial::PortEntry> &ports, OutputFormat format, Context &context,
             PortsMode mode = PortsMode::Listed);

// The JSON object of a port: path, name, description, USB vendor:product id and USB serial
// number (null when the system does not say), whether it opens and why not (openError).
QJsonObject portJson(const serial::PortEntry &entry, bool opens, const QString &error);

// Header, part and serial number, firmware, resolution, counts per turn, turn type, ring.
int runIdentify(const EncoderLink &link, OutputFormat format, Context &context);

} // namespace cli
