// SPDX-License-Identifier: MIT
#pragma once

// How GoogleTest prints the values of a failed assertion: a QString as quoted text, a
// QByteArray as its bytes in hexadecimal, and the protocol's values field by field, where it
// would otherwise dump the object's bytes ("2-byte object <51-00>"). GoogleTest finds a PrintTo
// by argument-dependent lookup, so each one sits in its type's namespace and must be declared
// before the assertion: every test program is compiled with this header included ahead of
// each of its sources (tests/support/CMakeLists.txt), and no test includes it itself.

#include <QByteArray>
#include <QString>

#include <ostream>

QT_BEGIN_NAMESPACE
// "text", with control characters escaped (\n, \r, \t, \x01) so that line ends show.
void PrintTo(const QString &text, std::ostream *out);
// 3 bytes 76 31 33 "v13": the bytes in hexadecimal, then as text when all are printable.
void PrintTo(const QByteArray &bytes, std::ostream *out);
QT_END_NAMESPACE

namespace quarn {
struct PositionWord;
struct PollReading;
struct Resolution;
struct EncoderIdentity;
struct SelfCalStatus;
struct SelfCalLamps;
struct DialPoint;

void PrintTo(const PositionWord &word, std::ostream *out);
void PrintTo(const PollReading &reading, std::ostream *out);
void PrintTo(const Resolution &resolution, std::ostream *out);
void PrintTo(const EncoderIdentity &identity, std::ostream *out);
void PrintTo(const SelfCalStatus &status, std::ostream *out);
void PrintTo(const SelfCalLamps &lamps, std::ostream *out);
void PrintTo(const DialPoint &point, std::ostream *out);
} // namespace quarn

namespace serial {
enum class TransactionResult;
enum class PortSearchOutcome;

void PrintTo(TransactionResult result, std::ostream *out);
void PrintTo(PortSearchOutcome outcome, std::ostream *out);
} // namespace serial
