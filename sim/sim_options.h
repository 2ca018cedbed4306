// SPDX-License-Identifier: MIT
#pragma once

// The command line of quarn2-sim, turned into an encoder configuration and the program's own
// settings. A bad value gives a one-line reason instead.

#include "encoder_config.h"

#include <QString>
#include <QStringList>

namespace sim {

struct SimOptions {
    EncoderConfig config;
    QString linkPath;
    QString logFile;
    bool verbose = false;
    bool showHelp = false;
    QString helpText;
    // Non-empty when the command line cannot be used: one line, without the program's name.
    QString error;
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
SimOptions parseSimOptions(const QStringList &arguments);

} // namespace sim
