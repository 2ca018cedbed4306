// SPDX-License-Identifier: MIT
#include "cli_context.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

Context standardContext(std::function<bool()> stopRequested)
{
    static QTextStream out(stdout);
    static QTextStream err(stderr);
    Context context;
    context.out = &out;
    context.err = &err;
    context.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    context.stopRequested = std::move(stopRequested);
    return context;
}

} // namespace cli
