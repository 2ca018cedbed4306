// SPDX-License-Identifier: MIT
#include "open_failure.h"

#include "qt_serial_port.h"

namespace doctor {

Finding portAccessFinding(const PortFacts &port, const UserIdentity &user, const Accounts &accounts)
{
    if (!port.notSerialPort.isEmpty())
        return {Status::Blocking, QStringLiteral("%1 is not a serial port: %2").arg(port.path, port.notSerialPort),
                QStringLiteral("name the encoder's port: trevisor-cli ports lists them, ls -l /dev/serial/by-id/ "
                               "shows the USB adapters")};
    return accessFinding(port.device, port.node, user, accounts, port.isBuiltIn());
}

Finding portHoldersFinding(const PortFacts &port, const ProcessTable &processes, const SystemPaths &paths)
{
    if (!port.node.exists)
        return {Status::Skipped, QStringLiteral("the device does not exist"), {}};
    // Everything holds /dev/null and the terminals' FIFOs; none of them is in the way.
    if (!port.notSerialPort.isEmpty())
        return {Status::Skipped, QStringLiteral("not a serial port"), {}};
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

Finding heldByAnotherUserFinding(const QString &path, int unreadableProcesses)
{
    return {Status::Blocking,
            QStringLiteral("held open by a program of another user (%1 processes of other users cannot be "
                           "looked at without root)")
                .arg(unreadableProcesses),
            QStringLiteral("see which: sudo fuser -v %1 (or run the doctor as root: sudo trevisor-cli doctor "
                           "--port %1)")
                .arg(path)};
}

OpenFailure explainOpenFailure(const SystemPaths &paths, const UserIdentity &user, const QString &path,
                               const QString &errorText)
{
    const PortFacts port = readPortFacts(paths, path);
    const Finding access = portAccessFinding(port, user, readAccounts(paths));
    if (!port.node.exists)
        return {OpenProblem::Missing, errorText + QStringLiteral(": ") + adviceLine(access)};
    if (!port.notSerialPort.isEmpty())
        return {OpenProblem::NotSerialPort, QStringLiteral("not a serial port (%1)").arg(port.notSerialPort)};
    if (access.status == Status::Blocking)
        return {OpenProblem::PermissionDenied, errorText + QStringLiteral(": ") + adviceLine(access)};
    const ProcessTable processes = readProcessTable(paths);
    const QString inUse = inUseText(holdersOf(processes, port.device, port.ptyIndex, paths.dev));
    if (!inUse.isEmpty())
        return {OpenProblem::Busy, inUse};
    if (errorText == QLatin1String(serial::QtSerialPort::kInUseText)) {
        if (processes.unreadable > 0)
            return {OpenProblem::Busy, errorText + QStringLiteral(", not one of yours (sudo fuser -v %1 names it)")
                                                       .arg(path)};
        return {OpenProblem::Busy, errorText};
    }
    return {OpenProblem::Other, errorText};
}

QString openFailureReason(const SystemPaths &paths, const UserIdentity &user, const QString &path,
                          const QString &errorText)
{
    return explainOpenFailure(paths, user, path, errorText).text;
}

QString adviceLine(const Finding &finding)
{
    return finding.fix.isEmpty() ? finding.text : finding.text + QStringLiteral(". Fix: ") + finding.fix;
}

} // namespace doctor
