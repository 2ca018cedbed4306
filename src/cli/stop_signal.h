// SPDX-License-Identifier: MIT
#pragma once

// Ctrl+C and SIGTERM ask a running command to finish: the handler only sets a flag, which the
// loops read after each reading and in their pauses. A second signal ends the program at once.

namespace cli {

void installStopSignalHandlers();
bool stopSignalled();

} // namespace cli
