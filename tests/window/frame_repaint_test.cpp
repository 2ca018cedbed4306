// SPDX-License-Identifier: MIT
// What a painted frame of the polling window repaints: the echo draws its lines from words shaped
// once, at any place along a line and in any font and colours, as a plain label draws them; each
// new echo cycle reaches the screen within a frame, and the label that shows it is painted once
// for it; readouts whose text stays the same are not painted again.
#include "label_twin.h"
#include "test_form.h"

#include "echo_label.h"
#include "simulated_encoder.h"

#include <QCheckBox>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

// Seven echo lines of replies of up to nine random bytes: the same word comes at many places
// along a line, and so at many fractions of a pixel.
QString randomCycle(QRandomGenerator &random)
{
    static const char commands[] = "13djsta";
    QString text;
    for (const char command : QByteArrayView(commands)) {
        text += QChar::fromLatin1(command);
        const int bytes = static_cast<int>(random.bounded(3, 10));
        for (int byte = 0; byte < bytes; ++byte)
            text += QStringLiteral(" %1").arg(random.bounded(256), 2, 16, QChar(u'0')).toUpper();
        text += QStringLiteral(" \n");
    }
    return text;
}

// Counts the paint events of each named widget of a window.
class PaintCounter : public QObject {
public:
    std::map<QString, int> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !watched->objectName().isEmpty())
            ++paints[watched->objectName()];
        return false;
    }
};

TEST(FrameRepaint, EchoWordsLookAsAPlainLabelDrawsThemWhereverTheyStand)
{
    TMainForm form;
    auto *first = form.findChild<EchoLabel *>(QStringLiteral("lblRxBuffer1"));
    auto *second = form.findChild<EchoLabel *>(QStringLiteral("lblRxBuffer2"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    QRandomGenerator random(30);

    // The form's colours, then a dark scheme, then a larger font: words shaped for one font are
    // never placed for another. Each text is drawn by both labels, and a second time once every
    // word of it has been shaped.
    QPalette dark = first->palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x26));
    dark.setColor(QPalette::WindowText, QColor(0xE8, 0xE8, 0xE0));
    QFont larger = first->font();
    larger.setPixelSize(larger.pixelSize() > 0 ? larger.pixelSize() + 3 : 15);
    for (int setting = 0; setting < 3; ++setting) {
        SCOPED_TRACE(setting);
        for (EchoLabel *echo : {first, second}) {
            if (setting == 1)
                echo->setPalette(dark);
            if (setting == 2)
                echo->setFont(larger);
        }
        const std::unique_ptr<QLabel> twin = plainTwinOf(*first);
        for (int text = 0; text < 12; ++text) {
            const QString cycle = randomCycle(random);
            SCOPED_TRACE(cycle.toStdString());
            twin->setText(cycle);
            const QImage expected = painted(*twin);
            // The text really is on the image: not two blank pictures.
            ASSERT_NE(expected, painted(*plainTwinOf(*first)));
            for (EchoLabel *echo : {first, second, first}) {
                echo->setText(cycle);
                ASSERT_TRUE(painted(*echo) == expected) << qPrintable(echo->objectName());
            }
        }
    }
}

class PollingWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.InitTimer->stop();
    }
    // Opens a simulated encoder's port and identifies it, as the search leaves the window.
    void connect(const sim::EncoderConfig &config)
    {
        encoder = std::make_unique<sim::SimulatedEncoder>(config);
        baudRate = config.baudRate;
        reopen();
    }
    void reopen()
    {
        ASSERT_TRUE(form.openRealPort(encoder->portPath(), baudRate));
        ASSERT_TRUE(form.identifyOpenEncoder());
        form.TrenutniUkazIdx = 1;
    }
    bool steps(int count)
    {
        for (int step = 0; step < count; ++step) {
            if (!form.BeriPozicijo())
                return false;
        }
        return true;
    }
    // A whole cycle of seven poll steps and `extra` more; true when it went through without the
    // port being opened again. The simulator shares the machine with other tests: when one of its
    // replies comes too late, the window closes the port as it must, and the steps are taken
    // again on the port opened anew, after the whole cycle the echo waits for once a cycle was
    // cut short. What these tests check is the painting, not the timing of the simulator.
    bool cycle(int extra = 0)
    {
        if (steps(7 + extra))
            return true;
        for (int retry = 0; retry < 2; ++retry) {
            reopen();
            if (steps(7) && steps(7 + extra))
                return false;
        }
        ADD_FAILURE() << "the simulated encoder missed a reply in three attempts";
        return false;
    }
    // The echo label that shows the last complete cycle from the next frame on.
    QLabel *shownEcho() const { return form.control<QLabel>(form.BufDisp == 1 ? "lblRxBuffer1" : "lblRxBuffer2"); }
    // The window's pixels where `widget` stands, down to the window's bottom edge.
    QImage onScreen(const QWidget &widget)
    {
        const QPoint at = widget.mapTo(&form, QPoint(0, 0));
        return form.screen()
            ->grabWindow(form.winId(), at.x(), at.y(), widget.width(), std::min(widget.height(), form.height() - at.y()))
            .toImage()
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    TestForm form;
    std::unique_ptr<sim::SimulatedEncoder> encoder;
    qint32 baudRate = 115200;
};

TEST_F(PollingWindow, EachNewEchoCycleIsOnScreenWithinAFrameAsAPlainLabelShowsIt)
{
    sim::EncoderConfig turning;
    turning.speedCountsPerSecond = 70000;
    connect(turning);
    const std::unique_ptr<QLabel> twin = plainTwinOf(*form.control<QLabel>("lblRxBuffer1"));
    // Cycles whose lines differ in a few words each, with the labels changing places at each.
    cycle();
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        // The reply after a cycle's last shows the cycle just completed.
        cycle(1);
        const QLabel *echo = shownEcho();
        ASSERT_EQ(echo->text().count(u'\n'), 7);
        twin->setText(echo->text());
        const QImage expected = painted(*twin).copy(QRect(QPoint(), onScreen(*echo).size()));
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(waitFor([&] { return onScreen(*echo) == expected; }, 150));
        EXPECT_LT(clock.elapsed(), 150);
        form.TrenutniUkazIdx = 1;
    }
}

TEST_F(PollingWindow, AStandingShaftsEchoLooksAsAPlainLabelAtEverySwap)
{
    // Every cycle is the same as the one before: from the second swap on, the label that comes
    // to show copies the picture of the text painted the time before.
    connect(sim::EncoderConfig{});
    const std::unique_ptr<QLabel> twin = plainTwinOf(*form.control<QLabel>("lblRxBuffer1"));
    cycle();
    PaintCounter counter;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        counter.paints.clear();
        qApp->installEventFilter(&counter);
        cycle(1);
        const QLabel *echo = shownEcho();
        // Painted on its coming to show: what is on screen is its own picture, not the other's.
        EXPECT_TRUE(waitFor([&] { return counter.paints[echo->objectName()] > 0; }, 300));
        qApp->removeEventFilter(&counter);
        ASSERT_EQ(echo->text().count(u'\n'), 7);
        twin->setText(echo->text());
        const QImage expected = painted(*twin).copy(QRect(QPoint(), onScreen(*echo).size()));
        EXPECT_TRUE(onScreen(*echo) == expected);
        form.TrenutniUkazIdx = 1;
    }
}

TEST_F(PollingWindow, TheEchoLabelThatComesToShowIsPaintedOnceForItsCycle)
{
    sim::EncoderConfig turning;
    turning.speedCountsPerSecond = 70000;
    connect(turning);
    cycle();
    QTest::qWait(150);
    PaintCounter counter;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        counter.paints.clear();
        qApp->installEventFilter(&counter);
        // The labels change places at the frame after the cycle's last reply; frames go on after it.
        const bool straight = cycle(1);
        QTest::qWait(150);
        qApp->removeEventFilter(&counter);
        if (!straight)
            continue;
        const QString shown = shownEcho()->objectName();
        const QString hidden = shown == QStringLiteral("lblRxBuffer1") ? QStringLiteral("lblRxBuffer2")
                                                                      : QStringLiteral("lblRxBuffer1");
        EXPECT_EQ(counter.paints[shown], 1) << qPrintable(shown);
        EXPECT_EQ(counter.paints[hidden], 0) << qPrintable(hidden);
        form.TrenutniUkazIdx = 1;
    }
}

TEST_F(PollingWindow, ReadoutsWhoseTextStaysTheSameAreNotPaintedAgain)
{
    // A standing shaft: every reply of a cycle is the same as the cycle before.
    connect(sim::EncoderConfig{});
    cycle();
    cycle();
    QTest::qWait(150);
    const QString degrees = form.control<QLabel>("pnlAbsPosDeg")->text();
    ASSERT_NE(degrees, QStringLiteral("not connected"));

    // A cycle that had to open the port again shows "not connected" on the way: counted again.
    PaintCounter counter;
    for (int attempt = 0; attempt < 3; ++attempt) {
        counter.paints.clear();
        qApp->installEventFilter(&counter);
        const bool straight = cycle();
        QTest::qWait(150);
        qApp->removeEventFilter(&counter);
        if (straight)
            break;
        cycle();
        QTest::qWait(150);
    }

    EXPECT_EQ(form.control<QLabel>("pnlAbsPosDeg")->text(), degrees);
    for (const char *name : {"pnlAbsPosDeg", "pnlAbsPosCnt", "pnlAbsPosMT", "lblSpeed", "lblTempAsic_C",
                             "lblSignalLevel", "lblQuarnairGap", "PaintBoxKot", "pnlAError", "pnlAWarning"}) {
        EXPECT_EQ(counter.paints[QString::fromLatin1(name)], 0) << name;
    }
    // What does change is painted: the communication lamp blinks at every frame with a reply.
    EXPECT_GT(counter.paints[QStringLiteral("pnlComm")], 0);
}

} // namespace
