// SPDX-License-Identifier: MIT
#pragma once

// The list of ports the search walks: the ports the operator named in QUARN_EXTRA_PORTS first,
// then the serial ports the system knows. Also the text of a port's list item and the rules
// that turn an entry of the Windows serial-port registry key into such an item.

#include <QList>
#include <QString>

#include <optional>

namespace serial {

// How many characters (UTF-16 units) of a device name the list shows; a character that takes two
// units is dropped whole rather than cut in half.
inline constexpr qsizetype kDeviceNameLength = 10;

struct PortEntry {
    QString identifier; // shown first in the list item: "ttyUSB0", "5" (COM5), or a full path
    QString path;       // what SerialPort::open() takes
    QString deviceName; // at most kDeviceNameLength characters
};

// One item per non-empty entry of a colon-separated path list, in its order.
QList<PortEntry> extraPortEntries(const QString &colonSeparatedPaths);

// An entry for a port the system lists; the description names the device when there is one.
PortEntry systemPortEntry(const QString &portName, const QString &systemLocation,
                          const QString &description);

// The extra ports of QUARN_EXTRA_PORTS, then QSerialPortInfo::availablePorts().
QList<PortEntry> listPorts();

// Identifier, two blanks, device name cut to kDeviceNameLength characters.
QString portItemText(const QString &identifier, const QString &deviceName);
QString portItemText(const PortEntry &entry);

// The identifier back from an item text: everything before the first blank.
QString identifierFromItemText(const QString &itemText);

struct RegistryPortItem {
    QString number;     // "12" for COM12, may be empty
    QString deviceName; // at most kDeviceNameLength characters
};

// A value of HKLM\hardware\devicemap\serialcomm (name such as "\Device\VCP0", data such as
// "COM5"); nothing when the data does not begin with "COM".
std::optional<RegistryPortItem> registryPortItem(const QString &valueName, const QString &data);

} // namespace serial
