// SPDX-License-Identifier: MIT
#include "finding.h"

namespace doctor {

QString statusName(Status status)
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("ok");
    case Status::Info:
        return QStringLiteral("info");
    case Status::Warning:
        return QStringLiteral("warning");
    case Status::Blocking:
        return QStringLiteral("blocking");
    case Status::Skipped:
        break;
    }
    return QStringLiteral("skipped");
}

} // namespace doctor
