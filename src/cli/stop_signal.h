// SPDX-License-Identifier: MIT
#pragma once

// Ctrl+C and SIGTERM ask a running command to finish: the handler only sets a flag, which the
// loops read after each reading and in their pauses. A second signal ends the program at once.
// Once the command has written its output, the program ends by the same signal, so that the
// shell (and a loop around the command) sees it was interrupted.

namespace cli {

void installStopSignalHandlers();
bool stopSignalled();
// Ends the program by the signal that asked it to stop, with its default effect (exit status
// 130 after SIGINT in a shell). Returns only when no signal came.
void endByStopSignal();

} // namespace cli
