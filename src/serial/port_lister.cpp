// SPDX-License-Identifier: MIT
#include "port_lister.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>

namespace serial {

namespace {

// The first kDeviceNameLength UTF-16 units, one fewer when the cut would keep only the first half
// of a character outside the Basic Multilingual Plane.
QString deviceNameCut(QStringView name)
{
    qsizetype length = std::min(name.size(), kDeviceNameLength);
    if (length < name.size() && name.at(length - 1).isHighSurrogate() && name.at(length).isLowSurrogate())
        --length;
    return name.left(length).toString();
}

// Links followed: /dev/serial/by-id/... and the ttyUSB0 it names are one device.
QString resolvedPath(const QString &path)
{
    const QFileInfo file(path);
    const QString target = file.canonicalFilePath();
    return target.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : target;
}

} // namespace

QString absolutePortPath(const QString &path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QList<PortEntry> extraPortEntries(const QString &colonSeparatedPaths)
{
    QList<PortEntry> entries;
    const QStringList paths = colonSeparatedPaths.split(u':', Qt::SkipEmptyParts);
    for (const QString &given : paths) {
        const QString path = absolutePortPath(given);
        const QString lastComponent = path.section(u'/', -1);
        entries.append({path, path, deviceNameCut(lastComponent)});
    }
    return entries;
}

PortEntry systemPortEntry(const QString &portName, const QString &systemLocation,
                          const QString &description)
{
    const QString name = description.isEmpty() ? portName : description;
    return {portName, systemLocation, deviceNameCut(name)};
}

QList<PortDescription> inSearchOrder(QList<PortDescription> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const PortDescription &a, const PortDescription &b) {
        return static_cast<int>(a.kind) < static_cast<int>(b.kind);
    });
    return ports;
}

QList<PortDescription> onePerDevice(const QList<PortDescription> &ports)
{
    QList<PortDescription> kept;
    QSet<QString> devices;
    for (const PortDescription &port : ports) {
        if (devices.contains(port.resolvedPath))
            continue;
        devices.insert(port.resolvedPath);
        kept.append(port);
    }
    return kept;
}

QList<PortEntry> listPorts()
{
    QList<PortDescription> ports;
    const QList<PortEntry> extra = extraPortEntries(QString::fromLocal8Bit(qgetenv("QUARN_EXTRA_PORTS")));
    for (const PortEntry &entry : extra)
        ports.append({entry, PortKind::Extra, resolvedPath(entry.path)});
    const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system) {
        PortEntry entry = systemPortEntry(info.portName(), info.systemLocation(), info.description());
        entry.description = info.description();
        entry.usbVendorId = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
        entry.usbProductId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
        entry.usbSerialNumber = info.serialNumber();
        entry.kind = info.hasVendorIdentifier() ? PortKind::UsbAdapter : PortKind::BuiltIn;
        ports.append({entry, entry.kind, resolvedPath(info.systemLocation())});
    }
    QList<PortEntry> entries;
    for (const PortDescription &port : onePerDevice(inSearchOrder(ports)))
        entries.append(port.entry);
    return entries;
}

QString portItemText(const QString &identifier, const QString &deviceName)
{
    return identifier + QStringLiteral("  ") + deviceNameCut(deviceName);
}

QString portItemText(const PortEntry &entry)
{
    return portItemText(entry.identifier, entry.deviceName);
}

} // namespace serial
