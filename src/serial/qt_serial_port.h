// SPDX-License-Identifier: MIT
#pragma once

// SerialPort over QSerialPort, used without an event loop: every operation blocks in the
// driver for a bounded time and is judged by its own result.

#include "serial_port.h"

#include <QSerialPort>

namespace serial {

class QtSerialPort final : public SerialPort {
public:
    // How long one byte may take to leave the driver before the write counts as failed.
    static constexpr int kWriteTimeoutMs = 100;

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
