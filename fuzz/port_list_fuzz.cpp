// SPDX-License-Identifier: MIT
// Text from the system that becomes port list items: a value of the serial-port registry key
// (name and data, UTF-16 with lone surrogates and all), the colon-separated QUARN_EXTRA_PORTS
// list and a port the system lists.
//
// Input: the registry value's name and data as pieces (length first, two bytes a character),
// then the extra-ports variable as the rest (8-bit, as the environment holds it).

#include "fuzz_support.h"

#include "port_lister.h"

namespace {

void checkItem(const QString &identifier, const QString &deviceName, bool validInput)
{
    FUZZ_CHECK(deviceName.size() <= serial::kDeviceNameLength);
    const QString item = serial::portItemText(identifier, deviceName);
    FUZZ_CHECK(item == identifier + QStringLiteral("  ") + deviceName);
    if (!identifier.contains(u' '))
        FUZZ_CHECK(serial::identifierFromItemText(item) == identifier);
    // Shortening a name never leaves half a character behind.
    if (validInput)
        FUZZ_CHECK(item.isValidUtf16());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace serial;
    fuzz::Input input(data, size);
    const QString valueName = fuzz::utf16Text(input.piece());
    const QString valueData = fuzz::utf16Text(input.piece());
    const QByteArray extraPorts = input.rest();

    const std::optional<RegistryPortItem> item = registryPortItem(valueName, valueData);
    FUZZ_CHECK(item.has_value() == valueData.startsWith(QStringLiteral("COM")));
    if (item) {
        FUZZ_CHECK(item->number == valueData.mid(3));
        FUZZ_CHECK(valueName.contains(item->deviceName));
        checkItem(item->number, item->deviceName, valueName.isValidUtf16() && valueData.isValidUtf16());
    }

    // Every non-empty path of the list, in its order, named after its last component.
    const QString pathList = QString::fromLocal8Bit(extraPorts);
    const QList<PortEntry> entries = extraPortEntries(pathList);
    const QStringList paths = pathList.split(u':', Qt::SkipEmptyParts);
    FUZZ_CHECK(entries.size() == paths.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const PortEntry &entry = entries[i];
        FUZZ_CHECK(entry.path == paths[i]);
        FUZZ_CHECK(!entry.path.isEmpty() && !entry.path.contains(u':'));
        FUZZ_CHECK(entry.identifier == entry.path);
        FUZZ_CHECK(entry.path.section(u'/', -1).startsWith(entry.deviceName));
        checkItem(entry.identifier, entry.deviceName, pathList.isValidUtf16());
    }

    // A port the system lists, described by the registry texts.
    const PortEntry system = systemPortEntry(valueData, valueName, valueName);
    FUZZ_CHECK(system.identifier == valueData && system.path == valueName);
    checkItem(system.identifier, system.deviceName, valueName.isValidUtf16() && valueData.isValidUtf16());
    return 0;
}
