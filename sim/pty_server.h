// SPDX-License-Identifier: MIT
#pragma once

// Serves the encoder model on a pseudo-terminal: reads requests with the line's baud rate,
// answers only at the encoder's own rate, and sends each reply after the reply latency at the
// pace of the line (10 bits a byte). One thread runs run(); the other members may be called from
// any thread.

#include "encoder_config.h"
#include "encoder_model.h"
#include "pseudo_terminal.h"
#include "request_log.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace sim {

class PtyServer {
public:
    explicit PtyServer(const EncoderConfig &config);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Opens the pseudo-terminal. False with the reason when it cannot.
    bool open(QString *error);
    // The device path of the port; empty while the port has vanished.
    QString portPath() const;
    // Keeps a symbolic link at `path` pointing to the port, also after it reappears.
    bool setLinkPath(const QString &path, QString *error);
    bool openLogFile(const QString &path, QString *error);
    // Called on the serving thread for every request, after it has been logged.
    void setObserver(std::function<void(const LogEntry &)> observer);

    // Serves until a stop is requested; then removes the link.
    void run();
    // These three only write a byte to a pipe, so a signal handler may call them.
    void requestStop();
    void requestVanish();
    void requestReappear();

    // The port disappears (the client's next read or write fails) and its link is removed.
    void vanish();
    // A new pseudo-terminal replaces it, and the link points to the new one.
    void reappear();

    std::vector<LogEntry> log() const;
    void clearLog();
    // The model's clock: milliseconds since the server was made.
    std::int64_t nowMs() const;

    // Runs `action(model, nowMs)` with the model locked against the serving thread.
    template <typename Action>
    auto withModel(Action &&action)
    {
        std::lock_guard lock(mutex_);
        return action(model_, nowMs());
    }

private:
    using Clock = std::chrono::steady_clock;
    struct PendingByte {
        Clock::time_point due;
        char byte;
    };
    enum class Command { Vanish, Reappear };

    void runCommand(Command command);
    void execute(Command command);
    void doVanish();
    void doReappear();
    void drainWakePipe(bool &stop);
    void drainCommands();
    void readRequests();
    void record(const std::vector<Exchange> &exchanges, Clock::time_point receivedAt);
    void writeDueBytes();
    std::optional<Clock::time_point> nextWakeUp() const;
    std::int64_t toMs(Clock::time_point time) const;

    const Clock::time_point start_;
    mutable std::mutex mutex_;
    std::condition_variable commandDone_;
    EncoderModel model_;
    RequestLog log_;
    std::function<void(const LogEntry &)> observer_;
    PseudoTerminal terminal_;
    QString linkPath_;
    bool vanished_ = false;
    bool serving_ = false;
    std::deque<Command> commands_;
    std::uint64_t commandsQueued_ = 0;
    std::uint64_t commandsDone_ = 0;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::int32_t lastLineBaud_ = 0;
    std::deque<PendingByte> output_;
    Clock::time_point outputEnd_;
    std::optional<Clock::time_point> hangupUntil_;
};

} // namespace sim
