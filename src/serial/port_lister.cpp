// SPDX-License-Identifier: MIT
#include "port_lister.h"

#include <QSerialPortInfo>

namespace serial {

QList<PortEntry> extraPortEntries(const QString &colonSeparatedPaths)
{
    QList<PortEntry> entries;
    const QStringList paths = colonSeparatedPaths.split(u':', Qt::SkipEmptyParts);
    for (const QString &path : paths) {
        const QString lastComponent = path.section(u'/', -1);
        entries.append({path, path, lastComponent.left(kDeviceNameLength)});
    }
    return entries;
}

PortEntry systemPortEntry(const QString &portName, const QString &systemLocation,
                          const QString &description)
{
    const QString name = description.isEmpty() ? portName : description;
    return {portName, systemLocation, name.left(kDeviceNameLength)};
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
    return identifier + QStringLiteral("  ") + deviceName.left(kDeviceNameLength);
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
    const QString deviceName = backslash < 0 ? valueName.left(kDeviceNameLength)
                                             : valueName.mid(backslash + 1, kDeviceNameLength);
    return RegistryPortItem{data.mid(3), deviceName};
}

} // namespace serial
