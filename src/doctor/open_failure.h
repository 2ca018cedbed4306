// SPDX-License-Identifier: MIT
#pragma once

// Why a port did not open, in one finding: the first of the access and holder checks that
// blocks it. The port list of the window shows it on the port's item; the doctor reports the
// same findings.

#include "device_access.h"
#include "finding.h"
#include "port_facts.h"
#include "process_table.h"
#include "system_paths.h"

#include <optional>

namespace doctor {

// Checks 1 and 2 of a port.
Finding portAccessFinding(const PortFacts &port, const UserIdentity &user, const Accounts &accounts);
Finding portHoldersFinding(const PortFacts &port, const ProcessTable &processes, const SystemPaths &paths);

// The blocking finding that explains a port that would not open; nothing when these checks
// find none.
std::optional<Finding> openFailureFinding(const SystemPaths &paths, const UserIdentity &user, const QString &path);

enum class OpenProblem {
    Missing,          // the path does not exist
    NotSerialPort,    // a FIFO, a file, a device that is no terminal
    PermissionDenied, // the node's owner, group and mode keep this user out
    Busy,             // another program holds it
    Other,            // the driver's text says why
};

struct OpenFailure {
    OpenProblem problem = OpenProblem::Other;
    QString text; // as openFailureReason gives it
};

// Why a port did not open, by kind and in one line.
OpenFailure explainOpenFailure(const SystemPaths &paths, const UserIdentity &user, const QString &path,
                               const QString &errorText);

// The holders finding of a port that did not open as held by another program, though none of
// the processes looked at holds it: another user's program, seen only by root.
Finding heldByAnotherUserFinding(const QString &path, int unreadableProcesses);

// One line on why a port did not open, for messages: "in use by picocom (pid 42)" when other
// programs hold the device (by any of its names), the driver's text with the access finding and
// its fix (the dialout group) when this user may not open it, else the driver's text as it is.
QString openFailureReason(const SystemPaths &paths, const UserIdentity &user, const QString &path,
                          const QString &errorText);

// "in use by picocom (pid 42), minicom (pid 7)" for the holders other than the far end of a
// pseudo-terminal; empty when there are none.
QString inUseText(const QList<Holder> &holders);

// "<finding>. Fix: <fix>", the line the port list shows.
QString adviceLine(const Finding &finding);

} // namespace doctor
