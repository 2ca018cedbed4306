// SPDX-License-Identifier: MIT
#include "process_table.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace doctor {

namespace {

bool isPtyMaster(const QString &target, const QString &devFolder)
{
    return target == devFolder + QStringLiteral("/ptmx") || target == devFolder + QStringLiteral("/pts/ptmx");
}

} // namespace

std::optional<int> ptyIndexFromFdinfo(const QString &fdinfo)
{
    static const QRegularExpression line(QStringLiteral("^tty-index:\\s*(\\d+)\\s*$"),
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(fdinfo);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int index = match.captured(1).toInt(&ok);
    return ok ? std::optional<int>(index) : std::nullopt;
}

ProcessTable readProcessTable(const SystemPaths &paths)
{
    ProcessTable table;
    const QStringList pids = QDir(paths.proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const QString devPrefix = paths.dev + u'/';
    for (const QString &name : pids) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        if (!ok)
            continue;
        const QString processDir = paths.proc + u'/' + name;
        table.processes.append({pid, readTextFile(processDir + QStringLiteral("/comm")).trimmed()});

        const QDir fdDir(processDir + QStringLiteral("/fd"));
        if (!fdDir.isReadable()) {
            // A process that ended since the listing holds nothing; only one still there is a
            // process not looked at.
            if (QFileInfo::exists(processDir))
                ++table.unreadable;
            continue;
        }
        const QStringList fds = fdDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            const QString target = QFileInfo(fdDir.filePath(fd)).symLinkTarget();
            if (!target.startsWith(devPrefix))
                continue;
            OpenDevice device{pid, target, std::nullopt};
            if (isPtyMaster(target, paths.dev))
                device.ptyMasterIndex =
                    ptyIndexFromFdinfo(readTextFile(processDir + QStringLiteral("/fdinfo/") + fd));
            table.openDevices.append(device);
        }
    }
    return table;
}

QString commandOf(const ProcessTable &table, qint64 pid)
{
    for (const ProcessEntry &process : table.processes) {
        if (process.pid == pid)
            return process.command;
    }
    return {};
}

QList<qint64> pidsOf(const ProcessTable &table, const QString &command)
{
    QList<qint64> pids;
    for (const ProcessEntry &process : table.processes) {
        if (process.command == command)
            pids.append(process.pid);
    }
    return pids;
}

QList<Holder> holdersOf(const ProcessTable &table, const QString &device, std::optional<int> ptyIndex,
                        const QString &devFolder)
{
    QList<Holder> holders;
    for (const OpenDevice &open : table.openDevices) {
        if (open.target != device)
            continue;
        const bool known = std::any_of(holders.begin(), holders.end(),
                                       [&open](const Holder &holder) { return holder.pid == open.pid; });
        if (known)
            continue;
        const bool farEnd =
            ptyIndex.has_value()
            && std::any_of(table.openDevices.begin(), table.openDevices.end(), [&](const OpenDevice &other) {
                   return other.pid == open.pid && isPtyMaster(other.target, devFolder)
                          && other.ptyMasterIndex == ptyIndex;
               });
        holders.append({open.pid, commandOf(table, open.pid), farEnd});
    }
    return holders;
}

namespace {

QString holderText(const Holder &holder)
{
    return QStringLiteral("pid %1 (%2)").arg(holder.pid).arg(holder.command.isEmpty() ? QStringLiteral("?")
                                                                                        : holder.command);
}

} // namespace

Finding holdersFinding(const QList<Holder> &holders, int unreadableProcesses)
{
    QStringList others;
    QStringList otherPids;
    QString otherCommand;
    QStringList servers;
    for (const Holder &holder : holders) {
        if (holder.farEnd) {
            servers.append(holderText(holder));
        } else {
            others.append(holderText(holder));
            otherPids.append(QString::number(holder.pid));
            otherCommand = holder.command;
        }
    }
    const QString served = servers.isEmpty()
                               ? QString()
                               : QStringLiteral("; %1 serves this pseudo-terminal").arg(servers.join(QStringLiteral(", ")));
    if (!others.isEmpty()) {
        const QString program = others.size() == 1 ? otherCommand : QStringLiteral("those programs");
        return {Status::Blocking, QStringLiteral("held open by %1%2").arg(others.join(QStringLiteral(", ")), served),
                QStringLiteral("close %1, or end it: kill %2")
                    .arg(program.isEmpty() ? QStringLiteral("that program") : program, otherPids.join(u' '))};
    }
    if (unreadableProcesses > 0)
        return {Status::Info,
                QStringLiteral("no other program of yours has it open%1; %2 processes of other users were "
                               "not looked at")
                    .arg(served)
                    .arg(unreadableProcesses),
                QStringLiteral("to see them too: sudo trevisor-cli doctor")};
    return {Status::Ok, QStringLiteral("no other program has it open") + served, {}};
}

} // namespace doctor
