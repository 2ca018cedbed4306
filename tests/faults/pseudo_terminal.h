// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal that nobody answers on: the program under test opens its device path, and
// the test reads what was sent to it from the master side.

#include <QByteArray>
#include <QString>

class SilentTerminal {
public:
    SilentTerminal();
    ~SilentTerminal();
    SilentTerminal(const SilentTerminal &) = delete;
    SilentTerminal &operator=(const SilentTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString devicePath() const { return m_path; }
    // Everything sent to the device up to now (waits at most `timeoutMs` for the first byte).
    QByteArray readSent(int timeoutMs = 0);

private:
    int m_master = -1;
    QString m_path;
};
