// SPDX-License-Identifier: MIT
#include "qt_serial_port.h"

#include <QElapsedTimer>
#include <QThread>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace serial {

bool QtSerialPort::open(const QString &path)
{
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite)) {
        noteFailure();
        return false;
    }
    errorText_.clear();
    requestLowLatency();
    return true;
}

void QtSerialPort::requestLowLatency()
{
#ifdef Q_OS_LINUX
    // USB serial adapters otherwise hold short replies back for up to 16 ms. Drivers and
    // pseudo-terminals that do not support it refuse, and the port is used as it is.
    const int fd = static_cast<int>(port_.handle());
    serial_struct settings{};
    if (::ioctl(fd, TIOCGSERIAL, &settings) != 0)
        return;
    settings.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
    ::ioctl(fd, TIOCSSERIAL, &settings);
#endif
}

bool QtSerialPort::isOpen() const
{
    return port_.isOpen();
}

bool QtSerialPort::configure(qint32 baudRate)
{
    port_.clearError();
    const bool ok = port_.setBaudRate(baudRate) && port_.setDataBits(QSerialPort::Data8)
                    && port_.setParity(QSerialPort::NoParity)
                    && port_.setStopBits(QSerialPort::OneStop);
    if (!ok)
        noteFailure();
    return ok;
}

qint32 QtSerialPort::baudRate() const
{
    return port_.isOpen() ? port_.baudRate() : 0;
}

void QtSerialPort::purge()
{
    // Output first, then input; clear() drops QSerialPort's own buffers as well as the driver's.
    port_.clear(QSerialPort::Output);
    port_.clear(QSerialPort::Input);
    port_.clearError();
}

bool QtSerialPort::writeByte(char byte)
{
    if (!port_.isOpen())
        return false;
    // A failed earlier operation leaves its error behind; only this write's outcome counts.
    port_.clearError();
    if (port_.write(&byte, 1) != 1) {
        noteFailure();
        return false;
    }
    // write() only buffers: the byte has left once the driver took it. A pulled adapter or a
    // closed pseudo-terminal shows up here, and a line that stalls is given up after the bound.
    if (!port_.waitForBytesWritten(kWriteTimeoutMs) || port_.error() != QSerialPort::NoError) {
        noteFailure();
        return false;
    }
    return true;
}

qint64 QtSerialPort::bytesWaiting()
{
    if (!port_.isOpen())
        return 0;
    // QSerialPort learns of input only from its notifier or inside a wait; a wait of 0 ms moves
    // what the driver already holds into its buffer without running an event loop.
    port_.clearError();
    port_.waitForReadyRead(0);
    port_.clearError();
    return port_.bytesAvailable();
}

bool QtSerialPort::waitForInput(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 rest = timeoutMs - clock.elapsed();
        if (rest <= 0)
            return false;
        if (!port_.isOpen()) {
            QThread::msleep(static_cast<unsigned long>(rest));
            return false;
        }
        port_.clearError();
        if (port_.waitForReadyRead(static_cast<int>(rest)) || port_.bytesAvailable() > 0) {
            port_.clearError();
            return true;
        }
        const bool broken = port_.error() != QSerialPort::NoError
                            && port_.error() != QSerialPort::TimeoutError;
        port_.clearError();
        // A port in error (a vanished device) returns from the wait at once: sleep out the rest
        // instead of letting the caller spin. Any other early return is retried after a pause.
        if (broken) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left > 0)
                QThread::msleep(static_cast<unsigned long>(left));
            return false;
        }
        QThread::msleep(1);
    }
}

QByteArray QtSerialPort::read(qint64 maxBytes)
{
    if (!port_.isOpen() || maxBytes <= 0)
        return {};
    return port_.read(maxBytes);
}

void QtSerialPort::close()
{
    if (port_.isOpen())
        port_.close();
}

QString QtSerialPort::errorText() const
{
    return errorText_;
}

void QtSerialPort::noteFailure()
{
    errorText_ = port_.errorString();
}

} // namespace serial
