// SPDX-License-Identifier: MIT
#include "configuration_commands.h"

#include "poll_command.h"

#include "quarn_konstante.h"
#include "write_confirmation.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace cli {

namespace {

// The pause between the steps of "Set zero here" and the settle time after the two resets.
constexpr int StepPauseMs = 100;
constexpr int ResetSettleMs = 500;

// The commands await no reply.
bool send(EncoderLink &link, Context &context, const QByteArray &request)
{
    QByteArray reply;
    return exchange(link, context, request, 0, reply);
}

int interrupted(Context &context, const QString &what)
{
    return fail(context, FailureKind::Interrupted, QStringLiteral("interrupted: %1 did not complete").arg(what));
}

void report(Context &context, OutputFormat format, const QString &command, const QString &text,
            QJsonObject object = {})
{
    if (format == OutputFormat::Json) {
        object.insert(QStringLiteral("event"), QStringLiteral("done"));
        object.insert(QStringLiteral("command"), command);
        object.insert(QStringLiteral("done"), true);
        writeJson(context, object);
    } else {
        writeLine(context, text);
    }
}

int notConfirmed(Context &context, const QString &what, const QString &why)
{
    return fail(context, FailureKind::NotConfirmed,
                QStringLiteral("%1 was sent, but the encoder did not confirm it: %2").arg(what, why));
}

// One of the single-request commands: its request, its settle time, then a position reading
// that must come whole and without the error flag before the command counts as done;
// `confirms` may ask more of it (an empty text: confirmed).
int runSingle(EncoderLink &link, Context &context, const QByteArray &request, int settleMs,
              OutputFormat format, const QString &command, const QString &doneText,
              const std::function<QString(const quarn::PositionWord &)> &confirms = {})
{
    const QString what = QStringLiteral("\"%1\"").arg(requestName(request));
    writeNote(context, QStringLiteral("%1: sending %2").arg(command, what));
    if (!send(link, context, request))
        return ExitNotConfirmed;
    if (settleMs > 0)
        writeNote(context, QStringLiteral("%1: waiting %2 ms for the encoder to settle").arg(command).arg(settleMs));
    if (settleMs > 0 && !pause(context, settleMs))
        return interrupted(context, command);
    writeNote(context, QStringLiteral("%1: a position reading to confirm it").arg(command));
    const UsableReading closing = readUsablePosition(link, context, 1);
    if (!closing.position)
        return notConfirmed(context, what, closing.why);
    if (confirms) {
        if (const QString why = confirms(*closing.position); !why.isEmpty())
            return notConfirmed(context, what, why);
    }
    report(context, format, command, doneText,
           QJsonObject{{QStringLiteral("countsAfter"), closing.position->singleTurn},
                       {QStringLiteral("turnsAfter"), closing.position->multiTurn}});
    return ExitSuccess;
}

} // namespace

UsableReading readUsablePosition(EncoderLink &link, Context &context, int index)
{
    const std::optional<PollStep> step = pollAttempt(link, context, index);
    if (!step)
        return {std::nullopt, QStringLiteral("the port is gone"), true};
    if (!step->fault.isEmpty())
        return {std::nullopt, step->fault};
    if (const auto position = quarn::usablePosition(step->reply, index, link.identity))
        return {position, {}};
    if (step->reading.position.error)
        return {std::nullopt, QStringLiteral("the reading carries the error flag"), false, true};
    return {std::nullopt, QStringLiteral("the reply %1 is not a whole reply to \"%2\"")
                              .arg(QString::fromLatin1(step->reply.toHex(' ').toUpper()))
                              .arg(QLatin1Char(quarn::pollCommand(index)))};
}

int runZero(EncoderLink &link, OutputFormat format, Context &context)
{
    const QString command = QStringLiteral("zero");
    writeNote(context, QStringLiteral("zero: reading the position first"));
    const std::optional<PollStep> before = pollStep(link, context, 1);
    if (!before)
        return ExitNotConfirmed;
    if (before->reading.position.error)
        return fail(context, FailureKind::PositionError, QStringLiteral("the encoder reports a position error; zero not set"));
    if (context.stopRequested())
        return interrupted(context, command);

    // Once the first request is out, the sequence runs to its end (0.8 s) whatever Ctrl+C says:
    // half a zero would leave the encoder with an offset nobody chose. When the port goes away
    // instead, the message says what went out and that nothing was saved.
    QStringList sent;
    bool saved = false;
    QString failedStep;
    const auto step = [&](const QByteArray &request, const QString &what, const QString &failureText) {
        writeNote(context, QStringLiteral("zero: ") + what);
        QString why;
        if (sendRequest(link, context, request, why)) {
            sent.append(what);
            saved = saved || request == quarn::saveRequest();
            return true;
        }
        failedStep = why + u' ' + failureText;
        return false;
    };
    const auto sentText = [&] {
        return QStringLiteral("%1; %2").arg(sent.isEmpty() ? QStringLiteral("no request") : sent.join(QStringLiteral(", ")),
                                            saved ? QStringLiteral("the zero was saved")
                                                  : QStringLiteral("nothing was saved"));
    };
    // Why it stopped and what it left behind, in one line.
    const auto stopped = [&] {
        return fail(context, FailureKind::PortLost,
                    QStringLiteral("%1 zero stopped after %2").arg(failedStep, sentText()).trimmed());
    };
    const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(StepPauseMs)); };

    const QString zeroFailed = QStringLiteral("Set zero offset failed!");
    const QString multiturnFailed = QStringLiteral("Set multitirn failed!");
    const QString multiturn = QStringLiteral("multiturn 0");
    // A fresh template: the first request always carries the argument 2.
    if (!step(quarn::zeroOffsetTemplate(), QStringLiteral("zero offset 2"), zeroFailed))
        return stopped();
    settle();
    if (!step(quarn::multiturnZeroRequest(), multiturn, multiturnFailed))
        return stopped();
    settle();
    // From the cycle's start, so both steps read the position: "1", then "3". The zero is set
    // only to this reading, and only when it came whole, with its echo and without the error
    // flag. The readings after it are timed from it: a turning shaft moves on from there.
    writeNote(context, QStringLiteral("zero: a position reading"));
    const UsableReading position = readUsablePosition(link, context, 1);
    QElapsedTimer sinceZeroReading;
    sinceZeroReading.start();
    if (!position.position) {
        if (position.portLost)
            return stopped();
        return fail(context, position.flagged ? FailureKind::PositionError : FailureKind::NoReply,
                    zeroFailed + QStringLiteral(" The position read for the zero is not fit to set it: ") + position.why);
    }
    sent.append(QStringLiteral("a position reading"));
    settle();

    const std::int32_t zeroAt = position.position->singleTurn;
    if (!step(quarn::zeroOffsetRequest(zeroAt), QStringLiteral("zero offset %1").arg(zeroAt), zeroFailed))
        return stopped();
    settle();
    writeNote(context, QStringLiteral("zero: a position reading"));
    const UsableReading after = readUsablePosition(link, context, 2);
    const quarn::CountsAt afterAt{after.position ? after.position->singleTurn : 0, sinceZeroReading.elapsed()};
    if (after.portLost)
        return stopped();
    if (!after.position) {
        // The zero is set but cannot be checked: it is not saved.
        return fail(context, FailureKind::NotConfirmed,
                    QStringLiteral("zero stopped after %1: the position read after the zero is not fit to check "
                                   "it: %2")
                        .arg(sentText(), after.why));
    }
    sent.append(QStringLiteral("a position reading"));
    settle();
    if (!step(quarn::multiturnZeroRequest(), multiturn, multiturnFailed))
        return stopped();
    settle();
    if (!step(quarn::saveRequest(), QStringLiteral("save"), QStringLiteral("Value Save failed!")))
        return stopped();
    settle();
    if (!step(quarn::multiturnZeroRequest(), multiturn, multiturnFailed))
        return stopped();

    // The encoder must say where it stands now, and that must be where the zero puts it.
    writeNote(context, QStringLiteral("zero: a position reading to confirm it"));
    const UsableReading closing = readUsablePosition(link, context, 1);
    const quarn::CountsAt closingAt{closing.position ? closing.position->singleTurn : 0,
                                    sinceZeroReading.elapsed()};
    const QString what = QStringLiteral("zero at %1 counts (%2)").arg(zeroAt).arg(sent.join(QStringLiteral(", ")));
    if (!closing.position)
        return notConfirmed(context, what, closing.why);
    const std::int32_t countsPerTurn = link.identity.resolution.countsPerTurn;
    if (!quarn::zeroConfirmed(countsPerTurn, afterAt, closingAt))
        return notConfirmed(context, what,
                            QStringLiteral("it reads %1 counts %2 ms after the position the zero was set "
                                           "to (and read %3 counts after %4 ms): not where that zero puts "
                                           "the shaft")
                                .arg(closingAt.counts)
                                .arg(closingAt.msAfterZeroReading)
                                .arg(afterAt.counts)
                                .arg(afterAt.msAfterZeroReading));

    const quarn::PositionWord &now = *closing.position;
    report(context, format, command,
           QStringLiteral("Zero set at %1 counts and saved; position now %2 counts, turns %3")
               .arg(zeroAt)
               .arg(now.singleTurn)
               .arg(now.multiTurn),
           QJsonObject{{QStringLiteral("zeroOffsetCounts"), zeroAt},
                       {QStringLiteral("countsAfter"), now.singleTurn},
                       {QStringLiteral("turnsAfter"), now.multiTurn},
                       {QStringLiteral("errorAfter"), now.error}});
    return ExitSuccess;
}

int runMultiturnZero(EncoderLink &link, OutputFormat format, Context &context)
{
    if (!link.identity.multiturn)
        return fail(context, FailureKind::Unsupported, QStringLiteral("a single-turn encoder has no multiturn counter to zero"));
    return runSingle(link, context, quarn::multiturnZeroRequest(), 0, format, QStringLiteral("mt-zero"),
                     QStringLiteral("Multiturn counter set to 0"), [](const quarn::PositionWord &position) {
                         return quarn::multiturnZeroConfirmed(position.multiTurn)
                                    ? QString()
                                    : QStringLiteral("the multiturn counter reads %1").arg(position.multiTurn);
                     });
}

int runFactoryReset(EncoderLink &link, OutputFormat format, Context &context)
{
    return runSingle(link, context, quarn::factoryResetRequest(), ResetSettleMs, format,
                     QStringLiteral("factory-reset"), QStringLiteral("Factory settings restored"));
}

int runResetStatus(EncoderLink &link, OutputFormat format, Context &context)
{
    if (!link.identity.persistentStatusSupported)
        return fail(context, FailureKind::Unsupported,
                    QStringLiteral("firmware %1.%2 has no persistent status; it needs a minor version of 9 or more")
                        .arg(link.identity.firmwareMajor)
                        .arg(link.identity.firmwareMinor));
    return runSingle(link, context, quarn::resetPersistentStatusRequest(), ResetSettleMs, format,
                     QStringLiteral("reset-status"), QStringLiteral("Persistent status reset"));
}

namespace {

// The confirmation these commands share in their help.
constexpr const char *ReadBackText =
    "Waits 500 ms after the request; then a position reading, whole and without the error flag, "
    "confirms that the encoder is back.";

Command configurationCommand(const char *name, const char *summary, const char *details, const char *examples,
                             const char *success, int (*run)(EncoderLink &, OutputFormat, Context &))
{
    Command command;
    command.name = name;
    command.summary = summary;
    command.details = details;
    command.examples = examples;
    command.success = success;
    command.prepare = [run](const GivenOptions &, const CommonSettings &common) {
        const OutputFormat format = common.format;
        CommandRun prepared;
        prepared.onEncoder = [run, format](EncoderLink &link, Context &context) { return run(link, format, context); };
        return prepared;
    };
    return command;
}

} // namespace

Command zeroCommand()
{
    return configurationCommand(
        "zero", "Set zero here: the current position becomes zero.",
        "Reads the position first and is refused while it carries the error flag (exit code 10); then "
        "sends the window's sequence: zero offset 2, multiturn 0, a position reading, zero offset at that "
        "position, a position reading, multiturn 0, save, multiturn 0; 100 ms between steps. Stops "
        "before the zero at that position (\"Set zero offset failed!\") when its reading fails or "
        "carries the error flag, or its reply is spoilt. Once it has begun, Ctrl+C waits for the whole "
        "0.8 s sequence. A last position reading confirms the zero: it must come whole, without the "
        "error flag, and near 0 (as far as a turning shaft has moved on since the zero's reading).",
        "trevisor-cli zero                          # the encoder the search finds\n"
        "trevisor-cli zero -p /dev/ttyUSB0 --json   # the zero and the new position\n"
        "trevisor-cli zero --serial 000042 -v       # that encoder, each step noted",
        "the zero was set, saved and confirmed by a reading near 0", runZero);
}

Command multiturnZeroCommand()
{
    return configurationCommand(
        "mt-zero", "Set the multiturn counter to 0 (multiturn encoders).",
        "A position reading after the request confirms it: whole, without the error flag, turns 0. A "
        "single-turn encoder refuses it (exit code 10).",
        "trevisor-cli mt-zero\n"
        "trevisor-cli mt-zero -p /dev/ttyUSB0 --json",
        "the counter was set to 0 and a reading confirmed it", runMultiturnZero);
}

Command factoryResetCommand()
{
    return configurationCommand("factory-reset", "Restore the encoder's factory settings.", ReadBackText,
                                "trevisor-cli factory-reset\n"
                                "trevisor-cli factory-reset --serial 000042 --json",
                                "the request went out and a reading after it confirmed it", runFactoryReset);
}

Command resetStatusCommand()
{
    return configurationCommand("reset-status", "Clear the persistent status (needs firmware minor 9 or more).",
                                ReadBackText,
                                "trevisor-cli reset-status\n"
                                "trevisor-cli reset-status -p /dev/ttyUSB0 --json",
                                "the request went out and a reading after it confirmed it", runResetStatus);
}

} // namespace cli
