// SPDX-License-Identifier: MIT
#pragma once

// The command line: the sub-command, its options, and the run. The program's main() only
// wires the real context to this.

#include "cli_context.h"

#include <QString>
#include <QStringList>

namespace cli {

inline constexpr char ProgramName[] = "trevisor-cli";

// `arguments` as QCoreApplication::arguments() gives them, the program first. Returns the exit
// code of the table in failure.h.
int runCli(const QStringList &arguments, Context &context);

// The program's --help text.
QString programHelp();

} // namespace cli
