// SPDX-License-Identifier: MIT
#include "test_pseudo_terminal.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

std::uint32_t terminalLineRate(int fd)
{
    // On a pseudo-terminal master this reports the settings the slave side made.
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    return settings.c_ospeed;
}
