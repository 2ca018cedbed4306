// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal pair: the master that the simulator serves, and the slave that the client
// opens as its serial port. The slave stays open here as well, so that the master sees no hangup
// while the client closes and reopens the port.

#include <QString>

namespace sim {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Opens a new pair in raw mode with a non-blocking master. False with the reason on failure.
    bool open(QString *error);
    void close();
    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    // The slave's device path, e.g. /dev/pts/3; empty when closed.
    QString path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

// Makes `linkPath` a symbolic link to `target`, replacing an earlier symbolic link there. A file
// of any other kind at that place is left alone and reported.
bool pointSymlink(const QString &linkPath, const QString &target, QString *error);
// Removes `linkPath` when it is a symbolic link to `target`.
void removeSymlinkTo(const QString &linkPath, const QString &target);

} // namespace sim
