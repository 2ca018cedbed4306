// SPDX-License-Identifier: MIT
// Caption, window sizes and the hidden shortcuts, the poll-interval spin edit, closing.

#include "test_form.h"
#include "wait_ms.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Without a window manager there is no frame; the offscreen platform draws a thin one of its
// own unless the window asks for none, so the sizes are checked frameless.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void TearDown() override { orodja::setApplicationTerminating(false); }

    TestForm form;
};

TEST_F(WindowTest, CaptionCarriesTheBuildVersion)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Trevisor for Quarn-2 Asnychronous Serial (UART) (Ver: ")
                                      + QStringLiteral(TREVISOR_VERSION_TEXT) + QStringLiteral(")"));
    // Four numbers.
    EXPECT_EQ(QStringLiteral(TREVISOR_VERSION_TEXT).split(QLatin1Char('.')).size(), 4);
}

TEST_F(WindowTest, StartsAtItsFirstSizeFixed)
{
    EXPECT_EQ(form.size(), QSize(717, 505));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

// The client area is the layout's whatever the frame; the frame comes on top. (Real window
// managers: window_manager_test.cpp.)
TEST(WindowFrame, AFrameTheWindowSystemReportsComesOnTopOfTheClientArea)
{
    TestForm form;
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QSize frame = form.frameGeometry().size() - form.geometry().size();
    ASSERT_NE(frame, QSize(0, 0)) << "the platform reports no frame here";
    EXPECT_EQ(form.size(), QSize(717, 505));
    EXPECT_EQ(form.frameGeometry().size(), QSize(717, 505) + frame);
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.size(), QSize(1294, 571));
    EXPECT_EQ(form.frameGeometry().size(), QSize(1294, 571) + frame);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
}

TEST_F(WindowTest, ShortcutsRevealTheDiagnosticArea)
{
    QWidget *recordBox = form.control("cbShranjujMeritveDebug");
    QWidget *unlock = form.control("btnDebugUnlock");

    // At the first size the unlock shortcut does nothing, nor does A with Ctrl+Alt.
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(unlock->isHidden());
    EXPECT_TRUE(recordBox->isHidden());
    EXPECT_EQ(form.size(), QSize(717, 505));

    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form.size(), QSize(717, 571));
    EXPECT_FALSE(recordBox->isHidden());
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_TRUE(unlock->isHidden());

    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.size(), QSize(1294, 571));
    // Ctrl+Shift+D is not the unlock shortcut.
    QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(unlock->isHidden());
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_FALSE(unlock->isHidden());

    // Ctrl+A narrows the window again; nothing that was shown is hidden.
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form.size(), QSize(717, 571));
    EXPECT_FALSE(unlock->isHidden());
    EXPECT_FALSE(recordBox->isHidden());
}

// The whole layout on screens of several sizes. Where it fits, the client area is the layout and
// the controls stand where they stand in it; where it does not, the window keeps within the
// screen's available area and scrolls to every control.
TEST_F(WindowTest, TheWholeLayoutKeepsWithinTheScreenAndScrollsWhereItIsLarger)
{
    auto *scrollArea = form.findChild<QScrollArea *>();
    ASSERT_NE(scrollArea, nullptr);
    QScrollBar *across = scrollArea->horizontalScrollBar();
    QScrollBar *down = scrollArea->verticalScrollBar();
    const int barHeight = across->sizeHint().height();
    const struct {
        const char *what;
        QRect area;
        QSize client;
        QPoint place;
        bool scrollsAcross, scrollsDown;
    } cases[] = {
        {"large screen", {0, 0, 1600, 1000}, {1294, 571}, {306, 82}, false, false},
        {"laptop", {0, 0, 1366, 768}, {1294, 571}, {72, 82}, false, false},
        {"full HD at 1.5", {0, 0, 1280, 720}, {1280, 571 + barHeight}, {0, 82}, true, false},
        {"full HD at 2", {0, 0, 960, 540}, {960, 540}, {0, 0}, true, true},
        {"beside a dock, below a panel", {100, 40, 1024, 600}, {1024, 571 + barHeight}, {100, 640 - 571 - barHeight},
         true, false},
    };
    const auto placeIn = [&](const char *name) {
        const QWidget *control = form.control(name);
        return QRect(control->mapTo(&form, QPoint(0, 0)), control->size());
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        form.screenArea = c.area;
        QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
        form.move(439, 82);
        QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(form.size(), c.client);
        EXPECT_EQ(form.minimumSize(), form.maximumSize());
        EXPECT_EQ(form.pos(), c.place);
        EXPECT_TRUE(c.area.contains(form.frameGeometry()));
        EXPECT_EQ(across->isVisible(), c.scrollsAcross);
        EXPECT_EQ(down->isVisible(), c.scrollsDown);
        if (!c.scrollsAcross && !c.scrollsDown) {
            EXPECT_EQ(placeIn("pnl1Top"), QRect(0, 0, 1294, 81));
            EXPECT_EQ(placeIn("shBgFFT"), QRect(1242, 127, 49, 370));
        }
        // Scrolled to the bottom, the controls at the right and at the left edge show whole.
        const QRect view(QPoint(0, 0), scrollArea->viewport()->size());
        down->setValue(down->maximum());
        across->setValue(across->maximum());
        EXPECT_TRUE(view.contains(placeIn("shBgFFT")));
        across->setValue(across->minimum());
        EXPECT_TRUE(view.contains(placeIn("mmFileName")));
    }

    // A scrolled window still takes the unlock shortcut of the whole layout.
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_FALSE(form.control("btnDebugUnlock")->isHidden());
    // Back to a part that fits: nothing scrolls, and the layout's corner is the window's.
    form.screenArea = QRect(0, 0, 1600, 1000);
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form.size(), QSize(717, 571));
    EXPECT_FALSE(across->isVisible());
    EXPECT_FALSE(down->isVisible());
    EXPECT_EQ(placeIn("pnl1Top").topLeft(), QPoint(0, 0));
}

// In a window that scrolls, the keyboard reaches every control as in one that does not: each
// control that Tab gives the focus to is scrolled into view.
TEST_F(WindowTest, TabScrollsTheFocusedControlIntoView)
{
    form.screenArea = QRect(0, 0, 960, 540);
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const auto *scrollArea = form.findChild<QScrollArea *>();
    const QWidget *viewport = scrollArea->viewport();
    form.control("seDelay")->setFocus();
    bool reachedOutOfFirstView = false;
    for (int press = 0; press < 40; ++press) { // the chain three times over
        QWidget *focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, Qt::Key_Tab);
        focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        SCOPED_TRACE(focused->objectName().toStdString());
        const QRect place(focused->mapTo(viewport, QPoint(0, 0)), focused->size());
        EXPECT_TRUE(viewport->rect().contains(place));
        // Where it stands in the layout: not wholly in view while nothing is scrolled.
        const QRect inLayout(focused->mapTo(scrollArea->widget(), QPoint(0, 0)), focused->size());
        reachedOutOfFirstView = reachedOutOfFirstView || !viewport->rect().contains(inLayout);
    }
    EXPECT_TRUE(reachedOutOfFirstView);
}

TEST_F(WindowTest, TheWindowSeesKeysBeforeTheFocusedControlWithoutTakingThem)
{
    auto *delay = form.control<QSpinBox>("seDelay");
    delay->setFocus();
    // The spin edit takes Ctrl+A (select all) itself; the window still acts on it.
    QTest::keyClick(delay, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.size(), QSize(1294, 571));
    // A digit still reaches the spin edit.
    delay->selectAll();
    QTest::keyClicks(delay, QStringLiteral("70"));
    EXPECT_EQ(delay->value(), 70);
}

TEST_F(WindowTest, PollIntervalFollowsTheDelayFromItsFirstChange)
{
    auto *delay = form.control<QSpinBox>("seDelay");
    EXPECT_EQ(delay->value(), 30);
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 50);

    delay->stepUp();
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 40);

    // Typing 250 applies 25, then 250; the 2 on the way is no valid value and changes nothing.
    delay->setFocus();
    delay->selectAll();
    QTest::keyClick(delay, Qt::Key_2);
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 40);
    QTest::keyClick(delay, Qt::Key_5);
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 25);
    QTest::keyClick(delay, Qt::Key_0);
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 250);
    // The spin edit is the only source: the timer is not started by it.
    EXPECT_FALSE(form.TimerBeriEnkoder->isActive());
}

TEST_F(WindowTest, ClosingUnticksRecordingAndEndsWaits)
{
    auto *record = form.control<QCheckBox>("cbShranjujMeritveDebug");
    record->setChecked(true);
    EXPECT_FALSE(orodja::applicationTerminating());
    form.close();
    EXPECT_FALSE(record->isChecked());
    EXPECT_TRUE(orodja::applicationTerminating());
    // The recording went to the program's folder, the build tree: leave nothing there.
    const QString path = form.control<QPlainTextEdit>("mmFileName")->toPlainText().section(u'\n', 0, 0);
    EXPECT_TRUE(QFile::remove(QDir::fromNativeSeparators(path))) << path.toStdString();
}

TEST_F(WindowTest, ClosingDuringAWaitEndsTheWait)
{
    QTimer::singleShot(30, &form, [this] { form.close(); });
    QElapsedTimer clock;
    clock.start();
    orodja::WaitMs(5000);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(orodja::applicationTerminating());
}

TEST(WindowSearchTimer, SearchTickRearmsEveryEightHundredMillisecondsWhileNothingIsFound)
{
    TestForm form;
    ASSERT_TRUE(form.InitTimer->isActive());
    QElapsedTimer clock;
    clock.start();
    // The first tick comes 200 ms after creation and re-arms the search at 800 ms.
    while (form.InitTimer->interval() != 800 && clock.elapsed() < 2000)
        orodja::WaitMs(10);
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_EQ(form.InitTimer->interval(), 800);
    EXPECT_TRUE(form.InitTimer->isActive());
    EXPECT_EQ(form.ComID, -1);
}

} // namespace
