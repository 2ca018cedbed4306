// SPDX-License-Identifier: MIT
#pragma once

// The manual page trevisor-cli(1), in roff, from the same commands, options and exit codes as
// --help; the build writes it with trevisor-cli-manual.

#include <QString>

namespace cli {

QString manualPage();

} // namespace cli
