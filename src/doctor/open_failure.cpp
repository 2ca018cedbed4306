// SPDX-License-Identifier: MIT
#include "open_failure.h"

namespace doctor {

Finding portAccessFinding(const PortFacts &port, const UserIdentity &user, const Accounts &accounts)
{
    return accessFinding(port.device, port.node, user, accounts);
}

Finding portHoldersFinding(const PortFacts &port, const ProcessTable &processes, const SystemPaths &paths)
{
    if (!port.node.exists)
        return {Status::Skipped, QStringLiteral("the device does not exist"), {}};
    return holdersFinding(holdersOf(processes, port.device, port.ptyIndex, paths.dev), processes.unreadable);
}

std::optional<Finding> openFailureFinding(const SystemPaths &paths, const UserIdentity &user, const QString &path)
{
    const PortFacts port = readPortFacts(paths, path);
    const Finding access = portAccessFinding(port, user, readAccounts(paths));
    if (access.status == Status::Blocking)
        return access;
    const Finding holders = portHoldersFinding(port, readProcessTable(paths), paths);
    if (holders.status == Status::Blocking)
        return holders;
    return std::nullopt;
}

QString inUseText(const QList<Holder> &holders)
{
    QStringList programs;
    for (const Holder &holder : holders) {
        if (!holder.farEnd)
            programs.append(QStringLiteral("%1 (pid %2)")
                                .arg(holder.command.isEmpty() ? QStringLiteral("a program") : holder.command)
                                .arg(holder.pid));
    }
    return programs.isEmpty() ? QString() : QStringLiteral("in use by ") + programs.join(QStringLiteral(", "));
}

QString openFailureReason(const SystemPaths &paths, const UserIdentity &user, const QString &path,
                          const QString &errorText)
{
    const PortFacts port = readPortFacts(paths, path);
    const Finding access = portAccessFinding(port, user, readAccounts(paths));
    if (access.status == Status::Blocking)
        return errorText + QStringLiteral(": ") + adviceLine(access);
    if (port.node.exists) {
        const QString inUse = inUseText(holdersOf(readProcessTable(paths), port.device, port.ptyIndex, paths.dev));
        if (!inUse.isEmpty())
            return inUse;
    }
    return errorText;
}

QString adviceLine(const Finding &finding)
{
    return finding.fix.isEmpty() ? finding.text : finding.text + QStringLiteral(". Fix: ") + finding.fix;
}

} // namespace doctor
