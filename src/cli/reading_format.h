// SPDX-License-Identifier: MIT
#pragma once

// How identities and poll readings are written: lines for people, JSON objects for scripts,
// semicolon-separated rows. The numbers and texts themselves come from the protocol code.

#include "identification.h"
#include "poll_reading.h"

#include <QByteArray>
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

// `timeMs` is the time since the first reading; `reply` the bytes as received.
QJsonObject pollReadingJson(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply);
QString pollReadingText(const quarn::PollReading &reading, qint64 timeMs);

// Every field followed by ";", as in the recording file.
QString pollCsvHeader();
QString pollCsvRow(const quarn::PollReading &reading, qint64 timeMs, const QByteArray &reply);

} // namespace cli
