// SPDX-License-Identifier: MIT
#include "commission_command.h"

#include "configuration_commands.h"
#include "poll_command.h"
#include "reading_format.h"
#include "side_by_side.h"


#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>
#include <optional>
#include <vector>

namespace cli {

QList<CommissionStep> CommissionOptions::steps() const
{
    QList<CommissionStep> chosen{CommissionStep::Identify};
    if (!partNumber.isEmpty())
        chosen.append(CommissionStep::PartCheck);
    if (factoryReset)
        chosen.append(CommissionStep::FactoryReset);
    if (resetStatus)
        chosen.append(CommissionStep::ResetStatus);
    if (selfCal)
        chosen.append(CommissionStep::SelfCal);
    if (zero)
        chosen.append(CommissionStep::Zero);
    if (multiturnZero)
        chosen.append(CommissionStep::MultiturnZero);
    chosen.append(CommissionStep::Verify);
    return chosen;
}

namespace {

// The last JSON object a step wrote, without what every line carries: its details.
QJsonObject stepDetails(const QString &output)
{
    QStringList lines = output.split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return {};
    QJsonObject details = QJsonDocument::fromJson(lines.constLast().toUtf8()).object();
    for (const char *key : {"event", "time", "command", "done"})
        details.remove(QLatin1String(key));
    return details;
}

// The closing reading: whole, with its echo, without the error flag.
int verifyReading(EncoderLink &link, Context &context, QJsonObject &details)
{
    const UsableReading closing = readUsablePosition(link, context, 1);
    if (closing.portLost)
        return ExitNotConfirmed; // already reported
    if (!closing.position)
        return fail(context, closing.flagged ? FailureKind::PositionError : FailureKind::NoReply,
                    QStringLiteral("the closing position reading is not usable: ") + closing.why);
    details = QJsonObject{{QStringLiteral("counts"), closing.position->singleTurn},
                          {QStringLiteral("turns"), closing.position->multiTurn}};
    return ExitSuccess;
}

// Failures of the identification that mean, with --all, a port without an encoder of ours:
// passed over, not a failed encoder.
bool passedOverByAll(FailureKind kind)
{
    return kind == FailureKind::NoEncoder || kind == FailureKind::NoSuchPort || kind == FailureKind::PortBusy
           || kind == FailureKind::PermissionDenied;
}

struct EncoderRun {
    CommissionRecord record;
    bool passedOver = false; // --all: nothing of ours on this port
};

// With `searchMessages`, the identification's messages are held: a port that --all passes over
// leaves only a warning when another program holds it or it may not be opened.
EncoderRun commission(const PortChoice &choice, const CommissionOptions &options, Context &context,
                      LineRelay *searchMessages)
{
    EncoderRun run;
    CommissionRecord &record = run.record;
    record.port = choice.path;
    for (const CommissionStep step : options.steps()) {
        StepOutcome planned;
        planned.step = step;
        record.steps.append(planned);
    }
    QElapsedTimer total;
    total.start();

    // Each step writes its result as JSON into its own buffer: the record takes its details.
    QString stepOutput;
    QTextStream stepStream(&stepOutput);
    QTextStream *const realOut = context.out;
    context.out = &stepStream;
    std::optional<EncoderLink> link;

    const auto runStep = [&](StepOutcome &outcome, const std::function<int()> &step) {
        if (context.stopRequested()) {
            fail(context, FailureKind::Interrupted,
                 QStringLiteral("interrupted: commission stopped before %1").arg(commissionStepName(outcome.step)),
                 record.port);
            return false;
        }
        context.failure.reset();
        stepOutput.clear();
        writeNote(context, QStringLiteral("commission: ") + commissionStepName(outcome.step));
        QElapsedTimer clock;
        clock.start();
        const int exitCode = step();
        stepStream.flush();
        outcome.ran = true;
        outcome.ms = clock.elapsed();
        outcome.exitCode = exitCode;
        // A failed step's report counts too: the flags of a calibration that failed.
        if (outcome.details.isEmpty())
            outcome.details = stepDetails(stepOutput);
        if (exitCode == ExitSuccess)
            return true;
        outcome.kind = context.failure ? context.failure->kind : FailureKind::Failed;
        outcome.message = context.failure ? context.failure->message : QStringLiteral("exit code %1").arg(exitCode);
        return false;
    };

    const auto identify = [&] {
        if (searchMessages != nullptr)
            searchMessages->hold();
        link = connectEncoder(choice, context);
        if (!link)
            return context.failure ? exitCodeOf(context.failure->kind) : int(ExitFailure);
        if (searchMessages != nullptr)
            searchMessages->release();
        record.port = link->entry.path;
        record.encoder = CommissionedEncoder{encoderPart(link->identity), encoderSerial(link->identity),
                                             firmwareText(link->identity), link->baudRate};
        if (options.format == OutputFormat::Text)
            writeInfo(context, encoderText(*link));
        return int(ExitSuccess);
    };

    for (StepOutcome &outcome : record.steps) {
        const auto step = [&]() -> int {
            const OutputFormat json = OutputFormat::Json;
            switch (outcome.step) {
            case CommissionStep::Identify:
                return identify();
            case CommissionStep::PartCheck:
                if (record.encoder->partNumber == options.partNumber)
                    return ExitSuccess;
                return fail(context, FailureKind::WrongPart,
                            QStringLiteral("the encoder on %1 is part %2, not %3; nothing was changed")
                                .arg(record.port, record.encoder->partNumber, options.partNumber));
            case CommissionStep::FactoryReset:
                return runFactoryReset(*link, json, context);
            case CommissionStep::ResetStatus:
                return runResetStatus(*link, json, context);
            case CommissionStep::SelfCal: {
                SelfCalOptions selfCal = options.selfCalOptions;
                selfCal.format = json;
                return runSelfCal(*link, selfCal, context);
            }
            case CommissionStep::Zero:
                return runZero(*link, json, context);
            case CommissionStep::MultiturnZero:
                return runMultiturnZero(*link, json, context);
            case CommissionStep::Verify:
                return verifyReading(*link, context, outcome.details);
            }
            return int(ExitFailure);
        };
        if (!runStep(outcome, step))
            break;
    }

    if (searchMessages != nullptr && !link) {
        // The search's messages, held until now: a port --all passes over keeps only a warning
        // for what may need the operator (another program holds it, or it may not be opened).
        const StepOutcome &identified = record.steps.constFirst();
        const QStringList held = searchMessages->takeHeld();
        if (identified.ran && passedOverByAll(identified.kind)) {
            run.passedOver = true;
            if (identified.kind == FailureKind::PortBusy || identified.kind == FailureKind::PermissionDenied)
                writeWarning(context, QStringLiteral("passed over: ") + identified.message);
            else
                writeNote(context, QStringLiteral("passed over: ") + identified.message);
        } else {
            for (const QString &line : held)
                *context.err << line << '\n';
            context.err->flush();
        }
    }
    if (link && link->port != nullptr)
        link->port->close();
    context.out = realOut;
    record.ms = total.elapsed();
    return run;
}

// Two names of one device (a by-id link and its ttyUSB node) would have two threads fight over
// one port: refused before anything opens.
QString samePortTwice(const QStringList &ports)
{
    QStringList devices;
    for (const QString &port : ports) {
        const QString canonical = QFileInfo(port).canonicalFilePath();
        const QString device = canonical.isEmpty() ? port : canonical;
        const qsizetype earlier = devices.indexOf(device);
        if (earlier >= 0)
            return QStringLiteral("--port %1 and --port %2 are the same port").arg(ports.at(earlier), port);
        devices.append(device);
    }
    return {};
}

void writeRecord(Context &context, const CommissionRecord &record, OutputFormat format)
{
    if (format == OutputFormat::Text) {
        writeLine(context, commissionRecordLine(record));
        return;
    }
    // A failed encoder also gives the error object every failure gives with --json.
    if (const StepOutcome *failed = record.failedStep()) {
        QJsonObject error = errorJson(Failure{failed->kind, failed->message, record.port});
        if (record.encoder) {
            error.insert(QStringLiteral("partNumber"), record.encoder->partNumber);
            error.insert(QStringLiteral("serialNumber"), record.encoder->serialNumber);
        }
        writeJson(context, error);
    }
    writeJson(context, commissionRecordJson(record));
}

} // namespace

int runCommission(const CommissionOptions &options, Context &context)
{
    QStringList ports = options.ports;
    if (options.allPorts) {
        for (const serial::PortEntry &entry : context.listPorts())
            ports.append(entry.path);
        if (ports.isEmpty())
            return fail(context, FailureKind::NoEncoder,
                        QStringLiteral("no serial ports found (name them with --port or QUARN_EXTRA_PORTS)"));
    }
    // No port named: the search finds the one encoder, as every command's does.
    if (ports.isEmpty())
        ports.append(QString());
    const bool several = ports.size() > 1;

    QElapsedTimer clock;
    clock.start();
    std::vector<std::optional<EncoderRun>> runs(static_cast<std::size_t>(ports.size()));
    runSideBySide(
        static_cast<int>(ports.size()), context,
        [&](SideBySideJob &job) {
            PortChoice choice;
            choice.path = ports.at(job.index);
            choice.baudRate = options.baudRate;
            choice.serialNumber = options.serialNumber;
            if (several)
                job.context.messagePort = choice.path;
            runs[static_cast<std::size_t>(job.index)] = commission(choice, options, job.context, options.allPorts ? &job.messages : nullptr);
        },
        [&](int, const QString &line) {
            *context.err << line << '\n';
            context.err->flush();
        },
        [&](int index) {
            const EncoderRun &run = *runs.at(static_cast<std::size_t>(index));
            if (run.passedOver)
                return;
            writeRecord(context, run.record, options.format);
        });

    QList<CommissionRecord> records; // in the order of the ports, for the exit code
    for (const std::optional<EncoderRun> &run : std::as_const(runs)) {
        if (!run->passedOver)
            records.append(run->record);
    }
    if (records.isEmpty())
        return fail(context, FailureKind::NoEncoder,
                    QStringLiteral("no encoder answered on any of the %1 ports (%2)")
                        .arg(ports.size())
                        .arg(ports.join(QStringLiteral(", "))));
    if (options.format == OutputFormat::Json)
        writeJson(context, commissionSummaryJson(records, clock.elapsed()));
    else
        writeLine(context, commissionSummaryLine(records, clock.elapsed()));
    return commissionExitCode(records);
}

Command commissionCommand()
{
    Command command;
    command.name = "commission";
    command.summary = "Commission encoders on one or more ports; a record each.";
    command.details =
        "Holds the port from the identification to the closing reading and runs, in this order: identify, "
        "--part, --factory-reset, --reset-status, --selfcal, --zero, --mt-zero, then a position reading that "
        "must come whole and without the error flag. The first step that fails ends that encoder's sequence. "
        "--port may be given several times (or --all): each port runs in a thread of its own, side by side, "
        "and one that fails stops neither the others nor their records. Writes one record per encoder as it "
        "is done (text: one line; --json: one object with every step, its result and milliseconds, and "
        "\"ok\"), then a summary. The exit code is that of the first encoder that failed, in the order of the "
        "ports given.";
    command.examples = "trevisor-cli commission --selfcal --zero      # the encoder the search finds\n"
                       "trevisor-cli commission -p /dev/ttyUSB0 -p /dev/ttyUSB1 --zero --json\n"
                       "trevisor-cli commission --all --part QX105---18M----- --selfcal --zero";
    command.success = "every encoder was identified, each chosen step succeeded and was confirmed, and the "
                      "closing reading came whole and without the error flag";
    command.takesSeveralPorts = true;
    command.options = {
        {{QStringLiteral("all")},
         QStringLiteral("Every port the search walks where an encoder answers, side by side (ports without "
                        "one are passed over)."),
         {}},
        {{QStringLiteral("part")}, QStringLiteral("Refuse an encoder with another part number (exit code 10)."),
         QStringLiteral("number")},
        {{QStringLiteral("factory-reset")}, QStringLiteral("Restore the factory settings first."), {}},
        {{QStringLiteral("reset-status")}, QStringLiteral("Clear the persistent status (firmware minor 9 or more)."),
         {}},
        {{QStringLiteral("selfcal")}, QStringLiteral("Run the self-calibration (with --arc and --timeout)."), {}},
        {{QStringLiteral("zero")}, QStringLiteral("Set zero here, after the calibration."), {}},
        {{QStringLiteral("mt-zero")}, QStringLiteral("Set the multiturn counter to 0."), {}},
    };
    command.options += selfCalOptionList();
    command.prepare = [](const GivenOptions &given, const CommonSettings &common) {
        CommissionOptions options;
        options.format = common.format;
        options.baudRate = common.choice.baudRate;
        options.serialNumber = common.choice.serialNumber;
        options.ports = common.ports;
        options.allPorts = given.isSet(QStringLiteral("all"));
        options.factoryReset = given.isSet(QStringLiteral("factory-reset"));
        options.resetStatus = given.isSet(QStringLiteral("reset-status"));
        options.selfCal = given.isSet(QStringLiteral("selfcal"));
        options.zero = given.isSet(QStringLiteral("zero"));
        options.multiturnZero = given.isSet(QStringLiteral("mt-zero"));
        if (given.isSet(QStringLiteral("part"))) {
            options.partNumber = given.value(QStringLiteral("part")).trimmed();
            if (options.partNumber.isEmpty())
                return CommandRun::refused(QStringLiteral("--part needs a part number"));
        }
        if (options.allPorts && !options.ports.isEmpty())
            return CommandRun::refused(QStringLiteral("--all and --port exclude each other"));
        if (!options.serialNumber.isEmpty() && (options.allPorts || options.ports.size() > 1))
            return CommandRun::refused(QStringLiteral("--serial chooses one encoder: give one --port or none"));
        if (!options.selfCal && (given.isSet(QStringLiteral("arc")) || given.isSet(QStringLiteral("timeout"))))
            return CommandRun::refused(QStringLiteral("--arc and --timeout belong to --selfcal"));
        if (const QString twice = samePortTwice(options.ports); !twice.isEmpty())
            return CommandRun::refused(twice);
        QString error;
        const std::optional<SelfCalOptions> selfCal = selfCalOptions(given, common.format, error);
        if (!selfCal)
            return CommandRun::refused(error);
        options.selfCalOptions = *selfCal;
        CommandRun run;
        run.onPorts = [options](const PortChoice &, Context &context) { return runCommission(options, context); };
        return run;
    };
    return command;
}

} // namespace cli
