// SPDX-License-Identifier: MIT
#include "test_printers.h"

#include "dial_geometry.h"
#include "identification.h"
#include "poll_reading.h"
#include "self_calibration.h"

#include "port_search.h"
#include "transaction.h"

#include <algorithm>
#include <iomanip>
#include <optional>

namespace {

void printEscaped(const QByteArray &utf8, std::ostream &out)
{
    out << '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': out << "\\n"; break;
        case '\r': out << "\\r"; break;
        case '\t': out << "\\t"; break;
        case '"': out << "\\\""; break;
        case '\\': out << "\\\\"; break;
        default:
            if (byte < 0x20 || byte == 0x7F)
                out << "\\x" << std::hex << std::setw(2) << std::setfill('0') << int(byte) << std::dec;
            else
                out << c;
        }
    }
    out << '"';
}

template <typename T>
void printOptional(const char *name, const std::optional<T> &value, std::ostream &out)
{
    if (value)
        out << ", " << name << ' ' << +*value;
}

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

} // namespace

QT_BEGIN_NAMESPACE

void PrintTo(const QString &text, std::ostream *out)
{
    if (text.isNull()) {
        *out << "null QString";
        return;
    }
    printEscaped(text.toUtf8(), *out);
}

void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    *out << bytes.size() << (bytes.size() == 1 ? " byte" : " bytes");
    if (!bytes.isEmpty())
        *out << ' ' << bytes.toHex(' ').toUpper().toStdString();
    const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (printable && !bytes.isEmpty())
        *out << " \"" << bytes.toStdString() << '"';
}

QT_END_NAMESPACE

namespace quarn {

void PrintTo(const PositionWord &word, std::ostream *out)
{
    *out << "{raw " << word.raw << ", single turn " << word.singleTurn << ", multiturn " << word.multiTurn
         << ", " << word.angleDegrees << " deg, error " << yesNo(word.error) << ", complete "
         << yesNo(word.complete) << '}';
}

void PrintTo(const PollReading &reading, std::ostream *out)
{
    *out << "{index " << reading.index << " '" << reading.command << "', position ";
    PrintTo(reading.position, out);
    printOptional("status", reading.status, *out);
    printOptional("persistent status", reading.persistentStatus, *out);
    printOptional("speed", reading.speed, *out);
    printOptional("temperature", reading.temperature, *out);
    printOptional("signal level", reading.signalLevel, *out);
    printOptional("air gap um", reading.airGapMicrometres, *out);
    *out << '}';
}

void PrintTo(const Resolution &resolution, std::ostream *out)
{
    *out << '{' << +resolution.bits << " bits, " << resolution.countsPerTurn << " counts per turn}";
}

void PrintTo(const EncoderIdentity &identity, std::ostream *out)
{
    *out << "{header ";
    PrintTo(identity.header, out);
    *out << ", serial ";
    PrintTo(identity.serialNumber, out);
    *out << ", part ";
    PrintTo(identity.partNumber, out);
    *out << ", firmware " << +identity.firmwareMajor << '.' << +identity.firmwareMinor << " rev "
         << identity.firmwareRevision << ", protocol " << +identity.protocolVersion << ", ";
    PrintTo(identity.resolution, out);
    *out << ", multiturn " << yesNo(identity.multiturn) << ", single-turn mask 0x" << std::hex
         << identity.singleTurnMask << std::dec << ", ring " << identity.ringDiameterMm << " mm, code length "
         << identity.codeLength << ", air gap k " << identity.airGapK << " n " << identity.airGapN
         << ", persistent status " << yesNo(identity.persistentStatusSupported) << '}';
}

void PrintTo(const SelfCalStatus &status, std::ostream *out)
{
    *out << "{counter " << status.counter << ", timeout " << yesNo(status.timeoutExpired) << ", out of range "
         << yesNo(status.outOfRange) << ", arc out of range " << yesNo(status.arcOutOfRange)
         << ", no correction " << yesNo(status.noCorrection) << ", user error map "
         << yesNo(status.userErrorMap) << ", eccentricity " << status.eccentricityUm << " um at "
         << status.eccentricityAngleDeg << " deg, radial shift " << status.radialShiftUm
         << " um, complete " << yesNo(status.complete) << '}';
}

void PrintTo(const SelfCalLamps &lamps, std::ostream *out)
{
    *out << "{finished " << lamps.finished << ", timeout " << lamps.timeoutExpired << ", out of range "
         << lamps.outOfRange << ", arc out of range " << lamps.arcOutOfRange << ", no correction "
         << lamps.noCorrection << ", user error map " << lamps.userErrorMap << ", successful "
         << lamps.successful << '}';
}

void PrintTo(const DialPoint &point, std::ostream *out)
{
    *out << '(' << point.x << ", " << point.y << ')';
}

} // namespace quarn

namespace serial {

void PrintTo(TransactionResult result, std::ostream *out)
{
    switch (result) {
    case TransactionResult::Complete: *out << "Complete"; return;
    case TransactionResult::Incomplete: *out << "Incomplete"; return;
    case TransactionResult::NoPort: *out << "NoPort"; return;
    case TransactionResult::WriteFailed: *out << "WriteFailed"; return;
    }
    *out << "TransactionResult(" << static_cast<int>(result) << ')';
}

void PrintTo(PortSearchOutcome outcome, std::ostream *out)
{
    switch (outcome) {
    case PortSearchOutcome::Found: *out << "Found"; return;
    case PortSearchOutcome::NotFound: *out << "NotFound"; return;
    case PortSearchOutcome::Stopped: *out << "Stopped"; return;
    }
    *out << "PortSearchOutcome(" << static_cast<int>(outcome) << ')';
}

} // namespace serial
