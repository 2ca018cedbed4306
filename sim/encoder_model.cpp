// SPDX-License-Identifier: MIT
#include "encoder_model.h"

#include "code_track.h"
#include "encoder_replies.h"
#include "quarn_konstante.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

std::int32_t int32FromBigEndian(const QByteArray &bytes)
{
    std::uint32_t value = 0;
    for (const char byte : bytes)
        value = (value << 8) | static_cast<std::uint8_t>(byte);
    return static_cast<std::int32_t>(value);
}

} // namespace

EncoderModel::EncoderModel(const EncoderConfig &config, std::int64_t nowMs)
    : config_(config)
    , geometry_(geometryOf(config.partNumber))
    , shaft_(geometry_.countsPerTurn, config.startPosition, config.speedCountsPerSecond, nowMs)
    , latchedStatus_(config.statusWord)
    , resetCount_(config.resetCount)
    , random_(config.randomSeed)
{
}

std::vector<Exchange> EncoderModel::receive(const QByteArray &bytes, std::int64_t nowMs,
                                            std::int32_t lineBaud)
{
    std::vector<Exchange> exchanges;
    for (const ParsedRequest &request : parser_.feed(bytes, nowMs))
        exchanges.push_back(handle(request, nowMs, lineBaud));
    return exchanges;
}

std::vector<Exchange> EncoderModel::advance(std::int64_t nowMs, std::int32_t lineBaud)
{
    std::vector<Exchange> exchanges;
    for (const ParsedRequest &request : parser_.expire(nowMs))
        exchanges.push_back(handle(request, nowMs, lineBaud));
    return exchanges;
}

std::optional<std::int64_t> EncoderModel::nextDeadline() const
{
    return parser_.deadline();
}

Exchange EncoderModel::handle(const ParsedRequest &request, std::int64_t nowMs,
                              std::int32_t lineBaud)
{
    Exchange exchange;
    exchange.entry.timeMs = request.timeMs;
    exchange.entry.baudRate = lineBaud;
    exchange.entry.bytes = request.bytes;
    if (lineBaud != config_.baudRate) {
        // At another rate the encoder's receiver sees other bytes than these: nothing is done.
        exchange.entry.note = ParseNote::WrongRate;
        return exchange;
    }
    switch (request.kind) {
    case RequestKind::Unknown:
        exchange.entry.note = ParseNote::Unknown;
        return exchange;
    case RequestKind::Truncated:
        exchange.entry.note = ParseNote::Truncated;
        return exchange;
    default:
        exchange.entry.note = ParseNote::Ok;
        exchange.reply = withFaults(respond(request, nowMs), request.command, nowMs);
        return exchange;
    }
}

QByteArray EncoderModel::respond(const ParsedRequest &request, std::int64_t nowMs)
{
    if (request.kind == RequestKind::DebugEntry) {
        debugMode_ = true;
        return debugEntryReply();
    }
    if (request.kind == RequestKind::Protected) {
        execute(request.command, request.arguments, nowMs);
        return {};
    }

    const char command = request.command;
    if (quarn::isPollCommand(command)) {
        PollValues values;
        values.statusWord = config_.statusWord;
        values.persistentStatusWord = persistentStatusWord();
        values.speed = shaft_.speed();
        values.temperatureC = config_.temperatureC;
        values.signalLevel = config_.signalLevel;
        if (config_.noise) {
            std::uniform_int_distribution<int> jitter(-config_.signalLevel / 50,
                                                      config_.signalLevel / 50);
            values.signalLevel = static_cast<std::uint16_t>(
                std::clamp(config_.signalLevel + jitter(random_), 0, 0xFFFF));
        }
        return pollReply(command, positionBytesAt(nowMs), values);
    }
    switch (command) {
    case quarn::cmd::Identify:
        return identificationReply(config_);
    case quarn::cmd::SelfCalStatus:
        return calibrationStatusReply(calibration_.statusAt(nowMs));
    case quarn::cmd::DebugConfirm:
        if (config_.faults.wrongConfirmEcho)
            return QByteArrayLiteral("g");
        return debugMode_ ? QByteArrayLiteral("G") : QByteArray();
    case quarn::cmd::DebugRead:
        return debugMode_ ? debugRecordAt(nowMs) : QByteArray();
    default:
        return {};
    }
}

void EncoderModel::execute(char command, const QByteArray &arguments, std::int64_t nowMs)
{
    switch (command) {
    case quarn::cmd::MultiturnZero:
        shaft_.zeroMultiturn(nowMs);
        break;
    case quarn::cmd::ZeroOffset: {
        // The value 2 clears the offset; any other value is the raw position that reads 0.
        const std::int32_t value = int32FromBigEndian(arguments);
        if (value == 2)
            shaft_.clearZeroOffset();
        else
            shaft_.setZeroOffset(value);
        break;
    }
    case quarn::cmd::Save:
        savedSettings_ = shaft_.settings();
        ++saveCount_;
        break;
    case quarn::cmd::FactoryReset:
        shaft_.setSettings({});
        savedSettings_ = {};
        latchedStatus_ = 0;
        break;
    case quarn::cmd::ResetPersistentStatus:
        latchedStatus_ = 0;
        break;
    case quarn::cmd::SelfCalArc:
        calibration_.setArc(static_cast<std::uint16_t>(int32FromBigEndian(arguments)));
        break;
    case quarn::cmd::SelfCalTimeout:
        calibration_.setTimeout(static_cast<std::uint8_t>(int32FromBigEndian(arguments)));
        break;
    case quarn::cmd::SelfCalStart:
        calibration_.start(nowMs, config_.selfCalibration);
        break;
    default:
        break;
    }
}

QByteArray EncoderModel::positionBytesAt(std::int64_t nowMs) const
{
    const ShaftReading reading = shaft_.readingAt(nowMs);
    const std::int16_t turns = geometry_.multiturn ? reading.turns : std::int16_t{0};
    return positionBytes(positionWord(reading.singleTurn, turns, geometry_.bits,
                                      config_.faults.errorFlag),
                         geometry_.multiturn);
}

QByteArray EncoderModel::debugRecordAt(std::int64_t nowMs)
{
    const ShaftReading reading = shaft_.readingAt(nowMs);
    const int codeLength = geometry_.codeLength;
    const std::uint16_t word = codeWordAt(
        codeLength, codePositionOf(codeLength, reading.rawSingleTurn, geometry_.countsPerTurn));

    DebugRecordFields fields;
    fields.header = config_.faults.wrongDebugHeader ? 'd' : 'D';
    fields.samples = codeTrackSamples(word, codeLength, 900.0, config_.noise ? &random_ : nullptr);
    fields.absPos = reading.rawSingleTurn;
    fields.decodSelect = decodeSelect(codeLength);
    fields.codeA = word;
    fields.codeB = word;
    fields.mcuTemp = static_cast<std::uint16_t>((config_.temperatureC + 6) * 100);
    std::uniform_int_distribution<int> jitter(-12, 12);
    fields.cycleTime = static_cast<std::uint16_t>(4800 + jitter(random_));
    fields.debugStatus = config_.statusWord;
    fields.vdda = static_cast<std::uint16_t>(3300 + jitter(random_));
    fields.resetCount = resetCount_;
    return debugRecord(fields);
}

QByteArray EncoderModel::withFaults(QByteArray reply, char command, std::int64_t nowMs)
{
    if (reply.isEmpty())
        return reply;
    const FaultConfig &faults = config_.faults;
    if (faults.silentFromMs && nowMs >= *faults.silentFromMs)
        return {};
    ++replyCount_;
    if (faults.garbageEvery > 0
        && replyCount_ % static_cast<std::uint64_t>(faults.garbageEvery) == 0) {
        std::uniform_int_distribution<int> byte(0, 255);
        for (char &c : reply)
            c = static_cast<char>(byte(random_));
        return reply;
    }
    if (faults.mixedFaultEvery > 0
        && ++repliesPerCommand_[static_cast<std::uint8_t>(command)]
                   % static_cast<std::uint64_t>(faults.mixedFaultEvery)
               == 0)
        return withMixedFault(std::move(reply), command);
    if (faults.shortReplies)
        reply.chop(1);
    return reply;
}

QByteArray EncoderModel::withMixedFault(QByteArray reply, char command)
{
    switch (mixedFaultCount_++ % 3) {
    case 0: {
        std::uniform_int_distribution<int> byte(0, 255);
        for (char &c : reply)
            c = static_cast<char>(byte(random_));
        return reply;
    }
    case 1:
        reply.chop(1);
        return reply;
    default:
        break;
    }
    if (quarn::isPollCommand(command)) {
        // Bit 1 of the word's last byte, active low; "3" has no echo before the word.
        const qsizetype wordEnd = (command == '3' ? 0 : 1) + (geometry_.multiturn ? 5 : 3);
        if (reply.size() >= wordEnd)
            reply[wordEnd - 1] = static_cast<char>(reply.at(wordEnd - 1) & ~0x02);
    }
    return reply;
}

EncoderSnapshot EncoderModel::snapshot(std::int64_t nowMs)
{
    EncoderSnapshot snapshot;
    snapshot.rawPosition = shaft_.rawAt(nowMs);
    snapshot.reading = shaft_.readingAt(nowMs);
    snapshot.settings = shaft_.settings();
    snapshot.savedSettings = savedSettings_;
    snapshot.debugMode = debugMode_;
    snapshot.statusWord = config_.statusWord;
    snapshot.persistentStatusWord = persistentStatusWord();
    snapshot.calibration = calibration_.statusAt(nowMs);
    snapshot.calibrationArc = calibration_.arc();
    snapshot.calibrationTimeout = calibration_.timeout();
    snapshot.saveCount = saveCount_;
    return snapshot;
}

void EncoderModel::setSpeed(std::int32_t countsPerSecond, std::int64_t nowMs)
{
    shaft_.setSpeed(countsPerSecond, nowMs);
    config_.speedCountsPerSecond = countsPerSecond;
}

void EncoderModel::setPosition(std::int64_t rawCounts, std::int64_t nowMs)
{
    shaft_.setRaw(rawCounts, nowMs);
}

void EncoderModel::setStatusWord(std::uint16_t word)
{
    config_.statusWord = word;
    latchedStatus_ |= word;
}

void EncoderModel::setSelfCalibration(const SelfCalibrationConfig &selfCalibration)
{
    config_.selfCalibration = selfCalibration;
}

} // namespace sim
