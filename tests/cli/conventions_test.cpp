// SPDX-License-Identifier: MIT
// What scripts rely on across every command: attached short values, one port per command, serial
// numbers with or without leading zeros, the help command, one JSON key style and type, and
// the exit code table the same in --help, the manual page and the README.

#include "cli_harness.h"
#include "held_port.h"

#include "command.h"
#include "failure.h"
#include "manual_page.h"

#include "simulated_encoder.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ConventionsTest, ShortOptionsTakeAttachedValuesAndBundleAndAPortComesOnce)
{
    sim::SimulatedEncoder encoder;
    const QString port = encoder.portPath();
    CliHarness cli;
    const QStringList spellings[] = {
        {QStringLiteral("identify"), QStringLiteral("-p") + port, QStringLiteral("-b115200"), QStringLiteral("-j")},
        {QStringLiteral("-jp"), port, QStringLiteral("identify"), QStringLiteral("-b"), QStringLiteral("115200")},
        {QStringLiteral("identify"), QStringLiteral("-vj"), QStringLiteral("--port=") + port, QStringLiteral("--baud=115200")},
        // The same port twice is one port.
        {QStringLiteral("-p"), port, QStringLiteral("identify"), QStringLiteral("-j"), QStringLiteral("-p"), port},
    };
    for (const QStringList &arguments : spellings) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        ASSERT_EQ(result.jsonLines().size(), 1);
        EXPECT_EQ(result.jsonLines().first()[u"port"].toString(), port);
    }

    // Two ports, wherever they stand, are refused before either is opened.
    encoder.clearLog();
    const QString other = QStringLiteral("/dev/ttyUSB9");
    struct Twice {
        QStringList arguments;
        QString given; // in the order given
    };
    for (const Twice &c : {Twice{{QStringLiteral("zero"), QStringLiteral("-p"), port, QStringLiteral("-p") + other},
                                 port + QStringLiteral(", ") + other},
                           Twice{{QStringLiteral("-p") + other, QStringLiteral("zero"), QStringLiteral("--port"), port},
                                 other + QStringLiteral(", ") + port}}) {
        const CliResult twice = cli.run(c.arguments);
        EXPECT_EQ(twice.exitCode, 2);
        EXPECT_EQ(twice.failureLines(),
                  QStringList{QStringLiteral("trevisor-cli: error: --port given 2 times (%1); zero acts on one encoder")
                                  .arg(c.given)});
    }
    EXPECT_TRUE(encoder.log().empty());
}

TEST(ConventionsTest, HelpIsACommandToo)
{
    CliHarness cli;
    const CliResult program = cli.run({QStringLiteral("help")});
    EXPECT_EQ(program.exitCode, 0);
    EXPECT_EQ(program.out, cli.run({QStringLiteral("--help")}).out);
    const CliResult poll = cli.run({QStringLiteral("help"), QStringLiteral("poll")});
    EXPECT_EQ(poll.exitCode, 0);
    EXPECT_EQ(poll.out, cli.run({QStringLiteral("poll"), QStringLiteral("--help")}).out);
    EXPECT_EQ(cli.run({QStringLiteral("help"), QStringLiteral("frobnicate")}).exitCode, 2);
}

sim::EncoderConfig withSerial(const char *serialNumber)
{
    sim::EncoderConfig config;
    config.serialNumber = QByteArray(serialNumber);
    return config;
}

TEST(ConventionsTest, SerialNumbersMatchWithOrWithoutLeadingZerosAndAFailedSearchNamesThePortsNotOpened)
{
    sim::SimulatedEncoder first(withSerial("000042"));
    sim::SimulatedEncoder second(withSerial("100002"));
    CliHarness cli;
    cli.ports = serial::extraPortEntries(first.portPath() + u':' + second.portPath());
    for (const char *wanted : {"42", "0042", "000042"}) {
        SCOPED_TRACE(wanted);
        const CliResult result = cli.run({QStringLiteral("identify"), QStringLiteral("--json"), QStringLiteral("--serial"),
                                          QLatin1String(wanted)});
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.jsonLines().value(0)[u"port"].toString(), first.portPath());
    }
    EXPECT_EQ(cli.run({QStringLiteral("identify"), QStringLiteral("--serial"), QStringLiteral("4200")}).exitCode, 6);

    // The one asked for sits behind a port another program holds: the failure says so.
    HeldPort held(second.portPath());
    ASSERT_TRUE(held.holding());
    const CliResult hidden = cli.run({QStringLiteral("identify"), QStringLiteral("--json"), QStringLiteral("--serial"),
                                      QStringLiteral("100002")});
    EXPECT_EQ(hidden.exitCode, 6);
    ASSERT_EQ(hidden.failureLines().size(), 1) << hidden.err.toStdString();
    EXPECT_EQ(hidden.failureLines().first(),
              QStringLiteral("trevisor-cli: error: no encoder with serial number 100002 (found: encoder "
                             "QX105---18M----- serial 000042 on %1 at 115200 baud) (not opened: %2: in use by "
                             "trevisor-cli (pid %3))")
                  .arg(first.portPath(), second.portPath())
                  .arg(held.pid()));
    ASSERT_EQ(hidden.jsonLines().size(), 1);
    EXPECT_EQ(hidden.jsonLines().first()[u"kind"].toString(), QStringLiteral("no-encoder"));
}

// The JSON type of a value, null apart.
QString typeOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return QStringLiteral("bool");
    case QJsonValue::Double:
        return QStringLiteral("number");
    case QJsonValue::String:
        return QStringLiteral("string");
    case QJsonValue::Array:
        return QStringLiteral("array");
    case QJsonValue::Object:
        return QStringLiteral("object");
    default:
        return {};
    }
}

// Every key of the object and of the objects within it, with the types it was seen with.
void collectKeys(const QJsonObject &object, const QString &event, QHash<QString, QSet<QString>> &types,
                 QHash<QString, QStringList> &seenIn)
{
    for (auto value = object.begin(); value != object.end(); ++value) {
        const QString type = typeOf(value.value());
        if (!type.isEmpty())
            types[value.key()].insert(type);
        seenIn[value.key()].append(event);
        if (value.value().isObject())
            collectKeys(value.value().toObject(), event, types, seenIn);
        for (const QJsonValue &item : value.value().toArray()) {
            if (item.isObject())
                collectKeys(item.toObject(), event, types, seenIn);
        }
    }
}

TEST(ConventionsTest, EveryJsonKeyOfEveryCommandIsCamelCaseWithOneType)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = 300;
    sim::SimulatedEncoder encoder(config);
    CliHarness cli;
    cli.ports = serial::extraPortEntries(encoder.portPath());
    const QStringList runs[] = {
        {QStringLiteral("ports")},
        {QStringLiteral("identify")},
        {QStringLiteral("poll"), QStringLiteral("-n"), QStringLiteral("7"), QStringLiteral("--interval"), QStringLiteral("0")},
        {QStringLiteral("zero")},
        {QStringLiteral("mt-zero")},
        {QStringLiteral("selfcal")},
        {QStringLiteral("debug")},
        {QStringLiteral("doctor")},
        // Failures too: a usage error and a port that is not there.
        {QStringLiteral("poll"), QStringLiteral("--count"), QStringLiteral("many")},
        {QStringLiteral("identify"), QStringLiteral("-p"), QStringLiteral("/nonexistent/tty")},
    };
    QHash<QString, QSet<QString>> types;
    QHash<QString, QStringList> seenIn;
    QSet<QString> events;
    for (const QStringList &arguments : runs) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CliResult result = cli.run(arguments + QStringList{QStringLiteral("--json")});
        ASSERT_FALSE(result.jsonLines().isEmpty()) << result.err.toStdString();
        for (const QJsonObject &object : result.jsonLines()) {
            ASSERT_FALSE(object.isEmpty()) << result.out.toStdString();
            events.insert(object[u"event"].toString());
            collectKeys(object, arguments.first(), types, seenIn);
        }
    }
    EXPECT_EQ(events, (QSet<QString>{QStringLiteral("port"), QStringLiteral("identity"), QStringLiteral("reading"),
                                     QStringLiteral("done"), QStringLiteral("selfcal"), QStringLiteral("debugRecord"),
                                     QStringLiteral("doctor"), QStringLiteral("error")}));
    const QRegularExpression camelCase(QStringLiteral("^[a-z][a-zA-Z0-9]*$"));
    for (auto key = seenIn.begin(); key != seenIn.end(); ++key) {
        SCOPED_TRACE(key.key().toStdString() + " in " + key.value().join(u' ').toStdString());
        EXPECT_TRUE(camelCase.match(key.key()).hasMatch());
        EXPECT_LE(types.value(key.key()).size(), 1) << QStringList(types.value(key.key()).values()).join(u' ').toStdString();
    }
}

// The codes of the help's exit code table.
QList<int> helpCodes(const QString &help)
{
    QList<int> codes;
    const qsizetype table = help.indexOf(QStringLiteral("\nExit codes:\n"));
    static const QRegularExpression row(QStringLiteral("^  (\\d+) +\\S"), QRegularExpression::MultilineOption);
    for (auto match = row.globalMatch(help.mid(table)); match.hasNext();)
        codes.append(match.next().captured(1).toInt());
    return codes;
}

TEST(ConventionsTest, TheExitCodeTableIsTheSameInTheHelpTheManualPageAndTheReadme)
{
    QList<int> codes;
    for (const cli::ExitCodeRow &row : cli::exitCodeRows())
        codes.append(row.code);
    // Every kind has a code of the table.
    for (int kind = 0; kind <= static_cast<int>(cli::FailureKind::Interrupted); ++kind)
        EXPECT_TRUE(codes.contains(cli::exitCodeOf(static_cast<cli::FailureKind>(kind)))) << kind;

    CliHarness cli;
    EXPECT_EQ(helpCodes(cli.run({QStringLiteral("--help")}).out), codes);
    EXPECT_EQ(helpCodes(cli.run({QStringLiteral("zero"), QStringLiteral("--help")}).out), codes);

    const QString page = cli::manualPage();
    QList<int> pageCodes;
    static const QRegularExpression pageRow(QStringLiteral("^\\.TP\\n\\.B (\\d+)\\n"), QRegularExpression::MultilineOption);
    for (auto match = pageRow.globalMatch(page.mid(page.indexOf(QStringLiteral(".SH \"EXIT STATUS\"")))); match.hasNext();)
        pageCodes.append(match.next().captured(1).toInt());
    EXPECT_EQ(pageCodes, codes);

    QFile readme(QStringLiteral(TREVISOR_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype table = text.indexOf(QStringLiteral("| code | kind | meaning |"));
    ASSERT_GE(table, 0);
    QList<int> readmeCodes;
    static const QRegularExpression readmeRow(QStringLiteral("^\\| (\\d+) \\|([^|]*)\\|"), QRegularExpression::MultilineOption);
    for (auto match = readmeRow.globalMatch(text.mid(table)); match.hasNext();) {
        const QRegularExpressionMatch row = match.next();
        if (readmeCodes.size() == codes.size())
            break;
        readmeCodes.append(row.captured(1).toInt());
        // The kinds of that code, as the JSON names them.
        const cli::ExitCodeRow &expected = cli::exitCodeRows()[static_cast<std::size_t>(readmeCodes.size() - 1)];
        EXPECT_EQ(QString(row.captured(2)).remove(u'`').trimmed().toStdString(), expected.kinds);
    }
    EXPECT_EQ(readmeCodes, codes);
}

TEST(ConventionsTest, TheManualPageHasEveryCommandAndOptionAndRendersWithoutWarnings)
{
    const QString page = cli::manualPage();
    for (const cli::Command &command : cli::commands()) {
        SCOPED_TRACE(command.name);
        EXPECT_TRUE(page.contains(QStringLiteral("\n.SS %1\n").arg(QString::fromLatin1(command.name).replace(u'-', QStringLiteral("\\-")))));
        for (const cli::CommandOption &option : command.options)
            EXPECT_TRUE(page.contains(QStringLiteral("\\fB\\-\\-%1\\fR").arg(QString(option.names.constLast()).replace(u'-', QStringLiteral("\\-")))))
                << option.names.constLast().toStdString();
    }
    for (const cli::CommandOption &option : cli::commonOptions())
        EXPECT_TRUE(page.contains(QStringLiteral("\\fB\\-\\-%1\\fR").arg(option.names.constLast())));

    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty())
        GTEST_SKIP() << "groff is not installed";
    QProcess render;
    render.start(groff, {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"), QStringLiteral("-z")});
    ASSERT_TRUE(render.waitForStarted());
    render.write(page.toUtf8());
    render.closeWriteChannel();
    ASSERT_TRUE(render.waitForFinished(10000));
    EXPECT_EQ(render.exitCode(), 0);
    EXPECT_EQ(render.readAllStandardError(), QByteArray());
}

} // namespace
