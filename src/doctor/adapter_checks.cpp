// SPDX-License-Identifier: MIT
#include "adapter_checks.h"

#include "device_access.h"

#include <QStringList>

namespace doctor {

bool dpkgPackageInstalled(const QString &statusText, const QString &package)
{
    // Stanzas are separated by blank lines; "Package:" comes first in each.
    const QStringList stanzas = statusText.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts);
    for (const QString &stanza : stanzas) {
        const QStringList lines = stanza.split(u'\n');
        if (lines.constFirst().trimmed() != QStringLiteral("Package: ") + package)
            continue;
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("Status:")))
                return line.mid(7).trimmed() == QLatin1String("install ok installed");
        }
    }
    return false;
}

namespace {

QString pidList(const QList<qint64> &pids)
{
    QStringList texts;
    for (const qint64 pid : pids)
        texts.append(QString::number(pid));
    return texts.join(QStringLiteral(", "));
}

// The match part of a rule for this adapter: its USB ids, or its kernel name for a built-in port.
QString udevMatchFor(const PortFacts &port)
{
    if (port.isUsb())
        return QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"")
            .arg(port.identity.vendorId, port.identity.productId);
    return QStringLiteral("KERNEL==\"%1\"").arg(port.identity.kernel);
}

constexpr char ReloadUdev[] = "sudo udevadm control --reload && sudo udevadm trigger";

} // namespace

Finding modemManagerFinding(const PortFacts &port, const QList<qint64> &modemManagerPids,
                            const QHash<QString, QString> &udevData, const QList<UdevRule> &rules)
{
    if (!port.inSysfs)
        return {Status::Skipped, QStringLiteral("not a port ModemManager looks at"), {}};
    if (modemManagerPids.isEmpty())
        return {Status::Ok, QStringLiteral("ModemManager is not running"), {}};
    const QString running = QStringLiteral("ModemManager runs (pid %1)").arg(pidList(modemManagerPids));
    constexpr char IgnoreKey[] = "ID_MM_DEVICE_IGNORE";

    // The database holds what udev decided for the port; the rules are read only without it.
    if (!udevData.isEmpty()) {
        if (udevData.value(QLatin1String(IgnoreKey)) == QLatin1String("1"))
            return {Status::Ok, running + QStringLiteral(" and leaves this port alone (udev: ID_MM_DEVICE_IGNORE=1)"),
                    {}};
    } else {
        for (const UdevRule &rule : rules) {
            if (ruleAssignment(rule, QStringLiteral("ENV"), QLatin1String(IgnoreKey)) == QStringLiteral("1")
                && ruleMatchesIdentity(rule, port.identity, true))
                return {Status::Ok,
                        running + QStringLiteral(" and leaves this port alone (rule %1)").arg(ruleLocation(rule)),
                        {}};
        }
    }
    return {Status::Warning,
            running + QStringLiteral(" and may probe this port for a modem: it sends AT commands and holds "
                                     "the port for seconds after it appears"),
            QStringLiteral("echo '%1, ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee "
                           "/etc/udev/rules.d/61-trevisor-modemmanager.rules && %2, then replug the adapter")
                .arg(udevMatchFor(port), QLatin1String(ReloadUdev))};
}

Finding brlttyFinding(const PortFacts &port, bool brlttyInstalled, const QList<UdevRule> &brlttyRules)
{
    if (!port.isUsb())
        return {Status::Skipped, QStringLiteral("not a USB adapter"), {}};
    for (const UdevRule &rule : brlttyRules) {
        if (!ruleMatchesIdentity(rule, port.identity, false))
            continue;
        const QString fix = brlttyInstalled
                                ? QStringLiteral("sudo apt-get remove brltty (unless a braille display is used; "
                                                 "or mask the rule: sudo ln -s /dev/null /etc/udev/rules.d/%1)")
                                      .arg(rule.file)
                                : QStringLiteral("sudo ln -s /dev/null /etc/udev/rules.d/%1 && %2")
                                      .arg(rule.file, QLatin1String(ReloadUdev));
        return {Status::Blocking,
                QStringLiteral("brltty's udev rule %1 claims %2 as a braille display: brltty takes the "
                               "adapter and its port vanishes")
                    .arg(ruleLocation(rule), port.usbId()),
                fix};
    }
    if (brlttyInstalled || !brlttyRules.isEmpty())
        return {Status::Ok, QStringLiteral("brltty is installed, but its udev rules do not claim %1").arg(port.usbId()),
                {}};
    return {Status::Ok, QStringLiteral("brltty is not installed"), {}};
}

Finding latencyTimerFinding(const QString &timerFile, std::optional<int> atRestMs, std::optional<int> whileOpenMs)
{
    if (!atRestMs)
        return {Status::Skipped, QStringLiteral("not an FTDI adapter (no latency timer)"), {}};
    if (*atRestMs <= 1)
        return {Status::Ok, QStringLiteral("latency timer %1 ms").arg(*atRestMs), {}};
    const QString found = QStringLiteral("latency timer %1 ms: the adapter holds replies back up to %1 ms")
                              .arg(*atRestMs);
    const QString fix = QStringLiteral("echo 1 | sudo tee %1 (until it is replugged), or for good: sudo cp %2 "
                                       "/etc/udev/rules.d/ && %3")
                            .arg(timerFile, udevRuleFile(), QLatin1String(ReloadUdev));
    if (whileOpenMs && *whileOpenMs <= 1)
        return {Status::Info,
                found + QStringLiteral(" (1 ms while this program has the port open; other programs get %1 ms)")
                            .arg(*atRestMs),
                fix};
    return {Status::Warning, found, fix};
}

Finding lowLatencyFinding(const PortFacts &port, serial::LowLatencyMode mode, std::optional<int> latencyWhileOpenMs)
{
    const QString driver = port.ptyIndex ? QStringLiteral("the pseudo-terminal driver")
                           : port.driver.isEmpty() ? QStringLiteral("the driver")
                                                   : QStringLiteral("driver ") + port.driver;
    switch (mode) {
    case serial::LowLatencyMode::Unknown:
        break;
    case serial::LowLatencyMode::Active:
        return {Status::Ok, driver + QStringLiteral(" accepted low-latency mode"), {}};
    case serial::LowLatencyMode::Unsupported:
        return {Status::Info, driver + QStringLiteral(" has no low-latency mode (TIOCGSERIAL refused); replies "
                                                      "come at the driver's own pace"),
                {}};
    case serial::LowLatencyMode::Refused: {
        const QString found = driver + QStringLiteral(" did not take low-latency mode (ASYNC_LOW_LATENCY is off "
                                                      "after the request)");
        // It matters where a latency timer then stays high.
        if (latencyWhileOpenMs && *latencyWhileOpenMs > 1)
            return {Status::Warning, found,
                    QStringLiteral("set the latency timer to 1 ms instead (see latency-timer)")};
        return {Status::Info, found, {}};
    }
    }
    return {Status::Skipped, QStringLiteral("not checked: the port did not open"), {}};
}

} // namespace doctor
