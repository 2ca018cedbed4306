// SPDX-License-Identifier: MIT
#include "cli_app.h"

#include "configuration_commands.h"
#include "debug_command.h"
#include "doctor_command.h"
#include "encoder_link.h"
#include "info_commands.h"
#include "output.h"
#include "poll_command.h"
#include "selfcal_command.h"

#include "port_search.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace cli {

namespace {

struct SubCommand {
    const char *name;
    const char *summary;
    const char *details;
    // Lines of "command  # what it does", shown under "Examples:".
    const char *examples;
    // The exit codes 0 and 1 where this command gives them a meaning of its own (nullptr: the
    // usual), and codes only it gives.
    const char *success = nullptr;
    const char *failure = nullptr;
    const char *ownCodes = "";
};

// The code of a write that went out but that the reading after it did not confirm.
constexpr const char *ConfirmationCode =
    "  5    the request went out, but the reading after it was missing, spoilt,\n"
    "       flagged or elsewhere than the write puts it (one line on standard error)\n";

const SubCommand SubCommands[] = {
    {"ports", "List the serial ports and whether each can be opened.",
     "Lists the ports that the search walks (those of QUARN_EXTRA_PORTS first, then the system's), "
     "or only --port, and tries to open each.",
     "trevisor-cli ports                    # every port the search would walk\n"
     "trevisor-cli ports --json             # one object per port, for scripts\n"
     "trevisor-cli ports -p /dev/ttyUSB0    # does this one open, and if not why",
     "the ports were listed (and the one named with --port opens)",
     "the port named with --port cannot be opened, a write error"},
    {"identify", "Identify the encoder.",
     "Prints header, part and serial number, firmware, resolution, counts per turn, turn type, "
     "ring diameter and code length.",
     "trevisor-cli identify                      # search every port and rate\n"
     "trevisor-cli identify -p /dev/ttyUSB0 -b 115200   # skip the search\n"
     "trevisor-cli identify --json --serial 000042      # that encoder, as JSON"},
    {"poll", "Read the position, one line per reading.",
     "Runs the poll cycle 1, 3, d, j, s, t, a (j only on firmware whose minor version is 9 or "
     "more), or one of its commands with --command:\n"
     "  1  position: counts, degrees, turns and the error flag\n"
     "  3  position without the echo of the command\n"
     "  d  status word\n"
     "  j  persistent status word\n"
     "  s  speed\n"
     "  t  temperature\n"
     "  a  signal level and air gap\n"
     "Each reading gives counts, degrees, turns, the error flag and the quantity of its command. "
     "Ctrl+C ends the run after the current reading.",
     "trevisor-cli poll --json                   # until Ctrl+C, one object a line\n"
     "trevisor-cli poll -n 100 --csv > pos.csv   # 100 readings of the whole cycle\n"
     "trevisor-cli poll --command t --interval 1000 -n 5  # temperature each second",
     nullptr,
     "no encoder, a timeout, a device or write error, or --max-errors spoilt\n"
     "readings in a row (one line on standard error)"},
    {"zero", "Set zero here: the current position becomes zero.",
     "Reads the position first and is refused while it carries the error flag; then sends the "
     "window's sequence: zero offset 2, multiturn 0, a position reading, zero offset at that "
     "position, a position reading, multiturn 0, save, multiturn 0; 100 ms between steps. Stops "
     "before the zero at that position (\"Set zero offset failed!\") when its reading fails or "
     "carries the error flag, or its reply is spoilt. Once it has begun, Ctrl+C waits for the whole "
     "0.8 s sequence. A last position reading confirms the zero: it must come whole, without the "
     "error flag, and near 0 (as far as a turning shaft has moved on since the zero's reading).",
     "trevisor-cli zero                          # the encoder the search finds\n"
     "trevisor-cli zero -p /dev/ttyUSB0 --json   # the zero and the new position\n"
     "trevisor-cli zero --serial 000042 -v       # that encoder, each step noted",
     "the zero was set, saved and confirmed by a reading near 0",
     nullptr, ConfirmationCode},
    {"mt-zero", "Set the multiturn counter to 0 (multiturn encoders).",
     "A position reading after the request confirms it: whole, without the error flag, turns 0.",
     "trevisor-cli mt-zero\n"
     "trevisor-cli mt-zero -p /dev/ttyUSB0 --json",
     "the counter was set to 0 and a reading confirmed it", nullptr, ConfirmationCode},
    {"factory-reset", "Restore the encoder's factory settings.",
     "Waits 500 ms after the request; then a position reading, whole and without the error flag, "
     "confirms that the encoder is back.",
     "trevisor-cli factory-reset\n"
     "trevisor-cli factory-reset --serial 000042 --json",
     "the request went out and a reading after it confirmed it", nullptr, ConfirmationCode},
    {"reset-status", "Clear the persistent status (needs firmware minor 9 or more).",
     "Waits 500 ms after the request; then a position reading, whole and without the error flag, "
     "confirms that the encoder is back.",
     "trevisor-cli reset-status\n"
     "trevisor-cli reset-status -p /dev/ttyUSB0 --json",
     "the request went out and a reading after it confirmed it", nullptr, ConfirmationCode},
    {"selfcal", "Run the encoder's self-calibration.",
     "Sets the arc and, on firmware 2.9 and later, the timeout, starts the calibration and waits "
     "until its status changes or 1.1 x the timeout has passed (a progress bar on standard error "
     "when it is a terminal). Prints the report and the seven flags.",
     "trevisor-cli selfcal                       # full turn, 10 s timeout\n"
     "trevisor-cli selfcal --arc 270 --timeout 20\n"
     "trevisor-cli selfcal --json || echo \"calibration failed: $?\"",
     "the calibration succeeded",
     nullptr,
     "  3    its status never changed within the wait (after the report)\n"
     "  4    it finished with a failure flag (after the report)\n"
     "  5    no two status replies agreed, before the start or at the end\n"},
    {"debug", "Read the encoder's debug record.",
     "Each reading is one poll step and one 129-byte debug record, as the window's \"Read const\": "
     "the decoded fields, the code words and the three harmonic magnitudes. --record writes the "
     "window's recording file (a directory gets the window's file name TEST_<part>_<serial>_"
     "<time>.csv, with -2, -3, ... when that name is taken; a file that exists is refused unless "
     "--overwrite is given). Ctrl+C ends the run after the current reading.",
     "trevisor-cli debug --unlock                # one record\n"
     "trevisor-cli debug -n 10 --record .        # ten records into a file here\n"
     "trevisor-cli debug -n 0 --json             # until Ctrl+C, one object a line",
     nullptr,
     "no encoder, a timeout, a device, file or write error, or --max-errors\n"
     "spoilt readings in a row (one line on standard error)"},
    {"doctor", "Tell why no encoder is found here, and how to fix it.",
     "Checks each port that the search walks (or only --port): permissions against your groups, other "
     "programs holding it, ModemManager, brltty, the FTDI latency timer, the driver's low-latency mode, "
     "and whether a Quarn-2 answers at one of the seven rates. One line per finding with its fix; "
     "--json gives one object per port.",
     "trevisor-cli doctor                        # every port the search walks\n"
     "trevisor-cli doctor -p /dev/ttyUSB0        # only this one\n"
     "trevisor-cli doctor --json                 # one object per port",
     "an encoder answered, or nothing blocks",
     "a finding blocks"},
};

// The exit codes of a command, under its help.
QString exitCodesText(const SubCommand &command)
{
    QString text = QStringLiteral("Exit codes:\n  0    %1\n")
                       .arg(QLatin1String(command.success ? command.success : "success"));
    const QString failure = QLatin1String(command.failure ? command.failure
                                                          : "no encoder, a timeout, a device, file or write error\n"
                                                            "(one line on standard error)");
    text += QStringLiteral("  1    ") + QString(failure).replace(u'\n', QStringLiteral("\n       ")) + u'\n';
    text += QStringLiteral("  2    a usage error\n");
    text += QLatin1String(command.ownCodes);
    text += QStringLiteral("  130  Ctrl+C (SIGINT), after complete output\n");
    return text;
}

QString examplesText(const SubCommand &command)
{
    QString text = QStringLiteral("Examples:\n");
    for (const QString &line : QString::fromLatin1(command.examples).split(u'\n'))
        text += QStringLiteral("  ") + line + u'\n';
    return text;
}

const SubCommand *findSubCommand(const QString &name)
{
    for (const SubCommand &command : SubCommands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

// Help texts fit a terminal of 80 columns.
constexpr qsizetype HelpWidth = 79;

struct CommonOptions {
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")},
                            QStringLiteral("Use this port only (no search over the system's ports)."),
                            QStringLiteral("path")};
    QCommandLineOption baud{{QStringLiteral("b"), QStringLiteral("baud")},
                            QStringLiteral("Use this rate only: 115200, 128000, 230400, 256000, "
                                           "500000, 1000000 or 921600 (default: each in that order)."),
                            QStringLiteral("rate")};
    QCommandLineOption serialNumber{QStringLiteral("serial"),
                                    QStringLiteral("Use the encoder with this serial number only (the "
                                                   "search goes on past others)."),
                                    QStringLiteral("sn")};
    QCommandLineOption json{{QStringLiteral("j"), QStringLiteral("json")}, QStringLiteral("One JSON object per line.")};
    QCommandLineOption verbose{{QStringLiteral("v"), QStringLiteral("verbose")},
                               QStringLiteral("Progress notes on standard error: the ports and rates "
                                              "tried, what was found, each step.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Every request and reply in hexadecimal on standard error, "
                                            "with the milliseconds since the start.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOption(port);
        parser.addOption(baud);
        parser.addOption(serialNumber);
        parser.addOption(json);
        parser.addOption(verbose);
        parser.addOption(trace);
        parser.addOption(help);
    }
};

// The message of a usage error with a hint to the help, and exit code 2.
int usageError(Context &context, const QString &text, const QString &helpHint)
{
    writeMessage(context, text);
    *context.err << "Try '" << ProgramName << ' ' << helpHint << "--help'.\n";
    context.err->flush();
    return ExitUsage;
}

std::optional<qint64> integerValue(const QString &text, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

// Words moved to the next line where a line would pass `width` columns; line breaks stay.
QString wrappedText(const QString &text, qsizetype width)
{
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        QString line;
        // A short line keeps its spaces: the indented rows of a list.
        if (paragraph.size() <= width) {
            lines.append(paragraph);
            continue;
        }
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                lines.append(line);
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines.append(line);
    }
    return lines.join(u'\n');
}

QString helpWithUsage(const QCommandLineParser &parser, const QString &usage)
{
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(u'\n');
    return QStringLiteral("Usage: ") + usage + (lineEnd < 0 ? QString() : text.mid(lineEnd));
}

// Parses the sub-command's own options and runs it.
class SubCommandRun {
public:
    SubCommandRun(const SubCommand &command, Context &context) : command_(command), context_(context) {}

    int run(const QStringList &arguments, const QCommandLineParser &top, const CommonOptions &topOptions)
    {
        QCommandLineParser parser;
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        QString description = QLatin1String(command_.summary);
        if (*command_.details != '\0')
            description += u'\n' + QLatin1String(command_.details);
        parser.setApplicationDescription(wrappedText(description, HelpWidth));
        const QString name = QLatin1String(command_.name);
        // The doctor tries every rate and refuses --baud: its help does not offer it.
        if (name == QLatin1String("doctor"))
            common_.baud.setFlags(QCommandLineOption::HiddenFromHelp);
        common_.addTo(parser);

        const QCommandLineOption command(QStringLiteral("command"),
                                         QStringLiteral("Send only this command of the cycle: 1, 3, d, "
                                                        "j, s, t or a (named above)."),
                                         QStringLiteral("c"));
        const QCommandLineOption count({QStringLiteral("n"), QStringLiteral("count")},
                                       QStringLiteral("Stop after n readings; 0 runs until Ctrl+C "
                                                      "(default: %1).")
                                           .arg(name == QLatin1String("debug") ? 1 : 0),
                                       QStringLiteral("n"));
        const QCommandLineOption interval(QStringLiteral("interval"),
                                          QStringLiteral("Milliseconds from one reading to the next, "
                                                         "0 back to back (default: 50)."),
                                          QStringLiteral("ms"));
        const QCommandLineOption maxErrors(QStringLiteral("max-errors"),
                                           QStringLiteral("End the run with exit code 1 after n spoilt "
                                                          "readings in a row; 0 never (default: %1).")
                                               .arg(DefaultMaxErrors),
                                           QStringLiteral("n"));
        const QCommandLineOption csv(QStringLiteral("csv"),
                                     QStringLiteral("Semicolon-separated rows with a header line."));
        const QCommandLineOption arc(QStringLiteral("arc"),
                                     QStringLiteral("Partial arc in degrees, 180 to 360 (default: 360)."),
                                     QStringLiteral("deg"));
        const QCommandLineOption timeout(QStringLiteral("timeout"),
                                         QStringLiteral("Calibration timeout in seconds, 1 to 40 "
                                                        "(default: 10; firmware 2.9 and later)."),
                                         QStringLiteral("s"));
        const QCommandLineOption unlock(QStringLiteral("unlock"),
                                        QStringLiteral("Open the encoder's debug mode first."));
        const QCommandLineOption record(QStringLiteral("record"),
                                        QStringLiteral("Write each reading to the window's recording "
                                                       "file: this file, or this directory with the "
                                                       "window's file name."),
                                        QStringLiteral("path"));
        const QCommandLineOption overwrite(QStringLiteral("overwrite"),
                                           QStringLiteral("Replace the file given to --record when it "
                                                          "exists; without it such a file is refused. A "
                                                          "directory always gets a new file."));
        if (name == QLatin1String("poll")) {
            for (const QCommandLineOption *option : {&command, &count, &interval, &maxErrors, &csv})
                parser.addOption(*option);
        } else if (name == QLatin1String("selfcal")) {
            parser.addOption(arc);
            parser.addOption(timeout);
        } else if (name == QLatin1String("debug")) {
            for (const QCommandLineOption *option :
                 {&unlock, &count, &interval, &maxErrors, &record, &overwrite})
                parser.addOption(*option);
        }

        const QString hint = name + u' ';
        if (!parser.parse(arguments))
            return usageError(context_, parser.errorText(), hint);
        // Only the options given; asking a parser about an option it lacks would warn.
        const QStringList given = parser.optionNames();
        const auto isSet = [&given](const QCommandLineOption &option) {
            const QStringList names = option.names();
            return std::any_of(names.begin(), names.end(),
                               [&given](const QString &n) { return given.contains(n); });
        };
        if (isSet(common_.help)) {
            writeText(context_, helpWithUsage(parser, QStringLiteral("%1 %2 [options]")
                                                          .arg(QLatin1String(ProgramName), name))
                                    + u'\n' + examplesText(command_) + u'\n' + exitCodesText(command_));
            return ExitSuccess;
        }
        if (!parser.positionalArguments().isEmpty())
            return usageError(context_,
                              QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                              hint);

        const auto value = [&](const QCommandLineOption &sub, const QCommandLineOption &global) {
            return isSet(sub) ? std::optional<QString>(parser.value(sub))
                   : top.isSet(global) ? std::optional<QString>(top.value(global))
                                       : std::nullopt;
        };
        PortChoice choice;
        if (const auto path = value(common_.port, topOptions.port)) {
            if (path->isEmpty())
                return usageError(context_, QStringLiteral("--port needs a path"), hint);
            choice.path = *path;
        }
        if (const auto rate = value(common_.baud, topOptions.baud)) {
            const std::optional<qint64> baud = integerValue(*rate, 1, std::numeric_limits<qint32>::max());
            if (!baud || std::find(serial::kBaudRates.begin(), serial::kBaudRates.end(), *baud)
                             == serial::kBaudRates.end())
                return usageError(context_,
                                  QStringLiteral("--baud %1 is not one of 115200, 128000, 230400, "
                                                 "256000, 500000, 1000000, 921600")
                                      .arg(*rate),
                                  hint);
            choice.baudRate = static_cast<qint32>(*baud);
        }
        if (const auto serial = value(common_.serialNumber, topOptions.serialNumber)) {
            if (serial->trimmed().isEmpty())
                return usageError(context_, QStringLiteral("--serial needs a serial number"), hint);
            choice.serialNumber = serial->trimmed();
        }
        context_.verbose = isSet(common_.verbose) || top.isSet(topOptions.verbose);
        context_.trace = isSet(common_.trace) || top.isSet(topOptions.trace);
        OutputFormat format = isSet(common_.json) || top.isSet(topOptions.json) ? OutputFormat::Json
                                                                                       : OutputFormat::Text;
        if (isSet(csv)) {
            if (format == OutputFormat::Json)
                return usageError(context_, QStringLiteral("--csv and --json exclude each other"), hint);
            format = OutputFormat::Csv;
        }

        // Every value is checked before the port is touched.
        std::optional<qint64> readings;
        if (isSet(count)) {
            readings = integerValue(parser.value(count), 0, std::numeric_limits<qint64>::max());
            if (!readings)
                return usageError(context_, QStringLiteral("--count needs a whole number of 0 or more"), hint);
        }
        std::optional<qint64> intervalMs;
        if (isSet(interval)) {
            intervalMs = integerValue(parser.value(interval), 0, MaximumIntervalMs);
            if (!intervalMs)
                return usageError(context_,
                                  QStringLiteral("--interval needs milliseconds from 0 to %1").arg(MaximumIntervalMs),
                                  hint);
        }
        int faultLimit = DefaultMaxErrors;
        if (isSet(maxErrors)) {
            const std::optional<qint64> limit = integerValue(parser.value(maxErrors), 0, 1000000);
            if (!limit)
                return usageError(context_, QStringLiteral("--max-errors needs a whole number of 0 or more"), hint);
            faultLimit = static_cast<int>(*limit);
        }
        std::optional<int> commandIndex;
        if (isSet(command)) {
            commandIndex = pollIndexOfCommand(parser.value(command));
            if (!commandIndex)
                return usageError(context_,
                                  QStringLiteral("--command must be one of 1, 3, d, j, s, t, a"), hint);
        }
        SelfCalOptions selfCal;
        selfCal.format = format;
        if (isSet(arc)) {
            const auto degrees = integerValue(parser.value(arc), SelfCalArcMin, SelfCalArcMax);
            if (!degrees)
                return usageError(context_, QStringLiteral("--arc needs degrees from 180 to 360"), hint);
            selfCal.arcDegrees = static_cast<int>(*degrees);
        }
        if (isSet(timeout)) {
            const auto seconds = integerValue(parser.value(timeout), SelfCalTimeoutMin, SelfCalTimeoutMax);
            if (!seconds)
                return usageError(context_, QStringLiteral("--timeout needs seconds from 1 to 40"), hint);
            selfCal.timeoutSeconds = static_cast<int>(*seconds);
        }
        if (isSet(record) && parser.value(record).isEmpty())
            return usageError(context_, QStringLiteral("--record needs a file or a directory"), hint);
        if (isSet(overwrite) && !isSet(record))
            return usageError(context_, QStringLiteral("--overwrite goes with --record"), hint);

        if (name == QLatin1String("doctor")) {
            if (choice.baudRate != 0)
                return usageError(context_, QStringLiteral("doctor tries every rate; --baud is not taken"), hint);
            DoctorOptions options;
            options.format = format;
            return runDoctor(choice.path.isEmpty() ? context_.listPorts()
                                                   : QList<serial::PortEntry>{namedPortEntry(choice.path)},
                             options, context_);
        }
        if (name == QLatin1String("ports")) {
            if (choice.path.isEmpty())
                return runPorts(context_.listPorts(), format, context_);
            return runPorts({namedPortEntry(choice.path)}, format, context_, PortsMode::NamedPort);
        }

        std::optional<EncoderLink> link = connectEncoder(choice, context_);
        if (!link)
            return ExitFailure;
        announceEncoder(*link, format);
        maxErrors_ = faultLimit;
        const int exitCode = runOnEncoder(name, *link, format, readings, intervalMs, commandIndex, selfCal,
                                          isSet(unlock), isSet(record) ? parser.value(record) : QString(),
                                          isSet(overwrite));
        if (link->port != nullptr)
            link->port->close();
        return exitCode;
    }

private:
    static constexpr qint64 MaximumIntervalMs = 3600000;

    // Which encoder on which port the command acts on: a line on standard error for people,
    // keys on every JSON object for scripts.
    void announceEncoder(const EncoderLink &link, OutputFormat format)
    {
        if (format == OutputFormat::Json) {
            context_.jsonKeys = QJsonObject{{QStringLiteral("port"), link.entry.path},
                                            {QStringLiteral("partNumber"), encoderPart(link.identity)},
                                            {QStringLiteral("serialNumber"), encoderSerial(link.identity)}};
        } else {
            writeMessage(context_, encoderText(link));
        }
    }

    int runOnEncoder(const QString &name, EncoderLink &link, OutputFormat format, std::optional<qint64> readings,
                     std::optional<qint64> intervalMs, std::optional<int> commandIndex,
                     const SelfCalOptions &selfCal, bool unlock, const QString &recordPath, bool overwrite)
    {
        if (name == QLatin1String("identify"))
            return runIdentify(link, format, context_);
        if (name == QLatin1String("poll")) {
            PollOptions options;
            options.commandIndex = commandIndex;
            options.count = readings.value_or(0);
            options.intervalMs = static_cast<int>(intervalMs.value_or(options.intervalMs));
            options.format = format;
            options.maxErrors = maxErrors_;
            return runPoll(link, options, context_);
        }
        if (name == QLatin1String("zero"))
            return runZero(link, format, context_);
        if (name == QLatin1String("mt-zero"))
            return runMultiturnZero(link, format, context_);
        if (name == QLatin1String("factory-reset"))
            return runFactoryReset(link, format, context_);
        if (name == QLatin1String("reset-status"))
            return runResetStatus(link, format, context_);
        if (name == QLatin1String("selfcal"))
            return runSelfCal(link, selfCal, context_);
        DebugOptions options;
        options.unlock = unlock;
        options.count = readings.value_or(options.count);
        options.intervalMs = static_cast<int>(intervalMs.value_or(options.intervalMs));
        options.recordPath = recordPath;
        options.overwrite = overwrite;
        options.format = format;
        options.maxErrors = maxErrors_;
        return runDebug(link, options, context_);
    }

    const SubCommand &command_;
    Context &context_;
    int maxErrors_ = DefaultMaxErrors;
    CommonOptions common_;
};

} // namespace

QString programHelp()
{
    QString text = QStringLiteral(
        "Usage: %1 <command> [options]\n"
        "The command-line companion of trevisor: identify, zero, calibrate and read\n"
        "Quarn-2 encoders from scripts, without a display.\n\n"
        "Commands:\n")
                       .arg(QLatin1String(ProgramName));
    for (const SubCommand &command : SubCommands)
        text += QStringLiteral("  %1%2\n")
                    .arg(QLatin1String(command.name), -16)
                    .arg(QLatin1String(command.summary));
    text += QStringLiteral(
        "\nOptions of every command:\n"
        "  -p, --port <path>  Use this port only (a relative path is taken from the\n"
        "                     working directory). Without it the encoder is searched\n"
        "                     for on the ports of QUARN_EXTRA_PORTS (colon-separated\n"
        "                     paths) and the system's.\n"
        "  -b, --baud <rate>  Use this rate only (115200, 128000, 230400, 256000,\n"
        "                     500000, 1000000, 921600); without it each in that order.\n"
        "  --serial <sn>      Use the encoder with this serial number. Without it a\n"
        "                     search that finds two encoders names both and stops.\n"
        "  -j, --json         One JSON object per line on standard output.\n"
        "  -v, --verbose      Progress notes on standard error: each port and rate the\n"
        "                     search tries, what it found, and the command's steps.\n"
        "  --trace            Every request and reply in hexadecimal on standard error,\n"
        "                     with milliseconds since the start, port, rate, direction.\n"
        "  -h, --help         Help of the program, or of a command:\n"
        "                     %1 <command> --help\n"
        "  -V, --version      The program's version.\n\n"
        "Exit codes: 0 success; 1 no encoder, a timeout, a device, file or write error\n"
        "(one line on standard error); 2 a usage error; 3 selfcal did not finish;\n"
        "4 selfcal finished with a failure flag; 5 the encoder did not confirm a write\n"
        "(no good reading after it). Ctrl+C ends a command after its current step, by\n"
        "the signal (status 130 in the shell).\n")
                .arg(QLatin1String(ProgramName));
    return text;
}

namespace {

int runCommandLine(const QStringList &arguments, Context &context)
{
    QCommandLineParser top;
    top.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Everything after the command belongs to the command's own parser.
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const CommonOptions common;
    common.addTo(top);
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version."));
    top.addOption(version);

    if (!top.parse(arguments))
        return usageError(context, top.errorText(), QString());
    if (top.isSet(common.help)) {
        writeText(context, programHelp());
        return ExitSuccess;
    }
    if (top.isSet(version)) {
        writeLine(context, QStringLiteral("%1 %2").arg(QLatin1String(ProgramName),
                                                       QStringLiteral(TREVISOR_VERSION_TEXT)));
        return ExitSuccess;
    }
    const QStringList positional = top.positionalArguments();
    if (positional.isEmpty()) {
        *context.err << programHelp();
        context.err->flush();
        return ExitUsage;
    }
    const SubCommand *command = findSubCommand(positional.first());
    if (command == nullptr)
        return usageError(context, QStringLiteral("unknown command '%1'").arg(positional.first()), QString());

    const QString program = arguments.isEmpty() ? QLatin1String(ProgramName) : arguments.first();
    SubCommandRun run(*command, context);
    return run.run(QStringList{program} + positional.mid(1), top, common);
}

} // namespace

int runCli(const QStringList &arguments, Context &context)
{
    context.started.start();
    return withOutputChecked(context, runCommandLine(arguments, context));
}

} // namespace cli
