// SPDX-License-Identifier: MIT
// The configuration command buttons against the simulated encoder: the bytes on the wire, the
// pauses, "Read encoder" paused and restored, the button lock, and closing during a sequence.

#include "test_form.h"
#include "wait_ms.h"

#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>


namespace {

const char *const CommandButtons[] = {"btnMTzero", "btnSTzero", "btnResetFactory",
                                      "btnResetPersistentStatus", "btnStartSelfCal"};

sim::EncoderConfig singleTurnAt(std::int64_t position)
{
    sim::EncoderConfig config;
    config.partNumber = QByteArrayLiteral("QX105---18S-----");
    config.startPosition = position;
    config.speedCountsPerSecond = 0;
    return config;
}

QByteArray protectedBytes(char command, const QByteArray &arguments = {})
{
    return quarn::UnlockPrefix + QByteArray(1, command) + arguments;
}

bool isPollRequest(const QByteArray &bytes)
{
    return bytes.size() == 1 && QByteArray("13djsta").contains(bytes.at(0));
}

// The requests of a command sequence: the protected ones, and poll steps as "poll".
std::vector<QByteArray> commandTraffic(const std::vector<sim::LogEntry> &log)
{
    std::vector<QByteArray> traffic;
    for (const sim::LogEntry &entry : log)
        traffic.push_back(isPollRequest(entry.bytes) ? QByteArrayLiteral("poll") : entry.bytes);
    return traffic;
}

// The simulator logs on its own thread, a little after the last request left the window: give
// it a moment to take that request before comparing.
void waitForLogSize(const sim::SimulatedEncoder &encoder, std::size_t count)
{
    QElapsedTimer clock;
    clock.start();
    while (encoder.log().size() < count && clock.elapsed() < 1000)
        QThread::msleep(5);
}

std::vector<QByteArray> settledTraffic(const sim::SimulatedEncoder &encoder, std::size_t count)
{
    waitForLogSize(encoder, count);
    return commandTraffic(encoder.log());
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The tests hand the window its port; no search runs beside them.
        form.InitTimer->stop();
    }
    void TearDown() override { orodja::setApplicationTerminating(false); }

    void connectTo(sim::SimulatedEncoder &encoder)
    {
        ASSERT_TRUE(form.openRealPort(encoder.portPath()));
        ASSERT_TRUE(form.identifyOpenEncoder());
        encoder.clearLog();
    }

    QPushButton *button(const char *name) const { return form.control<QPushButton>(name); }
    QCheckBox *readEncoder() const { return form.control<QCheckBox>("cbBeriEnkoder"); }

    // Clicks and returns how long the handler ran.
    qint64 timedClick(const char *name)
    {
        QElapsedTimer clock;
        clock.start();
        button(name)->click();
        return clock.elapsed();
    }

    TestForm form;
};

TEST_F(CommandsTest, SetZeroHereSendsItsSequenceAndTheCurrentPositionBecomesZero)
{
    sim::SimulatedEncoder encoder(singleTurnAt(123456));
    connectTo(encoder);

    // Two clicks in a row: each starts from the argument 2 again, whatever the first one wrote.
    for (int click = 0; click < 2; ++click) {
        SCOPED_TRACE(click);
        encoder.clearLog();
        const qint64 elapsed = timedClick("btnSTzero");

        const QByteArray multiturnZero = protectedBytes('M', QByteArray(4, '\0'));
        const std::vector<QByteArray> expected{
            protectedBytes('Z', QByteArray::fromHex("00000002")),
            multiturnZero,
            QByteArrayLiteral("poll"),
            protectedBytes('Z', QByteArray::fromHex("0001E240")),
            QByteArrayLiteral("poll"),
            multiturnZero,
            protectedBytes('c'),
            multiturnZero,
        };
        EXPECT_EQ(settledTraffic(encoder, expected.size()), expected);
        // Seven pauses of 100 ms.
        EXPECT_GE(elapsed, 700);
        EXPECT_LT(elapsed, 2500);

        const sim::EncoderSnapshot state = encoder.snapshot();
        EXPECT_EQ(state.reading.singleTurn, 0u);
        EXPECT_EQ(state.savedSettings.zeroOffset, 123456);
        EXPECT_EQ(state.saveCount, click + 1);
    }
    EXPECT_FALSE(readEncoder()->isChecked());
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(CommandsTest, SetZeroHereReadsThePositionWhereverThePollCycleStood)
{
    // Firmware 2.8 skips the "j" step of the cycle without reading anything.
    sim::EncoderConfig config = singleTurnAt(2000);
    config.firmware.minor = 8;
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);
    form.ST_value = 77; // stale
    form.TrenutniUkazIdx = 4;

    button("btnSTzero")->click();

    const sim::EncoderSnapshot state = encoder.snapshot();
    EXPECT_EQ(state.savedSettings.zeroOffset, 2000);
    EXPECT_EQ(state.reading.singleTurn, 0u);
}

TEST_F(CommandsTest, SetZeroHereDoesNothingWhileThePositionCarriesTheErrorFlag)
{
    sim::SimulatedEncoder encoder(singleTurnAt(1000));
    connectTo(encoder);
    form.Encoder_Error = true;
    readEncoder()->setChecked(true);

    EXPECT_LT(timedClick("btnSTzero"), 50);
    EXPECT_TRUE(encoder.log().empty());
    EXPECT_TRUE(readEncoder()->isChecked());
    EXPECT_TRUE(form.messages.empty());
    readEncoder()->setChecked(false);
}

TEST_F(CommandsTest, SingleCommandsSendTheirRequestAndResumeReading)
{
    struct Case {
        const char *button;
        QByteArray request;
        int minimumMs; // "Read encoder" stays off at least this long
        int maximumMs;
    };
    const Case cases[] = {
        {"btnMTzero", protectedBytes('M', QByteArray(4, '\0')), 0, 200},
        {"btnResetPersistentStatus", protectedBytes('b'), 500, 900},
        {"btnResetFactory", protectedBytes('r'), 500, 900},
    };
    sim::EncoderConfig config;
    config.startPosition = 3 * 262144 + 5000; // three turns on
    config.statusWord = 0x0040;               // latched into the persistent status
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);
    encoder.setStatusWord(0);
    ASSERT_EQ(encoder.snapshot().reading.turns, 3);
    ASSERT_EQ(encoder.snapshot().persistentStatusWord, 0x0040);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.button);
        readEncoder()->setChecked(true);
        encoder.clearLog();
        bool tickedMidway = true;
        if (c.minimumMs > 0) {
            QTimer::singleShot(c.minimumMs * 3 / 4, &form,
                               [&] { tickedMidway = readEncoder()->isChecked(); });
        }
        const qint64 elapsed = timedClick(c.button);
        waitForLogSize(encoder, 1);

        std::vector<QByteArray> sent;
        for (const sim::LogEntry &entry : encoder.log()) {
            if (entry.bytes.startsWith(quarn::UnlockPrefix))
                sent.push_back(entry.bytes);
        }
        EXPECT_EQ(sent, std::vector<QByteArray>{c.request});
        EXPECT_GE(elapsed, c.minimumMs);
        EXPECT_LT(elapsed, c.maximumMs);
        if (c.minimumMs > 0) {
            EXPECT_FALSE(tickedMidway);
        }
        EXPECT_TRUE(readEncoder()->isChecked());
        readEncoder()->setChecked(false);

        const sim::EncoderSnapshot state = encoder.snapshot();
        if (QByteArray(c.button) == "btnMTzero") {
            EXPECT_EQ(state.reading.turns, 0);
        }
        if (QByteArray(c.button) == "btnResetPersistentStatus") {
            EXPECT_EQ(state.persistentStatusWord, 0);
        }
    }
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(CommandsTest, WithReadEncoderOffTheCommandsLeaveItOff)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    for (const char *name : {"btnMTzero", "btnResetPersistentStatus"}) {
        SCOPED_TRACE(name);
        button(name)->click();
        EXPECT_FALSE(readEncoder()->isChecked());
    }
    waitForLogSize(encoder, 2);
    EXPECT_EQ(encoder.log().size(), 2u);
}

TEST_F(CommandsTest, WithoutAPortNothingIsReportedAndTheWindowWaitsToSearch)
{
    ASSERT_EQ(form.ComID, -1);
    for (const char *name : {"btnMTzero", "btnResetFactory", "btnResetPersistentStatus"}) {
        SCOPED_TRACE(name);
        readEncoder()->setChecked(true);
        button(name)->click();
        // As after a failed poll step: unticked, "not connected", the search re-armed.
        EXPECT_FALSE(readEncoder()->isChecked());
        EXPECT_EQ(form.control<QLabel>("pnlAbsPosDeg")->text(), QStringLiteral("not connected"));
        EXPECT_TRUE(form.InitTimer->isActive());
        form.InitTimer->stop();
    }
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.ComID, -1);
}

TEST_F(CommandsTest, ButtonsAreLockedWhileASequenceRunsAndGetTheirStatesBack)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    // Firmware without the persistent status: "Reset" is off and must stay off.
    button("btnResetPersistentStatus")->setEnabled(false);

    std::vector<bool> enabledMidway;
    QTimer::singleShot(200, &form, [&] {
        for (const char *name : CommandButtons)
            enabledMidway.push_back(button(name)->isEnabled());
        // Neither a click nor a stray signal on a locked button starts a second sequence.
        button("btnSTzero")->click();
        emit button("btnMTzero")->clicked();
    });
    button("btnResetFactory")->click();

    EXPECT_EQ(enabledMidway, std::vector<bool>(std::size(CommandButtons), false));
    ASSERT_EQ(encoder.log().size(), 1u);
    EXPECT_EQ(encoder.log().front().bytes, protectedBytes('r'));
    for (const char *name : CommandButtons) {
        SCOPED_TRACE(name);
        EXPECT_EQ(button(name)->isEnabled(), QByteArray(name) != "btnResetPersistentStatus");
    }
}

TEST_F(CommandsTest, AnEncoderIdentifiedDuringASequenceDecidesTheResetButton)
{
    sim::SimulatedEncoder encoder; // firmware 2.9: "Reset" enabled
    connectTo(encoder);
    ASSERT_TRUE(button("btnResetPersistentStatus")->isEnabled());

    // Inside the pause another encoder, without the persistent status, is identified.
    QTimer::singleShot(200, &form, [&] {
        form.Firmware_Verzija_Jedra_Minor = 8;
        form.prebrana_serijska = QByteArrayLiteral("000043");
        button("btnResetPersistentStatus")->setEnabled(false);
    });
    button("btnResetFactory")->click();

    EXPECT_FALSE(button("btnResetPersistentStatus")->isEnabled());
    EXPECT_TRUE(button("btnSTzero")->isEnabled());
}

TEST_F(CommandsTest, TheClickedButtonGetsTheFocusBackAndNoSpinBoxTakesItMeanwhile)
{
    sim::EncoderConfig config; // multiturn, firmware 2.9: every button is there
    config.selfCalibration.durationMs = 300;
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto *arc = form.control<QSpinBox>("seSelfCalArc");

    for (const char *name : CommandButtons) {
        SCOPED_TRACE(name);
        // Where the focus is in the middle of the sequence, and what stray keys typed there do.
        // "Multiturn 0" has no pause to look into.
        QString focusedMidway = QStringLiteral("(not looked at)");
        if (QByteArray(name) != "btnMTzero") {
            QTimer::singleShot(150, &form, [&] {
                QWidget *focused = QApplication::focusWidget();
                focusedMidway = focused != nullptr ? focused->objectName() : QStringLiteral("(none)");
                EXPECT_EQ(qobject_cast<QAbstractSpinBox *>(focused), nullptr) << focusedMidway.toStdString();
                QTest::keyClicks(focused != nullptr ? focused : &form, QStringLiteral("200"));
            });
        }
        // A real click: the press gives the button the focus, as on screen.
        QTest::mouseClick(button(name), Qt::LeftButton);
        ASSERT_TRUE(form.messages.empty()) << form.messages.front().text.toStdString();

        EXPECT_EQ(QApplication::focusWidget(), button(name)) << "midway: " << focusedMidway.toStdString();
        EXPECT_EQ(arc->value(), 360);
        EXPECT_EQ(arc->text(), QStringLiteral("360"));
    }

    // Where the operator puts the focus during a run, it stays.
    auto *timeout = form.control<QSpinBox>("seSelfCalTimeout");
    QTimer::singleShot(150, &form, [&] { QTest::mouseClick(timeout, Qt::LeftButton); });
    QTest::mouseClick(button("btnStartSelfCal"), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), timeout);
}

TEST_F(CommandsTest, ClosingTheWindowEndsSetZeroHereAtOnce)
{
    sim::SimulatedEncoder encoder(singleTurnAt(5000));
    connectTo(encoder);
    readEncoder()->setChecked(true);
    form.show();

    QTimer::singleShot(150, &form, [this] { form.close(); });
    const qint64 elapsed = timedClick("btnSTzero");

    EXPECT_LT(elapsed, 400);
    // The first zero request and the "M" went out; nothing after the close.
    const std::vector<QByteArray> traffic = commandTraffic(encoder.log());
    ASSERT_GE(traffic.size(), 2u);
    EXPECT_LE(traffic.size(), 3u);
    EXPECT_EQ(traffic[0], protectedBytes('Z', QByteArray::fromHex("00000002")));
    for (const QByteArray &request : traffic)
        EXPECT_NE(request, protectedBytes('c'));
    EXPECT_FALSE(readEncoder()->isChecked());
    EXPECT_EQ(encoder.snapshot().saveCount, 0);
}

} // namespace
