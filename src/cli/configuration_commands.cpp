// SPDX-License-Identifier: MIT
#include "configuration_commands.h"

#include "poll_command.h"

#include "quarn_konstante.h"

#include <QJsonObject>

#include <QStringList>

#include <chrono>
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
    writeMessage(context, QStringLiteral("interrupted: %1 did not complete").arg(what));
    return ExitFailure;
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

// One of the single-request commands: its request, then its settle time.
int runSingle(EncoderLink &link, Context &context, const QByteArray &request, int settleMs,
              OutputFormat format, const QString &command, const QString &doneText)
{
    writeNote(context, QStringLiteral("%1: sending \"%2\"").arg(command, requestName(request)));
    if (!send(link, context, request))
        return ExitFailure;
    if (settleMs > 0)
        writeNote(context, QStringLiteral("%1: waiting %2 ms for the encoder to settle").arg(command).arg(settleMs));
    if (settleMs > 0 && !pause(context, settleMs))
        return interrupted(context, command);
    report(context, format, command, doneText);
    return ExitSuccess;
}

} // namespace

int runZero(EncoderLink &link, OutputFormat format, Context &context)
{
    const QString command = QStringLiteral("zero");
    writeNote(context, QStringLiteral("zero: reading the position first"));
    const std::optional<PollStep> before = pollStep(link, context, 1);
    if (!before)
        return ExitFailure;
    if (before->reading.position.error) {
        writeMessage(context, QStringLiteral("the encoder reports a position error; zero not set"));
        return ExitFailure;
    }
    if (context.stopRequested())
        return interrupted(context, command);

    // Once the first request is out, the sequence runs to its end (0.8 s) whatever Ctrl+C says:
    // half a zero would leave the encoder with an offset nobody chose. When the port goes away
    // instead, the message says what went out and that nothing was saved.
    QStringList sent;
    bool saved = false;
    const auto step = [&](const QByteArray &request, const QString &what, const QString &failureText) {
        writeNote(context, QStringLiteral("zero: ") + what);
        if (send(link, context, request)) {
            sent.append(what);
            saved = saved || request == quarn::saveRequest();
            return true;
        }
        writeMessage(context, failureText);
        return false;
    };
    const auto stopped = [&] {
        writeMessage(context, QStringLiteral("zero stopped after %1; %2")
                                  .arg(sent.isEmpty() ? QStringLiteral("no request") : sent.join(QStringLiteral(", ")),
                                       saved ? QStringLiteral("the zero was saved")
                                             : QStringLiteral("nothing was saved")));
        return ExitFailure;
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
    // only to this reading, and only when it came whole and without the error flag.
    writeNote(context, QStringLiteral("zero: a position reading"));
    const std::optional<PollStep> position = pollStep(link, context, 1);
    if (position && position->reading.position.error)
        writeMessage(context, QStringLiteral("the position read for the zero carries the error flag"));
    if (!position || position->reading.position.error) {
        writeMessage(context, zeroFailed);
        return link.port->isOpen() ? ExitFailure : stopped();
    }
    sent.append(QStringLiteral("a position reading"));
    settle();

    const std::int32_t zeroAt = position->reading.position.singleTurn;
    if (!step(quarn::zeroOffsetRequest(zeroAt), QStringLiteral("zero offset %1").arg(zeroAt), zeroFailed))
        return stopped();
    settle();
    writeNote(context, QStringLiteral("zero: a position reading"));
    const std::optional<PollStep> after = pollStep(link, context, 2);
    if (!after)
        return link.port->isOpen() ? ExitFailure : stopped();
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
