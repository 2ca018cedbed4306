// SPDX-License-Identifier: MIT
#include "recording_directory.h"

#include <QDir>
#include <QTemporaryFile>

bool directoryAcceptsNewFiles(const QString &directory)
{
    if (directory.isEmpty() || !QDir(directory).exists())
        return false;
    QTemporaryFile probe(QDir(directory).filePath(QStringLiteral(".trevisor-probe-XXXXXX")));
    // Removed again when `probe` goes out of scope.
    return probe.open();
}

QString chooseRecordingDirectory(const QString &programDirectory, const QString &documentsDirectory,
                                 const DirectoryCheck &acceptsNewFiles)
{
    if (acceptsNewFiles(programDirectory) || documentsDirectory.isEmpty())
        return programDirectory;
    QDir().mkpath(documentsDirectory);
    return documentsDirectory;
}
