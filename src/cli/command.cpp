// SPDX-License-Identifier: MIT
#include "command.h"

#include "commission_command.h"
#include "configuration_commands.h"
#include "debug_command.h"
#include "doctor_command.h"
#include "info_commands.h"
#include "poll_command.h"
#include "selfcal_command.h"

namespace cli {

void GivenOptions::add(const QStringList &names, const QStringList &values)
{
    for (const QString &name : names)
        values_[name] += values;
}

QString GivenOptions::value(const QString &name) const
{
    const QStringList given = values_.value(name);
    return given.isEmpty() ? QString() : given.constLast();
}

const QList<Command> &commands()
{
    static const QList<Command> all{portsCommand(),        identifyCommand(),    pollCommand(),
                                    zeroCommand(),         multiturnZeroCommand(), factoryResetCommand(),
                                    resetStatusCommand(),  selfCalCommand(),     commissionCommand(),
                                    debugCommand(),
                                    doctorCommand()};
    return all;
}

namespace {

constexpr qint64 MaximumIntervalMs = 3600000;
constexpr qint64 MaximumFaultLimit = 1000000;

} // namespace

CommandOption countOption(qint64 defaultCount)
{
    return {{QStringLiteral("n"), QStringLiteral("count")},
            QStringLiteral("Stop after n readings; 0 runs until Ctrl+C (default: %1).").arg(defaultCount),
            QStringLiteral("n")};
}

CommandOption intervalOption()
{
    return {{QStringLiteral("interval")},
            QStringLiteral("Milliseconds from one reading to the next, 0 back to back (default: 50)."),
            QStringLiteral("ms")};
}

CommandOption maxErrorsOption()
{
    return {{QStringLiteral("max-errors")},
            QStringLiteral("End the run with exit code 5 after n spoilt readings in a row; 0 never "
                           "(default: %1).")
                .arg(DefaultMaxErrors),
            QStringLiteral("n")};
}

std::optional<qint64> integerValue(const QString &text, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<ReadingPace> readingPace(const GivenOptions &given, QString &usageError)
{
    ReadingPace pace;
    if (given.isSet(QStringLiteral("count"))) {
        pace.count = integerValue(given.value(QStringLiteral("count")), 0, std::numeric_limits<qint64>::max());
        if (!pace.count) {
            usageError = QStringLiteral("--count needs a whole number of 0 or more");
            return std::nullopt;
        }
    }
    if (given.isSet(QStringLiteral("interval"))) {
        const auto ms = integerValue(given.value(QStringLiteral("interval")), 0, MaximumIntervalMs);
        if (!ms) {
            usageError = QStringLiteral("--interval needs milliseconds from 0 to %1").arg(MaximumIntervalMs);
            return std::nullopt;
        }
        pace.intervalMs = static_cast<int>(*ms);
    }
    if (given.isSet(QStringLiteral("max-errors"))) {
        const auto limit = integerValue(given.value(QStringLiteral("max-errors")), 0, MaximumFaultLimit);
        if (!limit) {
            usageError = QStringLiteral("--max-errors needs a whole number of 0 or more");
            return std::nullopt;
        }
        pace.maxErrors = static_cast<int>(*limit);
    }
    return pace;
}

} // namespace cli
