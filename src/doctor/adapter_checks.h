// SPDX-License-Identifier: MIT
#pragma once

// The checks of what else on the machine acts on an adapter: ModemManager, brltty, the FTDI
// latency timer and the driver's low-latency mode.

#include "finding.h"
#include "port_facts.h"
#include "udev_rules.h"

#include "serial_port.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace doctor {

inline constexpr char ModemManagerCommand[] = "ModemManager";

// Whether the package's stanza in dpkg's status file says "install ok installed".
bool dpkgPackageInstalled(const QString &statusText, const QString &package);

// `udevData`: the port's properties in the udev database (empty when it has no entry there);
// `rules`: every rule udev reads.
Finding modemManagerFinding(const PortFacts &port, const QList<qint64> &modemManagerPids,
                            const QHash<QString, QString> &udevData, const QList<UdevRule> &rules);

// `brlttyRules`: the rules of brltty's own files.
Finding brlttyFinding(const PortFacts &port, bool brlttyInstalled, const QList<UdevRule> &brlttyRules);

// `atRestMs`: the timer before the port was opened; `whileOpenMs`: while this program had it open
// (its low-latency request lowers the timer on FTDI adapters).
Finding latencyTimerFinding(const QString &timerFile, std::optional<int> atRestMs, std::optional<int> whileOpenMs);

Finding lowLatencyFinding(const PortFacts &port, serial::LowLatencyMode mode, std::optional<int> latencyWhileOpenMs);

} // namespace doctor
