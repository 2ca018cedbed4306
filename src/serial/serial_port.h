// SPDX-License-Identifier: MIT
#pragma once

// The operations a request/reply exchange needs from a serial port. The program uses the
// QSerialPort implementation; tests use a scripted fake that can force any failure.

#include "reply_arrival.h"

#include <QByteArray>
#include <QString>

namespace serial {

// Whether the driver passes input on at once (Linux ASYNC_LOW_LATENCY), as found after opening.
enum class LowLatencyMode {
    Unknown,     // not asked (closed port, or a platform without the setting)
    Unsupported, // the driver has no such setting (pseudo-terminals, some USB drivers)
    Refused,     // the driver took the request but the mode is not on afterwards
    Active,
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens a device path for reading and writing. False when it does not exist or is busy.
    virtual bool open(const QString &path) = 0;
    virtual bool isOpen() const = 0;
    // Sets the baud rate with 8 data bits, no parity, one stop bit; nothing else is changed.
    virtual bool configure(qint32 baudRate) = 0;
    // The configured baud rate, 0 when unknown.
    virtual qint32 baudRate() const { return 0; }
    // Drops bytes still waiting to be sent, then bytes received and not yet read.
    virtual void purge() = 0;
    // Writes one byte; true only once it has left the driver without error.
    virtual bool writeByte(char byte) = 0;
    // Number of received bytes waiting to be read (polls the driver without blocking).
    virtual qint64 bytesWaiting() = 0;
    // Blocks until input arrives or `timeoutMs` passes; true when input arrived.
    virtual bool waitForInput(int timeoutMs) = 0;
    // Reads at most maxBytes of the waiting input.
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void close() = 0;
    // Why the last operation failed, for messages.
    virtual QString errorText() const = 0;
    // What became of the low-latency request made when the port was opened.
    virtual LowLatencyMode lowLatencyMode() const { return LowLatencyMode::Unknown; }

    // When this port's replies have come whole, kept with the port so that it goes with the
    // encoder it was learnt from; implementations forget it when they open a device.
    ReplyArrival &replyArrival() { return replyArrival_; }

private:
    ReplyArrival replyArrival_;
};

} // namespace serial
