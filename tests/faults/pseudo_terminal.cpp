// SPDX-License-Identifier: MIT
#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

SilentTerminal::SilentTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0)
        return;
    const char *name = ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 ? ::ptsname(m_master)
                                                                            : nullptr;
    if (name == nullptr) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_path = QString::fromLocal8Bit(name);
}

SilentTerminal::~SilentTerminal()
{
    if (m_master >= 0)
        ::close(m_master);
}

QByteArray SilentTerminal::readSent(int timeoutMs)
{
    QByteArray sent;
    if (m_master < 0)
        return sent;
    pollfd fd{m_master, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0 || (fd.revents & POLLIN) == 0)
        return sent;
    char bytes[256];
    ssize_t count = 0;
    while ((count = ::read(m_master, bytes, sizeof bytes)) > 0)
        sent.append(bytes, count);
    return sent;
}
