// SPDX-License-Identifier: MIT
#pragma once

// Where a recording is written: beside the program when the user may create files there (a
// build tree, a portable copy), otherwise in the user's documents folder (an installed program
// lives in a directory only root can write to).

#include <QString>

#include <functional>

// Whether a new file can be created in `directory`, found by creating and removing a hidden
// probe file. A real write is the only reliable answer: permission bits say nothing for root,
// and nothing about read-only mounts, ACLs or network file systems that refuse the write.
bool directoryAcceptsNewFiles(const QString &directory);

using DirectoryCheck = std::function<bool(const QString &directory)>;

// `programDirectory` when `acceptsNewFiles` says so; otherwise `documentsDirectory`, created
// with its parents when missing. An empty `documentsDirectory` (the system knows none) leaves
// the program's directory, where the recording then fails with its usual error.
QString chooseRecordingDirectory(const QString &programDirectory, const QString &documentsDirectory,
                                 const DirectoryCheck &acceptsNewFiles = directoryAcceptsNewFiles);
