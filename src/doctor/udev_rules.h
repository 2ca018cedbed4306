// SPDX-License-Identifier: MIT
#pragma once

// Just enough of udev to answer two questions about an adapter: does a rule claim its USB
// vendor and product id, and is the port marked for ModemManager to leave alone. Rules are
// matched on the adapter's identity only (kernel name, vendor and product id); other keys, and
// the GOTO/LABEL flow, are not followed.

#include "system_paths.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace doctor {

struct UdevToken {
    QString key;       // KERNEL, ATTRS, ENV ...
    QString attribute; // what stands in braces: idVendor, PRODUCT ...; empty without braces
    QString op;        // ==, !=, =, +=, -=, :=
    QString value;
};

struct UdevRule {
    QString file; // file name without its folder
    int line = 0; // first line of the rule, from 1
    QList<UdevToken> tokens;
};

// The rules of one file: comments and blank lines dropped, continued lines joined.
QList<UdevRule> parseUdevRules(const QString &text, const QString &fileName);

// The "E:KEY=VALUE" lines of a udev database file (also reads the KEY=VALUE lines of a sysfs
// uevent file).
QHash<QString, QString> udevProperties(const QString &text);

struct DeviceIdentity {
    QString kernel;    // ttyUSB0
    QString vendorId;  // "0403", as sysfs gives it
    QString productId; // "6001"
    QString product;   // the USB device's PRODUCT, "403/6001/600"
};

// udev's pattern match: *, ?, [...] and alternatives separated by |.
bool udevPatternMatches(const QString &pattern, const QString &value);

// True when every identity key of the rule matches the device and the rule names the USB vendor
// or product id (or, with `kernelCounts`, the kernel name) at least once.
bool ruleMatchesIdentity(const UdevRule &rule, const DeviceIdentity &device, bool kernelCounts);

// The value that the rule assigns to KEY{attribute}, if it does.
std::optional<QString> ruleAssignment(const UdevRule &rule, const QString &key, const QString &attribute);

// "85-brltty.rules:12"
QString ruleLocation(const UdevRule &rule);

// The rules of every file in the folders whose name passes `wanted`. A file overrides one of the
// same name in a later folder; a file linked to /dev/null, or empty, disables it.
QList<UdevRule> readUdevRules(const QStringList &folders, const std::function<bool(const QString &)> &wanted);

} // namespace doctor
