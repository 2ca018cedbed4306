// SPDX-License-Identifier: MIT
// "Start Self-Cal" against the simulated encoder (and a scripted port where the status must
// be shaped): the requests, the wait and its end, the lamps, the report and the progress bar.

#include "colours.h"
#include "fake_serial_port.h"
#include "test_form.h"
#include "wait_ms.h"

#include "quarn_konstante.h"
#include "self_calibration.h"
#include "simulated_encoder.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

const char *const Lamps[] = {"pnlAselfCalFinished",        "pnlAselfCalTimeout",
                             "pnlAselfCalOutOfRange",      "pnlAselfCalParamOutOfRange",
                             "pnlAselfCalNoCorrection",    "pnlASelfCalUserErrMap",
                             "pnlAselfCalSucessfull"};

QByteArray protectedBytes(char command, const QByteArray &arguments = {})
{
    return quarn::UnlockPrefix + QByteArray(1, command) + arguments;
}

// The requests of the run, without the polling around it.
std::vector<QByteArray> runRequests(const std::vector<sim::LogEntry> &log)
{
    std::vector<QByteArray> requests;
    for (const sim::LogEntry &entry : log) {
        if (entry.bytes.startsWith(quarn::UnlockPrefix) || entry.bytes == "i")
            requests.push_back(entry.bytes);
    }
    return requests;
}

// The two accuracy figures of a report, after their "±".
std::pair<QString, QString> accuracyFigures(const QString &report)
{
    const QStringList lines = report.split(QStringLiteral("\r\n"));
    if (lines.size() != 6)
        return {};
    const auto figure = [](const QString &line) {
        return line.section(QChar(0xB1), 1).chopped(1); // without the degree sign
    };
    return {figure(lines[4]), figure(lines[5])};
}

class SelfCalibrationRunTest : public ::testing::Test {
protected:
    void SetUp() override { form.InitTimer->stop(); }
    void TearDown() override { orodja::setApplicationTerminating(false); }

    void connectTo(sim::SimulatedEncoder &encoder)
    {
        ASSERT_TRUE(form.openRealPort(encoder.portPath()));
        ASSERT_TRUE(form.identifyOpenEncoder());
        encoder.clearLog();
    }

    // A scripted port whose "i" replies come from `statusReply` (called with the count of
    // status requests so far, from 0); every other request goes unanswered.
    void connectToScript(std::function<QByteArray(int)> statusReply)
    {
        auto port = std::make_unique<serial::FakeSerialPort>();
        auto statusCount = std::make_shared<int>(0);
        port->setResponder([statusReply, statusCount](const QByteArray &request) {
            QList<serial::FakeReplyChunk> reply;
            if (request == "i")
                reply.append({0, statusReply((*statusCount)++)});
            return reply;
        });
        fakeRecord = port->sharedRecord();
        form.nextPort = std::move(port);
        ASSERT_TRUE(form.OpenComPort(QStringLiteral("/dev/fake0")));
        form.Firmware_Verzija_Jedra_Major = 2;
        form.Firmware_Verzija_Jedra_Minor = 8;
        form.PremerKodeRinga = 45.8f;
    }

    qint64 timedClick()
    {
        QElapsedTimer clock;
        clock.start();
        form.control<QPushButton>("btnStartSelfCal")->click();
        return clock.elapsed();
    }

    quint32 lamp(const char *name) const { return lampColour(form.control<QWidget>(name)); }
    QProgressBar *bar() const { return form.control<QProgressBar>("pbSelfCalProgress"); }
    QCheckBox *readEncoder() const { return form.control<QCheckBox>("cbBeriEnkoder"); }
    QString report() const { return form.control<QLabel>("lblAselfCalResult")->text(); }

    TestForm form;
    std::shared_ptr<const serial::FakePortRecord> fakeRecord;
};

TEST_F(SelfCalibrationRunTest, RunsToTheEncodersResultOnBothFirmwareLines)
{
    struct Case {
        const char *what;
        int firmwareMinor;
        int arc;
        QByteArray arcBytes;
        int spinTimeout;
        std::optional<QByteArray> timeoutBytes; // nothing: no timeout request
        int barMaximum;
        std::uint8_t finalFlags;
        quint32 successful;
        quint32 noCorrection;
        int progress;
    };
    const Case cases[] = {
        {"2.9, clean finish", 9, 200, QByteArray::fromHex("00C8"), 20, QByteArray::fromHex("14"),
         200, 0, colour::Green, colour::Grey, 100},
        {"2.8, no correction necessary", 8, 300, QByteArray::fromHex("012C"), 20, std::nullopt, 77,
         0x20, colour::Grey, colour::Orange, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::EncoderConfig config;
        config.firmware.minor = static_cast<std::uint8_t>(c.firmwareMinor);
        config.selfCalibration.durationMs = 400;
        config.selfCalibration.finalFlags = c.finalFlags;
        config.selfCalibration.eccentricityUm = 100;
        config.selfCalibration.radialShiftUm = -2;
        sim::SimulatedEncoder encoder(config);
        connectTo(encoder);
        form.control<QSpinBox>("seSelfCalArc")->setValue(c.arc);
        form.control<QSpinBox>("seSelfCalTimeout")->setValue(c.spinTimeout);
        bar()->setMaximum(77);
        readEncoder()->setChecked(true);

        bool lockedMidway = false;
        QString reportMidway;
        QTimer::singleShot(450, &form, [&] {
            lockedMidway = !form.control<QPushButton>("btnStartSelfCal")->isEnabled();
            reportMidway = report();
        });
        const qint64 elapsed = timedClick();

        const std::vector<QByteArray> requests = runRequests(encoder.log());
        // Filled one by one into reserved room: GCC 14 warns (falsely) about the move of the
        // first element when push_back grows a vector that started from an initializer list.
        std::vector<QByteArray> opening;
        opening.reserve(5);
        opening.push_back(protectedBytes('p', c.arcBytes));
        if (c.timeoutBytes)
            opening.push_back(protectedBytes('t', *c.timeoutBytes));
        // The status before the start counts once two replies agree.
        opening.push_back("i");
        opening.push_back("i");
        opening.push_back(protectedBytes('A'));
        ASSERT_GT(requests.size(), opening.size() + 1);
        EXPECT_EQ(std::vector<QByteArray>(requests.begin(), requests.begin() + opening.size()),
                  opening);
        // After the start only status requests: the wait's and the final one.
        for (auto it = requests.begin() + opening.size(); it != requests.end(); ++it)
            EXPECT_EQ(*it, "i");
        // The change ends the wait about 400 ms after the start.
        EXPECT_LT(elapsed, 1500);

        EXPECT_TRUE(lockedMidway);
        EXPECT_EQ(reportMidway, QStringLiteral("Counter: 0"));
        EXPECT_EQ(bar()->maximum(), c.barMaximum);
        EXPECT_EQ(bar()->value(), c.progress);
        EXPECT_EQ(lamp("pnlAselfCalFinished"), colour::DarkGreen);
        EXPECT_EQ(lamp("pnlAselfCalSucessfull"), c.successful);
        EXPECT_EQ(lamp("pnlAselfCalNoCorrection"), c.noCorrection);
        for (const char *name : {"pnlAselfCalTimeout", "pnlAselfCalOutOfRange",
                                 "pnlAselfCalParamOutOfRange", "pnlASelfCalUserErrMap"})
            EXPECT_EQ(lamp(name), colour::Grey) << name;

        const QString text = report();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Counter: 1\r\nRing eccentricity: 100 µm\r\n")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\r\nReadhead radial shift: -2 µm\r\n")));
        const auto [before, after] = accuracyFigures(text);
        EXPECT_FALSE(before.isEmpty());
        // Without a correction the accuracy stays what it was.
        EXPECT_EQ(before == after, c.finalFlags == 0x20) << before.toStdString() << " / "
                                                        << after.toStdString();
        EXPECT_TRUE(readEncoder()->isChecked());
        readEncoder()->setChecked(false);
        EXPECT_TRUE(form.messages.empty());
        form.CloseComPort();
    }
}

TEST_F(SelfCalibrationRunTest, AStatusThatNeverChangesEndsAtTheTimeLimit)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = std::nullopt;
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);
    // The shortest limit the spin edit allows: 1.1 s of waiting.
    form.control<QSpinBox>("seSelfCalTimeout")->setValue(1);
    readEncoder()->setChecked(true);

    const qint64 elapsed = timedClick();

    EXPECT_GE(elapsed, 1100 + 400);
    EXPECT_LT(elapsed, 3000);
    EXPECT_EQ(bar()->maximum(), 10);
    EXPECT_EQ(bar()->value(), 0);
    for (const char *name : Lamps)
        EXPECT_EQ(lamp(name), colour::Grey) << name;
    // The figures are the unchanged status; the line above them says that the run did not finish
    // within its wait of 1.1 s.
    const QString notFinished =
        QStringLiteral("Calibration did not finish within %1 s").arg(QLocale().toString(1.1));
    EXPECT_TRUE(report().startsWith(notFinished + QStringLiteral("\r\nCounter: 0\r\nRing eccentricity: ")))
        << report().toStdString();
    // Seven lines still fit the fixed box of the report.
    auto *label = form.control<QLabel>("lblAselfCalResult");
    EXPECT_LE(label->heightForWidth(label->width()), label->height());
    EXPECT_TRUE(readEncoder()->isChecked());
    readEncoder()->setChecked(false);
}

TEST_F(SelfCalibrationRunTest, SpoiltStatusRepliesNeitherEndTheWaitNorMakeTheOutcome)
{
    // Every third reply to each command spoilt in turn: random bytes, the last byte missing,
    // and (for the status, which has no position word) unchanged.
    struct Case {
        const char *what;
        std::optional<std::int64_t> durationMs; // nothing: the calibration never runs
        int timeoutSeconds;
        quint32 finished;
        quint32 successful;
    };
    const Case cases[] = {
        {"a calibration that never runs", std::nullopt, 1, colour::Grey, colour::Grey},
        {"a calibration that finishes after 400 ms", 400, 3, colour::DarkGreen, colour::Green},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim::EncoderConfig config;
        config.selfCalibration.durationMs = c.durationMs;
        config.selfCalibration.eccentricityUm = 100;
        config.faults.mixedFaultEvery = 3;
        sim::SimulatedEncoder encoder(config);
        connectTo(encoder);
        // Firmware 2.9: a wait of 1.1 × the timeout at most.
        form.control<QSpinBox>("seSelfCalTimeout")->setValue(c.timeoutSeconds);

        const qint64 elapsed = timedClick();

        EXPECT_EQ(lamp("pnlAselfCalFinished"), c.finished);
        EXPECT_EQ(lamp("pnlAselfCalSucessfull"), c.successful);
        EXPECT_TRUE(form.messages.empty());
        if (c.durationMs) {
            // Ended by the change, well before the wait's limit of 3.3 s.
            EXPECT_LT(elapsed, 2000);
            EXPECT_EQ(bar()->value(), bar()->maximum());
            EXPECT_TRUE(report().startsWith(QStringLiteral("Counter: 1\r\nRing eccentricity: 100 µm\r\n")))
                << report().toStdString();
        } else {
            EXPECT_GE(elapsed, 1100);
            EXPECT_EQ(bar()->value(), 0);
            EXPECT_TRUE(report().startsWith(QStringLiteral("Calibration did not finish within ")))
                << report().toStdString();
            EXPECT_TRUE(report().contains(QStringLiteral("\r\nCounter: 0\r\nRing eccentricity: 0 µm\r\n")))
                << report().toStdString();
        }
        form.CloseComPort();
    }
}

TEST_F(SelfCalibrationRunTest, AStatusSpoiltTheSameWayEachTimeIsNoChange)
{
    const QByteArray initial = QByteArray::fromHex("6901000C00890000");
    QByteArray wrongBit = initial;
    wrongBit[1] = static_cast<char>(0x81); // the unused bit 7 set
    struct Case {
        const char *what;
        QByteArray spoilt;
    };
    const Case cases[] = {
        {"the unused bit set", wrongBit},
        {"a byte too many", initial + '\0'},
        {"the last byte missing", initial.left(7)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // From the second request of the wait on, every other reply is spoilt, always alike.
        const QByteArray spoilt = c.spoilt;
        connectToScript([=](int index) { return index >= 3 && index % 2 == 1 ? spoilt : initial; });
        form.Firmware_Verzija_Jedra_Minor = 9;
        form.control<QSpinBox>("seSelfCalTimeout")->setValue(1);

        timedClick();

        EXPECT_EQ(lamp("pnlAselfCalFinished"), colour::Grey);
        EXPECT_EQ(lamp("pnlAselfCalSucessfull"), colour::Grey);
        EXPECT_EQ(bar()->value(), 0);
        EXPECT_TRUE(report().startsWith(QStringLiteral("Calibration did not finish within ")))
            << report().toStdString();
        EXPECT_TRUE(form.messages.empty());
        form.CloseComPort();
    }
}

TEST_F(SelfCalibrationRunTest, AChangeInAnyByteOfTheStatusEndsTheWait)
{
    const QByteArray initial = QByteArray::fromHex("6901000C00890000");
    QByteArray changed = initial;
    changed[7] = 1; // only the radial shift differs
    connectToScript([=](int index) { return index < 4 ? initial : changed; });

    const qint64 elapsed = timedClick();

    // Firmware 2.8 waits up to 11 s; the change came with the fourth status request.
    EXPECT_LT(elapsed, 1500);
    EXPECT_EQ(lamp("pnlAselfCalFinished"), colour::DarkGreen);
    EXPECT_EQ(lamp("pnlAselfCalSucessfull"), colour::Green);
    EXPECT_EQ(bar()->value(), 100);
    EXPECT_TRUE(report().contains(QStringLiteral("Readhead radial shift: 1 µm")));
}

TEST_F(SelfCalibrationRunTest, ARunThatFailsLeavesNothingOfTheRunBeforeLit)
{
    const QByteArray unchanged = QByteArray::fromHex("6901000C00890000");
    const QByteArray changed = QByteArray::fromHex("6902000C00890000");
    const QByteArray tooShort = QByteArray::fromHex("6902");
    // The status replies of the current run, by the count of its status requests.
    std::function<QByteArray(int)> script;
    int statusRequests = 0;
    connectToScript([&](int) { return script(statusRequests++); });
    // Firmware 2.9 with a timeout of 1 s: a wait of 1.1 s at most.
    form.Firmware_Verzija_Jedra_Minor = 9;
    form.control<QSpinBox>("seSelfCalTimeout")->setValue(1);

    struct Case {
        const char *what;
        std::function<QByteArray(int)> failingRun;
        int barAtTheEnd; // the wait of 1.1 s fills it
    };
    const Case cases[] = {
        {"the status before the start fails", [=](int) { return tooShort; }, 0},
        {"the final status fails", [=](int index) { return index < 2 ? changed : tooShort; }, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // A clean run first: its lamps and its full bar are on screen.
        statusRequests = 0;
        script = [=](int index) { return index < 3 ? unchanged : changed; };
        timedClick();
        ASSERT_EQ(lamp("pnlAselfCalSucessfull"), colour::Green);
        ASSERT_EQ(lamp("pnlAselfCalFinished"), colour::DarkGreen);
        ASSERT_EQ(bar()->value(), bar()->maximum());
        ASSERT_TRUE(form.messages.empty());

        // In the pauses before the start nothing of the run before is lit; afterwards the
        // bar shows this run's wait.
        statusRequests = 0;
        script = c.failingRun;
        std::vector<quint32> lampsMidway;
        int barMidway = -1;
        QTimer::singleShot(150, &form, [&] {
            for (const char *name : Lamps)
                lampsMidway.push_back(lamp(name));
            barMidway = bar()->value();
        });
        timedClick();

        ASSERT_EQ(form.messages.size(), 1u);
        EXPECT_EQ(form.messages.front().text, QStringLiteral("Command \"i\" failed!"));
        EXPECT_EQ(lampsMidway, std::vector<quint32>(std::size(Lamps), colour::Grey));
        EXPECT_EQ(barMidway, 0);
        for (const char *name : Lamps)
            EXPECT_EQ(lamp(name), colour::Grey) << name;
        EXPECT_EQ(bar()->value(), c.barAtTheEnd);
        form.messages.clear();
    }
}

TEST_F(SelfCalibrationRunTest, AStatusRequestFailingBeforeTheStartStopsTheRun)
{
    connectToScript([](int) { return QByteArray::fromHex("6901"); }); // too short
    readEncoder()->setChecked(true);

    timedClick();

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages.front().kind, TMainForm::MessageKind::Error);
    EXPECT_EQ(form.messages.front().text, QStringLiteral("Command \"i\" failed!"));
    EXPECT_FALSE(fakeRecord->written().contains(protectedBytes('A')));
    EXPECT_TRUE(fakeRecord->written().contains(protectedBytes('p', QByteArray::fromHex("0168"))));
    EXPECT_FALSE(readEncoder()->isChecked());
    for (const char *name : Lamps)
        EXPECT_EQ(lamp(name), colour::Grey) << name;
    EXPECT_TRUE(form.control<QPushButton>("btnStartSelfCal")->isEnabled());
}

TEST_F(SelfCalibrationRunTest, WithoutAPortTheRunEndsAtTheFirstStatusAndWaitsToSearch)
{
    form.Firmware_Verzija_Jedra_Major = 2;
    form.Firmware_Verzija_Jedra_Minor = 9;
    form.control<QSpinBox>("seSelfCalTimeout")->setValue(1);
    readEncoder()->setChecked(true);

    const qint64 elapsed = timedClick();

    // The three pauses before the status, and no wait.
    EXPECT_LT(elapsed, 800);
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages.front().text, QStringLiteral("Command \"i\" failed!"));
    EXPECT_NE(report(), QStringLiteral("Counter: "));
    // Without a port nothing is known: silver, as before the first run.
    for (const char *name : Lamps)
        EXPECT_EQ(lamp(name), colour::Silver) << name;
    EXPECT_FALSE(readEncoder()->isChecked());
    EXPECT_TRUE(form.InitTimer->isActive());
}

TEST_F(SelfCalibrationRunTest, ClosingTheWindowEndsTheRunWithoutAReport)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = std::nullopt;
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);
    readEncoder()->setChecked(true);
    form.show();

    std::int64_t closedAtMs = 0;
    QTimer::singleShot(700, &form, [&] {
        closedAtMs = encoder.nowMs();
        form.close();
    });
    const qint64 elapsed = timedClick();

    EXPECT_LT(elapsed, 1000);
    EXPECT_EQ(report(), QStringLiteral("Counter: 0"));
    for (const char *name : Lamps)
        EXPECT_EQ(lamp(name), colour::Grey) << name;
    EXPECT_FALSE(readEncoder()->isChecked());
    EXPECT_TRUE(form.messages.empty());
    // Nothing was asked after the close.
    const std::vector<sim::LogEntry> log = encoder.log();
    ASSERT_FALSE(log.empty());
    EXPECT_LE(log.back().timeMs, closedAtMs);
}

} // namespace
