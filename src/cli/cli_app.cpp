// SPDX-License-Identifier: MIT
#include "cli_app.h"

#include "command.h"
#include "encoder_link.h"
#include "failure.h"
#include "output.h"

#include "port_search.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <algorithm>
#include <limits>
#include <optional>

namespace cli {

namespace {

// Help texts fit a terminal of 80 columns.
constexpr qsizetype HelpWidth = 79;

// The options every command takes, before or after its name.
struct CommonOptions {
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")},
                            QStringLiteral("Use this port only (no search over the system's ports)."),
                            QStringLiteral("path")};
    QCommandLineOption baud{{QStringLiteral("b"), QStringLiteral("baud")},
                            QStringLiteral("Use this rate only: 115200, 128000, 230400, 256000, "
                                           "500000, 1000000 or 921600 (default: each in that order)."),
                            QStringLiteral("rate")};
    QCommandLineOption serialNumber{QStringLiteral("serial"),
                                    QStringLiteral("Use the encoder with this serial number only, with or "
                                                   "without its leading zeros (the search goes on past "
                                                   "others)."),
                                    QStringLiteral("sn")};
    QCommandLineOption json{{QStringLiteral("j"), QStringLiteral("json")},
                            QStringLiteral("One JSON object per line; a failure also as an error object.")};
    QCommandLineOption verbose{{QStringLiteral("v"), QStringLiteral("verbose")},
                               QStringLiteral("Progress notes on standard error: the ports and rates "
                                              "tried, what was found, each step.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Every request and reply in hexadecimal on standard error, "
                                            "with the milliseconds since the start.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};

    QList<const QCommandLineOption *> all() const { return {&port, &baud, &serialNumber, &json, &verbose, &trace, &help}; }
};

// The message of a usage error with a hint to the help, and exit code 2.
int usageError(Context &context, const QString &text, const QString &helpHint)
{
    fail(context, FailureKind::Usage, text);
    *context.err << "Try '" << ProgramName << ' ' << helpHint << "--help'.\n";
    context.err->flush();
    return ExitUsage;
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

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QString examplesText(const Command &command)
{
    QString text = QStringLiteral("Examples:\n");
    for (const QString &line : QString::fromLatin1(command.examples).split(u'\n'))
        text += QStringLiteral("  ") + line + u'\n';
    return text;
}

// The exit code table, led by what success means for this command.
QString exitCodesText(const Command &command)
{
    QString table = exitCodesHelp();
    if (command.success != nullptr) {
        const qsizetype end = table.indexOf(u'\n');
        // The meaning wrapped in its column, after "  0    ".
        const QString indent(7, u' ');
        table = QStringLiteral("  0    ")
                + wrappedText(QLatin1String(command.success), HelpWidth - indent.size()).replace(u'\n', u'\n' + indent)
                + table.mid(end);
    }
    return QStringLiteral("Exit codes:\n") + table;
}

// A parser for one command: the common options (--baud hidden where the command refuses it)
// and its own.
class CommandParser {
public:
    explicit CommandParser(const Command &command) : command_(command)
    {
        parser_.setApplicationDescription(wrappedText(description(), HelpWidth));
        if (!command.takesBaud)
            common_.baud.setFlags(QCommandLineOption::HiddenFromHelp);
        if (command.takesSeveralPorts)
            common_.port.setDescription(QStringLiteral("A port to use, once for each (no search over the system's ports)."));
        for (const QCommandLineOption *option : common_.all())
            parser_.addOption(*option);
        for (const CommandOption &own : command.options)
            own_.append(QCommandLineOption(own.names, own.description, own.valueName));
        for (const QCommandLineOption &option : std::as_const(own_))
            parser_.addOption(option);
    }

    QCommandLineParser &parser() { return parser_; }
    const CommonOptions &common() const { return common_; }

    GivenOptions given() const
    {
        GivenOptions given;
        // Only the options given: asking a parser about an option it lacks would warn.
        const QStringList names = parser_.optionNames();
        const auto add = [&](const QCommandLineOption &option) {
            const QStringList optionNames = option.names();
            if (std::any_of(optionNames.begin(), optionNames.end(), [&](const QString &n) { return names.contains(n); }))
                given.add(optionNames, option.valueName().isEmpty() ? QStringList{QString()} : parser_.values(option));
        };
        for (const QCommandLineOption *option : common_.all())
            add(*option);
        for (const QCommandLineOption &option : own_)
            add(option);
        return given;
    }

    QString helpText() const
    {
        QString text = parser_.helpText();
        const qsizetype lineEnd = text.indexOf(u'\n');
        text = QStringLiteral("Usage: %1 %2 [options]").arg(QLatin1String(ProgramName), QLatin1String(command_.name))
               + (lineEnd < 0 ? QString() : text.mid(lineEnd));
        return text + u'\n' + examplesText(command_) + u'\n' + exitCodesText(command_);
    }

private:
    QString description() const
    {
        QString text = QLatin1String(command_.summary);
        if (*command_.details != '\0')
            text += u'\n' + QLatin1String(command_.details);
        return text;
    }

    const Command &command_;
    QCommandLineParser parser_;
    CommonOptions common_;
    QList<QCommandLineOption> own_;
};

// The common settings from the options given before and after the command's name.
std::optional<CommonSettings> commonSettings(const GivenOptions &given, const Command &command, QString &error)
{
    CommonSettings settings;
    settings.ports = given.values(QStringLiteral("port"));
    settings.ports.removeDuplicates();
    // One value each, but for the ports of a command that works on several.
    for (const char *name : {"port", "baud", "serial"}) {
        if (command.takesSeveralPorts && qstrcmp(name, "port") == 0)
            continue;
        QStringList values = given.values(QLatin1String(name));
        values.removeDuplicates();
        if (values.size() > 1) {
            error = QStringLiteral("--%1 given %2 times (%3); %4 acts on one encoder")
                        .arg(QLatin1String(name))
                        .arg(values.size())
                        .arg(values.join(QStringLiteral(", ")), QLatin1String(command.name));
            return std::nullopt;
        }
    }
    if (given.isSet(QStringLiteral("port"))) {
        settings.choice.path = settings.ports.constFirst();
        if (settings.ports.contains(QString())) {
            error = QStringLiteral("--port needs a path");
            return std::nullopt;
        }
    }
    if (given.isSet(QStringLiteral("baud"))) {
        const QString rate = given.value(QStringLiteral("baud"));
        const std::optional<qint64> baud = integerValue(rate, 1, std::numeric_limits<qint32>::max());
        if (!baud || std::find(serial::kBaudRates.begin(), serial::kBaudRates.end(), *baud) == serial::kBaudRates.end()) {
            error = QStringLiteral("--baud %1 is not one of 115200, 128000, 230400, 256000, 500000, 1000000, 921600")
                        .arg(rate);
            return std::nullopt;
        }
        settings.choice.baudRate = static_cast<qint32>(*baud);
    }
    if (given.isSet(QStringLiteral("serial"))) {
        settings.choice.serialNumber = given.value(QStringLiteral("serial")).trimmed();
        if (settings.choice.serialNumber.isEmpty()) {
            error = QStringLiteral("--serial needs a serial number");
            return std::nullopt;
        }
    }
    settings.format = given.isSet(QStringLiteral("json")) ? OutputFormat::Json : OutputFormat::Text;
    return settings;
}

// Which encoder on which port the command acts on: a note on standard error for people, keys
// on every JSON object for scripts.
void announceEncoder(const EncoderLink &link, OutputFormat format, Context &context)
{
    if (format == OutputFormat::Json) {
        context.jsonKeys = QJsonObject{{QStringLiteral("port"), link.entry.path},
                                       {QStringLiteral("partNumber"), encoderPart(link.identity)},
                                       {QStringLiteral("serialNumber"), encoderSerial(link.identity)}};
    } else {
        writeInfo(context, encoderText(link));
    }
}

int runCommand(const Command &command, const QStringList &arguments, const GivenOptions &before, Context &context)
{
    CommandParser parsing(command);
    const QString hint = QLatin1String(command.name) + u' ';
    if (!parsing.parser().parse(arguments))
        return usageError(context, parsing.parser().errorText(), hint);
    GivenOptions given = parsing.given();
    if (given.isSet(QStringLiteral("help"))) {
        writeText(context, parsing.helpText());
        return ExitSuccess;
    }
    if (!parsing.parser().positionalArguments().isEmpty())
        return usageError(context,
                          QStringLiteral("unexpected argument '%1'").arg(parsing.parser().positionalArguments().first()),
                          hint);
    // The options before the command's name count as if given after it.
    GivenOptions all = before;
    for (const QCommandLineOption *option : parsing.common().all()) {
        const QStringList names = option->names();
        if (given.isSet(names.constLast()))
            all.add(names, given.values(names.constLast()));
    }
    for (const CommandOption &own : command.options) {
        if (given.isSet(own.names.constLast()))
            all.add(own.names, given.values(own.names.constLast()));
    }

    QString error;
    const std::optional<CommonSettings> common = commonSettings(all, command, error);
    if (!common)
        return usageError(context, error, hint);
    context.json = common->format == OutputFormat::Json;
    context.verbose = all.isSet(QStringLiteral("verbose"));
    context.trace = all.isSet(QStringLiteral("trace"));
    // Every value is checked before the port is touched.
    const CommandRun run = command.prepare(all, *common);
    if (!run.usageError.isEmpty())
        return usageError(context, run.usageError, hint);
    if (run.onPorts)
        return run.onPorts(common->choice, context);

    std::optional<EncoderLink> link = connectEncoder(common->choice, context);
    if (!link)
        return ExitFailure;
    announceEncoder(*link, common->format, context);
    const int exitCode = run.onEncoder(*link, context);
    if (link->port != nullptr)
        link->port->close();
    return exitCode;
}

GivenOptions givenOf(const QCommandLineParser &parser, const CommonOptions &common)
{
    GivenOptions given;
    const QStringList names = parser.optionNames();
    for (const QCommandLineOption *option : common.all()) {
        const QStringList optionNames = option->names();
        if (std::any_of(optionNames.begin(), optionNames.end(), [&](const QString &n) { return names.contains(n); }))
            given.add(optionNames, option->valueName().isEmpty() ? QStringList{QString()} : parser.values(*option));
    }
    return given;
}

int runCommandLine(const QStringList &arguments, Context &context)
{
    QCommandLineParser top;
    // Everything after the command belongs to the command's own parser.
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const CommonOptions common;
    for (const QCommandLineOption *option : common.all())
        top.addOption(*option);
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Show the version."));
    top.addOption(version);
    // A usage error is a failure like any other: with --json it comes as an error object too.
    context.json = arguments.contains(QStringLiteral("--json")) || arguments.contains(QStringLiteral("-j"));

    if (!top.parse(arguments))
        return usageError(context, top.errorText(), QString());
    if (top.isSet(common.help)) {
        writeText(context, programHelp());
        return ExitSuccess;
    }
    if (top.isSet(version)) {
        writeLine(context, QStringLiteral("%1 %2").arg(QLatin1String(ProgramName), QStringLiteral(TREVISOR_VERSION_TEXT)));
        return ExitSuccess;
    }
    QStringList positional = top.positionalArguments();
    if (positional.isEmpty()) {
        *context.err << programHelp();
        context.err->flush();
        return ExitUsage;
    }
    // "help" and "help <command>" as --help.
    if (positional.first() == QLatin1String("help")) {
        if (positional.size() == 1) {
            writeText(context, programHelp());
            return ExitSuccess;
        }
        if (positional.size() > 2)
            return usageError(context, QStringLiteral("help takes one command"), QString());
        positional = {positional.at(1), QStringLiteral("--help")};
    }
    const Command *command = findCommand(positional.first());
    if (command == nullptr)
        return usageError(context, QStringLiteral("unknown command '%1'").arg(positional.first()), QString());

    const QString program = arguments.isEmpty() ? QLatin1String(ProgramName) : arguments.first();
    return runCommand(*command, QStringList{program} + positional.mid(1), givenOf(top, common), context);
}

} // namespace

QList<CommandOption> commonOptions()
{
    const CommonOptions common;
    QList<CommandOption> options;
    for (const QCommandLineOption *option : common.all())
        options.append({option->names(), option->description(), option->valueName()});
    return options;
}

QString programHelp()
{
    QString text = QStringLiteral("Usage: %1 <command> [options]\n"
                                  "The command-line companion of trevisor: identify, zero, calibrate and read\n"
                                  "Quarn-2 encoders from scripts, without a display.\n\n"
                                  "Commands:\n")
                       .arg(QLatin1String(ProgramName));
    for (const Command &command : commands())
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(command.name), -16).arg(QLatin1String(command.summary));
    text += QStringLiteral("  %1%2\n").arg(QStringLiteral("help"), -16).arg(QStringLiteral("This help, or a command's: help <command>."));
    text += QStringLiteral(
                "\nOptions of every command:\n"
                "  -p, --port <path>  Use this port only (a relative path is taken from the\n"
                "                     working directory). Without it the encoder is searched\n"
                "                     for on the ports of QUARN_EXTRA_PORTS (colon-separated\n"
                "                     paths) and the system's.\n"
                "  -b, --baud <rate>  Use this rate only (115200, 128000, 230400, 256000,\n"
                "                     500000, 1000000, 921600); without it each in that order.\n"
                "  --serial <sn>      Use the encoder with this serial number (42 matches\n"
                "                     000042). Without it a search that finds two encoders\n"
                "                     names both and stops.\n"
                "  -j, --json         One JSON object per line on standard output; a failure\n"
                "                     also as {\"event\":\"error\",\"kind\",\"message\",\"port\"}.\n"
                "  -v, --verbose      Progress notes on standard error: each port and rate the\n"
                "                     search tries, what it found, and the command's steps.\n"
                "  --trace            Every request and reply in hexadecimal on standard error,\n"
                "                     with milliseconds since the start, port, rate, direction.\n"
                "  -h, --help         Help of the program, or of a command:\n"
                "                     %1 <command> --help\n"
                "  -V, --version      The program's version.\n"
                "Short options take their value attached or apart (-b115200, -b 115200).\n\n"
                "Standard error: a failure is one line \"%1: error: ...\", a warning\n"
                "\"%1: warning: ...\", anything else (the encoder acted on, notes)\n"
                "\"%1: ...\".\n\n"
                "Exit codes:\n")
                .arg(QLatin1String(ProgramName));
    text += exitCodesHelp();
    text += QStringLiteral("\nExample:\n"
                           "  %1 zero --serial 42 --json || echo \"zero failed with $?\"\n")
                .arg(QLatin1String(ProgramName));
    return text;
}

int runCli(const QStringList &arguments, Context &context)
{
    context.started.start();
    return finishRun(context, runCommandLine(arguments, context));
}

} // namespace cli
