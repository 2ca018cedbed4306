// SPDX-License-Identifier: MIT
#pragma once

// The encoder on its port: finding it (the window's search over ports and rates, or the port
// and rate given), identifying it, and the exchanges that the sub-commands run on it. Every
// failure is reported in one line on standard error by the function that meets it.

#include "cli_context.h"

#include "identification.h"
#include "port_lister.h"
#include "serial_port.h"
#include "transaction.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>

namespace cli {

// An empty path searches every listed port; a rate of 0 tries the seven rates in order.
struct PortChoice {
    QString path;
    qint32 baudRate = 0;
    // Only the encoder with this serial number (the search goes on past others); empty: any,
    // as long as the search finds only one.
    QString serialNumber;
};

struct EncoderLink {
    std::unique_ptr<serial::SerialPort> port;
    serial::PortEntry entry;
    qint32 baudRate = 0;
    quarn::EncoderIdentity identity;
};

// The entry of a port named on the command line: the path as it is (by-path names hold colons),
// relative to the working directory.
serial::PortEntry namedPortEntry(const QString &path);

// The part and serial number as the encoder gives them, without their padding.
QString encoderPart(const quarn::EncoderIdentity &identity);
QString encoderSerial(const quarn::EncoderIdentity &identity);
// "encoder QX105---18M----- serial 000042 on /dev/ttyUSB0 at 115200 baud"
QString encoderText(const EncoderLink &link);

// Why a port did not open: another program holding it (by name and pid), the dialout advice, not
// a serial port, or the driver's text; and the kind of failure that is.
struct PortOpenFailure {
    FailureKind kind = FailureKind::Failed;
    QString reason;
};
PortOpenFailure portOpenFailure(const QString &path, const QString &errorText);

// A serial number as written on the command line matches the encoder's with or without its
// leading zeros: 42 is 000042.
bool serialNumberMatches(const QString &wanted, const QString &encoderSerial);

// The search of the window on the chosen ports and rates. The encoder that identifies itself is
// kept with its port open; more than one (without --serial to choose) is a failure that names
// them all. Every failure is reported with its kind (ports that did not open named with why).
std::optional<EncoderLink> connectEncoder(const PortChoice &choice, Context &context);

// One exchange on `port` (named `portPath` in the trace), written to standard error request
// and reply with --trace.
serial::TransactionResult transact(Context &context, const QString &portPath, serial::SerialPort *port,
                                   const QByteArray &request, int expectedLength, QByteArray &reply);
serial::TransactionResult transact(EncoderLink &link, Context &context, const QByteArray &request,
                                   int expectedLength, QByteArray &reply);

// One identification exchange on an open, configured port.
std::optional<quarn::EncoderIdentity> identifyEncoder(serial::SerialPort &port, const QString &portPath,
                                                      Context &context);

struct IdentifyAttempt {
    std::optional<quarn::EncoderIdentity> identity;
    bool gotBytes = false; // something answered, whole or not
};
// The exchange, once more when the first brought bytes but no identity.
IdentifyAttempt identifyWithRetry(serial::SerialPort &port, const QString &portPath, Context &context);

// How a request is named in messages: "1", or "Unlock + Z" for a protected one.
QString requestName(const QByteArray &request);

// Runs one exchange. Anything but a complete reply is reported as a failure ("no reply", "Cable
// disconnected!") and gives false.
bool exchange(EncoderLink &link, Context &context, const QByteArray &request, int expectedLength,
              QByteArray &reply);

// Sends a request that awaits no reply, without reporting a failure: false and its text when
// the request did not go out (the port, gone, is closed), for a caller that says more in the
// same line.
bool sendRequest(EncoderLink &link, Context &context, const QByteArray &request, QString &failure);

// Reports a failed exchange; a port that took no bytes is closed.
void reportExchangeFailure(EncoderLink &link, Context &context, const QByteArray &request,
                           serial::TransactionResult result, qsizetype received, int expectedLength);

// The kind of a failed exchange: no reply (missing or short), or the port lost.
FailureKind exchangeFailureKind(serial::TransactionResult result);

// The text of a failed exchange.
QString exchangeFailureText(const EncoderLink &link, const QByteArray &request,
                            serial::TransactionResult result, qsizetype received, int expectedLength);

// Sleeps `ms` milliseconds in short slices; false as soon as a stop is requested.
bool pause(Context &context, int ms);

// Paces a run of readings like a timer: the next reading is due one interval after the last
// one began, and a reading that took longer than the interval is followed at once, without a
// burst to catch up. An interval of 0 runs them back to back.
class ReadingPacer {
public:
    explicit ReadingPacer(qint64 intervalMs) : intervalMs_(intervalMs) { clock_.start(); }

    // Waits until the next reading is due and gives its start in ms since the first; nothing
    // when a stop was requested.
    std::optional<qint64> next(Context &context);

private:
    qint64 intervalMs_;
    QElapsedTimer clock_;
    qint64 nextStartMs_ = 0;
    bool first_ = true;
};

} // namespace cli
