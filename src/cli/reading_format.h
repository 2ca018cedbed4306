// SPDX-License-Identifier: MIT
#pragma once

// How identities and poll readings are written: lines for people, JSON objects for scripts,
// semicolon-separated rows. The numbers and texts themselves come from the protocol code.

#include "identification.h"
#include "poll_reading.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace cli {

// "2.9.1.4": major, minor, protocol, revision.
QString firmwareText(const quarn::EncoderIdentity &identity);

QJsonObject identityJson(const quarn::EncoderIdentity &identity, const QString &port, qint32 baudRate);
QStringList identityLines(const quarn::EncoderIdentity &identity, const QString &port, qint32 baudRate);

// The captions of the status lamps whose bits are set, most significant bit first.
QStringList statusBitNames(std::uint16_t word);

// `timeMs` is the time since the first reading; `reply` the bytes as received. Every reading has
// the same keys: a value the command does not bring, or that the error flag voids, is null.
QJsonObject pollReadingJson(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply);
// A reading spoilt on the line (no reply, too short, a wrong echo): the same keys, every value
// null, and the fault.
QJsonObject pollFaultJson(char command, qint64 timeMs, const QByteArray &reply, const QString &fault);
QString pollReadingText(const quarn::PollReading &reading, qint64 timeMs);
QString pollFaultText(char command, qint64 timeMs, const QString &fault);

// Semicolon-separated, column names with their units, no separator at the end of a line.
QString pollCsvHeader();
QString pollCsvRow(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply, const QString &time);
QString pollFaultCsvRow(char command, qint64 timeMs, const QByteArray &reply, const QString &fault,
                        const QString &time);

} // namespace cli
