// SPDX-License-Identifier: MIT
#include "system_paths.h"

#include <QFile>

namespace doctor {

SystemPaths SystemPaths::under(const QString &root)
{
    SystemPaths paths;
    for (QString *path : {&paths.sys, &paths.proc, &paths.dev, &paths.udevData, &paths.dpkgStatus,
                          &paths.groupFile, &paths.passwdFile})
        path->prepend(root);
    for (QString &dir : paths.udevRuleDirs)
        dir.prepend(root);
    return paths;
}

QString readTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace doctor
