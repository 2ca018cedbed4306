// SPDX-License-Identifier: MIT
#include "device_access.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace doctor {

UserIdentity currentUser()
{
    UserIdentity user;
    user.uid = ::getuid();
    user.groups.append(::getgid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, groups.data());
        for (int i = 0; i < got; ++i) {
            if (!user.groups.contains(groups[static_cast<std::size_t>(i)]))
                user.groups.append(groups[static_cast<std::size_t>(i)]);
        }
    }
    if (const passwd *entry = ::getpwuid(user.uid))
        user.name = QString::fromLocal8Bit(entry->pw_name);
    return user;
}

QList<GroupEntry> parseGroupFile(const QString &text)
{
    QList<GroupEntry> groups;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.split(u':');
        if (fields.size() < 3 || fields.at(0).isEmpty())
            continue;
        bool ok = false;
        const uint gid = fields.at(2).toUInt(&ok);
        if (!ok)
            continue;
        GroupEntry entry{fields.at(0), gid, {}};
        if (fields.size() > 3)
            entry.members = fields.at(3).trimmed().split(u',', Qt::SkipEmptyParts);
        groups.append(entry);
    }
    return groups;
}

QHash<uint, QString> parsePasswdNames(const QString &text)
{
    QHash<uint, QString> names;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.split(u':');
        bool ok = false;
        const uint uid = fields.size() >= 3 ? fields.at(2).toUInt(&ok) : 0;
        if (ok && !fields.at(0).isEmpty() && !names.contains(uid))
            names.insert(uid, fields.at(0));
    }
    return names;
}

Accounts readAccounts(const SystemPaths &paths)
{
    return {parseGroupFile(readTextFile(paths.groupFile)), parsePasswdNames(readTextFile(paths.passwdFile))};
}

DeviceNode readDeviceNode(const QString &path)
{
    struct stat status{};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {true, status.st_uid, status.st_gid, status.st_mode & 0777U};
}

QString modeText(uint mode)
{
    QString text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        const uint bits = (mode >> shift) & 7U;
        text += (bits & 4U) != 0 ? u'r' : u'-';
        text += (bits & 2U) != 0 ? u'w' : u'-';
        text += (bits & 1U) != 0 ? u'x' : u'-';
    }
    return text;
}

namespace {

constexpr uint ReadWrite = 6U;

bool allows(uint mode, int shift)
{
    return ((mode >> shift) & ReadWrite) == ReadWrite;
}

const GroupEntry *groupWithId(const Accounts &accounts, uint gid)
{
    for (const GroupEntry &group : accounts.groups) {
        if (group.gid == gid)
            return &group;
    }
    return nullptr;
}

} // namespace

QString udevRuleFile()
{
    const QString relative = QStringLiteral("share/trevisor/udev/") + QLatin1String(UdevRuleName);
    QStringList places;
    if (QCoreApplication::instance() != nullptr) {
        const QString programDir = QCoreApplication::applicationDirPath();
        // bin/../share for an installed program, build/src/<folder>/../../share in a build tree.
        places << programDir + QStringLiteral("/../") + relative << programDir + QStringLiteral("/../../") + relative;
    }
    places << QLatin1String(UdevRuleInstalled) << QStringLiteral("/usr/local/") + relative;
    for (const QString &place : std::as_const(places)) {
        if (QFileInfo::exists(place))
            return QFileInfo(place).canonicalFilePath();
    }
    return QLatin1String(UdevRuleInstalled);
}

Finding accessFinding(const QString &path, const DeviceNode &node, const UserIdentity &user,
                      const Accounts &accounts, bool builtIn)
{
    if (!node.exists)
        return {Status::Blocking, QStringLiteral("%1 does not exist").arg(path),
                QStringLiteral("plug the adapter in or check the path (ls -l /dev/serial/by-id/); "
                               "if the port appears and vanishes again, see brltty")};

    const GroupEntry *group = groupWithId(accounts, node.gid);
    const QString groupName = group != nullptr ? group->name : QString::number(node.gid);
    const QString owner = accounts.users.value(node.uid, QString::number(node.uid));
    const QString userName = user.name.isEmpty() ? QString::number(user.uid) : user.name;
    const QString device = QStringLiteral("%1 is %2:%3 %4").arg(path, owner, groupName, modeText(node.mode));

    if (user.uid == 0)
        return {Status::Ok, device + QStringLiteral("; you are root"), {}};
    if (node.uid == user.uid && allows(node.mode, 6))
        return {Status::Ok, device + QStringLiteral("; you own it"), {}};
    if (user.groups.contains(node.gid) && allows(node.mode, 3))
        return {Status::Ok, device + QStringLiteral("; you are in %1").arg(groupName), {}};
    if (allows(node.mode, 0))
        return {Status::Ok, device + QStringLiteral("; everyone may read and write it"), {}};

    if ((!allows(node.mode, 3) || node.gid == 0) && builtIn)
        return {Status::Blocking,
                device + QStringLiteral("; only its owner may use it"),
                QStringLiteral("sudo chgrp dialout %1 && sudo chmod 660 %1 (until the next boot; to keep it, a "
                               "rule in /etc/udev/rules.d/: KERNEL==\"%2\", GROUP=\"dialout\", MODE=\"0660\"), "
                               "then join dialout: sudo usermod -aG dialout \"$USER\" and log out and in")
                    .arg(path, QFileInfo(path).fileName())};
    if (!allows(node.mode, 3) || node.gid == 0)
        return {Status::Blocking,
                device + QStringLiteral("; only its owner may use it"),
                QStringLiteral("sudo cp %1 /etc/udev/rules.d/ && sudo udevadm control --reload && sudo "
                               "udevadm trigger, replug the adapter, then join dialout: sudo usermod -aG "
                               "dialout \"$USER\" and log out and in")
                    .arg(udevRuleFile())};
    // Joined the group after logging in: the session still runs with the old groups.
    if (group != nullptr && group->members.contains(user.name))
        return {Status::Blocking,
                device + QStringLiteral("; %1 is in %2, but this session started before joining it")
                             .arg(userName, groupName),
                QStringLiteral("log out and in again (or, for this shell only: newgrp %1)").arg(groupName)};
    return {Status::Blocking, device + QStringLiteral("; you (%1) are not in %2").arg(userName, groupName),
            QStringLiteral("sudo usermod -aG %1 \"$USER\", then log out and in again").arg(groupName)};
}

} // namespace doctor
