// SPDX-License-Identifier: MIT
// The echo labels draw their lines from words shaped once; what they paint must be what a plain
// label with the same font, palette and text paints, pixel for pixel.
#include "echo_label.h"
#include "label_twin.h"
#include "main_form.h"

#include "poll_decoding.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

TEST(EchoLabel, PaintsEveryEchoLineAsAPlainLabelDoes)
{
    TMainForm form;
    auto *echo = form.findChild<EchoLabel *>(QStringLiteral("lblRxBuffer1"));
    ASSERT_NE(echo, nullptr);
    const std::unique_ptr<QLabel> twin = plainTwinOf(*echo);

    // Every byte value behind every command of the cycle, seven lines at a time as on screen,
    // a multiturn reply of nine bytes among them; then texts that are no echo at all.
    QStringList texts;
    const char commands[] = "13djsta";
    for (int first = 0; first < 256; first += 63) {
        QString text;
        for (int line = 0; line < 7; ++line) {
            QByteArray reply;
            for (int byte = 0; byte < 9; ++byte)
                reply.append(static_cast<char>((first + line * 9 + byte) % 256));
            QString echoed = quarn::hexEchoLine(commands[line], reply);
            text += echoed.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        }
        texts << text;
    }
    texts << QStringLiteral("lblRxBuffer1") << QStringLiteral("1  31 \n\n3 FF") << QStringLiteral("Temp: -10 °C");

    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        echo->setText(text);
        twin->setText(text);
        const QImage expected = painted(*twin);
        const QImage actual = painted(*echo);
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual == expected);
        // The text really is on the image: not two blank pictures.
        EXPECT_NE(expected, painted(*plainTwinOf(*echo)));
    }
}

TEST(EchoLabel, ANewCycleIsOnScreenWithinAFrame)
{
    // What the window's screen shows, not a fresh rendering: the echo's change has to come
    // through the paced frames.
    TMainForm form;
    form.InitTimer->stop();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The echo label on show at start.
    auto *echo = form.findChild<EchoLabel *>(QStringLiteral("lblRxBuffer1"));
    ASSERT_NE(echo, nullptr);
    ASSERT_TRUE(echo->isVisible());
    const std::unique_ptr<QLabel> twin = plainTwinOf(*echo);
    // The label reaches a pixel below the window's client area.
    const QPoint at = echo->mapTo(&form, QPoint(0, 0));
    const auto onScreen = [&] {
        return form.screen()
            ->grabWindow(form.winId(), at.x(), at.y(), echo->width(), form.height() - at.y())
            .toImage()
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };

    for (const char *text : {"1 31 12 34 56 \n3 12 34 56 \nd 64 12 34 56 00 00 \n",
                             "1 31 12 AB CD \n3 12 AB CD \nd 64 12 AB CD 80 01 \n"}) {
        SCOPED_TRACE(text);
        twin->setText(QString::fromLatin1(text));
        const QImage expected = painted(*twin).copy(0, 0, echo->width(), form.height() - at.y());
        QElapsedTimer clock;
        clock.start();
        echo->setText(QString::fromLatin1(text));
        // A frame is 50 ms; the second text comes within the frame after the first.
        EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen() == expected; }, 150));
        EXPECT_LT(clock.elapsed(), 150);
    }

    // Once a cycle the two echo labels change places: the screen shows the one now on show,
    // with nothing of the other left beneath or around it.
    auto *other = form.findChild<EchoLabel *>(QStringLiteral("lblRxBuffer2"));
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(other->geometry(), echo->geometry());
    const QString nextCycle = QStringLiteral("1 31 00 01 02 \n3 00 01 02 \n");
    other->setText(nextCycle);
    twin->setText(nextCycle);
    const QImage expected = painted(*twin).copy(0, 0, echo->width(), form.height() - at.y());
    echo->hide();
    other->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen() == expected; }, 150));
}

} // namespace
