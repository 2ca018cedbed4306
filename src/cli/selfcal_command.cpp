// SPDX-License-Identifier: MIT
#include "selfcal_command.h"

#include "quarn_konstante.h"

#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>
#include <array>
#include <optional>

namespace cli {

namespace {

constexpr int StepPauseMs = 100;
constexpr int ProgressBarWidth = 30;

QLocale plainLocale()
{
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

struct Flag {
    const char *key;
    const char *caption;
    bool on;
};

std::array<Flag, 7> selfCalFlags(const quarn::SelfCalStatus &status, bool finished)
{
    return {{
        {"finished", "Procedure finished", finished},
        {"timeoutExpired", "Timeout expired", status.timeoutExpired},
        {"outOfRange", "Calibration out of range", status.outOfRange},
        {"arcOutOfRange", "Input Arc Length out of range", status.arcOutOfRange},
        {"noCorrection", "No correction necessary", status.noCorrection},
        {"userErrorMap", "User Error map in use", status.userErrorMap},
        {"successful", "Calibration successfull", finished && !status.anyFlagSet()},
    }};
}

// The exit code of a run whose final status was read, with one line on standard error when the
// calibration did not succeed: a script must not take a failed calibration for a good one.
int selfCalOutcome(const quarn::SelfCalStatus &status, bool finished, qint64 waitedMs, Context &context)
{
    if (!finished)
        return fail(context, FailureKind::CalibrationNotFinished,
                    QStringLiteral("self-calibration not finished: its status did not change within %1 s")
                        .arg(static_cast<double>(waitedMs) / 1000.0, 0, 'f', 1));
    if (status.anyFlagSet()) {
        QStringList raised;
        for (const Flag &flag : selfCalFlags(status, finished)) {
            const QLatin1String key(flag.key);
            // "User Error map in use" is informative only.
            if (flag.on && key != QLatin1String("finished") && key != QLatin1String("successful")
                && key != QLatin1String("userErrorMap"))
                raised.append(QLatin1String(flag.caption));
        }
        return fail(context, FailureKind::CalibrationFailed,
                    QStringLiteral("self-calibration failed: ") + raised.join(QStringLiteral(", ")));
    }
    return ExitSuccess;
}

struct StatusRead {
    std::optional<QByteArray> status; // confirmed by two agreeing replies
    bool portLost = false;
};

// Reads the status until two replies agree, a few requests at most. Replies that fail or come
// spoilt are passed over, and only noted with --verbose.
StatusRead readConfirmedStatus(EncoderLink &link, Context &context, quarn::SelfCalStatusConfirmation &reads)
{
    const QByteArray statusRequest(1, quarn::cmd::SelfCalStatus);
    for (int attempt = 0; attempt < quarn::SelfCalStatusReadAttempts; ++attempt) {
        QByteArray reply;
        const serial::TransactionResult result =
            transact(link, context, statusRequest, quarn::SelfCalStatusReplyLength, reply);
        if (result == serial::TransactionResult::WriteFailed || result == serial::TransactionResult::NoPort) {
            reportExchangeFailure(link, context, statusRequest, result, 0, quarn::SelfCalStatusReplyLength);
            return {std::nullopt, true};
        }
        if (result == serial::TransactionResult::Incomplete)
            writeNote(context, exchangeFailureText(link, statusRequest, result, reply.size(),
                                                   quarn::SelfCalStatusReplyLength));
        else if (!quarn::selfCalStatusPlausible(reply))
            writeNote(context, QStringLiteral("selfcal: a spoilt status reply %1 passed over")
                                   .arg(QString::fromLatin1(reply.toHex(' ').toUpper())));
        if (const std::optional<QByteArray> status =
                reads.take(result == serial::TransactionResult::Complete ? reply : QByteArray()))
            return {status, false};
    }
    return {};
}

QString notConfirmed(const QString &when)
{
    return QStringLiteral("Command \"i\" failed! The status %1 could not be confirmed: no two of %2 "
                          "replies agreed")
        .arg(when)
        .arg(quarn::SelfCalStatusReadAttempts);
}

int interrupted(Context &context)
{
    return fail(context, FailureKind::Interrupted, QStringLiteral("interrupted: self-calibration left without a report"));
}

} // namespace

QJsonObject selfCalJson(const quarn::SelfCalStatus &status, bool finished, int timeoutSeconds,
                        float ringDiameterMm)
{
    const quarn::SelfCalAccuracy accuracy =
        quarn::selfCalAccuracy(status.eccentricityUm, ringDiameterMm, status.noCorrection);
    QJsonObject flags;
    for (const Flag &flag : selfCalFlags(status, finished))
        flags.insert(QLatin1String(flag.key), flag.on);
    QString report = quarn::selfCalRunReport(status, finished, timeoutSeconds, ringDiameterMm, plainLocale());
    report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return QJsonObject{
        {QStringLiteral("event"), QStringLiteral("selfcal")},
        {QStringLiteral("command"), QStringLiteral("selfcal")},
        {QStringLiteral("flags"), flags},
        {QStringLiteral("counter"), status.counter},
        {QStringLiteral("eccentricityUm"), status.eccentricityUm},
        {QStringLiteral("eccentricityAngleDeg"), status.eccentricityAngleDeg},
        {QStringLiteral("radialShiftUm"), status.radialShiftUm},
        {QStringLiteral("accuracyBeforeDeg"), QString::number(accuracy.before, 'f', 3).toDouble()},
        {QStringLiteral("accuracyAfterDeg"), QString::number(accuracy.after, 'f', 3).toDouble()},
        {QStringLiteral("progress"), quarn::selfCalFinalProgress(status, finished)},
        {QStringLiteral("report"), report},
    };
}

QStringList selfCalFlagLines(const quarn::SelfCalStatus &status, bool finished)
{
    QStringList lines;
    for (const Flag &flag : selfCalFlags(status, finished))
        lines.append(QLatin1String(flag.caption) + QStringLiteral(": ")
                     + (flag.on ? QStringLiteral("yes") : QStringLiteral("no")));
    return lines;
}

QString selfCalProgressBar(int position, int maximum)
{
    const int shown = std::clamp(position, 0, std::max(maximum, 0));
    const int filled = maximum > 0 ? shown * ProgressBarWidth / maximum : 0;
    return QStringLiteral("[%1%2] %3 s of %4 s")
        .arg(QString(filled, u'#'), QString(ProgressBarWidth - filled, u' '))
        .arg(static_cast<double>(position) / 10.0, 4, 'f', 1)
        .arg(static_cast<double>(maximum) / 10.0, 0, 'f', 1);
}

int runSelfCal(EncoderLink &link, const SelfCalOptions &options, Context &context)
{
    const QByteArray statusRequest(1, quarn::cmd::SelfCalStatus);
    const QString statusFailed = QStringLiteral("Command \"i\" failed!");
    // A request that did not go out ends the run, named as the window names it.
    const auto send = [&](const QByteArray &request, const QString &failureText) {
        QString why;
        if (sendRequest(link, context, request, why))
            return true;
        fail(context, FailureKind::PortLost, why + u' ' + failureText, link.entry.path);
        return false;
    };

    writeNote(context, QStringLiteral("selfcal: arc %1 degrees").arg(options.arcDegrees));
    if (!pause(context, StepPauseMs))
        return interrupted(context);
    if (!send(quarn::selfCalArcRequest(static_cast<std::uint16_t>(options.arcDegrees)),
              QStringLiteral("Command \"Unlock + p\" failed!")))
        return ExitNotConfirmed;
    if (!pause(context, StepPauseMs))
        return interrupted(context);

    int timeoutSeconds = quarn::DefaultSelfCalTimeoutSeconds;
    const quarn::EncoderIdentity &identity = link.identity;
    if (quarn::timeoutRequestApplies(identity.firmwareMajor, identity.firmwareMinor)) {
        const int seconds = quarn::selfCalTimeoutValue(options.timeoutSeconds.value_or(10)).seconds;
        writeNote(context, QStringLiteral("selfcal: timeout %1 s").arg(seconds));
        if (!send(quarn::selfCalTimeoutRequest(static_cast<std::uint8_t>(seconds)),
                  QStringLiteral("Command \"Unlock + t\" failed!")))
            return ExitNotConfirmed;
        if (!pause(context, StepPauseMs))
            return interrupted(context);
        timeoutSeconds = seconds;
    } else if (options.timeoutSeconds) {
        writeWarning(context, QStringLiteral("firmware %1.%2 takes no timeout; the wait lasts up to 11 s")
                                  .arg(identity.firmwareMajor)
                                  .arg(identity.firmwareMinor));
    }

    // The status before the start, kept for the whole run: a confirmed change of it means
    // finished.
    writeNote(context, QStringLiteral("selfcal: reading the status before the start"));
    quarn::SelfCalStatusConfirmation statusReads;
    const StatusRead initial = readConfirmedStatus(link, context, statusReads);
    if (!initial.status)
        return fail(context, initial.portLost ? FailureKind::PortLost : FailureKind::NotConfirmed,
                    initial.portLost ? statusFailed : notConfirmed(QStringLiteral("before the start")));
    const QByteArray initialStatus = *initial.status;
    if (options.format == OutputFormat::Text)
        writeInfo(context, quarn::selfCalInitialText(initialStatus));

    if (!pause(context, StepPauseMs))
        return interrupted(context);
    writeNote(context, QStringLiteral("selfcal: starting; waiting until the status changes"));
    if (!send(quarn::selfCalStartRequest(), QStringLiteral("Command \"Unlock + A\" failed!")))
        return ExitNotConfirmed;

    const int barMaximum = timeoutSeconds * 10;
    // Redrawn in place on a terminal; trace lines would break it up.
    const bool barShown = context.errIsTerminal && !context.trace;
    bool changed = false;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (!pause(context, StepPauseMs))
            break;
        // A status that does not come whole, or comes spoilt, tells nothing; the wait goes on.
        // A changed status ends it once a second reply agrees. Such a failure is not
        // reported: the final status decides.
        QByteArray status;
        const serial::TransactionResult result = transact(
            link, context, statusRequest, quarn::SelfCalStatusReplyLength, status);
        if (result == serial::TransactionResult::Complete) {
            const std::optional<QByteArray> confirmed = statusReads.take(status);
            changed = confirmed && quarn::selfCalStatusChanged(initialStatus, *confirmed);
        } else {
            statusReads.take({});
        }
        // A port that takes no bytes any more will not bring the final status either.
        if (result == serial::TransactionResult::WriteFailed
            || result == serial::TransactionResult::NoPort) {
            if (barShown)
                *context.err << '\n';
            link.port->close();
            return fail(context, FailureKind::PortLost,
                        exchangeFailureText(link, statusRequest, result, 0, quarn::SelfCalStatusReplyLength)
                            + u' ' + statusFailed);
        }
        const int position = quarn::selfCalProgressPosition(clock.elapsed());
        if (barShown) {
            *context.err << '\r' << selfCalProgressBar(position, barMaximum);
            context.err->flush();
        }
        if (changed || quarn::selfCalWaitExpired(position, timeoutSeconds) || context.stopRequested())
            break;
    }
    if (barShown) {
        *context.err << '\n';
        context.err->flush();
    }
    if (context.stopRequested())
        return interrupted(context);
    writeNote(context, QStringLiteral("selfcal: %1 after %2 s; reading the final status")
                           .arg(changed ? QStringLiteral("the status changed") : QStringLiteral("no change"))
                           .arg(static_cast<double>(clock.elapsed()) / 1000.0, 0, 'f', 1));

    // The final status, confirmed as the first was. Finished means that it differs from the
    // status before the start.
    const StatusRead closing = readConfirmedStatus(link, context, statusReads);
    if (!closing.status)
        return fail(context, closing.portLost ? FailureKind::PortLost : FailureKind::NotConfirmed,
                    closing.portLost ? statusFailed : notConfirmed(QStringLiteral("at the end")));
    const QByteArray finalReply = *closing.status;
    const bool finished = quarn::selfCalStatusChanged(initialStatus, finalReply);
    const quarn::SelfCalStatus finalStatus = quarn::decodeSelfCalStatus(finalReply);
    if (options.format == OutputFormat::Json) {
        writeJson(context, selfCalJson(finalStatus, finished, timeoutSeconds, identity.ringDiameterMm));
    } else {
        QString report = quarn::selfCalRunReport(finalStatus, finished, timeoutSeconds,
                                                 identity.ringDiameterMm, plainLocale());
        report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        writeText(context, report + u'\n' + selfCalFlagLines(finalStatus, finished).join(u'\n'));
    }
    return selfCalOutcome(finalStatus, finished, clock.elapsed(), context);
}

QList<CommandOption> selfCalOptionList()
{
    return {
        {{QStringLiteral("arc")}, QStringLiteral("Partial arc in degrees, 180 to 360 (default: 360)."),
         QStringLiteral("deg")},
        {{QStringLiteral("timeout")},
         QStringLiteral("Calibration timeout in seconds, 1 to 40 (default: 10; firmware 2.9 and later)."),
         QStringLiteral("s")},
    };
}

std::optional<SelfCalOptions> selfCalOptions(const GivenOptions &given, OutputFormat format, QString &usageError)
{
    SelfCalOptions options;
    options.format = format;
    if (given.isSet(QStringLiteral("arc"))) {
        const auto degrees = integerValue(given.value(QStringLiteral("arc")), SelfCalArcMin, SelfCalArcMax);
        if (!degrees) {
            usageError = QStringLiteral("--arc needs degrees from 180 to 360");
            return std::nullopt;
        }
        options.arcDegrees = static_cast<int>(*degrees);
    }
    if (given.isSet(QStringLiteral("timeout"))) {
        const auto seconds = integerValue(given.value(QStringLiteral("timeout")), SelfCalTimeoutMin, SelfCalTimeoutMax);
        if (!seconds) {
            usageError = QStringLiteral("--timeout needs seconds from 1 to 40");
            return std::nullopt;
        }
        options.timeoutSeconds = static_cast<int>(*seconds);
    }
    return options;
}

Command selfCalCommand()
{
    Command command;
    command.name = "selfcal";
    command.summary = "Run the encoder's self-calibration.";
    command.details = "Sets the arc and, on firmware 2.9 and later, the timeout, starts the calibration and "
                      "waits until its status changes or 1.1 x the timeout has passed (a progress bar on "
                      "standard error when it is a terminal). Prints the report and the seven flags. Exit "
                      "code 3: its status never changed within the wait; 4: it finished with a failure flag "
                      "(both after the report); 5: no two status replies agreed, before the start or at the "
                      "end.";
    command.examples = "trevisor-cli selfcal                       # full turn, 10 s timeout\n"
                       "trevisor-cli selfcal --arc 270 --timeout 20\n"
                       "trevisor-cli selfcal --json || echo \"calibration failed: $?\"";
    command.success = "the calibration succeeded";
    command.options = selfCalOptionList();
    command.prepare = [](const GivenOptions &given, const CommonSettings &common) {
        QString error;
        const std::optional<SelfCalOptions> options = selfCalOptions(given, common.format, error);
        if (!options)
            return CommandRun::refused(error);
        CommandRun run;
        run.onEncoder = [options = *options](EncoderLink &link, Context &context) {
            return runSelfCal(link, options, context);
        };
        return run;
    };
    return command;
}

} // namespace cli
