// SPDX-License-Identifier: MIT
#pragma once

// SerialPort over QSerialPort, used without an event loop: every operation blocks in the
// driver for a bounded time and is judged by its own result. A relative path is opened from the
// working directory, and the device is held exclusively whatever name opened it.

#include "serial_port.h"

#include <QSerialPort>

namespace serial {

class QtSerialPort final : public SerialPort {
public:
    // How long one byte may take to leave the driver before the write counts as failed.
    static constexpr int kWriteTimeoutMs = 100;

    // The error text of a port another program (or another name of the same device) holds.
    static constexpr char kInUseText[] = "the device is in use by another program";

    QtSerialPort() = default;

    bool open(const QString &path) override;
    bool isOpen() const override;
    bool configure(qint32 baudRate) override;
    qint32 baudRate() const override;
    void purge() override;
    bool writeByte(char byte) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int timeoutMs) override;
    QByteArray read(qint64 maxBytes) override;
    void close() override;
    QString errorText() const override;
    LowLatencyMode lowLatencyMode() const override;

private:
    void noteFailure();
    void noteOpenFailure(const QString &location);
    // An exclusive lock on the open device; false (with the error text) when another holds it.
    bool lockDevice();
    void clearErrorIfSet();
    enum class WaitOutcome { Input, NoInput, Broken };
    // One wait in the driver of at most `timeoutMs` for input.
    WaitOutcome waitOnce(int timeoutMs);
    // Asks the driver to pass input on at once and notes whether it did; the port is used either way.
    void requestLowLatency();

    QSerialPort port_;
    QString errorText_;
    LowLatencyMode lowLatency_ = LowLatencyMode::Unknown;
};

} // namespace serial
