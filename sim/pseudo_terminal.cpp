// SPDX-License-Identifier: MIT
#include "pseudo_terminal.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

QString systemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(QString *error)
{
    close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        if (error)
            *error = systemError(QStringLiteral("cannot open a pseudo-terminal"));
        return false;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        if (error)
            *error = systemError(QStringLiteral("cannot prepare the pseudo-terminal"));
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        if (error)
            *error = systemError(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name)));
        ::close(master);
        return false;
    }
    // Raw mode: the bytes pass untouched both ways. On a pseudo-terminal the master's mode
    // requests act on the slave's settings.
    termios settings {};
    if (tcgetattr(master, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(master, TCSANOW, &settings);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slave_ = slave;
    path_ = QString::fromLocal8Bit(name);
    return true;
}

void PseudoTerminal::close()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
    path_.clear();
}

bool pointSymlink(const QString &linkPath, const QString &target, QString *error)
{
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat status {};
    if (lstat(link.constData(), &status) == 0) {
        if (!S_ISLNK(status.st_mode)) {
            if (error)
                *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), link.constData()) != 0) {
        if (error)
            *error = systemError(QStringLiteral("cannot create the link %1").arg(linkPath));
        return false;
    }
    return true;
}

void removeSymlinkTo(const QString &linkPath, const QString &target)
{
    if (linkPath.isEmpty() || target.isEmpty())
        return;
    const QByteArray link = QFile::encodeName(linkPath);
    char buffer[4096] = {};
    const ssize_t length = ::readlink(link.constData(), buffer, sizeof buffer - 1);
    if (length > 0 && QFile::decodeName(QByteArray(buffer, length)) == target)
        ::unlink(link.constData());
}

} // namespace sim
