// SPDX-License-Identifier: MIT
#include "pty_server.h"

#include "line_speed.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr char StopByte = 's';
constexpr char VanishByte = 'v';
constexpr char ReappearByte = 'r';
constexpr char WakeByte = 'w';

// One start bit, eight data bits, one stop bit.
std::chrono::nanoseconds byteTime(std::int32_t baudRate)
{
    return std::chrono::nanoseconds(10'000'000'000LL / std::max(baudRate, 1));
}

} // namespace

PtyServer::PtyServer(const EncoderConfig &config)
    : start_(Clock::now())
    , model_(config, 0)
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

PtyServer::~PtyServer()
{
    removeSymlinkTo(linkPath_, terminal_.path());
    terminal_.close();
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
}

bool PtyServer::open(QString *error)
{
    if (wakeRead_ < 0) {
        if (error)
            *error = QStringLiteral("cannot create the wake-up pipe");
        return false;
    }
    std::lock_guard lock(mutex_);
    vanished_ = false;
    return terminal_.open(error);
}

QString PtyServer::portPath() const
{
    std::lock_guard lock(mutex_);
    return terminal_.path();
}

bool PtyServer::setLinkPath(const QString &path, QString *error)
{
    std::lock_guard lock(mutex_);
    if (!linkPath_.isEmpty() && linkPath_ != path)
        removeSymlinkTo(linkPath_, terminal_.path());
    linkPath_ = path;
    if (vanished_ || path.isEmpty())
        return true;
    return pointSymlink(path, terminal_.path(), error);
}

bool PtyServer::openLogFile(const QString &path, QString *error)
{
    std::lock_guard lock(mutex_);
    return log_.openFile(path, error);
}

void PtyServer::setObserver(std::function<void(const LogEntry &)> observer)
{
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

std::vector<LogEntry> PtyServer::log() const
{
    std::lock_guard lock(mutex_);
    return log_.entries();
}

void PtyServer::clearLog()
{
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::int64_t PtyServer::nowMs() const
{
    return toMs(Clock::now());
}

std::int64_t PtyServer::toMs(Clock::time_point time) const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(time - start_).count();
}

void PtyServer::requestStop()
{
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &StopByte, 1);
}

void PtyServer::requestVanish()
{
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &VanishByte, 1);
}

void PtyServer::requestReappear()
{
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &ReappearByte, 1);
}

void PtyServer::vanish()
{
    runCommand(Command::Vanish);
}

void PtyServer::reappear()
{
    runCommand(Command::Reappear);
}

void PtyServer::runCommand(Command command)
{
    std::unique_lock lock(mutex_);
    if (!serving_) {
        execute(command);
        return;
    }
    // The serving thread owns the descriptors while it runs: hand the command over and wait.
    commands_.push_back(command);
    const std::uint64_t ticket = ++commandsQueued_;
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &WakeByte, 1);
    commandDone_.wait(lock, [&] { return commandsDone_ >= ticket; });
}

void PtyServer::execute(Command command)
{
    if (command == Command::Vanish)
        doVanish();
    else
        doReappear();
}

void PtyServer::doVanish()
{
    if (vanished_)
        return;
    removeSymlinkTo(linkPath_, terminal_.path());
    terminal_.close();
    output_.clear();
    hangupUntil_.reset();
    vanished_ = true;
}

void PtyServer::doReappear()
{
    if (!vanished_)
        return;
    QString error;
    if (!terminal_.open(&error))
        return;
    vanished_ = false;
    if (!linkPath_.isEmpty())
        pointSymlink(linkPath_, terminal_.path(), &error);
}

void PtyServer::drainCommands()
{
    while (!commands_.empty()) {
        execute(commands_.front());
        commands_.pop_front();
        ++commandsDone_;
    }
    commandDone_.notify_all();
}

void PtyServer::drainWakePipe(bool &stop)
{
    char bytes[64];
    ssize_t count = 0;
    while ((count = ::read(wakeRead_, bytes, sizeof bytes)) > 0) {
        std::lock_guard lock(mutex_);
        for (ssize_t i = 0; i < count; ++i) {
            if (bytes[i] == StopByte)
                stop = true;
            else if (bytes[i] == VanishByte)
                doVanish();
            else if (bytes[i] == ReappearByte)
                doReappear();
        }
    }
    std::lock_guard lock(mutex_);
    drainCommands();
}

void PtyServer::run()
{
    {
        std::lock_guard lock(mutex_);
        serving_ = true;
    }
    bool stop = false;
    while (!stop) {
        drainWakePipe(stop);
        if (stop)
            break;
        {
            std::lock_guard lock(mutex_);
            record(model_.advance(nowMs(), lastLineBaud_), Clock::now());
        }
        writeDueBytes();
        if (hangupUntil_ && Clock::now() >= *hangupUntil_)
            hangupUntil_.reset();

        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {terminal_.masterFd(), POLLIN, 0}};
        nfds_t count = 1;
        if (terminal_.isOpen() && !hangupUntil_)
            count = 2;
        timespec timeout {};
        timespec *timeoutPointer = nullptr;
        if (const auto wakeUp = nextWakeUp()) {
            const auto wait = std::max(std::chrono::nanoseconds::zero(),
                                       std::chrono::nanoseconds(*wakeUp - Clock::now()));
            timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        const int ready = ppoll(fds, count, timeoutPointer, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && count == 2 && fds[1].revents != 0) {
            if (fds[1].revents & POLLIN) {
                readRequests();
            } else {
                // A hangup without data would wake every pass: look again a little later.
                hangupUntil_ = Clock::now() + std::chrono::milliseconds(20);
            }
        }
    }
    std::lock_guard lock(mutex_);
    serving_ = false;
    drainCommands();
    // Nothing answers behind the link any more.
    removeSymlinkTo(linkPath_, terminal_.path());
}

std::optional<PtyServer::Clock::time_point> PtyServer::nextWakeUp() const
{
    std::optional<Clock::time_point> wakeUp;
    auto consider = [&wakeUp](Clock::time_point time) {
        if (!wakeUp || time < *wakeUp)
            wakeUp = time;
    };
    if (!output_.empty())
        consider(output_.front().due);
    if (hangupUntil_)
        consider(*hangupUntil_);
    std::lock_guard lock(mutex_);
    if (const auto deadline = model_.nextDeadline())
        consider(start_ + std::chrono::milliseconds(*deadline));
    return wakeUp;
}

void PtyServer::readRequests()
{
    char buffer[4096];
    const ssize_t count = ::read(terminal_.masterFd(), buffer, sizeof buffer);
    if (count <= 0) {
        if (count == 0 || (errno != EAGAIN && errno != EINTR))
            hangupUntil_ = Clock::now() + std::chrono::milliseconds(20);
        return;
    }
    const Clock::time_point receivedAt = Clock::now();
    const std::int32_t baud = lineSpeed(terminal_.masterFd()).value_or(0);
    std::lock_guard lock(mutex_);
    lastLineBaud_ = baud;
    record(model_.receive(QByteArray(buffer, count), toMs(receivedAt), baud), receivedAt);
}

void PtyServer::record(const std::vector<Exchange> &exchanges, Clock::time_point receivedAt)
{
    for (const Exchange &exchange : exchanges) {
        log_.append(exchange.entry);
        if (observer_)
            observer_(exchange.entry);
        if (exchange.reply.isEmpty() || !terminal_.isOpen())
            continue;
        const auto perByte = byteTime(exchange.entry.baudRate);
        const auto latency = std::chrono::microseconds(model_.config().replyLatencyUs);
        const Clock::time_point begin = std::max(receivedAt + latency, outputEnd_);
        // A byte is handed over when its last bit would have arrived.
        for (qsizetype i = 0; i < exchange.reply.size(); ++i)
            output_.push_back({begin + perByte * (i + 1), exchange.reply.at(i)});
        outputEnd_ = begin + perByte * exchange.reply.size();
    }
}

void PtyServer::writeDueBytes()
{
    const Clock::time_point now = Clock::now();
    char batch[256];
    std::size_t count = 0;
    while (!output_.empty() && output_.front().due <= now && count < sizeof batch) {
        batch[count++] = output_.front().byte;
        output_.pop_front();
    }
    if (count == 0 || !terminal_.isOpen())
        return;
    // Bytes the slave has no room for are lost, as on a line nobody reads.
    [[maybe_unused]] const auto written = ::write(terminal_.masterFd(), batch, count);
}

} // namespace sim
