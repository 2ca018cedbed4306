// SPDX-License-Identifier: MIT
#pragma once

// The Quarn-2 command set: command bytes, the unlock prefix, the poll tables and the
// builders of every request that carries arguments. Shared by the program and the simulator.

#include <QByteArray>

#include <array>
#include <cstdint>

namespace quarn {

// Leads every protected request.
inline const QByteArray UnlockPrefix = QByteArray::fromHex("5E1AC377");

// The byte after UnlockPrefix that opens the encoder's debug mode (not an ASCII letter).
inline constexpr char DebugEntryCode = static_cast<char>(0xA5);

namespace cmd {
inline constexpr char Position = '1';
inline constexpr char PositionNoEcho = '3';
inline constexpr char Status = 'd';
inline constexpr char PersistentStatus = 'j';
inline constexpr char Speed = 's';
inline constexpr char Temperature = 't';
inline constexpr char SignalLevel = 'a';
inline constexpr char Identify = 'v';
inline constexpr char SelfCalStatus = 'i';
inline constexpr char DebugConfirm = 'G';
inline constexpr char DebugRead = 'D';
// Protected commands (sent after UnlockPrefix).
inline constexpr char MultiturnZero = 'M';
inline constexpr char ZeroOffset = 'Z';
inline constexpr char Save = 'c';
inline constexpr char FactoryReset = 'r';
inline constexpr char ResetPersistentStatus = 'b';
inline constexpr char SelfCalArc = 'p';
inline constexpr char SelfCalTimeout = 't';
inline constexpr char SelfCalStart = 'A';
} // namespace cmd

// The poll cycle's commands, indexed from 1 (index 8 is the identification request).
inline constexpr char PollCommands[] = "13djstav";
inline constexpr int PollCommandCount = 8;
inline constexpr int PollCycleLength = 7;

// Expected reply lengths: PollReplyLengths[Multiturn][index], index 1 to 8 (slot 0 unused).
inline constexpr std::array<std::array<int, 9>, 2> PollReplyLengths{{
    {0, 4, 3, 6, 6, 7, 5, 6, 42},
    {0, 6, 5, 8, 8, 9, 7, 8, 42},
}};

// True for the seven commands of the poll cycle ("13djsta").
bool isPollCommand(char command);
// The command byte of poll index 1 to 8; any other index counts as 1.
char pollCommand(int index);
// The expected reply length of poll index 1 to 8 for the turn type (0 or 1); other indexes count as 1.
int pollReplyLength(int multiturn, int index);

inline constexpr int IdentifyReplyLength = 42;
inline constexpr int SelfCalStatusReplyLength = 8;
inline constexpr int DebugEntryReplyLength = 5;
inline constexpr int DebugConfirmReplyLength = 1;
inline constexpr int DebugRecordLength = 129;

// The nine bytes of the first "Set zero here" request: prefix, "Z", argument 2.
QByteArray zeroOffsetTemplate();
// The zero-offset request carrying a 32-bit value, most significant byte first.
QByteArray zeroOffsetRequest(std::int32_t value);
QByteArray multiturnZeroRequest();
QByteArray saveRequest();
QByteArray factoryResetRequest();
QByteArray resetPersistentStatusRequest();
QByteArray selfCalArcRequest(std::uint16_t arcDegrees);
QByteArray selfCalTimeoutRequest(std::uint8_t seconds);
QByteArray selfCalStartRequest();
QByteArray debugEntryRequest();
// A protected request: prefix, command byte, then the argument bytes as given.
QByteArray protectedRequest(char command, const QByteArray &arguments = {});

} // namespace quarn
