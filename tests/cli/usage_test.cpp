// SPDX-License-Identifier: MIT
// The command line itself: help for the program and every sub-command, usage errors (exit code
// 2, caught before any port is touched), and the search for the encoder without --port.

#include "cli_harness.h"
#include "command.h"

#include "poll_command.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const char *const SubCommandNames[] = {"ports",        "identify", "poll",       "zero",  "mt-zero", "factory-reset",
                                       "reset-status", "selfcal",  "commission", "debug", "doctor"};

TEST(UsageTest, HelpOfTheProgramListsEveryCommandAndEachCommandHasItsOwn)
{
    CliHarness cli;
    const CliResult program = cli.run({QStringLiteral("--help")});
    EXPECT_EQ(program.exitCode, 0);
    EXPECT_TRUE(program.out.startsWith(QStringLiteral("Usage: trevisor-cli <command> [options]")));
    // A new command is added here too, so that every check below covers it.
    QStringList listed;
    for (const cli::Command &command : cli::commands())
        listed.append(QLatin1String(command.name));
    EXPECT_EQ(listed.size(), std::size(SubCommandNames));
    for (const char *name : SubCommandNames) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(program.out.contains(QStringLiteral("\n  %1 ").arg(QLatin1String(name))));
        const CliResult own = cli.run({QString::fromLatin1(name), QStringLiteral("--help")});
        EXPECT_EQ(own.exitCode, 0);
        EXPECT_TRUE(own.out.startsWith(QStringLiteral("Usage: trevisor-cli %1 [options]\n").arg(QLatin1String(name))))
            << own.out.toStdString();
        EXPECT_TRUE(own.out.contains(QStringLiteral("--port <path>")));
        EXPECT_TRUE(own.err.isEmpty());
    }
    // Every help text fits 80 columns.
    QStringList helps{program.out};
    for (const char *name : SubCommandNames)
        helps.append(cli.run({QString::fromLatin1(name), QStringLiteral("--help")}).out);
    for (const QString &help : helps) {
        for (const QString &line : help.split(u'\n'))
            EXPECT_LE(line.size(), 80) << line.toStdString();
    }
    const CliResult poll = cli.run({QStringLiteral("poll"), QStringLiteral("-h")});
    for (const char *option : {"--command <c>", "--count <n>", "--interval <ms>", "--csv"})
        EXPECT_TRUE(poll.out.contains(QLatin1String(option))) << option;
    EXPECT_FALSE(poll.out.contains(QStringLiteral("--arc")));
}

TEST(UsageTest, EachCommandsHelpGivesExamplesThatParseAndItsExitCodes)
{
    CliHarness cli;
    for (const char *name : SubCommandNames) {
        SCOPED_TRACE(name);
        const QString help = cli.run({QString::fromLatin1(name), QStringLiteral("--help")}).out;
        const qsizetype examples = help.indexOf(QStringLiteral("\nExamples:\n"));
        const qsizetype exitCodes = help.indexOf(QStringLiteral("\nExit codes:\n"));
        ASSERT_GE(examples, 0) << help.toStdString();
        ASSERT_GT(exitCodes, examples);
        const QStringList lines =
            help.mid(examples + 11, exitCodes - examples - 11).split(u'\n', Qt::SkipEmptyParts);
        EXPECT_GE(lines.size(), 2);
        for (const QString &line : lines) {
            SCOPED_TRACE(line.toStdString());
            // The command without its comment and the shell around it.
            QStringList words = line.section(u'#', 0, 0).split(u' ', Qt::SkipEmptyParts);
            for (const QString &shell : {QStringLiteral(">"), QStringLiteral("|"), QStringLiteral("||")}) {
                if (const qsizetype at = words.indexOf(shell); at >= 0)
                    words = words.mid(0, at);
            }
            ASSERT_GE(words.size(), 2);
            EXPECT_EQ(words.at(0), QStringLiteral("trevisor-cli"));
            EXPECT_EQ(words.at(1), QLatin1String(name));
            // An unknown option or a missing value would fail the parse before the help.
            const CliResult parsed = cli.run(words.mid(1) + QStringList{QStringLiteral("--help")});
            EXPECT_EQ(parsed.exitCode, 0) << parsed.err.toStdString();
        }
        for (const char *code : {"0", "1", "2", "130"})
            EXPECT_TRUE(help.mid(exitCodes).contains(QStringLiteral("\n  %1 ").arg(QLatin1String(code)))) << code;
    }
    const QString selfcal = cli.run({QStringLiteral("selfcal"), QStringLiteral("--help")}).out;
    for (const char *code : {"3", "4"})
        EXPECT_TRUE(selfcal.contains(QStringLiteral("\n  %1    ").arg(QLatin1String(code)))) << code;

    // Every command of the cycle that --command takes is named, each on its own line.
    const QString poll = cli.run({QStringLiteral("poll"), QStringLiteral("--help")}).out;
    QStringList named;
    for (int index = 1; index <= quarn::PollCycleLength; ++index) {
        const QString command(QLatin1Char(quarn::pollCommand(index)));
        ASSERT_TRUE(cli::pollIndexOfCommand(command).has_value());
        const qsizetype at = poll.indexOf(QStringLiteral("\n  %1  ").arg(command));
        EXPECT_GE(at, 0) << command.toStdString();
        named.append(poll.mid(at + 6, poll.indexOf(u'\n', at + 1) - at - 6));
    }
    const QStringList quantities{QStringLiteral("position: counts, degrees, turns and the error flag"),
                                 QStringLiteral("position without the echo of the command"),
                                 QStringLiteral("status word"),
                                 QStringLiteral("persistent status word"),
                                 QStringLiteral("speed"),
                                 QStringLiteral("temperature"),
                                 QStringLiteral("signal level and air gap")};
    EXPECT_EQ(named, quantities);
}

TEST(UsageTest, UsageErrorsGiveExitCodeTwoBeforeAnyPortIsOpened)
{
    // A port that does not exist: reaching it would end with exit code 1 instead.
    const QStringList nowhere{QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")};
    const QStringList cases[] = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("--bogus"), QStringLiteral("poll")},
        {QStringLiteral("poll"), QStringLiteral("--bogus")},
        {QStringLiteral("identify"), QStringLiteral("--count"), QStringLiteral("3")},
        {QStringLiteral("identify"), QStringLiteral("extra")},
        {QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("-1")},
        {QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("many")},
        {QStringLiteral("poll"), QStringLiteral("--interval"), QStringLiteral("-5")},
        {QStringLiteral("poll"), QStringLiteral("--interval")},
        {QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("v")},
        {QStringLiteral("poll"), QStringLiteral("--command"), QStringLiteral("13")},
        {QStringLiteral("poll"), QStringLiteral("--csv"), QStringLiteral("--json")},
        {QStringLiteral("poll"), QStringLiteral("--baud"), QStringLiteral("9600")},
        {QStringLiteral("--baud"), QStringLiteral("fast"), QStringLiteral("poll")},
        {QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("179")},
        {QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("361")},
        {QStringLiteral("selfcal"), QStringLiteral("--timeout"), QStringLiteral("0")},
        {QStringLiteral("selfcal"), QStringLiteral("--timeout"), QStringLiteral("41")},
        {QStringLiteral("debug"), QStringLiteral("--record"), QString()},
        {QStringLiteral("debug"), QStringLiteral("--overwrite")},
        {QStringLiteral("zero"), QStringLiteral("--csv")},
    };
    CliHarness cli;
    for (const QStringList &arguments : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CliResult result = cli.run(arguments + nowhere);
        EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
        // Nothing on standard output but, with --json, the failure's error object.
        for (const QJsonObject &object : result.jsonLines()) {
            EXPECT_EQ(object[u"event"].toString(), QStringLiteral("error"));
            EXPECT_EQ(object[u"kind"].toString(), QStringLiteral("usage"));
        }
        EXPECT_EQ(result.outLines().size(), arguments.contains(QStringLiteral("--json")) ? 1 : 0);
        EXPECT_FALSE(result.err.contains(QStringLiteral("cannot open"))) << result.err.toStdString();
        EXPECT_FALSE(result.err.isEmpty());
    }
}

TEST(UsageTest, OptionsMayStandBeforeOrAfterTheCommand)
{
    sim::SimulatedEncoder encoder;
    CliHarness cli;
    const CliResult before = cli.run(portOf(encoder.portPath()) + QStringList{QStringLiteral("--json"),
                                                                              QStringLiteral("identify")});
    EXPECT_EQ(before.exitCode, 0) << before.err.toStdString();
    ASSERT_EQ(before.jsonLines().size(), 1);
    EXPECT_EQ(before.jsonLines().first()[u"port"].toString(), encoder.portPath());
}

TEST(UsageTest, ShortOptionsStandForTheCommonOnes)
{
    sim::SimulatedEncoder encoder;
    CliHarness cli;
    const CliResult result = cli.run({QStringLiteral("poll"), QStringLiteral("-p"), encoder.portPath(), QStringLiteral("-b"),
                                      QStringLiteral("115200"), QStringLiteral("-n"), QStringLiteral("2"),
                                      QStringLiteral("-j")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(result.jsonLines().size(), 2);
    const CliResult version = cli.run({QStringLiteral("-V")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("trevisor-cli 0."))) << version.out.toStdString();
}

TEST(UsageTest, APortPathWithColonsIsOnePort)
{
    // Linux names adapters by their USB path, colons included.
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    sim::SimulatedEncoder encoder;
    const QString link = directory.filePath(QStringLiteral("pci-0000:00:14.0-usb-0:1:1.0-port0"));
    ASSERT_TRUE(encoder.setLinkPath(link));
    CliHarness cli;
    const CliResult result = cli.run(QStringList{QStringLiteral("identify"), QStringLiteral("--json")} + portOf(link));
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    ASSERT_EQ(result.jsonLines().size(), 1);
    EXPECT_EQ(result.jsonLines().first()[u"port"].toString(), link);
}

TEST(UsageTest, WithoutPortTheSearchWalksThePortsAndRatesInTheWindowsOrder)
{
    // A silent port first, then the encoder answering at 921600, the last rate tried; the search
    // goes on past it to the third port, to be sure there is no second encoder.
    sim::EncoderConfig silentConfig;
    silentConfig.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(silentConfig);
    sim::EncoderConfig config;
    config.baudRate = 921600;
    sim::SimulatedEncoder encoder(config);
    sim::SimulatedEncoder third(silentConfig);

    CliHarness cli;
    cli.ports = serial::extraPortEntries(
        QStringList{silent.portPath(), encoder.portPath(), third.portPath()}.join(u':'));
    const CliResult result = cli.run({QStringLiteral("identify"), QStringLiteral("--json")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    ASSERT_EQ(result.jsonLines().size(), 1);
    EXPECT_EQ(result.jsonLines().first()[u"port"].toString(), encoder.portPath());
    EXPECT_EQ(result.jsonLines().first()[u"baudRate"].toInt(), 921600);

    const std::vector<std::int32_t> rates{115200, 128000, 230400, 256000, 500000, 1000000, 921600};
    for (const sim::SimulatedEncoder *tried : {&silent, &encoder, &third}) {
        std::vector<std::int32_t> seen;
        for (const sim::LogEntry &entry : tried->log()) {
            EXPECT_EQ(entry.bytes, "v");
            seen.push_back(entry.baudRate);
        }
        EXPECT_EQ(seen, rates);
    }
}

TEST(UsageTest, VerboseNotesTheSearchAndEachStepWhileWithoutItStandardErrorStaysQuiet)
{
    sim::SimulatedEncoder encoder;
    CliHarness cli;
    cli.ports = serial::extraPortEntries(encoder.portPath());
    const QString named = QStringLiteral("trevisor-cli: encoder QX105---18M----- serial 000042 on %1 at 115200 baud")
                              .arg(encoder.portPath());

    const CliResult quiet = cli.run({QStringLiteral("zero")});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err.toStdString();
    EXPECT_EQ(quiet.errLines(), QStringList{named});

    for (const QStringList &arguments : {QStringList{QStringLiteral("zero"), QStringLiteral("--verbose")},
                                         QStringList{QStringLiteral("-v"), QStringLiteral("zero")}}) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CliResult verbose = cli.run(arguments);
        ASSERT_EQ(verbose.exitCode, 0) << verbose.err.toStdString();
        const QStringList lines = verbose.errLines();
        const auto at = [&lines](const QString &note) { return lines.indexOf(QStringLiteral("trevisor-cli: ") + note); };
        // In the order they happen; the line naming the encoder stays.
        const qsizetype trying = at(QStringLiteral("trying %1 at 115200 baud").arg(encoder.portPath()));
        const qsizetype found = at(QStringLiteral("found ") + named.mid(QStringLiteral("trevisor-cli: ").size()));
        const qsizetype first = at(QStringLiteral("zero: zero offset 2"));
        const qsizetype save = at(QStringLiteral("zero: save"));
        EXPECT_GE(trying, 0) << verbose.err.toStdString();
        EXPECT_GT(found, trying);
        EXPECT_GT(first, found);
        EXPECT_GT(save, first);
        EXPECT_TRUE(lines.contains(named));
        EXPECT_TRUE(verbose.out.startsWith(QStringLiteral("Zero set at")));
    }
}

TEST(UsageTest, TraceShowsEveryRequestAndReplyInHexadecimalWithTheTimeAndDirection)
{
    sim::SimulatedEncoder encoder;
    CliHarness cli;
    const QStringList poll{QStringLiteral("poll"), QStringLiteral("--json"), QStringLiteral("--count"),
                           QStringLiteral("2"), QStringLiteral("--command"), QStringLiteral("1")};
    const CliResult traced = cli.run(poll + QStringList{QStringLiteral("--trace")} + portOf(encoder.portPath()));
    ASSERT_EQ(traced.exitCode, 0) << traced.err.toStdString();
    ASSERT_EQ(traced.jsonLines().size(), 2);

    const QRegularExpression pattern(QStringLiteral("^trace +(\\d+\\.\\d{3}) ms (\\S+) (\\d+) ([<>])((?: [0-9A-F]{2})*)$"));
    QStringList directions;
    QStringList bytes;
    double lastMs = 0;
    for (const QString &line : traced.errLines()) {
        if (!line.startsWith(QLatin1String("trace ")))
            continue;
        const QRegularExpressionMatch match = pattern.match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        EXPECT_GE(match.captured(1).toDouble(), lastMs) << line.toStdString();
        lastMs = match.captured(1).toDouble();
        EXPECT_EQ(match.captured(2), encoder.portPath());
        EXPECT_EQ(match.captured(3), QStringLiteral("115200"));
        directions.append(match.captured(4));
        bytes.append(match.captured(5).trimmed());
    }
    // The identification, then the two readings: each request before its reply.
    const QStringList expectedDirections{QStringLiteral(">"), QStringLiteral("<"), QStringLiteral(">"),
                                         QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("<")};
    ASSERT_EQ(directions, expectedDirections) << traced.err.toStdString();
    EXPECT_EQ(bytes.at(0), QStringLiteral("76"));
    EXPECT_EQ(bytes.at(1).split(u' ').size(), 42);
    for (int reading = 0; reading < 2; ++reading) {
        EXPECT_EQ(bytes.at(2 + 2 * reading), QStringLiteral("31"));
        const QString reply = traced.jsonLines().at(reading)[u"reply"].toString();
        EXPECT_EQ(QString(bytes.at(3 + 2 * reading)).remove(u' '), reply.toUpper().remove(u' '));
    }

    // Without --trace there is none, and the output is the same.
    const CliResult plain = cli.run(poll + portOf(encoder.portPath()));
    ASSERT_EQ(plain.exitCode, 0);
    EXPECT_FALSE(plain.err.contains(QStringLiteral("trace ")));
    EXPECT_EQ(plain.jsonLines().size(), 2);

    // A reply that never comes is traced as such.
    sim::EncoderConfig silentConfig;
    silentConfig.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(silentConfig);
    const CliResult none = cli.run(QStringList{QStringLiteral("identify"), QStringLiteral("--trace")} + portOf(silent.portPath()));
    EXPECT_EQ(none.exitCode, 6);
    EXPECT_TRUE(none.err.contains(
        QStringLiteral(" 115200 < (nothing within the reply window, 42 bytes awaited)\n")))
        << none.err.toStdString();
}

TEST(UsageTest, NoEncoderIsOneLineOnStandardErrorAndAnExitCodeOfItsKindWithAnErrorObjectInJson)
{
    sim::EncoderConfig silentConfig;
    silentConfig.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(silentConfig);
    struct Case {
        const char *what;
        QStringList arguments;
        QList<serial::PortEntry> ports;
        const char *message;
        int exitCode;
        const char *kind;
        QString port; // of the error object; empty: null
    };
    const Case cases[] = {
        {"no such port", {QStringLiteral("--port"), QStringLiteral("/nonexistent/tty")}, {}, "cannot open /nonexistent/tty",
         9, "no-such-port", QStringLiteral("/nonexistent/tty")},
        {"not a serial port", {QStringLiteral("--port"), QStringLiteral("/dev/null")}, {},
         "cannot open /dev/null: not a serial port", 9, "no-such-port", QStringLiteral("/dev/null")},
        {"a silent port at one rate", portOf(silent.portPath()), {}, "no encoder answers on", 6, "no-encoder",
         silent.portPath()},
        {"no ports at all", {}, {}, "no serial ports found", 6, "no-encoder", {}},
        {"a listed port that cannot be opened", {}, serial::extraPortEntries(QStringLiteral("/nonexistent/a")),
         "cannot open /nonexistent/a", 9, "no-such-port", QStringLiteral("/nonexistent/a")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CliHarness cli;
        cli.ports = c.ports;
        const CliResult result = cli.run(QStringList{QStringLiteral("poll")} + c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.out.isEmpty());
        ASSERT_EQ(result.errLines().size(), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("trevisor-cli: error: ") + QLatin1String(c.message)))
            << result.err.toStdString();

        const CliResult json = cli.run(QStringList{QStringLiteral("poll"), QStringLiteral("--json")} + c.arguments);
        EXPECT_EQ(json.exitCode, c.exitCode);
        EXPECT_EQ(json.err, result.err);
        ASSERT_EQ(json.jsonLines().size(), 1) << json.out.toStdString();
        const QJsonObject error = json.jsonLines().first();
        EXPECT_EQ(error[u"event"].toString(), QStringLiteral("error"));
        EXPECT_EQ(error[u"kind"].toString(), QLatin1String(c.kind));
        EXPECT_EQ(QStringLiteral("trevisor-cli: error: ") + error[u"message"].toString() + u'\n', result.err);
        EXPECT_EQ(error[u"port"], c.port.isEmpty() ? QJsonValue() : QJsonValue(c.port));
    }
}

TEST(UsageTest, PortsTellsWhichPortsOpenAndWhyOthersDoNot)
{
    sim::SimulatedEncoder encoder;
    CliHarness cli;
    cli.ports = serial::extraPortEntries(encoder.portPath() + QStringLiteral(":/nonexistent/b"));
    // A system port as the lister gives it, with everything the system tells of it.
    serial::PortEntry adapter = serial::systemPortEntry(QStringLiteral("ttyUSB7"), QStringLiteral("/nonexistent/ttyUSB7"),
                                                        QStringLiteral("FT232R USB UART"));
    adapter.description = QStringLiteral("FT232R USB UART");
    adapter.usbVendorId = 0x0403;
    adapter.usbProductId = 0x6001;
    adapter.usbSerialNumber = QStringLiteral("A50285BI");
    cli.ports.append(adapter);
    const CliResult result = cli.run({QStringLiteral("ports"), QStringLiteral("--json")});
    // The list is the result, whatever opens.
    EXPECT_EQ(result.exitCode, 0);
    const QList<QJsonObject> ports = result.jsonLines();
    ASSERT_EQ(ports.size(), 3);
    EXPECT_EQ(ports.at(0)[u"path"].toString(), encoder.portPath());
    EXPECT_TRUE(ports.at(0)[u"opens"].toBool());
    EXPECT_TRUE(ports.at(0)[u"openError"].isNull());
    EXPECT_TRUE(ports.at(0)[u"usbId"].isNull());
    EXPECT_EQ(ports.at(1)[u"path"].toString(), QStringLiteral("/nonexistent/b"));
    EXPECT_FALSE(ports.at(1)[u"opens"].toBool());
    EXPECT_FALSE(ports.at(1)[u"openError"].toString().isEmpty());
    // Separate fields, none cut short.
    const QJsonObject expected{{QStringLiteral("path"), QStringLiteral("/nonexistent/ttyUSB7")},
                               {QStringLiteral("name"), QStringLiteral("ttyUSB7")},
                               {QStringLiteral("description"), QStringLiteral("FT232R USB UART")},
                               {QStringLiteral("usbId"), QStringLiteral("0403:6001")},
                               {QStringLiteral("usbSerial"), QStringLiteral("A50285BI")},
                               {QStringLiteral("opens"), false}};
    for (auto key = expected.begin(); key != expected.end(); ++key)
        EXPECT_EQ(ports.at(2)[key.key()], key.value()) << key.key().toStdString();
    // Opening is all it does: nothing is sent.
    EXPECT_TRUE(encoder.log().empty());

    // The one port named: that it cannot be opened is a failure.
    const CliResult named = cli.run({QStringLiteral("ports"), QStringLiteral("--port"), QStringLiteral("/nonexistent/b")});
    EXPECT_EQ(named.exitCode, 9);
    EXPECT_TRUE(named.out.startsWith(QStringLiteral("/nonexistent/b  cannot be opened: "))) << named.out.toStdString();
    EXPECT_TRUE(named.err.startsWith(QStringLiteral("trevisor-cli: error: cannot open /nonexistent/b: "))) << named.err.toStdString();
}

} // namespace
