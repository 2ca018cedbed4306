// SPDX-License-Identifier: MIT
#pragma once

// One sub-command as the command line sees it: its help, its own options, and what it runs
// once its options are read. Each command defines itself beside its code; the command line
// (cli_app.cpp) knows only the list of them and the options every command shares.

#include "cli_context.h"
#include "encoder_link.h"
#include "output.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
#include <optional>

namespace cli {

struct CommandOption {
    QStringList names; // short names first: {"n", "count"}
    QString description;
    QString valueName; // empty for a switch
};

// The options given, the command's own and the shared ones, by any of their names.
class GivenOptions {
public:
    void add(const QStringList &names, const QStringList &values);
    bool isSet(const QString &name) const { return values_.contains(name); }
    // The last value given.
    QString value(const QString &name) const;
    QStringList values(const QString &name) const { return values_.value(name); }

private:
    QHash<QString, QStringList> values_;
};

// What every command takes, read and checked before the command's own options.
struct CommonSettings {
    PortChoice choice;
    // Every --port given, in their order, for a command that takes several; choice.path is the
    // first.
    QStringList ports;
    OutputFormat format = OutputFormat::Text;
};

// The outcome of reading a command's own options: a usage error, or the run.
struct CommandRun {
    QString usageError;
    // Runs on the encoder that the search (or --port) finds, its port open.
    std::function<int(EncoderLink &, Context &)> onEncoder;
    // Or works on the ports itself, without the search (ports, doctor).
    std::function<int(const PortChoice &, Context &)> onPorts;

    static CommandRun refused(const QString &text) { return {text, {}, {}}; }
};

struct Command {
    const char *name = "";
    const char *summary = "";
    const char *details = "";
    // Lines of "command  # what it does", shown under "Examples:".
    const char *examples = "";
    // What exit code 0 means for this command; nullptr: plain success.
    const char *success = nullptr;
    // The command tries every rate itself: --baud is refused and not offered.
    bool takesBaud = true;
    // --port may be given several times: the command works on each port.
    bool takesSeveralPorts = false;
    QList<CommandOption> options;
    std::function<CommandRun(const GivenOptions &, const CommonSettings &)> prepare;
};

// Every command, in the order of the help.
const QList<Command> &commands();
// The options every command takes (--port, --baud, ...), as the manual page lists them.
QList<CommandOption> commonOptions();

// Options that more than one command takes, with their checks.
CommandOption countOption(qint64 defaultCount);
CommandOption intervalOption();
CommandOption maxErrorsOption();

// A whole number in [minimum, maximum] given as text; nothing for anything else.
std::optional<qint64> integerValue(const QString &text, qint64 minimum, qint64 maximum);

// --count, --interval and --max-errors as given, checked; a usage error's text otherwise.
struct ReadingPace {
    std::optional<qint64> count;
    std::optional<int> intervalMs;
    std::optional<int> maxErrors;
};
std::optional<ReadingPace> readingPace(const GivenOptions &given, QString &usageError);

// The pace given into the options of a run of readings (poll, debug); false, with the usage
// error's text, for a value out of range.
template <typename RunOptions>
bool takeReadingPace(const GivenOptions &given, RunOptions &options, QString &usageError)
{
    const std::optional<ReadingPace> pace = readingPace(given, usageError);
    if (!pace)
        return false;
    options.count = pace->count.value_or(options.count);
    options.intervalMs = pace->intervalMs.value_or(options.intervalMs);
    options.maxErrors = pace->maxErrors.value_or(options.maxErrors);
    return true;
}

} // namespace cli
