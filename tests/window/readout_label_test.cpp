// SPDX-License-Identifier: MIT
// The position panels draw their numbers from characters shaped once; what they paint must be
// what a plain label with the same frame, font, palette and text paints, pixel for pixel.
#include "label_twin.h"
#include "main_form.h"
#include "readout_label.h"

#include "poll_decoding.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(ReadoutLabel, PaintsEveryPositionReadoutAsAPlainLabelDoes)
{
    TMainForm form;
    QRandomGenerator random(42);
    // Angles, counts and turns as the panels show them, in a locale with a decimal comma and
    // one with a point; then the texts of an encoder error and of no encoder.
    QStringList readouts;
    for (const QLocale &locale : {QLocale(QLocale::English), QLocale(QLocale::German)}) {
        for (int value = 0; value < 24; ++value) {
            const double degrees = random.bounded(360.0);
            readouts << quarn::angleText(degrees, locale) << QString::number(random.bounded(1 << 21))
                     << QString::number(static_cast<int>(random.bounded(65536)) - 32768);
        }
        readouts << quarn::angleText(0.0, locale) << quarn::angleText(359.99, locale);
    }
    const QStringList others{QString::fromUtf8(quarn::PositionErrorText), QStringLiteral("- - - - -"),
                             QStringLiteral("not connected")};

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x26));
    dark.setColor(QPalette::WindowText, QColor(0xE8, 0xE8, 0xE0));
    for (const char *name : {"pnlAbsPosDeg", "pnlAbsPosCnt", "pnlAbsPosMT"}) {
        SCOPED_TRACE(name);
        auto *readout = form.findChild<ReadoutLabel *>(QString::fromLatin1(name));
        ASSERT_NE(readout, nullptr);
        // The form's colours and font, whose line is taller than the panel, so the text is cut
        // at its edges; then a dark scheme; then a smaller font, whose line fits.
        for (int setting = 0; setting < 3; ++setting) {
            SCOPED_TRACE(setting);
            if (setting == 1)
                readout->setPalette(dark);
            if (setting == 2) {
                QFont smaller = readout->font();
                smaller.setPixelSize(QFontInfo(smaller).pixelSize() - 9);
                readout->setFont(smaller);
                ASSERT_LT(QFontMetrics(smaller).height(), readout->contentsRect().height());
            }
            const std::unique_ptr<QLabel> twin = plainTwinOf(*readout);
            const QImage blank = painted(*twin);
            for (const QString &text : readouts + others) {
                SCOPED_TRACE(text.toStdString());
                readout->setText(text);
                twin->setText(text);
                const QImage expected = painted(*twin);
                // The text really is on the image: not two blank pictures.
                ASSERT_NE(expected, blank);
                EXPECT_TRUE(painted(*readout) == expected);
            }
            // The numbers are the label's own drawing; text of other kinds is the plain label's.
            for (const QString &text : readouts)
                EXPECT_TRUE(readout->drawsItself(text)) << text.toStdString();
            EXPECT_FALSE(readout->drawsItself(QStringLiteral("not connected")));
        }
    }
}

} // namespace
