// SPDX-License-Identifier: MIT
#include "test_pseudo_terminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

TestPseudoTerminal::TestPseudoTerminal()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    termios raw{};
    if (::tcgetattr(master_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
    }
    if (const char *name = ::ptsname(master_))
        slavePath_ = QString::fromLocal8Bit(name);
}

TestPseudoTerminal::~TestPseudoTerminal()
{
    closeMaster();
}

bool TestPseudoTerminal::writeMaster(const QByteArray &bytes)
{
    return master_ >= 0 && ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size()))
                               == bytes.size();
}

QByteArray TestPseudoTerminal::readMaster(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (master_ >= 0 && bytes.size() < count) {
        const qint64 rest = timeoutMs - clock.elapsed();
        if (rest <= 0)
            break;
        pollfd ready{master_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(rest)) <= 0)
            continue;
        char buffer[256];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            break;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}

QByteArray TestPseudoTerminal::readWaiting(int timeoutMs)
{
    QByteArray bytes;
    int waitMs = timeoutMs;
    for (;;) {
        pollfd ready{master_, POLLIN, 0};
        if (master_ < 0 || ::poll(&ready, 1, waitMs) <= 0 || (ready.revents & POLLIN) == 0)
            return bytes;
        char buffer[256];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0)
            return bytes;
        bytes.append(buffer, got);
        // After the first bytes only what already waits.
        waitMs = 0;
    }
}

std::uint32_t TestPseudoTerminal::lineRate() const
{
    return terminalLineRate(master_);
}

void TestPseudoTerminal::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
