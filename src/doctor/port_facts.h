// SPDX-License-Identifier: MIT
#pragma once

// What the system knows about one port: the device behind its path, its node, and from sysfs
// the driver, the USB adapter's ids and the FTDI latency timer.

#include "device_access.h"
#include "system_paths.h"
#include "udev_rules.h"

#include <QString>

#include <optional>

namespace doctor {

struct PortFacts {
    QString path;   // as named (a link such as /tmp/quarn2 or /dev/serial/by-id/...)
    QString device; // the device it leads to: /dev/ttyUSB0, /dev/pts/3; the path when missing
    DeviceNode node;
    // N of /dev/pts/N.
    std::optional<int> ptyIndex;
    bool inSysfs = false;    // the kernel lists it as a tty (a real port)
    QString deviceNumber;    // "188:0", names its file in the udev database
    QString driver;          // ftdi_sio, cp210x, ch341-uart, cdc_acm, serial8250 ...
    DeviceIdentity identity; // kernel name always; ids for a USB adapter
    QString usbProduct;      // the adapter's own name, "FT232R USB UART"
    // What the path is when it is no terminal: "a FIFO", "a regular file", "a character device
    // that is not a terminal"; empty for a serial port or a pseudo-terminal, and for a path that
    // does not exist.
    QString notSerialPort;
    // Milliseconds of an FTDI adapter's latency timer; nothing for other ports.
    std::optional<int> latencyTimerMs;

    bool isUsb() const { return !identity.vendorId.isEmpty(); }
    // A port of the machine itself (ttyS0): the kernel lists it, but not below a USB device.
    bool isBuiltIn() const { return inSysfs && !isUsb(); }
    // "0403:6001", empty for other ports.
    QString usbId() const;
};

PortFacts readPortFacts(const SystemPaths &paths, const QString &path);

// The latency timer's file in sysfs of a tty; it exists for FTDI adapters only.
QString latencyTimerFile(const SystemPaths &paths, const QString &kernelName);
std::optional<int> readLatencyTimer(const SystemPaths &paths, const QString &kernelName);

// "pseudo-terminal", "USB 0403:6001 FT232R USB UART, driver ftdi_sio", "driver serial8250" ...
QString portKindText(const PortFacts &facts);

} // namespace doctor
