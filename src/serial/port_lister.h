// SPDX-License-Identifier: MIT
#pragma once

// The list of ports the search walks: the ports the operator named in QUARN_EXTRA_PORTS first,
// then the serial ports the system knows, USB serial adapters before built-in ones, each device
// once. Also the text of a port's list item.

#include <QList>
#include <QString>

#include <utility>

namespace serial {

// How many characters (UTF-16 units) of a device name the list shows; a character that takes two
// units is dropped whole rather than cut in half.
inline constexpr qsizetype kDeviceNameLength = 10;

// Where a port of the list comes from; the search tries them in this order.
enum class PortKind {
    Extra,      // named in QUARN_EXTRA_PORTS
    UsbAdapter, // a system port with a USB vendor id: ttyUSB, ttyACM and the like
    BuiltIn,    // any other system port, such as a UART on the main board (ttyS)
};

struct PortEntry {
    PortEntry() = default;
    PortEntry(QString identifierText, QString pathText, QString deviceNameText)
        : identifier(std::move(identifierText)), path(std::move(pathText)), deviceName(std::move(deviceNameText))
    {
    }

    QString identifier; // shown first in the list item: "ttyUSB0", "5" (COM5), or a full path
    QString path;       // what SerialPort::open() takes
    QString deviceName; // at most kDeviceNameLength characters
    // What the system tells of the port, whole (empty or 0 when it does not say).
    QString description;
    quint16 usbVendorId = 0;
    quint16 usbProductId = 0;
    QString usbSerialNumber;
    PortKind kind = PortKind::Extra;
};

// A path as the port is opened: a relative one is taken from the working directory (never from
// /dev, as QSerialPort would), so that messages name the file actually tried.
QString absolutePortPath(const QString &path);

// One item per non-empty entry of a colon-separated path list, in its order; relative paths
// are made absolute.
QList<PortEntry> extraPortEntries(const QString &colonSeparatedPaths);

// An entry for a port the system lists; the description names the device when there is one.
PortEntry systemPortEntry(const QString &portName, const QString &systemLocation,
                          const QString &description);

struct PortDescription {
    PortEntry entry;
    PortKind kind = PortKind::BuiltIn;
    // The device the path leads to once links are followed; the path itself when it leads nowhere.
    QString resolvedPath;
};

// The extra ports, then the USB adapters, then the built-in ports, each kind in its given order.
// A built-in port that does not answer costs seven silent rates, about 2 s, before an adapter
// behind it would be reached; the encoder is almost always on an adapter.
QList<PortDescription> inSearchOrder(QList<PortDescription> ports);

// The first description of every device: a later one with the same resolved path (a link to a
// device already listed, or an extra port that the system lists too) is dropped.
QList<PortDescription> onePerDevice(const QList<PortDescription> &ports);

// The extra ports of QUARN_EXTRA_PORTS and QSerialPortInfo::availablePorts(), in search order,
// each device once.
QList<PortEntry> listPorts();

// Identifier, two blanks, device name cut to kDeviceNameLength characters.
QString portItemText(const QString &identifier, const QString &deviceName);
QString portItemText(const PortEntry &entry);

} // namespace serial
