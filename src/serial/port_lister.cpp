// SPDX-License-Identifier: MIT
#include "port_lister.h"

#include <QSerialPortInfo>

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

} // namespace

QList<PortEntry> extraPortEntries(const QString &colonSeparatedPaths)
{
    QList<PortEntry> entries;
    const QStringList paths = colonSeparatedPaths.split(u':', Qt::SkipEmptyParts);
    for (const QString &path : paths) {
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

QList<PortEntry> listPorts()
{
    QList<PortEntry> entries =
        extraPortEntries(QString::fromLocal8Bit(qgetenv("QUARN_EXTRA_PORTS")));
    const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system)
        entries.append(systemPortEntry(info.portName(), info.systemLocation(), info.description()));
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

QString identifierFromItemText(const QString &itemText)
{
    const qsizetype blank = itemText.indexOf(u' ');
    return blank < 0 ? itemText : itemText.left(blank);
}

std::optional<RegistryPortItem> registryPortItem(const QString &valueName, const QString &data)
{
    if (!data.startsWith(QStringLiteral("COM"), Qt::CaseSensitive))
        return std::nullopt;
    // The device name follows the first backslash after the name's leading character, so
    // "\Device\VCP0" gives "VCP0".
    const qsizetype backslash = valueName.indexOf(u'\\', 1);
    const QString deviceName = deviceNameCut(backslash < 0 ? QStringView(valueName)
                                                           : QStringView(valueName).mid(backslash + 1));
    return RegistryPortItem{data.mid(3), deviceName};
}

} // namespace serial
