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

QString adviceLine(const Finding &finding)
{
    return finding.fix.isEmpty() ? finding.text : finding.text + QStringLiteral(". Fix: ") + finding.fix;
}

} // namespace doctor
