// SPDX-License-Identifier: MIT
// Text from the system that becomes port list items, and the order and de-duplication of the
// ports the search walks: the colon-separated QUARN_EXTRA_PORTS list and a port the system
// lists (UTF-16 with lone surrogates and all).
//
// Input: the system port's name and description as pieces (length first, two bytes a
// character), then the extra-ports variable as the rest (8-bit, as the environment holds it).

#include "fuzz_support.h"

#include "port_lister.h"

#include <QDir>
#include <QSet>

namespace {

void checkItem(const QString &identifier, const QString &deviceName, bool validInput)
{
    FUZZ_CHECK(deviceName.size() <= serial::kDeviceNameLength);
    const QString item = serial::portItemText(identifier, deviceName);
    FUZZ_CHECK(item == identifier + QStringLiteral("  ") + deviceName);
    // Shortening a name never leaves half a character behind.
    if (validInput)
        FUZZ_CHECK(item.isValidUtf16());
}

// Search order: every port once, the kinds in order, each kind in its given order.
void checkOrder(const QList<serial::PortDescription> &ports)
{
    const QList<serial::PortDescription> ordered = serial::inSearchOrder(ports);
    FUZZ_CHECK(ordered.size() == ports.size());
    qsizetype at = 0;
    for (const serial::PortKind kind :
         {serial::PortKind::Extra, serial::PortKind::UsbAdapter, serial::PortKind::BuiltIn}) {
        for (const serial::PortDescription &port : ports) {
            if (port.kind != kind)
                continue;
            FUZZ_CHECK(ordered[at].kind == kind && ordered[at].entry.path == port.entry.path);
            ++at;
        }
    }

    // One description per device: the first of each, in their order.
    const QList<serial::PortDescription> single = serial::onePerDevice(ordered);
    QSet<QString> seen;
    qsizetype kept = 0;
    for (const serial::PortDescription &port : ordered) {
        if (seen.contains(port.resolvedPath))
            continue;
        seen.insert(port.resolvedPath);
        FUZZ_CHECK(kept < single.size() && single[kept].entry.path == port.entry.path);
        ++kept;
    }
    FUZZ_CHECK(kept == single.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace serial;
    fuzz::Input input(data, size);
    const QString portName = fuzz::utf16Text(input.piece());
    const QString description = fuzz::utf16Text(input.piece());
    const QByteArray extraPorts = input.rest();
    const bool validSystemText = portName.isValidUtf16() && description.isValidUtf16();

    // Every non-empty path of the list, in its order, made absolute from the working directory,
    // named after its last component.
    const QString pathList = QString::fromLocal8Bit(extraPorts);
    const QList<PortEntry> entries = extraPortEntries(pathList);
    const QStringList paths = pathList.split(u':', Qt::SkipEmptyParts);
    FUZZ_CHECK(entries.size() == paths.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const PortEntry &entry = entries[i];
        FUZZ_CHECK(entry.path == absolutePortPath(paths[i]) && QDir::isAbsolutePath(entry.path));
        FUZZ_CHECK(!entry.path.isEmpty() && !entry.path.contains(u':'));
        FUZZ_CHECK(entry.identifier == entry.path);
        FUZZ_CHECK(entry.path.section(u'/', -1).startsWith(entry.deviceName));
        checkItem(entry.identifier, entry.deviceName, pathList.isValidUtf16());
    }

    // A port the system lists, named by its description or else its name.
    const QString location = QStringLiteral("/dev/") + portName;
    const PortEntry system = systemPortEntry(portName, location, description);
    FUZZ_CHECK(system.identifier == portName && system.path == location);
    FUZZ_CHECK((description.isEmpty() ? portName : description).startsWith(system.deviceName));
    checkItem(system.identifier, system.deviceName, validSystemText);

    // The extra paths as ports of every kind in turn, the system port among them; a path that
    // comes twice, or equals the system port's, is one device.
    QList<PortDescription> ports;
    for (qsizetype i = 0; i < entries.size(); ++i)
        ports.append({entries[i], static_cast<PortKind>(i % 3), entries[i].path});
    ports.insert(ports.size() / 2, {system, description.isEmpty() ? PortKind::BuiltIn : PortKind::UsbAdapter,
                                    system.path});
    checkOrder(ports);
    return 0;
}
