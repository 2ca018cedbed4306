// SPDX-License-Identifier: MIT
#include "configuration_commands.h"

#include "poll_command.h"

#include "quarn_konstante.h"

#include <QJsonObject>

#include <optional>

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

// A request of a sequence that did not go out ends it, named as the window names it.
bool sendStep(EncoderLink &link, Context &context, const QByteArray &request,
              const QString &failureText)
{
    if (send(link, context, request))
        return true;
    writeMessage(context, failureText);
    return false;
}

int interrupted(Context &context, const QString &what)
{
    writeMessage(context, QStringLiteral("interrupted: %1 did not complete").arg(what));
    return ExitFailure;
}

void report(Context &context, OutputFormat format, const QString &command, const QString &text,
            QJsonObject object = {})
{
    if (format == OutputFormat::Json) {
        object.insert(QStringLiteral("command"), command);
        object.insert(QStringLiteral("done"), true);
        writeJson(context, object);
    } else {
        writeLine(context, text);
    }
}

// One of the single-request commands: its request, then its settle time.
int runSingle(EncoderLink &link, Context &context, const QByteArray &request, int settleMs,
              OutputFormat format, const QString &command, const QString &doneText)
{
    if (!send(link, context, request))
        return ExitFailure;
    if (settleMs > 0 && !pause(context, settleMs))
        return interrupted(context, command);
    report(context, format, command, doneText);
    return ExitSuccess;
}

} // namespace

int runZero(EncoderLink &link, OutputFormat format, Context &context)
{
    const QString command = QStringLiteral("zero");
    const std::optional<PollStep> before = pollStep(link, context, 1);
    if (!before)
        return ExitFailure;
    if (before->reading.position.error) {
        writeMessage(context, QStringLiteral("the encoder reports a position error; zero not set"));
        return ExitFailure;
    }

    const QString zeroFailed = QStringLiteral("Set zero offset failed!");
    const QString multiturnFailed = QStringLiteral("Set multitirn failed!");
    // A fresh template: the first request always carries the argument 2.
    if (!sendStep(link, context, quarn::zeroOffsetTemplate(), zeroFailed))
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    if (!sendStep(link, context, quarn::multiturnZeroRequest(), multiturnFailed))
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    // From the cycle's start, so both steps read the position: "1", then "3". The zero is set
    // only to this reading, and only when it came whole and without the error flag.
    const std::optional<PollStep> position = pollStep(link, context, 1);
    if (position && position->reading.position.error)
        writeMessage(context, QStringLiteral("the position read for the zero carries the error flag"));
    if (!position || position->reading.position.error) {
        writeMessage(context, zeroFailed);
        return ExitFailure;
    }
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);

    const std::int32_t zeroAt = position->reading.position.singleTurn;
    if (!sendStep(link, context, quarn::zeroOffsetRequest(zeroAt), zeroFailed))
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    const std::optional<PollStep> after = pollStep(link, context, 2);
    if (!after)
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    if (!sendStep(link, context, quarn::multiturnZeroRequest(), multiturnFailed))
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    if (!sendStep(link, context, quarn::saveRequest(), QStringLiteral("Value Save failed!")))
        return ExitFailure;
    if (!pause(context, StepPauseMs))
        return interrupted(context, command);
    if (!sendStep(link, context, quarn::multiturnZeroRequest(), multiturnFailed))
        return ExitFailure;

    const quarn::PositionWord &now = after->reading.position;
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
    if (!link.identity.multiturn) {
        writeMessage(context, QStringLiteral("a single-turn encoder has no multiturn counter to zero"));
        return ExitFailure;
    }
    return runSingle(link, context, quarn::multiturnZeroRequest(), 0, format, QStringLiteral("mt-zero"),
                     QStringLiteral("Multiturn counter set to 0"));
}

int runFactoryReset(EncoderLink &link, OutputFormat format, Context &context)
{
    return runSingle(link, context, quarn::factoryResetRequest(), ResetSettleMs, format,
                     QStringLiteral("factory-reset"), QStringLiteral("Factory settings restored"));
}

int runResetStatus(EncoderLink &link, OutputFormat format, Context &context)
{
    if (!link.identity.persistentStatusSupported) {
        writeMessage(context, QStringLiteral("firmware %1.%2 has no persistent status; it needs a minor "
                                             "version of 9 or more")
                                  .arg(link.identity.firmwareMajor)
                                  .arg(link.identity.firmwareMinor));
        return ExitFailure;
    }
    return runSingle(link, context, quarn::resetPersistentStatusRequest(), ResetSettleMs, format,
                     QStringLiteral("reset-status"), QStringLiteral("Persistent status reset"));
}

} // namespace cli
