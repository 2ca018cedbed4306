// SPDX-License-Identifier: MIT
#pragma once

// The baud rate the other side of a pseudo-terminal has set, custom rates included. Kept apart
// because the kernel's termios2 header cannot share a file with <termios.h>.

#include <cstdint>
#include <optional>

namespace sim {

// Reads the output speed of the line behind `fd` (the master of a pseudo-terminal reports the
// slave's settings). Nothing when the descriptor is not a terminal.
std::optional<std::int32_t> lineSpeed(int fd);

} // namespace sim
