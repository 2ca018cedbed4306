// SPDX-License-Identifier: MIT
// The poll cycle against the simulated encoder: the order of the commands on the wire, the
// readouts, the status lamps, the echo, errors reported by the encoder, losing the encoder and
// finding it again.
#include "test_form.h"

#include "angle_dial.h"
#include "colours.h"
#include "wait_ms.h"

#include "port_lister.h"
#include "status_bits.h"
#include "poll_decoding.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr qint64 FullTurn = 262144; // 18 bits

// Every port it makes is a real one, so that the search can find a simulated encoder.
class RealPortForm : public TestForm {
protected:
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        return std::make_unique<serial::QtSerialPort>();
    }
};

QByteArray requests(const std::vector<sim::LogEntry> &log)
{
    QByteArray bytes;
    for (const sim::LogEntry &entry : log)
        bytes += entry.bytes;
    return bytes;
}

class PollCycleTest : public ::testing::Test {
protected:
    // Opens the encoder's port and identifies it, as the search leaves the window.
    void connect(const sim::EncoderConfig &config = {})
    {
        form.InitTimer->stop();
        encoder = std::make_unique<sim::SimulatedEncoder>(config);
        ASSERT_TRUE(form.openRealPort(encoder->portPath(), config.baudRate));
        ASSERT_TRUE(form.BeriVerzijo());
        encoder->clearLog();
        form.TrenutniUkazIdx = 1;
    }
    void steps(int count)
    {
        for (int step = 0; step < count; ++step)
            form.BeriPozicijo();
    }
    QString text(const char *name) const { return form.control<QLabel>(name)->text(); }
    quint32 colourOf(const char *name) const { return lampColour(form.control(name)); }

    TestForm form;
    std::unique_ptr<sim::SimulatedEncoder> encoder;
};

TEST_F(PollCycleTest, TheTimerSendsTheSevenCommandsInOrderAndRestartsAtTheFirst)
{
    connect();
    form.TimerBeriEnkoder->setInterval(10);
    form.TrenutniUkazIdx = 5;
    auto *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    readEncoder->setChecked(true);
    EXPECT_EQ(form.TrenutniUkazIdx, 1);
    EXPECT_TRUE(form.TimerBeriEnkoder->isActive());
    ASSERT_TRUE(waitFor([&] { return encoder->log().size() >= 16; }, 3000));
    readEncoder->setChecked(false);
    EXPECT_FALSE(form.TimerBeriEnkoder->isActive());
    EXPECT_EQ(form.TrenutniUkazIdx, 1);

    EXPECT_EQ(requests(encoder->log()).left(16), QByteArray("13djsta13djsta13"));
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(PollCycleTest, OldFirmwareIdlesOnTheFourthTick)
{
    sim::EncoderConfig config;
    config.firmware.minor = 8;
    connect(config);

    steps(3);
    EXPECT_EQ(form.TrenutniUkazIdx, 4);
    steps(1);
    EXPECT_EQ(form.TrenutniUkazIdx, 5);
    EXPECT_EQ(encoder->log().size(), 3u);
    steps(4);
    EXPECT_EQ(requests(encoder->log()), QByteArray("13dsta1"));
    EXPECT_EQ(form.TrenutniUkazIdx, 2);

    // The completed cycle is on show, one line per reply, none for "j".
    auto *shown = form.control<QLabel>("lblRxBuffer1");
    EXPECT_FALSE(shown->isHidden());
    EXPECT_TRUE(form.control("lblRxBuffer2")->isHidden());
    const QStringList lines = shown->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    for (qsizetype line = 0; line < lines.size(); ++line)
        EXPECT_EQ(lines.at(line).at(0), QChar::fromLatin1("13dsta"[line]));
}

TEST_F(PollCycleTest, TheEchoShowsOnlyWholeCyclesAfterAnInterruptedOne)
{
    connect();
    steps(8);
    // The cycle is cut after three replies: the lines collected so far must never show.
    steps(3);
    auto *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    readEncoder->setChecked(true);
    readEncoder->setChecked(false);
    ASSERT_EQ(form.TrenutniUkazIdx, 1);
    steps(8);

    const auto shownLines = [&] {
        const QLabel *shown = form.control<QLabel>(form.BufDisp == 1 ? "lblRxBuffer1" : "lblRxBuffer2");
        EXPECT_FALSE(shown->isHidden());
        return shown->text().split(u'\n', Qt::SkipEmptyParts);
    };
    // The cycle after the cut shows whole, and so does the one after it.
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE(cycle);
        const QStringList lines = shownLines();
        ASSERT_EQ(lines.size(), 7);
        for (qsizetype line = 0; line < lines.size(); ++line)
            EXPECT_EQ(lines.at(line).at(0), QChar::fromLatin1("13djsta"[line]));
        steps(7);
    }
}

TEST_F(PollCycleTest, AnIndexOutsideTheCycleCountsAsTheFirst)
{
    connect();
    for (const int index : {0, 8, 200}) {
        SCOPED_TRACE(index);
        encoder->clearLog();
        form.TrenutniUkazIdx = static_cast<quint8>(index);
        steps(1);
        EXPECT_EQ(requests(encoder->log()), QByteArray("1"));
        EXPECT_EQ(form.TrenutniUkazIdx, 2);
    }
}

struct ReadoutCase {
    const char *name;
    QByteArray partNumber;
    qint64 position;
    qint32 counts;
    qint16 turns;
    double degrees;
};

TEST_F(PollCycleTest, ACycleFillsThePositionAndEveryReadout)
{
    const ReadoutCase cases[] = {
        {"multiturn, two turns and a quarter", "QX105---18M-----", 2 * FullTurn + FullTurn / 4,
         65536, 2, 90.0},
        {"multiturn, below turn 0", "QX105---18M-----", -FullTurn / 2, 131072, -1, 180.0},
        {"single-turn", "QX103---18------", 3 * FullTurn + 18641, 18641, 0, 18641.0 * 360.0 / FullTurn},
    };
    for (const ReadoutCase &c : cases) {
        SCOPED_TRACE(c.name);
        sim::EncoderConfig config;
        config.partNumber = c.partNumber;
        config.startPosition = c.position;
        config.temperatureC = -10;
        config.signalLevel = 1700;
        connect(config);
        const quint32 commColour = colourOf("pnlComm");
        steps(7);

        EXPECT_EQ(form.ST_value, c.counts);
        EXPECT_EQ(form.MT_value, c.turns);
        EXPECT_FALSE(form.Encoder_Error);
        EXPECT_FLOAT_EQ(form.kot, static_cast<float>(c.degrees));
        const QLocale locale;
        EXPECT_EQ(text("pnlAbsPosDeg"), locale.toString(c.degrees, 'f', 2) + QStringLiteral(" °"));
        EXPECT_EQ(text("pnlAbsPosCnt"), QString::number(c.counts));
        EXPECT_EQ(text("pnlAbsPosMT"), QString::number(c.turns));
        EXPECT_EQ(colourOf("pnlAbsPosDeg"), colour::White);
        EXPECT_FLOAT_EQ(form.control<AngleDial>("PaintBoxKot")->angle(), form.kot);

        EXPECT_EQ(text("lblSpeed"), QStringLiteral("Speed: 0"));
        EXPECT_EQ(form.Temperatura, -10);
        EXPECT_EQ(text("lblTempAsic_C"), QStringLiteral("Temp: -10 °C"));
        EXPECT_EQ(form.SignalLevel, 1700);
        EXPECT_EQ(text("lblSignalLevel"), QStringLiteral("Signal level: 1700"));
        const double gap = form.AirGapK * std::log(1700.0) + form.AirGapN;
        EXPECT_EQ(text("lblQuarnairGap"), QStringLiteral("Air gap: ")
                                              + locale.toString(static_cast<qlonglong>(std::lrint(gap)))
                                              + QStringLiteral(" (±20) µm"));

        // Seven replies: the communication lamp toggled seven times.
        EXPECT_EQ(colourOf("pnlComm"), commColour ^ 65280u);
        // The last reply in hex, the same bytes as the echo's last line.
        EXPECT_TRUE(form.RxBuffer.isEmpty());
        EXPECT_TRUE(form.RxBufferHex.startsWith("61"));
        // The label that collected this cycle; it goes on show with the next reply.
        const QStringList lines =
            text(form.BufDisp == 1 ? "lblRxBuffer1" : "lblRxBuffer2").split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 7);
        QString spaced;
        for (qsizetype at = 0; at < form.RxBufferHex.size(); at += 2)
            spaced += QString::fromLatin1(form.RxBufferHex.mid(at, 2)) + u' ';
        EXPECT_EQ(lines.last(), QStringLiteral("a ") + spaced);
    }
}

TEST_F(PollCycleTest, SpeedUsesTheLocaleNumberFormat)
{
    connect();
    encoder->setSpeed(-1000000);
    form.TrenutniUkazIdx = 5;
    steps(1);
    EXPECT_EQ(text("lblSpeed"), QStringLiteral("Speed: ") + QLocale().toString(-1000000));
}

TEST_F(PollCycleTest, TheEncoderErrorBlanksThePositionKeepsTheDialAndReddensThePanel)
{
    sim::EncoderConfig config;
    config.startPosition = FullTurn / 4;
    connect(config);
    steps(1);
    const float goodAngle = form.kot;
    ASSERT_FLOAT_EQ(goodAngle, 90.0F);

    encoder->setPosition(FullTurn / 2);
    encoder->setErrorFlag(true);
    steps(5); // 3, d, j, s
    EXPECT_TRUE(form.Encoder_Error);
    EXPECT_FLOAT_EQ(form.kot, 180.0F);
    for (const char *panel : {"pnlAbsPosDeg", "pnlAbsPosCnt", "pnlAbsPosMT"}) {
        SCOPED_TRACE(panel);
        EXPECT_EQ(text(panel), QStringLiteral("-  -  -  -  -"));
    }
    EXPECT_EQ(colourOf("pnlAbsPosDeg"), colour::LightRed);
    EXPECT_EQ(text("lblSpeed"), QStringLiteral("Speed: - - - - -"));
    EXPECT_FLOAT_EQ(form.control<AngleDial>("PaintBoxKot")->angle(), goodAngle);
    // Polling goes on: an error in the reply is no lost connection.
    EXPECT_NE(form.ComID, -1);

    encoder->setErrorFlag(false);
    steps(1);
    EXPECT_EQ(colourOf("pnlAbsPosDeg"), colour::White);
    EXPECT_FLOAT_EQ(form.control<AngleDial>("PaintBoxKot")->angle(), 180.0F);
}

TEST_F(PollCycleTest, AGoodReplyAndAFlaggedOneWithinAFrameLeaveTheDialAtTheGoodOne)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    sim::EncoderConfig config;
    config.startPosition = FullTurn / 4;
    connect(config);
    steps(1);
    ASSERT_TRUE(waitFor([&] { return form.control<AngleDial>("PaintBoxKot")->angle() == 90.0F; }, 200));
    QTest::qWait(120);

    // Both replies before the next painted frame: the good one at 180°, then a flagged one.
    encoder->setPosition(FullTurn / 2);
    steps(1);
    encoder->setErrorFlag(true);
    steps(1);
    ASSERT_TRUE(form.Encoder_Error);
    ASSERT_TRUE(waitFor([&] { return text("pnlAbsPosCnt") == QStringLiteral("-  -  -  -  -"); }, 200));
    EXPECT_FLOAT_EQ(form.control<AngleDial>("PaintBoxKot")->angle(), 180.0F);
}

TEST_F(PollCycleTest, PersistentStatusChoosesWhichWordReachesTheLamps)
{
    connect();
    auto *persistent = form.control<QCheckBox>("cbPersistentStatus");
    ASSERT_TRUE(persistent->isChecked());
    // "Error" came and went: only the persistent word still holds it.
    encoder->setStatusWord(0x0200);
    encoder->setStatusWord(0x0000);

    steps(3); // 1, 3, d
    EXPECT_EQ(colourOf("pnlAError"), colour::Silver);
    steps(1); // j
    EXPECT_EQ(colourOf("pnlAError"), colour::Red);
    EXPECT_EQ(colourOf("pnlAWarning"), colour::Grey);

    persistent->setChecked(false);
    steps(6); // s, t, a, 1, 3, d
    EXPECT_EQ(colourOf("pnlAError"), colour::Grey);
    encoder->setStatusWord(0x0100);
    encoder->setStatusWord(0x0000);
    steps(1); // j
    EXPECT_EQ(colourOf("pnlAWarning"), colour::Grey);
}

TEST_F(PollCycleTest, StatusWordLightsTheLampsOfItsBits)
{
    connect();
    form.control<QCheckBox>("cbPersistentStatus")->setChecked(false);
    struct LampCase {
        quint16 word;
        bool allOn;
    };
    for (const LampCase c : {LampCase{0x0000, false}, LampCase{0xFFFF, true}, LampCase{0x0084, false}}) {
        SCOPED_TRACE(c.word);
        encoder->setStatusWord(c.word);
        form.TrenutniUkazIdx = 3;
        steps(1);
        for (const quarn::StatusLamp &lamp : quarn::StatusLamps) {
            SCOPED_TRACE(lamp.objectName);
            EXPECT_EQ(colourOf(lamp.objectName), c.allOn ? lamp.onColour : colour::Grey);
        }
    }
    EXPECT_EQ(colourOf("pnlMultiturnErr"), colour::Grey);
    encoder->setStatusWord(0xFFFF);
    form.TrenutniUkazIdx = 3;
    steps(1);
    EXPECT_EQ(colourOf("pnlMultiturnErr"), colour::LightRed);
    EXPECT_EQ(colourOf("pnlAmplitudaHi"), colour::Orange);
    EXPECT_EQ(colourOf("pnlSkokPozicije"), colour::Red);
}

// Counts the layout requests that reach any widget.
class LayoutRequestCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            ++count;
        return false;
    }
};

TEST_F(PollCycleTest, NewReadoutTextsAskForNoLayout)
{
    form.show();
    sim::EncoderConfig turning;
    turning.speedCountsPerSecond = 50000;
    connect(turning);
    // Past the first change of place of the echo labels, which does rearrange the form.
    steps(8);
    QCoreApplication::processEvents();
    LayoutRequestCounter counter;
    qApp->installEventFilter(&counter);
    const QString before = text("pnlAbsPosDeg");
    // The shown window's readouts take the new readings at its painted frames.
    for (int step = 0; step < 6; ++step) {
        steps(1);
        QTest::qWait(60);
    }
    qApp->removeEventFilter(&counter);
    // The shaft turned, so the readouts did take new texts.
    EXPECT_NE(text("pnlAbsPosDeg"), before);
    EXPECT_EQ(counter.count, 0);
}

// The colour of a lamp each time it is painted.
class LampPaints : public QObject {
public:
    explicit LampPaints(QWidget *lamp) : m_lamp(lamp) { lamp->installEventFilter(this); }
    std::vector<quint32> colours;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            colours.push_back(lampColour(m_lamp));
        return false;
    }

private:
    QWidget *m_lamp;
};

// Painted frames are paced (20 a second); at a poll interval of 25 ms two replies fall in
// most frames, and a lamp toggled at each of them would show one colour frame after frame.
TEST_F(PollCycleTest, TheCommunicationLampAlternatesFromPaintedFrameToPaintedFrame)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    connect();
    form.control<QSpinBox>("seDelay")->setValue(25);
    ASSERT_EQ(form.TimerBeriEnkoder->interval(), 25);
    QTest::qWait(100);
    LampPaints paints(form.control("pnlComm"));
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(true);
    QTest::qWait(1500);
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(false);

    // About 30 frames; a slow machine paints fewer.
    ASSERT_GE(paints.colours.size(), 10u);
    int repeated = 0;
    for (std::size_t at = 1; at < paints.colours.size(); ++at) {
        if (paints.colours[at] == paints.colours[at - 1])
            ++repeated;
    }
    EXPECT_EQ(repeated, 0) << "of " << paints.colours.size() << " painted frames";
}

// What the readouts of the last reading must say.
QString degreesOf(const TestForm &form)
{
    return quarn::angleText(form.kot, QLocale());
}

TEST_F(PollCycleTest, AShownWindowsReadoutsTakeTheLatestReadingAtItsNextFrame)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    sim::EncoderConfig turning;
    turning.speedCountsPerSecond = 50000;
    connect(turning);
    steps(7);
    ASSERT_TRUE(waitFor([&] { return text("pnlAbsPosDeg") == degreesOf(form); }, 200));
    QTest::qWait(120);

    // Between frames the replies change the fields only; within a frame the readouts follow.
    const QString before = text("pnlAbsPosDeg");
    QElapsedTimer clock;
    clock.start();
    steps(7);
    EXPECT_EQ(text("pnlAbsPosDeg"), before);
    ASSERT_NE(degreesOf(form), before);
    EXPECT_TRUE(waitFor([&] { return text("pnlAbsPosDeg") == degreesOf(form); }, 150));
    EXPECT_LT(clock.elapsed(), 150);
    EXPECT_EQ(text("lblTempAsic_C"), quarn::temperatureText(form.Temperatura));
    EXPECT_FLOAT_EQ(form.control<AngleDial>("PaintBoxKot")->angle(), form.kot);
    // The echo on show holds the last complete cycle.
    const QLabel *shown = form.control<QLabel>(form.BufDisp == 1 ? "lblRxBuffer2" : "lblRxBuffer1");
    EXPECT_FALSE(shown->isHidden());
    EXPECT_EQ(shown->text().split(u'\n', Qt::SkipEmptyParts).size(), 7);
}

TEST_F(PollCycleTest, AWindowThatCannotBeSeenTakesTheReadingsWhenItCanAgain)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    connect();
    steps(7);
    ASSERT_TRUE(waitFor([&] { return text("pnlAbsPosDeg") == degreesOf(form); }, 200));

    // Minimised: two cycles of replies, with frames due meanwhile, and nothing is touched.
    form.canBeSeen = false;
    encoder->setTemperature(42);
    encoder->setStatusWord(0x0200);
    const QString degreesBefore = text("pnlAbsPosDeg");
    const QString temperatureBefore = text("lblTempAsic_C");
    const quint32 errorLampBefore = colourOf("pnlAError");
    for (int step = 0; step < 14; ++step) {
        steps(1);
        QTest::qWait(10);
    }
    QTest::qWait(120);
    EXPECT_EQ(text("pnlAbsPosDeg"), degreesBefore);
    EXPECT_EQ(text("lblTempAsic_C"), temperatureBefore);
    EXPECT_EQ(colourOf("pnlAError"), errorLampBefore);
    EXPECT_EQ(form.Temperatura, 42);

    // Seen again: the next frame shows the latest readings.
    form.canBeSeen = true;
    form.update();
    EXPECT_TRUE(waitFor([&] { return text("lblTempAsic_C") == quarn::temperatureText(42); }, 150));
    EXPECT_EQ(text("pnlAbsPosDeg"), degreesOf(form));
    EXPECT_NE(colourOf("pnlAError"), errorLampBefore);

    // Closing the port meanwhile leaves no held reading to come back over its texts.
    form.canBeSeen = false;
    steps(2);
    form.CloseComPort();
    form.canBeSeen = true;
    form.update();
    QTest::qWait(120);
    EXPECT_EQ(text("pnlAbsPosDeg"), QStringLiteral("not connected"));
}

TEST_F(PollCycleTest, ASilentEncoderClosesThePortAndRearmsTheSearch)
{
    connect();
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(true);
    form.TimerBeriEnkoder->stop();
    form.TrenutniUkazIdx = 3;
    encoder->setSilent(true);

    steps(1);
    EXPECT_EQ(form.ComID, -1);
    EXPECT_FALSE(form.control<QCheckBox>("cbBeriEnkoder")->isChecked());
    EXPECT_FALSE(form.TimerBeriEnkoder->isActive());
    EXPECT_EQ(text("pnlAbsPosDeg"), QStringLiteral("not connected"));
    EXPECT_TRUE(form.InitTimer->isActive());
    // The untick restarted the cycle; the step then moved on from there.
    EXPECT_EQ(form.TrenutniUkazIdx, 2);
    EXPECT_TRUE(form.messages.empty());
}

TEST(PollCycleReconnect, AVanishedEncoderIsFoundAgainAndPollingResumesAtTheFirstCommand)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("quarn"));
    sim::SimulatedEncoder encoder;
    ASSERT_TRUE(encoder.setLinkPath(link));

    RealPortForm form;
    form.ports = serial::extraPortEntries(link);
    form.TimerBeriEnkoder->setInterval(10);
    auto *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    ASSERT_TRUE(waitFor([&] { return readEncoder->isChecked(); }, 3000));
    ASSERT_TRUE(waitFor([&] { return encoder.log().size() >= 5; }, 2000));

    encoder.vanish();
    ASSERT_TRUE(waitFor([&] { return !readEncoder->isChecked(); }, 2000));
    EXPECT_EQ(form.ComID, -1);
    EXPECT_EQ(form.control<QLabel>("pnlAbsPosDeg")->text(), QStringLiteral("not connected"));
    EXPECT_TRUE(form.InitTimer->isActive());
    // A write that failed outright said so; a reply that never came says nothing.
    for (const RecordedMessage &message : form.messages) {
        EXPECT_EQ(message.text, QStringLiteral("Cable disconnected!"));
        EXPECT_EQ(message.comId, -1);
    }
    // A search while it is gone finds nothing.
    orodja::WaitMs(1000);
    EXPECT_FALSE(readEncoder->isChecked());

    encoder.reappear();
    encoder.clearLog();
    ASSERT_TRUE(waitFor([&] { return readEncoder->isChecked(); }, 3000));
    ASSERT_TRUE(waitFor([&] { return encoder.log().size() >= 3; }, 2000));
    readEncoder->setChecked(false);
    EXPECT_EQ(requests(encoder.log()).left(3), QByteArray("v13"));
    EXPECT_EQ(form.control<QLabel>("lblHeader")->text(), QStringLiteral("Header: Quarn-2"));
}

} // namespace
