// SPDX-License-Identifier: MIT
#include "poll_command.h"

#include "reading_format.h"

#include "quarn_konstante.h"


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

std::optional<PollStep> pollStep(EncoderLink &link, Context &context, int index)
{
    PollStep step;
    const QByteArray request(1, quarn::pollCommand(index));
    if (!exchange(link, context, request, quarn::pollReplyLength(link.identity.multiturn ? 1 : 0, index),
                  step.reply))
        return std::nullopt;
    step.reading = quarn::decodePollReading(step.reply, index, link.identity);
    return step;
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
        writeMessage(context, QStringLiteral("firmware %1 has no persistent status word (\"j\"); "
                                             "it needs a minor version of 9 or more")
                                  .arg(QStringLiteral("%1.%2").arg(link.identity.firmwareMajor).arg(minor)));
        return ExitFailure;
    }

    if (options.format == OutputFormat::Csv)
        writeLine(context, pollCsvHeader());

    int index = options.commandIndex.value_or(1);
    ReadingPacer pacer(options.intervalMs);
    for (qint64 done = 0; options.count == 0 || done < options.count; ++done) {
        const std::optional<qint64> start = pacer.next(context);
        if (!start)
            break;
        const qint64 startMs = *start;

        const std::optional<PollStep> step = pollStep(link, context, index);
        if (!step)
            return ExitFailure;

        switch (options.format) {
        case OutputFormat::Text:
            writeLine(context, pollReadingText(step->reading, startMs));
            break;
        case OutputFormat::Json:
            writeJson(context, pollReadingJson(step->reading, startMs, step->reply));
            break;
        case OutputFormat::Csv:
            writeLine(context, pollCsvRow(step->reading, startMs, step->reply));
            break;
        }
        if (!options.commandIndex)
            index = nextActivePollIndex(index, minor);
    }
    return ExitSuccess;
}

} // namespace cli
