// SPDX-License-Identifier: MIT
#include "debug_command.h"

#include "poll_command.h"

#include "orodja.h"
#include "quarn_konstante.h"
#include "recording.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>

namespace cli {

namespace {

// The encoder needs a moment to enter its debug mode.
constexpr int UnlockSettleMs = 50;

QString bits(int width, std::uint64_t value)
{
    return QString::fromLatin1(orodja::IntToBin(width, value));
}

// The window's unlock: the results are not examined, only the echo of "G". A port that takes
// no bytes ends the run.
bool unlockDebugMode(EncoderLink &link, Context &context)
{
    QByteArray entryReply;
    const serial::TransactionResult entry = transact(
        link, context, quarn::debugEntryRequest(), quarn::DebugEntryReplyLength, entryReply);
    if (entry == serial::TransactionResult::WriteFailed || entry == serial::TransactionResult::NoPort) {
        fail(context, FailureKind::PortLost,
             exchangeFailureText(link, quarn::debugEntryRequest(), entry, 0, quarn::DebugEntryReplyLength),
             link.entry.path);
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(UnlockSettleMs));
    const QByteArray confirm(1, quarn::cmd::DebugConfirm);
    QByteArray echo;
    const serial::TransactionResult result = transact(
        link, context, confirm, quarn::DebugConfirmReplyLength, echo);
    if (result == serial::TransactionResult::WriteFailed || result == serial::TransactionResult::NoPort) {
        fail(context, FailureKind::PortLost,
             exchangeFailureText(link, confirm, result, 0, quarn::DebugConfirmReplyLength), link.entry.path);
        return false;
    }
    if (echo != confirm)
        writeWarning(context, QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo."));
    return true;
}

// The poll values a recording row carries, kept from step to step as the window keeps them.
struct PollState {
    QByteArray rxHex;
    std::int16_t turns = 0;
    std::int32_t counts = 0;
    std::uint16_t signalLevel = 0;
    std::int8_t temperature = 0;

    void take(const PollStep &step)
    {
        rxHex = quarn::replyHex(step.reply);
        turns = step.reading.position.multiTurn;
        counts = step.reading.position.singleTurn;
        if (step.reading.signalLevel)
            signalLevel = quarn::storedSignalLevel(*step.reading.signalLevel);
        if (step.reading.temperature)
            temperature = *step.reading.temperature;
    }
};

QString existingFileText(const QString &path)
{
    return QStringLiteral("file \"%1\" exists; --overwrite replaces it").arg(path);
}

std::unique_ptr<QIODevice> newFile(const QString &path)
{
    return std::make_unique<QFile>(path);
}

class Recording {
public:
    // A directory's file goes to a free name; a named file is created new, or replaced only
    // with `overwrite`.
    bool start(const RecordingTarget &target, bool overwrite, Context &context)
    {
        if (target.namedInDirectory) {
            quarn::NewRecordingFile created = quarn::createNewRecordingFile(target.path, newFile);
            path_ = created.path;
            file_ = std::move(created.device);
            if (file_ == nullptr)
                return cannotCreate(created.error, context);
        } else {
            path_ = target.path;
            file_ = newFile(path_);
            const QIODevice::OpenMode replace = overwrite ? QIODevice::Truncate : QIODevice::NewOnly;
            if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered | replace)) {
                // Created by someone else since runDebug looked.
                if (!overwrite && quarn::pathExists(path_)) {
                    fail(context, FailureKind::Failed, existingFileText(path_));
                    file_.reset();
                    return false;
                }
                return cannotCreate(file_->errorString(), context);
            }
        }
        if (!writeLine(quarn::recordingHeaderLine(), context))
            return false;
        clock_.start();
        writeInfo(context, QStringLiteral("Recording to ") + QDir::toNativeSeparators(path_));
        return true;
    }

    bool writeRow(const PollState &poll, const quarn::DebugRecord &record, Context &context)
    {
        quarn::RecordingRowInput row;
        row.elapsedMs = static_cast<std::uint32_t>(clock_.elapsed());
        row.rxBufferHex = poll.rxHex;
        row.mtValue = poll.turns;
        row.stValue = poll.counts;
        row.signalLevel = poll.signalLevel;
        row.temperature = poll.temperature;
        row.debug = record;
        return writeLine(quarn::recordingRow(row), context);
    }

    void stop(Context &context)
    {
        if (file_ == nullptr)
            return;
        file_.reset();
        writeInfo(context, quarn::recordingDurationLine(static_cast<std::uint32_t>(clock_.elapsed())));
    }

private:
    bool cannotCreate(const QString &reason, Context &context)
    {
        fail(context, FailureKind::Failed, QStringLiteral("cannot create file \"%1\": %2").arg(path_, reason));
        file_.reset();
        return false;
    }

    bool writeLine(const QByteArray &line, Context &context)
    {
        const QByteArray whole = line + quarn::RecordingLineEnd;
        if (file_->write(whole) == whole.size())
            return true;
        fail(context, FailureKind::Failed,
             QStringLiteral("cannot write to file \"%1\": %2").arg(path_, file_->errorString()));
        file_.reset();
        return false;
    }

    QString path_;
    std::unique_ptr<QIODevice> file_; // open exactly while the recording runs
    QElapsedTimer clock_;
};

} // namespace

QJsonObject debugRecordJson(const quarn::DebugRecord &record, const quarn::HarmonicBars &bars,
                            int codeLength, qint64 timeMs)
{
    QJsonArray samples;
    for (int n = 0; n < quarn::DebugRecordSampleCount; ++n)
        samples.append(record.samples[static_cast<std::size_t>(n)]);
    QJsonArray harmonics;
    for (std::size_t k = 0; k < bars.harmonics.size(); ++k)
        harmonics.append(QJsonObject{{QStringLiteral("periods"), bars.harmonics[k]},
                                     {QStringLiteral("magnitude"), bars.magnitudes[k]}});
    return QJsonObject{
        {QStringLiteral("event"), QStringLiteral("debugRecord")},
        {QStringLiteral("timeMs"), timeMs},
        {QStringLiteral("fault"), QJsonValue()},
        {QStringLiteral("headerOk"), record.headerOk},
        {QStringLiteral("absPos"), static_cast<qint64>(record.absPos)},
        {QStringLiteral("decodSelect"), record.decodSelect},
        {QStringLiteral("codeA"), record.codeA},
        {QStringLiteral("codeB"), record.codeB},
        {QStringLiteral("codeABits"), bits(codeLength, record.codeA)},
        {QStringLiteral("codeBBits"), bits(codeLength, record.codeB)},
        {QStringLiteral("mcuTemp"), record.mcuTemp},
        {QStringLiteral("cycleTime"), record.cycleTime},
        {QStringLiteral("debugStatus"), record.debugStatus},
        {QStringLiteral("vdda"), record.vdda},
        {QStringLiteral("resetCnt"), record.resetCnt},
        {QStringLiteral("harmonics"), harmonics},
        {QStringLiteral("samples"), samples},
    };
}

QJsonObject debugFaultJson(int codeLength, qint64 timeMs, const QString &fault)
{
    QJsonObject object = debugRecordJson({}, {}, codeLength, timeMs);
    for (auto value = object.begin(); value != object.end(); ++value) {
        if (value.key() != QLatin1String("event") && value.key() != QLatin1String("timeMs"))
            value.value() = QJsonValue();
    }
    object.insert(QStringLiteral("fault"), fault);
    return object;
}

QString debugRecordText(const quarn::DebugRecord &record, const quarn::HarmonicBars &bars,
                        int codeLength, qint64 timeMs)
{
    QString text = QStringLiteral("%1 ms  AbsPos %2  DecodSelect %3  CodeA %4  CodeB %5  McuTemp %6  "
                                  "CycleTime %7  Status %8  Vdda %9  ResetCnt %10\n")
                       .arg(timeMs)
                       .arg(record.absPos)
                       .arg(record.decodSelect)
                       .arg(bits(codeLength, record.codeA), bits(codeLength, record.codeB))
                       .arg(record.mcuTemp)
                       .arg(record.cycleTime)
                       .arg(bits(16, record.debugStatus))
                       .arg(record.vdda)
                       .arg(record.resetCnt);
    text += QStringLiteral("  harmonics");
    for (std::size_t k = 0; k < bars.harmonics.size(); ++k)
        text += QStringLiteral("  %1: %2").arg(bars.harmonics[k]).arg(bars.magnitudes[k], 0, 'f', 1);
    QStringList samples;
    for (int n = 0; n < quarn::DebugRecordSampleCount; ++n)
        samples.append(QString::number(record.samples[static_cast<std::size_t>(n)]));
    text += QStringLiteral("\n  samples ") + samples.join(u' ');
    return text;
}

RecordingTarget recordingTarget(const QString &recordPath, const quarn::EncoderIdentity &identity,
                                const QDateTime &start)
{
    if (!QFileInfo(recordPath).isDir())
        return {recordPath, false};
    const QString wanted = quarn::recordingFilePath(recordPath, identity.partNumber, identity.serialNumber,
                                                    quarn::recordingTimestamp(start));
    return {quarn::firstFreePath(wanted, quarn::pathExists), true};
}

int runDebug(EncoderLink &link, const DebugOptions &options, Context &context)
{
    const bool recording = !options.recordPath.isEmpty();
    RecordingTarget target;
    if (recording) {
        target = recordingTarget(options.recordPath, link.identity, options.now());
        // A run that may not write its file sends nothing.
        if (!target.namedInDirectory && !options.overwrite && quarn::pathExists(target.path))
            return fail(context, FailureKind::Failed, existingFileText(target.path));
    }
    // A recording always opens the debug mode first, as the window's does.
    if (options.unlock || recording)
        writeNote(context, QStringLiteral("debug: opening the debug mode"));
    if ((options.unlock || recording) && !unlockDebugMode(link, context))
        return ExitNotConfirmed;

    Recording file;
    if (recording) {
        writeNote(context, QStringLiteral("debug: recording to \"%1\"").arg(target.path));
        if (!file.start(target, options.overwrite, context))
            return ExitFailure;
    }

    PollState poll;
    const int minor = link.identity.firmwareMinor;
    int index = 1;
    ReadingPacer pacer(options.intervalMs);
    FaultLimit faults(options.maxErrors);
    int exitCode = ExitSuccess;
    for (qint64 done = 0; options.count == 0 || done < options.count; ++done) {
        const std::optional<qint64> start = pacer.next(context);
        if (!start)
            break;
        const qint64 startMs = *start;

        const std::optional<PollStep> step = pollAttempt(link, context, index);
        if (!step) {
            exitCode = ExitNotConfirmed;
            break;
        }
        index = nextActivePollIndex(index, minor);
        const int codeLength = link.identity.codeLength;

        // A spoilt poll reply or record is written as such and the run goes on.
        PollStep outcome = *step;
        QByteArray reply;
        if (outcome.fault.isEmpty()) {
            poll.take(*step);
            const QByteArray request(1, quarn::cmd::DebugRead);
            const serial::TransactionResult result =
                transact(link, context, request, quarn::DebugRecordLength, reply);
            if (result == serial::TransactionResult::WriteFailed || result == serial::TransactionResult::NoPort) {
                reportExchangeFailure(link, context, request, result, 0, quarn::DebugRecordLength);
                exitCode = ExitNotConfirmed;
                break;
            }
            if (result == serial::TransactionResult::Incomplete)
                outcome.fault = exchangeFailureText(link, request, result, reply.size(), quarn::DebugRecordLength);
        }
        const bool tooMany = faults.exceeded(outcome, context);
        if (!outcome.fault.isEmpty()) {
            if (options.format == OutputFormat::Json)
                writeJson(context, debugFaultJson(codeLength, startMs, outcome.fault));
            else
                writeLine(context, QStringLiteral("%1 ms  FAULT: %2").arg(startMs).arg(outcome.fault));
            if (tooMany) {
                exitCode = ExitNotConfirmed;
                break;
            }
            continue;
        }
        const quarn::DebugRecord record = quarn::decodeDebugRecord(reply);
        if (!record.headerOk)
            writeWarning(context, QStringLiteral("Debug data header mismatch!"));
        const quarn::HarmonicBars bars = quarn::analyzeCodeHarmonics(record.samples, codeLength);
        if (options.format == OutputFormat::Json)
            writeJson(context, debugRecordJson(record, bars, codeLength, startMs));
        else
            writeLine(context, debugRecordText(record, bars, codeLength, startMs));

        if (recording && !file.writeRow(poll, record, context)) {
            exitCode = ExitFailure;
            break;
        }
    }
    file.stop(context);
    return exitCode;
}

Command debugCommand()
{
    Command command;
    command.name = "debug";
    command.summary = "Read the encoder's debug record.";
    command.details = "Each reading is one poll step and one 129-byte debug record, as the window's \"Read "
                      "const\": the decoded fields, the code words and the three harmonic magnitudes. --record "
                      "writes the window's recording file (a directory gets the window's file name TEST_<part>_"
                      "<serial>_<time>.csv, with -2, -3, ... when that name is taken; a file that exists is "
                      "refused unless --overwrite is given). Ctrl+C ends the run after the current reading.";
    command.examples = "trevisor-cli debug --unlock                # one record\n"
                       "trevisor-cli debug -n 10 --record .        # ten records into a file here\n"
                       "trevisor-cli debug -n 0 --json             # until Ctrl+C, one object a line";
    command.options = {
        {{QStringLiteral("unlock")}, QStringLiteral("Open the encoder's debug mode first."), {}},
        countOption(1),
        intervalOption(),
        maxErrorsOption(),
        {{QStringLiteral("record")},
         QStringLiteral("Write each reading to the window's recording file: this file, or this directory with "
                        "the window's file name."),
         QStringLiteral("path")},
        {{QStringLiteral("overwrite")},
         QStringLiteral("Replace the file given to --record when it exists; without it such a file is refused. A "
                        "directory always gets a new file."),
         {}},
    };
    command.prepare = [](const GivenOptions &given, const CommonSettings &common) {
        DebugOptions options;
        options.format = common.format;
        QString error;
        if (!takeReadingPace(given, options, error))
            return CommandRun::refused(error);
        options.unlock = given.isSet(QStringLiteral("unlock"));
        options.overwrite = given.isSet(QStringLiteral("overwrite"));
        if (given.isSet(QStringLiteral("record"))) {
            options.recordPath = given.value(QStringLiteral("record"));
            if (options.recordPath.isEmpty())
                return CommandRun::refused(QStringLiteral("--record needs a file or a directory"));
        } else if (options.overwrite) {
            return CommandRun::refused(QStringLiteral("--overwrite goes with --record"));
        }
        CommandRun run;
        run.onEncoder = [options](EncoderLink &link, Context &context) { return runDebug(link, options, context); };
        return run;
    };
    return command;
}

} // namespace cli
