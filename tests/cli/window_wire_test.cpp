// SPDX-License-Identifier: MIT
// The companion sends what the window sends: "Set zero here" and "Start Self-Cal" run in the
// window and the matching sub-commands run against identical simulated encoders, and the
// encoders' request logs are compared byte for byte, in order. The pauses differ only by
// scheduling and are bounded separately.

#include "cli_harness.h"
#include "test_form.h"

#include "simulated_encoder.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

sim::EncoderConfig encoderConfig()
{
    sim::EncoderConfig config;
    config.startPosition = 7 * 262144 + 123456;
    // Between two status requests of the wait (one every 100 ms and a little), far enough from
    // both that the two sides see the change at the same request.
    config.selfCalibration.durationMs = 660;
    return config;
}

// The simulator logs on its own thread, a little after the last request left: the log is taken
// once it has stayed the same for 100 ms.
std::vector<sim::LogEntry> settledLog(const sim::SimulatedEncoder &encoder)
{
    std::size_t size = encoder.log().size();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 100) {
        QThread::msleep(5);
        if (encoder.log().size() != size) {
            size = encoder.log().size();
            quiet.restart();
        }
    }
    return encoder.log();
}

std::vector<QByteArray> bytesOf(const std::vector<sim::LogEntry> &log)
{
    std::vector<QByteArray> bytes;
    for (const sim::LogEntry &entry : log)
        bytes.push_back(entry.bytes);
    return bytes;
}

// The window's requests after a click, from an encoder it has identified.
std::vector<sim::LogEntry> windowRequests(sim::SimulatedEncoder &encoder, const char *button,
                                          const std::function<void(TestForm &)> &prepare)
{
    TestForm form;
    form.InitTimer->stop();
    EXPECT_TRUE(form.openRealPort(encoder.portPath()));
    EXPECT_TRUE(form.identifyOpenEncoder());
    prepare(form);
    encoder.clearLog();
    form.control<QPushButton>(button)->click();
    EXPECT_TRUE(form.messages.empty());
    return settledLog(encoder);
}

// The companion's requests, without the identification that starts every run.
std::vector<sim::LogEntry> companionRequests(sim::SimulatedEncoder &encoder, const QStringList &arguments)
{
    CliHarness cli;
    encoder.clearLog();
    const CliResult result = cli.run(arguments + portOf(encoder.portPath()));
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    std::vector<sim::LogEntry> log = settledLog(encoder);
    EXPECT_FALSE(log.empty());
    if (!log.empty() && log.front().bytes == "v")
        log.erase(log.begin());
    return log;
}

// Each gap between two requests of the companion is within 60 ms of the window's.
void expectSimilarPauses(const std::vector<sim::LogEntry> &window, const std::vector<sim::LogEntry> &companion)
{
    ASSERT_EQ(window.size(), companion.size());
    for (std::size_t i = 1; i < window.size(); ++i) {
        const std::int64_t windowGap = window[i].timeMs - window[i - 1].timeMs;
        const std::int64_t companionGap = companion[i].timeMs - companion[i - 1].timeMs;
        EXPECT_NEAR(static_cast<double>(companionGap), static_cast<double>(windowGap), 60.0)
            << "before request " << i;
    }
}

TEST(WindowWireTest, ZeroSendsTheBytesOfSetZeroHere)
{
    sim::SimulatedEncoder forWindow(encoderConfig());
    const std::vector<sim::LogEntry> window = windowRequests(forWindow, "btnSTzero", [](TestForm &) {});
    ASSERT_EQ(window.size(), 8u);

    sim::SimulatedEncoder forCompanion(encoderConfig());
    std::vector<sim::LogEntry> companion = companionRequests(forCompanion, {QStringLiteral("zero")});
    // The companion has no earlier poll tick to tell whether the position carries the error flag:
    // its first request is that reading.
    ASSERT_FALSE(companion.empty());
    EXPECT_EQ(companion.front().bytes, "1");
    companion.erase(companion.begin());
    // Nor does it poll on afterwards: its last request is the reading that confirms the zero.
    ASSERT_FALSE(companion.empty());
    EXPECT_EQ(companion.back().bytes, "1");
    companion.pop_back();

    EXPECT_EQ(bytesOf(companion), bytesOf(window));
    expectSimilarPauses(window, companion);
    EXPECT_EQ(forCompanion.snapshot().savedSettings, forWindow.snapshot().savedSettings);
}

TEST(WindowWireTest, SelfcalSendsTheBytesOfStartSelfCal)
{
    sim::SimulatedEncoder forWindow(encoderConfig());
    const std::vector<sim::LogEntry> window =
        windowRequests(forWindow, "btnStartSelfCal", [](TestForm &form) {
            form.control<QSpinBox>("seSelfCalArc")->setValue(270);
            form.control<QSpinBox>("seSelfCalTimeout")->setValue(3);
        });
    // arc, timeout, two statuses, start, at least two statuses in the wait, the final status
    ASSERT_GE(window.size(), 8u);

    sim::SimulatedEncoder forCompanion(encoderConfig());
    const std::vector<sim::LogEntry> companion =
        companionRequests(forCompanion,
                          {QStringLiteral("selfcal"), QStringLiteral("--arc"), QStringLiteral("270"),
                           QStringLiteral("--timeout"), QStringLiteral("3")});

    EXPECT_EQ(bytesOf(companion), bytesOf(window));
    expectSimilarPauses(window, companion);
    ASSERT_GE(window.size(), 5u);
    EXPECT_EQ(window.at(0).bytes, quarn::selfCalArcRequest(270));
    EXPECT_EQ(window.at(1).bytes, quarn::selfCalTimeoutRequest(3));
    EXPECT_EQ(window.at(2).bytes, "i");
    EXPECT_EQ(window.at(3).bytes, "i");
    EXPECT_EQ(window.at(4).bytes, quarn::selfCalStartRequest());
}

} // namespace
