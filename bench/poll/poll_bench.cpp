// SPDX-License-Identifier: MIT
// The real window, offscreen, against simulated encoders on pseudo-terminals:
//  1. a search over one silent port and one answering port: wall time and processor time;
//  2. polling at 115200 baud with the poll interval at 10 ms: poll steps per second against
//     the timer's rate, processor time per second of wall time, and the time from the reply's
//     last byte reaching the window to DecodeResponse returning.
// The waits block in the driver, so processor time should stay a small fraction of the wall time.
// With --bare, step 2 runs the same exchanges on the same link from a plain loop instead of the
// window: what the link, the waits and the machine's wake-ups cost before the window adds
// anything. With --idle, the window runs a timer of the poll interval that does nothing: what an
// event loop waking at that rate costs on this machine, with the window in the same state. With
// --floor, a plain window of the form's size runs that empty timer instead of the form (shown,
// minimised or covered as asked): what any Qt program with a window of that size costs when woken
// at the poll interval, the floor the window's figures are measured against. With --split, the
// window thread's time is also split into the exchange, DecodeResponse and the rest.

#include "main_form.h"

#include "bench_support.h"

#include "poll_decoding.h"
#include "quarn_konstante.h"
#include "transaction.h"

#include "qt_serial_port.h"
#include "serial_port.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QSize>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// When the last bytes of a reply were taken from the driver and the request's last byte left.
// With `splitCpu`, also the window thread's processor time at the start of the exchange (the
// purge that opens it). Reading a thread's processor time is a system call, costly on a virtual
// machine: three a step would add to the very figure they split, so they are taken only when
// asked for.
struct PortTimes {
    Clock::time_point lastRead;
    Clock::time_point lastWrite;
    bool splitCpu = false;
    double exchangeStartCpu = 0.0;
};

// A real port that notes when bytes came in and went out.
class TimedPort final : public serial::SerialPort {
public:
    explicit TimedPort(PortTimes &times) : times_(times) {}

    bool open(const QString &path) override { return port_.open(path); }
    bool isOpen() const override { return port_.isOpen(); }
    bool configure(qint32 baudRate) override { return port_.configure(baudRate); }
    qint32 baudRate() const override { return port_.baudRate(); }
    void purge() override
    {
        if (times_.splitCpu)
            times_.exchangeStartCpu = bench::threadCpuSeconds();
        port_.purge();
    }
    bool writeByte(char byte) override
    {
        const bool ok = port_.writeByte(byte);
        times_.lastWrite = Clock::now();
        return ok;
    }
    qint64 bytesWaiting() override { return port_.bytesWaiting(); }
    bool waitForInput(int timeoutMs) override { return port_.waitForInput(timeoutMs); }
    QByteArray read(qint64 maxBytes) override
    {
        QByteArray bytes = port_.read(maxBytes);
        if (!bytes.isEmpty())
            times_.lastRead = Clock::now();
        return bytes;
    }
    void close() override { port_.close(); }
    QString errorText() const override { return port_.errorText(); }

private:
    serial::QtSerialPort port_;
    PortTimes &times_;
};

class BenchForm : public TMainForm {
public:
    QList<serial::PortEntry> ports;
    PortTimes times;
    bool timing = false;
    std::vector<double> readToDecodedUs;
    std::vector<double> requestToDecodedUs;
    std::vector<int> replyLengths;
    std::vector<double> decodeUs;
    long decodes = 0;
    // Window-thread processor time spent in exchanges with the port and in DecodeResponse.
    double exchangeCpu = 0.0;
    double decodeCpu = 0.0;

    QList<serial::PortEntry> listPorts() const override { return ports; }

protected:
    void showMessage(MessageKind, const QString &text) override
    {
        std::printf("  message: %s\n", qPrintable(text));
    }
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        return std::make_unique<TimedPort>(times);
    }
    void DecodeResponse(int index) override
    {
        const auto length = static_cast<int>(RxBuffer.size());
        const double startCpu = times.splitCpu ? bench::threadCpuSeconds() : 0.0;
        const Clock::time_point start = Clock::now();
        TMainForm::DecodeResponse(index);
        const Clock::time_point done = Clock::now();
        ++decodes;
        if (!timing)
            return;
        if (times.splitCpu) {
            exchangeCpu += startCpu - times.exchangeStartCpu;
            decodeCpu += bench::threadCpuSeconds() - startCpu;
        }
        readToDecodedUs.push_back(
            std::chrono::duration<double, std::micro>(done - times.lastRead).count());
        requestToDecodedUs.push_back(
            std::chrono::duration<double, std::micro>(done - times.lastWrite).count());
        replyLengths.push_back(length);
        decodeUs.push_back(std::chrono::duration<double, std::micro>(done - start).count());
    }
};

// Counts the paint events each widget receives, to show what a poll step repaints, and the
// events of each type the window's thread delivers, to show what else a step costs.
class PaintCounter : public QObject {
public:
    std::map<QString, long> counts;
    std::map<int, long> eventTypes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        ++eventTypes[static_cast<int>(event->type())];
        if (event->type() == QEvent::Paint) {
            const QString name = watched->objectName().isEmpty()
                                     ? QString::fromLatin1(watched->metaObject()->className())
                                     : watched->objectName();
            ++counts[name];
        }
        return false;
    }
};

// The poll cycle's exchanges from a loop that sleeps to each tick on the monotonic clock, with
// no event loop, decoding or painting; printed in the form of the window's figures.
int runBareLoop(const QString &portPath, int seconds, int interval)
{
    serial::QtSerialPort port;
    if (!port.open(portPath) || !port.configure(115200)) {
        std::fputs("poll_bench: cannot open the simulated encoder's port\n", stderr);
        return 1;
    }
    const int steps = seconds * 1000 / interval;
    QByteArray reply;
    long complete = 0;
    const double threadStart = bench::threadCpuSeconds();
    const bench::ThreadUsage usageStart = bench::threadUsage();
    QElapsedTimer wall;
    wall.start();
    timespec tick{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    for (int step = 0, index = 1; step < steps; ++step, index = quarn::nextPollIndex(index)) {
        tick.tv_nsec += interval * 1000000L;
        if (tick.tv_nsec >= 1000000000L) {
            tick.tv_nsec -= 1000000000L;
            ++tick.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
        const QByteArray request(1, quarn::pollCommand(index));
        if (serial::runTransaction(&port, request, quarn::pollReplyLength(1, index), reply)
            == serial::TransactionResult::Complete)
            ++complete;
    }
    const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double threadSeconds = bench::threadCpuSeconds() - threadStart;
    const auto wakeUps = static_cast<double>(bench::threadUsage().wakeUps - usageStart.wakeUps);
    const double timerRate = 1000.0 / interval;
    std::printf("Bare exchange loop at 115200 baud, interval %d ms, %.2f s (no window)\n", interval,
                wallSeconds);
    std::printf("  poll steps %ld: %.1f per second, %.1f %% of the timer's %.1f per second\n", complete,
                static_cast<double>(complete) / wallSeconds,
                100.0 * static_cast<double>(complete) / wallSeconds / timerRate, timerRate);
    std::printf("  window thread CPU %.4f s: %.2f %% of one core\n", threadSeconds,
                100.0 * threadSeconds / wallSeconds);
    std::printf("  window thread woken %.1f times per second, %.2f per poll step\n", wakeUps / wallSeconds,
                complete > 0 ? wakeUps / static_cast<double>(complete) : 0.0);
    return 0;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits until `window` is no longer exposed; false when it still is after three seconds.
bool waitUntilUnexposed(QWidget &window)
{
    QElapsedTimer waited;
    waited.start();
    while (window.windowHandle()->isExposed() && waited.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !window.windowHandle()->isExposed();
}

// The window's client area when it starts: the floor window takes the same size.
constexpr QSize FormClientSize(717, 505);

enum class Showing { Shown, Hidden, Minimised, Covered };

// A plain window of the form's size, shown as asked, whose thread does nothing but an empty
// timer at the poll interval; printed in the form of the window's figures.
int runFloor(Showing showing, int seconds, int interval)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("poll_bench floor"));
    window.setFixedSize(FormClientSize);
    QWidget cover(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    if (showing != Showing::Hidden) {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            std::fputs("poll_bench: the floor window was not exposed\n", stderr);
    }
    if (showing == Showing::Minimised) {
        window.showMinimized();
        if (!waitUntilUnexposed(window)) {
            std::fputs("poll_bench: the minimised floor window is still exposed\n", stderr);
            return 2;
        }
    }
    if (showing == Showing::Covered) {
        cover.setAutoFillBackground(true);
        cover.setGeometry(window.frameGeometry().adjusted(-20, -20, 20, 20));
        cover.show();
        if (!QTest::qWaitForWindowExposed(&cover)) {
            std::fputs("poll_bench: the covering window was not shown (offscreen?)\n", stderr);
            return 2;
        }
    }
    // Settle what showing the window started before measuring.
    runEventLoopFor(200);

    long ticks = 0;
    QTimer timer;
    timer.setInterval(interval);
    QObject::connect(&timer, &QTimer::timeout, &window, [&ticks] { ++ticks; });
    const double threadStart = bench::threadCpuSeconds();
    const bench::ThreadUsage usageStart = bench::threadUsage();
    QElapsedTimer wall;
    wall.start();
    timer.start();
    runEventLoopFor(seconds * 1000);
    timer.stop();
    const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double threadSeconds = bench::threadCpuSeconds() - threadStart;
    const auto wakeUps = static_cast<double>(bench::threadUsage().wakeUps - usageStart.wakeUps);
    const double timerRate = 1000.0 / interval;
    std::printf("A plain window of the form's size with an empty timer, interval %d ms, %.2f s (the floor)\n",
                interval, wallSeconds);
    std::printf("  poll steps %ld: %.1f per second, %.1f %% of the timer's %.1f per second\n", ticks,
                static_cast<double>(ticks) / wallSeconds,
                100.0 * static_cast<double>(ticks) / wallSeconds / timerRate, timerRate);
    std::printf("  window thread CPU %.4f s: %.2f %% of one core\n", threadSeconds,
                100.0 * threadSeconds / wallSeconds);
    std::printf("  window thread woken %.1f times per second, %.2f per poll step\n", wakeUps / wallSeconds,
                ticks > 0 ? wakeUps / static_cast<double>(ticks) : 0.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Search and poll-cycle figures of the window against simulated encoders."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long to poll (at least 1)."),
                                           QStringLiteral("seconds"), QStringLiteral("10"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral("Poll interval in ms, 10 to 1000."),
                                            QStringLiteral("ms"), QStringLiteral("10"));
    const QCommandLineOption speedOption(QStringLiteral("speed"),
                                         QStringLiteral("Shaft speed of the simulated encoder in counts per second."),
                                         QStringLiteral("counts"), QStringLiteral("5000"));
    const QCommandLineOption hiddenOption(QStringLiteral("hidden"),
                                          QStringLiteral("Leave the window unshown, so nothing is painted."));
    parser.addOption(secondsOption);
    parser.addOption(intervalOption);
    parser.addOption(speedOption);
    parser.addOption(hiddenOption);
    const QCommandLineOption minimisedOption(
        QStringLiteral("minimised"),
        QStringLiteral("Show the window, then minimise it (needs a window system that hides it)."));
    parser.addOption(minimisedOption);
    const QCommandLineOption coveredOption(
        QStringLiteral("covered"),
        QStringLiteral("Show the window, then cover it wholly with a window of its own (needs an X server)."));
    parser.addOption(coveredOption);
    const QCommandLineOption bareOption(QStringLiteral("bare"),
                                        QStringLiteral("Poll from a plain loop without the window, for comparison."));
    parser.addOption(bareOption);
    const QCommandLineOption idleOption(
        QStringLiteral("idle"),
        QStringLiteral("Instead of polling, run an empty timer at the poll interval, for comparison."));
    parser.addOption(idleOption);
    const QCommandLineOption floorOption(
        QStringLiteral("floor"),
        QStringLiteral("Instead of the form, run a plain window of its size with an empty timer at the "
                       "poll interval (shown, --hidden, --minimised or --covered): the floor."));
    parser.addOption(floorOption);
    const QCommandLineOption paintsOption(QStringLiteral("paints"),
                                          QStringLiteral("Also list the paint events per widget while polling."));
    parser.addOption(paintsOption);
    const QCommandLineOption splitOption(
        QStringLiteral("split"),
        QStringLiteral("Also split the window thread's processor time into the exchange, DecodeResponse "
                       "and the rest (three more system calls a step, which the total then includes)."));
    parser.addOption(splitOption);
    parser.process(app);
    bool secondsOk = false;
    const int seconds = parser.value(secondsOption).toInt(&secondsOk);
    bool intervalOk = false;
    const int interval = parser.value(intervalOption).toInt(&intervalOk);
    if (!secondsOk || seconds < 1 || !intervalOk || interval < 10 || interval > 1000) {
        std::fputs("poll_bench: --seconds takes a positive count, --interval 10 to 1000\n", stderr);
        return 2;
    }

    if (parser.isSet(floorOption)) {
        const Showing showing = parser.isSet(hiddenOption)      ? Showing::Hidden
                                : parser.isSet(minimisedOption) ? Showing::Minimised
                                : parser.isSet(coveredOption)   ? Showing::Covered
                                                                : Showing::Shown;
        return runFloor(showing, seconds, interval);
    }

    sim::EncoderConfig silentConfig;
    silentConfig.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(silentConfig);
    sim::EncoderConfig config;
    config.baudRate = 115200;
    config.speedCountsPerSecond = parser.value(speedOption).toInt();
    sim::SimulatedEncoder encoder(config);

    if (parser.isSet(bareOption))
        return runBareLoop(encoder.portPath(), seconds, interval);

    BenchForm form;
    form.InitTimer->stop();
    // Shown, so that the readouts, lamps and dial are really painted.
    if (!parser.isSet(hiddenOption))
        form.show();
    if (parser.isSet(minimisedOption)) {
        if (!QTest::qWaitForWindowExposed(&form))
            std::fputs("poll_bench: the window was not exposed before minimising\n", stderr);
        form.showMinimized();
        if (!waitUntilUnexposed(form)) {
            std::fputs("poll_bench: the minimised window is still exposed (offscreen, or no window "
                       "manager)\n",
                       stderr);
            return 2;
        }
    }
    // A frameless window outside the window manager's control, on top of the whole window.
    QWidget cover(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    if (parser.isSet(coveredOption)) {
        if (!QTest::qWaitForWindowExposed(&form))
            std::fputs("poll_bench: the window was not exposed before covering it\n", stderr);
        cover.setAutoFillBackground(true);
        cover.setGeometry(form.frameGeometry().adjusted(-20, -20, 20, 20));
        cover.show();
        if (!QTest::qWaitForWindowExposed(&cover)) {
            std::fputs("poll_bench: the covering window was not shown (offscreen?)\n", stderr);
            return 2;
        }
    }
    form.ports = serial::extraPortEntries(silent.portPath() + u':' + encoder.portPath());
    auto *readEncoder = form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));

    // 1. The search: seven silent windows on the first port, the first rate on the second.
    {
        const double processStart = bench::processCpuSeconds();
        const double threadStart = bench::threadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        form.InitTimer->setInterval(0);
        form.InitTimer->start();
        while (!readEncoder->isChecked() && wall.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        if (!readEncoder->isChecked()) {
            std::fputs("poll_bench: the search did not find the simulated encoder\n", stderr);
            return 1;
        }
        const double processSeconds = bench::processCpuSeconds() - processStart;
        const double threadSeconds = bench::threadCpuSeconds() - threadStart;
        std::printf("Search over one silent and one answering port (115200)\n"
                    "  wall %.3f s, window thread CPU %.4f s (%.2f %%), process CPU %.4f s "
                    "(%.2f %%, includes both simulators)\n",
                    wallSeconds, threadSeconds, 100.0 * threadSeconds / wallSeconds,
                    processSeconds, 100.0 * processSeconds / wallSeconds);
    }

    // 2. Polling at the set interval.
    readEncoder->setChecked(false);
    form.findChild<QSpinBox *>(QStringLiteral("seDelay"))->setValue(interval);
    form.decodes = 0;
    form.timing = true;
    form.times.splitCpu = parser.isSet(splitOption);
    const double processStart = bench::processCpuSeconds();
    const double threadStart = bench::threadCpuSeconds();
    const bench::ThreadUsage usageStart = bench::threadUsage();
    QElapsedTimer wall;
    wall.start();
    PaintCounter paints;
    if (parser.isSet(paintsOption))
        app.installEventFilter(&paints);
    // The idle floor counts its ticks as steps; the timer is of the poll timer's type.
    QTimer idleTimer;
    idleTimer.setInterval(interval);
    QObject::connect(&idleTimer, &QTimer::timeout, &form, [&form] { ++form.decodes; });
    const bool idle = parser.isSet(idleOption);
    if (idle)
        idleTimer.start();
    else
        readEncoder->setChecked(true);
    runEventLoopFor(seconds * 1000);
    idleTimer.stop();
    readEncoder->setChecked(false);
    app.removeEventFilter(&paints);
    const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double processSeconds = bench::processCpuSeconds() - processStart;
    const double threadSeconds = bench::threadCpuSeconds() - threadStart;
    const bench::ThreadUsage usageEnd = bench::threadUsage();

    const double stepsPerSecond = static_cast<double>(form.decodes) / wallSeconds;
    const double timerRate = 1000.0 / interval;
    std::printf(idle ? "An empty timer instead of polling, interval %d ms, %.2f s\n"
                     : "Polling at 115200 baud, interval %d ms, %.2f s\n",
                interval, wallSeconds);
    std::printf("  poll steps %ld: %.1f per second, %.1f %% of the timer's %.1f per second\n",
                form.decodes, stepsPerSecond, 100.0 * stepsPerSecond / timerRate, timerRate);
    std::printf("  window thread CPU %.4f s: %.2f %% of one core\n", threadSeconds,
                100.0 * threadSeconds / wallSeconds);
    // The exchange begins at the purge and ends when the reply is complete; the rest is the
    // event loop, its timers and painting.
    if (form.times.splitCpu)
        std::printf("    exchange with the port %.2f %%, DecodeResponse %.2f %%, the rest (event loop, "
                    "timers, painting) %.2f %%\n",
                    100.0 * form.exchangeCpu / wallSeconds, 100.0 * form.decodeCpu / wallSeconds,
                    100.0 * (threadSeconds - form.exchangeCpu - form.decodeCpu) / wallSeconds);
    std::printf("    of which user %.2f %%, system %.2f %% (getrusage, in ticks of the kernel)\n",
                100.0 * (usageEnd.user - usageStart.user) / wallSeconds,
                100.0 * (usageEnd.system - usageStart.system) / wallSeconds);
    const auto wakeUps = static_cast<double>(usageEnd.wakeUps - usageStart.wakeUps);
    std::printf("  window thread woken %.1f times per second, %.2f per poll step\n", wakeUps / wallSeconds,
                form.decodes > 0 ? wakeUps / static_cast<double>(form.decodes) : 0.0);
    std::printf("  process CPU (getrusage, includes the simulator's thread) %.4f s: %.2f %% of one "
                "core\n",
                processSeconds, 100.0 * processSeconds / wallSeconds);
    std::printf("  last reply byte read -> DecodeResponse returned: median %.1f us, 95th "
                "percentile %.1f us\n",
                bench::percentile(form.readToDecodedUs, 0.5), bench::percentile(form.readToDecodedUs, 0.95));
    std::printf("  DecodeResponse alone: median %.1f us, 95th percentile %.1f us\n",
                bench::percentile(form.decodeUs, 0.5), bench::percentile(form.decodeUs, 0.95));
    // On the line a reply takes the encoder's latency plus 10 bits a byte; the rest of this
    // figure is the window's own part of a step.
    std::vector<double> beyondLine;
    for (std::size_t at = 0; at < form.requestToDecodedUs.size(); ++at) {
        const double lineUs = static_cast<double>(config.replyLatencyUs)
                              + form.replyLengths[at] * 10.0 * 1e6 / config.baudRate;
        beyondLine.push_back(form.requestToDecodedUs[at] - lineUs);
    }
    std::printf("  request's last byte -> DecodeResponse returned: median %.1f us; beyond the "
                "reply's line time (latency %lld us + 10 bits a byte): median %.1f us\n",
                bench::percentile(form.requestToDecodedUs, 0.5), static_cast<long long>(config.replyLatencyUs),
                bench::percentile(beyondLine, 0.5));
    std::printf("  angle shown at the end: %s\n",
                qPrintable(form.findChild<QLabel *>(QStringLiteral("pnlAbsPosDeg"))->text()));
    if (!paints.counts.empty()) {
        std::printf("  paint events per second while polling:\n");
        for (const auto &[name, count] : paints.counts)
            std::printf("    %-28s %7.1f\n", qPrintable(name), static_cast<double>(count) / wallSeconds);
        std::printf("  events per second by type (QEvent::Type) while polling:\n");
        for (const auto &[type, count] : paints.eventTypes)
            std::printf("    %-28d %7.1f\n", type, static_cast<double>(count) / wallSeconds);
    }
    return 0;
}
