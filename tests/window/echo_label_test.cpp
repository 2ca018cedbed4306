// SPDX-License-Identifier: MIT
// The echo labels draw their lines from words shaped once; what they paint must be what a plain
// label with the same font, palette and text paints, pixel for pixel.
#include "echo_label.h"
#include "main_form.h"

#include "poll_decoding.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

namespace {

// A plain label standing in for `echo`: same font, palette, size, alignment and text format.
std::unique_ptr<QLabel> plainTwinOf(const QLabel &echo)
{
    auto twin = std::make_unique<QLabel>();
    twin->setFont(echo.font());
    twin->setPalette(echo.palette());
    twin->setTextFormat(echo.textFormat());
    twin->setAlignment(echo.alignment());
    twin->setFixedSize(echo.size());
    return twin;
}

// Both painted on the form's background colour, as they stand on the form.
QImage painted(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

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

} // namespace
