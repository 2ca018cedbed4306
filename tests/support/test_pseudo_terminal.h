// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal for tests: the program opens the slave path as its serial port, the test
// plays the far end on the master.

#include <QByteArray>
#include <QString>

#include <cstdint>

class TestPseudoTerminal {
public:
    TestPseudoTerminal();
    ~TestPseudoTerminal();
    TestPseudoTerminal(const TestPseudoTerminal &) = delete;
    TestPseudoTerminal &operator=(const TestPseudoTerminal &) = delete;

    bool isValid() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }

    bool writeMaster(const QByteArray &bytes);
    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray readMaster(qsizetype count, int timeoutMs);
    // Everything sent to the slave side up to now, waiting at most `timeoutMs` for the first byte.
    QByteArray readWaiting(int timeoutMs = 0);
    // The baud rate the slave side set, as the line sees it.
    std::uint32_t lineRate() const;
    void closeMaster();

private:
    int master_ = -1;
    QString slavePath_;
};

// The output speed of a terminal, from TCGETS2 (so non-standard rates show as they are).
// Lives in its own file because <asm/termbits.h> clashes with <termios.h>.
std::uint32_t terminalLineRate(int fd);
