// SPDX-License-Identifier: MIT
#include "poll_command.h"

#include "reading_format.h"

#include "poll_decoding.h"
#include "quarn_konstante.h"

#include <QDateTime>


#include <algorithm>

namespace cli {

std::optional<int> pollIndexOfCommand(const QString &command)
{
    if (command.size() != 1)
        return std::nullopt;
    for (int index = 1; index <= quarn::PollCycleLength; ++index) {
        if (command.at(0) == QLatin1Char(quarn::pollCommand(index)))
            return index;
    }
    return std::nullopt;
}

std::optional<PollStep> pollAttempt(EncoderLink &link, Context &context, int index)
{
    PollStep step;
    const QByteArray request(1, quarn::pollCommand(index));
    const int expected = quarn::pollReplyLength(link.identity.multiturn ? 1 : 0, index);
    const serial::TransactionResult result = transact(link, context, request, expected, step.reply);
    step.reading.index = index;
    step.reading.command = quarn::pollCommand(index);
    switch (result) {
    case serial::TransactionResult::Complete:
        break;
    case serial::TransactionResult::Incomplete:
        step.fault = exchangeFailureText(link, request, result, step.reply.size(), expected);
        return step;
    case serial::TransactionResult::NoPort:
    case serial::TransactionResult::WriteFailed:
        // The port is gone: reported as every exchange is.
        reportExchangeFailure(link, context, request, result, 0, expected);
        return std::nullopt;
    }
    // Every reply but that of "3" begins with the echo of its command.
    if (quarn::positionWordOffset(index) > 0 && step.reply.at(0) != request.at(0)) {
        step.fault = QStringLiteral("corrupt reply to \"%1\" on %2: it begins with %3, not the echo")
                         .arg(requestName(request), link.entry.path,
                              QString::fromLatin1(step.reply.left(1).toHex().toUpper()));
        return step;
    }
    step.reading = quarn::decodePollReading(step.reply, index, link.identity);
    return step;
}

std::optional<PollStep> pollStep(EncoderLink &link, Context &context, int index)
{
    std::optional<PollStep> step = pollAttempt(link, context, index);
    if (step && !step->fault.isEmpty()) {
        fail(context, FailureKind::NoReply, step->fault);
        return std::nullopt;
    }
    return step;
}

bool FaultLimit::exceeded(const PollStep &step, Context &context)
{
    if (step.fault.isEmpty()) {
        inRow_ = 0;
        return false;
    }
    ++inRow_;
    if (maxErrors_ <= 0 || inRow_ < maxErrors_)
        return false;
    fail(context, FailureKind::NoReply, QStringLiteral("%1 readings in a row failed (--max-errors %2); the last: %3")
                              .arg(inRow_)
                              .arg(maxErrors_)
                              .arg(step.fault));
    return true;
}

void writePollStep(Context &context, OutputFormat format, const PollStep &step, qint64 startMs)
{
    const bool spoilt = !step.fault.isEmpty();
    const char command = step.reading.command;
    switch (format) {
    case OutputFormat::Text:
        writeLine(context, spoilt ? pollFaultText(command, startMs, step.fault) : pollReadingText(step.reading, startMs));
        break;
    case OutputFormat::Json:
        writeJson(context, spoilt ? pollFaultJson(command, startMs, step.reply, step.fault)
                                  : pollReadingJson(step.reading, startMs, step.reply));
        break;
    case OutputFormat::Csv: {
        const QString time = isoTimestamp(QDateTime::currentDateTimeUtc());
        writeLine(context, spoilt ? pollFaultCsvRow(command, startMs, step.reply, step.fault, time)
                                  : pollCsvRow(step.reading, startMs, step.reply, time));
        break;
    }
    }
}

int nextActivePollIndex(int index, int firmwareMinor)
{
    int next = quarn::nextPollIndex(index);
    // At most one step of the cycle is ever idle.
    if (quarn::isIdlePollStep(next, firmwareMinor))
        next = quarn::nextPollIndex(next);
    return next;
}

int runPoll(EncoderLink &link, const PollOptions &options, Context &context)
{
    const int minor = link.identity.firmwareMinor;
    if (options.commandIndex && quarn::isIdlePollStep(*options.commandIndex, minor)) {
        return fail(context, FailureKind::Unsupported,
                    QStringLiteral("firmware %1 has no persistent status word (\"j\"); it needs a minor version "
                                   "of 9 or more")
                        .arg(QStringLiteral("%1.%2").arg(link.identity.firmwareMajor).arg(minor)));
    }

    writeNote(context, QStringLiteral("poll: %1, %2, %3")
                           .arg(options.commandIndex ? QStringLiteral("command %1 only")
                                                           .arg(QLatin1Char(quarn::pollCommand(*options.commandIndex)))
                                                     : QStringLiteral("the whole cycle"),
                                options.count == 0 ? QStringLiteral("until Ctrl+C")
                                                   : QStringLiteral("%1 readings").arg(options.count),
                                options.intervalMs == 0 ? QStringLiteral("back to back")
                                                        : QStringLiteral("one every %1 ms").arg(options.intervalMs)));
    if (options.format == OutputFormat::Csv)
        writeLine(context, pollCsvHeader());

    int index = options.commandIndex.value_or(1);
    ReadingPacer pacer(options.intervalMs);
    FaultLimit faults(options.maxErrors);
    for (qint64 done = 0; options.count == 0 || done < options.count; ++done) {
        const std::optional<qint64> start = pacer.next(context);
        if (!start)
            break;
        const qint64 startMs = *start;

        const std::optional<PollStep> step = pollAttempt(link, context, index);
        if (!step)
            return ExitNotConfirmed;
        writePollStep(context, options.format, *step, startMs);
        if (faults.exceeded(*step, context))
            return ExitNotConfirmed;
        if (!options.commandIndex)
            index = nextActivePollIndex(index, minor);
    }
    return ExitSuccess;
}

Command pollCommand()
{
    Command command;
    command.name = "poll";
    command.summary = "Read the position, one line per reading.";
    command.details = "Runs the poll cycle 1, 3, d, j, s, t, a (j only on firmware whose minor version is 9 or "
                      "more), or one of its commands with --command:\n"
                      "  1  position: counts, degrees, turns and the error flag\n"
                      "  3  position without the echo of the command\n"
                      "  d  status word\n"
                      "  j  persistent status word\n"
                      "  s  speed\n"
                      "  t  temperature\n"
                      "  a  signal level and air gap\n"
                      "Each reading gives counts, degrees, turns, the error flag and the quantity of its "
                      "command. Ctrl+C ends the run after the current reading.";
    command.examples = "trevisor-cli poll --json                   # until Ctrl+C, one object a line\n"
                       "trevisor-cli poll -n 100 --csv > pos.csv   # 100 readings of the whole cycle\n"
                       "trevisor-cli poll --command t --interval 1000 -n 5  # temperature each second";
    command.options = {
        {{QStringLiteral("command")},
         QStringLiteral("Send only this command of the cycle: 1, 3, d, j, s, t or a (named above)."),
         QStringLiteral("c")},
        countOption(0),
        intervalOption(),
        maxErrorsOption(),
        {{QStringLiteral("csv")}, QStringLiteral("Semicolon-separated rows with a header line."), {}},
    };
    command.prepare = [](const GivenOptions &given, const CommonSettings &common) {
        PollOptions options;
        options.format = common.format;
        if (given.isSet(QStringLiteral("csv"))) {
            if (common.format == OutputFormat::Json)
                return CommandRun::refused(QStringLiteral("--csv and --json exclude each other"));
            options.format = OutputFormat::Csv;
        }
        QString error;
        if (!takeReadingPace(given, options, error))
            return CommandRun::refused(error);
        if (given.isSet(QStringLiteral("command"))) {
            options.commandIndex = pollIndexOfCommand(given.value(QStringLiteral("command")));
            if (!options.commandIndex)
                return CommandRun::refused(QStringLiteral("--command must be one of 1, 3, d, j, s, t, a"));
        }
        CommandRun run;
        run.onEncoder = [options](EncoderLink &link, Context &context) { return runPoll(link, options, context); };
        return run;
    };
    return command;
}

} // namespace cli
