// SPDX-License-Identifier: MIT
#include "qt_serial_port.h"

#include "port_lister.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace serial {

bool QtSerialPort::open(const QString &path)
{
    if (port_.isOpen())
        port_.close();
    clearErrorIfSet();
    lowLatency_ = LowLatencyMode::Unknown;
    replyArrival().forget();
    // QSerialPort would look for a bare name in /dev.
    const QString location = absolutePortPath(path);
    port_.setPortName(location);
    if (!port_.open(QIODevice::ReadWrite)) {
        noteOpenFailure(location);
        return false;
    }
    if (!lockDevice()) {
        port_.close();
        return false;
    }
    errorText_.clear();
    requestLowLatency();
    return true;
}

bool QtSerialPort::lockDevice()
{
#ifdef Q_OS_UNIX
    // QSerialPort's lock file is named after the port's name, so a link (/dev/serial/by-id/...)
    // and the device it leads to could be opened at once, and two programs would read each
    // other's replies. A lock on the open device itself holds whatever name opened it, and it
    // goes with the process. Programs such as picocom take the same lock.
    const int fd = static_cast<int>(port_.handle());
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
        errorText_ = QLatin1String(kInUseText);
        return false;
    }
    // A file system without locks is used as it is.
#endif
    return true;
}

void QtSerialPort::noteOpenFailure(const QString &location)
{
    noteFailure();
#ifdef Q_OS_UNIX
    // QSerialPort reports its lock file held by another program, and a device opened for
    // exclusive use (TIOCEXCL), as a permission error: tell them apart from a missing right.
    if (port_.error() == QSerialPort::PermissionError
        && ::access(QFile::encodeName(location).constData(), R_OK | W_OK) == 0)
        errorText_ = QLatin1String(kInUseText);
#else
    Q_UNUSED(location);
#endif
}

void QtSerialPort::requestLowLatency()
{
#ifdef Q_OS_LINUX
    // USB serial adapters otherwise hold short replies back for up to 16 ms. Drivers and
    // pseudo-terminals that do not support it refuse, and the port is used as it is. Some
    // drivers take the request and drop the flag, so the outcome is read back.
    const int fd = static_cast<int>(port_.handle());
    serial_struct settings{};
    if (::ioctl(fd, TIOCGSERIAL, &settings) != 0) {
        lowLatency_ = LowLatencyMode::Unsupported;
        return;
    }
    settings.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
    serial_struct after{};
    const bool taken = ::ioctl(fd, TIOCSSERIAL, &settings) == 0 && ::ioctl(fd, TIOCGSERIAL, &after) == 0
                       && (after.flags & static_cast<int>(ASYNC_LOW_LATENCY)) != 0;
    lowLatency_ = taken ? LowLatencyMode::Active : LowLatencyMode::Refused;
#endif
}

LowLatencyMode QtSerialPort::lowLatencyMode() const
{
    return port_.isOpen() ? lowLatency_ : LowLatencyMode::Unknown;
}

bool QtSerialPort::isOpen() const
{
    return port_.isOpen();
}

bool QtSerialPort::configure(qint32 baudRate)
{
    clearErrorIfSet();
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
#ifdef Q_OS_UNIX
    // Flushing a terminal is costly, and at nearly every poll step there is nothing to drop:
    // flush only when input waits here or in the driver, or output has not left yet.
    const int fd = static_cast<int>(port_.handle());
    int queuedIn = 0;
    int queuedOut = 0;
    const bool known = ::ioctl(fd, FIONREAD, &queuedIn) == 0 && ::ioctl(fd, TIOCOUTQ, &queuedOut) == 0;
    if (known && queuedIn == 0 && queuedOut == 0 && port_.bytesAvailable() == 0
        && port_.bytesToWrite() == 0) {
        clearErrorIfSet();
        return;
    }
#endif
    // Both directions in one call; clear() drops QSerialPort's own buffers as well as the
    // driver's.
    port_.clear(QSerialPort::AllDirections);
    clearErrorIfSet();
}

bool QtSerialPort::writeByte(char byte)
{
    if (!port_.isOpen())
        return false;
#ifdef Q_OS_UNIX
    // Straight to the driver: QSerialPort would buffer the byte, arm a write notifier in the
    // event loop and poll before writing it, several system calls for every poll step.
    const int fd = static_cast<int>(port_.handle());
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const ssize_t written = ::write(fd, &byte, 1);
        if (written == 1)
            return true;
        const int error = written < 0 ? errno : EAGAIN;
        if (error == EINTR)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK) {
            // A pulled adapter or a closed pseudo-terminal shows up here.
            errorText_ = qt_error_string(error);
            return false;
        }
        // The driver's buffer is full: wait for room, and give a line that stalls up after
        // the bound.
        const qint64 left = kWriteTimeoutMs - clock.elapsed();
        pollfd room{fd, POLLOUT, 0};
        if (left <= 0 || ::poll(&room, 1, static_cast<int>(left)) == 0) {
            errorText_ = QStringLiteral("The line did not take the byte within %1 ms").arg(kWriteTimeoutMs);
            return false;
        }
    }
#else
    // A failed earlier operation leaves its error behind; only this write's outcome counts.
    clearErrorIfSet();
    if (port_.write(&byte, 1) != 1) {
        noteFailure();
        return false;
    }
    // write() only buffers: the byte has left once the driver took it. A pulled adapter shows
    // up here, and a line that stalls is given up after the bound.
    if (!port_.waitForBytesWritten(kWriteTimeoutMs) || port_.error() != QSerialPort::NoError) {
        noteFailure();
        return false;
    }
    return true;
#endif
}

#ifdef Q_OS_UNIX

// On Unix the read side also goes to the driver directly. Bytes QSerialPort's own notifier
// took in while the event loop ran come first, then what the driver holds.

qint64 QtSerialPort::bytesWaiting()
{
    if (!port_.isOpen())
        return 0;
    int queued = 0;
    if (::ioctl(static_cast<int>(port_.handle()), FIONREAD, &queued) != 0)
        queued = 0;
    return port_.bytesAvailable() + queued;
}

QtSerialPort::WaitOutcome QtSerialPort::waitOnce(int timeoutMs)
{
    if (port_.bytesAvailable() > 0)
        return WaitOutcome::Input;
    pollfd input{static_cast<int>(port_.handle()), POLLIN, 0};
    const int ready = ::poll(&input, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return WaitOutcome::NoInput;
    // A hang-up also reports input (the read would fail): only bytes that wait count.
    const bool hungUp = (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (ready > 0 && (input.revents & POLLIN) != 0 && (!hungUp || bytesWaiting() > 0))
        return WaitOutcome::Input;
    return WaitOutcome::Broken;
}

QByteArray QtSerialPort::read(qint64 maxBytes)
{
    if (!port_.isOpen() || maxBytes <= 0)
        return {};
    QByteArray bytes = port_.read(maxBytes);
    const qint64 wanted = maxBytes - bytes.size();
    if (wanted <= 0)
        return bytes;
    const qsizetype had = bytes.size();
    bytes.resize(had + wanted);
    ssize_t got = 0;
    do {
        got = ::read(static_cast<int>(port_.handle()), bytes.data() + had, static_cast<size_t>(wanted));
    } while (got < 0 && errno == EINTR);
    bytes.resize(had + (got > 0 ? got : 0));
    return bytes;
}

#else

qint64 QtSerialPort::bytesWaiting()
{
    if (!port_.isOpen())
        return 0;
    // QSerialPort learns of input only from its notifier or inside a wait; a wait of 0 ms moves
    // what the driver already holds into its buffer without running an event loop.
    clearErrorIfSet();
    port_.waitForReadyRead(0);
    clearErrorIfSet();
    return port_.bytesAvailable();
}

QtSerialPort::WaitOutcome QtSerialPort::waitOnce(int timeoutMs)
{
    clearErrorIfSet();
    if (port_.waitForReadyRead(timeoutMs) || port_.bytesAvailable() > 0) {
        clearErrorIfSet();
        return WaitOutcome::Input;
    }
    const bool broken = port_.error() != QSerialPort::NoError
                        && port_.error() != QSerialPort::TimeoutError;
    clearErrorIfSet();
    if (broken)
        return WaitOutcome::Broken;
    // Any other early return is retried after a pause.
    QThread::msleep(1);
    return WaitOutcome::NoInput;
}

QByteArray QtSerialPort::read(qint64 maxBytes)
{
    if (!port_.isOpen() || maxBytes <= 0)
        return {};
    return port_.read(maxBytes);
}

#endif

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
        switch (waitOnce(static_cast<int>(rest))) {
        case WaitOutcome::Input:
            return true;
        case WaitOutcome::NoInput:
            break;
        case WaitOutcome::Broken: {
            // A port in error (a vanished device) returns from the wait at once: sleep out the
            // rest instead of letting the caller spin.
            const qint64 left = timeoutMs - clock.elapsed();
            if (left > 0)
                QThread::msleep(static_cast<unsigned long>(left));
            return false;
        }
        }
    }
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

void QtSerialPort::clearErrorIfSet()
{
    // Clearing always re-translates the error text and emits a signal; most calls find none.
    if (port_.error() != QSerialPort::NoError)
        port_.clearError();
}

void QtSerialPort::noteFailure()
{
    errorText_ = port_.errorString();
}

} // namespace serial
