// SPDX-License-Identifier: MIT
#include "simulated_encoder.h"

#include "pty_server.h"

#include <stdexcept>

namespace sim {

SimulatedEncoder::SimulatedEncoder(const EncoderConfig &config)
    : server_(std::make_unique<PtyServer>(config))
{
    QString error;
    if (!server_->open(&error))
        throw std::runtime_error(error.toStdString());
    thread_ = std::thread([server = server_.get()] { server->run(); });
}

SimulatedEncoder::~SimulatedEncoder()
{
    stop();
}

void SimulatedEncoder::stop()
{
    if (thread_.joinable()) {
        server_->requestStop();
        thread_.join();
    }
}

QString SimulatedEncoder::portPath() const
{
    return server_->portPath();
}

bool SimulatedEncoder::setLinkPath(const QString &path)
{
    return server_->setLinkPath(path, nullptr);
}

std::vector<LogEntry> SimulatedEncoder::log() const
{
    return server_->log();
}

void SimulatedEncoder::clearLog()
{
    server_->clearLog();
}

bool SimulatedEncoder::writeLogTo(const QString &path)
{
    return server_->openLogFile(path, nullptr);
}

std::int64_t SimulatedEncoder::nowMs() const
{
    return server_->nowMs();
}

template <typename Change>
void SimulatedEncoder::changeFaults(Change &&change)
{
    server_->withModel([&](EncoderModel &model, std::int64_t now) {
        FaultConfig faults = model.faults();
        change(faults, now);
        model.setFaults(faults);
    });
}

void SimulatedEncoder::setFaults(const FaultConfig &faults)
{
    changeFaults([&](FaultConfig &f, std::int64_t) { f = faults; });
}

FaultConfig SimulatedEncoder::faults() const
{
    return server_->withModel([](EncoderModel &model, std::int64_t) { return model.faults(); });
}

void SimulatedEncoder::setErrorFlag(bool on)
{
    changeFaults([on](FaultConfig &f, std::int64_t) { f.errorFlag = on; });
}

void SimulatedEncoder::setSilent(bool on)
{
    changeFaults([on](FaultConfig &f, std::int64_t now) {
        f.silentFromMs = on ? std::optional<std::int64_t>(now) : std::nullopt;
    });
}

void SimulatedEncoder::setSilentFrom(std::optional<std::int64_t> ms)
{
    changeFaults([ms](FaultConfig &f, std::int64_t) { f.silentFromMs = ms; });
}

void SimulatedEncoder::setShortReplies(bool on)
{
    changeFaults([on](FaultConfig &f, std::int64_t) { f.shortReplies = on; });
}

void SimulatedEncoder::setWrongDebugHeader(bool on)
{
    changeFaults([on](FaultConfig &f, std::int64_t) { f.wrongDebugHeader = on; });
}

void SimulatedEncoder::setWrongConfirmEcho(bool on)
{
    changeFaults([on](FaultConfig &f, std::int64_t) { f.wrongConfirmEcho = on; });
}

void SimulatedEncoder::setGarbageEvery(int n)
{
    changeFaults([n](FaultConfig &f, std::int64_t) { f.garbageEvery = n; });
}

void SimulatedEncoder::setMixedFaultEvery(int n)
{
    changeFaults([n](FaultConfig &f, std::int64_t) { f.mixedFaultEvery = n; });
}

void SimulatedEncoder::setSpeed(std::int32_t countsPerSecond)
{
    server_->withModel(
        [&](EncoderModel &model, std::int64_t now) { model.setSpeed(countsPerSecond, now); });
}

void SimulatedEncoder::setPosition(std::int64_t rawCounts)
{
    server_->withModel(
        [&](EncoderModel &model, std::int64_t now) { model.setPosition(rawCounts, now); });
}

void SimulatedEncoder::setStatusWord(std::uint16_t word)
{
    server_->withModel([&](EncoderModel &model, std::int64_t) { model.setStatusWord(word); });
}

void SimulatedEncoder::setTemperature(std::int8_t celsius)
{
    server_->withModel([&](EncoderModel &model, std::int64_t) { model.setTemperature(celsius); });
}

void SimulatedEncoder::setSignalLevel(std::uint16_t level)
{
    server_->withModel([&](EncoderModel &model, std::int64_t) { model.setSignalLevel(level); });
}

void SimulatedEncoder::setSelfCalibration(const SelfCalibrationConfig &selfCalibration)
{
    server_->withModel(
        [&](EncoderModel &model, std::int64_t) { model.setSelfCalibration(selfCalibration); });
}

void SimulatedEncoder::setReplyLatencyUs(std::int64_t latency)
{
    server_->withModel([&](EncoderModel &model, std::int64_t) { model.setReplyLatencyUs(latency); });
}

EncoderSnapshot SimulatedEncoder::snapshot() const
{
    return server_->withModel(
        [](EncoderModel &model, std::int64_t now) { return model.snapshot(now); });
}

void SimulatedEncoder::vanish()
{
    server_->vanish();
}

void SimulatedEncoder::reappear()
{
    server_->reappear();
}

} // namespace sim
