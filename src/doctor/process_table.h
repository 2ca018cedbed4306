// SPDX-License-Identifier: MIT
#pragma once

// Which programs have a port open, from the descriptors under /proc/<pid>/fd. A process that
// holds the master side of a pseudo-terminal serves that terminal (a simulator, say): it is the
// far end, not a program in the way.

#include "finding.h"
#include "system_paths.h"

#include <QList>
#include <QString>

#include <optional>

namespace doctor {

struct OpenDevice {
    qint64 pid = 0;
    QString target; // what the descriptor's link points at
    // For the master of a pseudo-terminal (/dev/ptmx), the number of its slave /dev/pts/N.
    std::optional<int> ptyMasterIndex;
};

struct ProcessEntry {
    qint64 pid = 0;
    QString command; // /proc/<pid>/comm
};

struct ProcessTable {
    QList<ProcessEntry> processes;
    // Descriptors on files below the device folder only.
    QList<OpenDevice> openDevices;
    // Processes whose descriptors could not be read (another user's, without root).
    int unreadable = 0;
};

// One pass over /proc.
ProcessTable readProcessTable(const SystemPaths &paths);

// The "tty-index:" line of /proc/<pid>/fdinfo/<fd> for a pseudo-terminal master.
std::optional<int> ptyIndexFromFdinfo(const QString &fdinfo);

// The command of a pid, empty when the process is unknown.
QString commandOf(const ProcessTable &table, qint64 pid);
// The pids whose command is exactly `command`.
QList<qint64> pidsOf(const ProcessTable &table, const QString &command);

struct Holder {
    qint64 pid = 0;
    QString command;
    bool farEnd = false; // also holds the pseudo-terminal's master
};

// Every process with `device` open, once each. `ptyIndex` is the N of /dev/pts/N for a
// pseudo-terminal, so that the process serving it is told apart.
QList<Holder> holdersOf(const ProcessTable &table, const QString &device, std::optional<int> ptyIndex,
                        const QString &devFolder);

Finding holdersFinding(const QList<Holder> &holders, int unreadableProcesses);

} // namespace doctor
