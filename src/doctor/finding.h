// SPDX-License-Identifier: MIT
#pragma once

// One result of a check: what was found and the one line that fixes it.

#include <QString>

namespace doctor {

enum class Status {
    Ok,
    Info,     // worth knowing, nothing to do
    Warning,  // slows or disturbs the link, does not stop it
    Blocking, // the encoder cannot be reached until it is fixed
    Skipped,  // does not apply to this port
};

struct Finding {
    Status status = Status::Skipped;
    QString text;
    QString fix; // one line; empty when there is nothing to do
};

// "ok", "info", "warning", "blocking", "skipped": the names in the program's output.
QString statusName(Status status);

} // namespace doctor
