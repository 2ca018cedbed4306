// SPDX-License-Identifier: MIT
// The window under a dark colour scheme (as Debian's qt6ct "darker" with Fusion gives it): every
// text on screen stands out from what lies behind it, read from the pixels of the window.

#include "caption_contrast.h"
#include "test_form.h"

#include "simulated_encoder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// qt6ct's "darker" scheme, role by role.
QPalette darkerPalette()
{
    const char *const active[] = {"#ffffff", "#424245", "#979797", "#5e5c5b", "#302f2e", "#4a4947", "#ffffff",
                                  "#ffffff", "#ffffff", "#3d3d3d", "#222020", "#e7e4e0", "#12608a", "#f9f9f9",
                                  "#0986d3", "#a70b06", "#5c5b5a", "#ffffff", "#3f3f36", "#ffffff"};
    QPalette palette;
    for (int role = 0; role < static_cast<int>(std::size(active)); ++role) {
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, static_cast<QPalette::ColorRole>(role), QColor(QString::fromLatin1(active[role])));
    }
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return palette;
}

class DarkPaletteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_style = QApplication::style()->name();
        s_palette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkerPalette());
    }
    static void TearDownTestSuite()
    {
        QApplication::setStyle(QStyleFactory::create(s_style));
        QApplication::setPalette(s_palette);
    }

    static inline QString s_style;
    static inline QPalette s_palette;
};

TEST_F(DarkPaletteTest, EveryTextOnScreenStandsOutFromWhatItStandsOn)
{
    sim::EncoderConfig config;
    config.startPosition = 5 * 262144 + 92160;
    config.statusWord = 0x0140; // Warning and Signal Low lit
    sim::SimulatedEncoder encoder(config);
    TestForm form;
    form.InitTimer->stop();
    form.show();
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(form.openRealPort(encoder.portPath()));
    ASSERT_TRUE(form.identifyOpenEncoder());
    for (int step = 0; step < 7; ++step)
        form.BeriPozicijo();
    ASSERT_TRUE(waitFor([&] { return form.control<QLabel>("pnlAbsPosCnt")->text() == QStringLiteral("92160"); }, 2000));
    // The diagnostic area with a record on its chart and the code over it.
    QTest::keyClick(&form, Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier);
    form.control<QAbstractButton>("btnDebugUnlock")->click();
    form.control<QAbstractButton>("btnDebugRead")->click();
    ASSERT_FALSE(form.control<QLabel>("lblKodaNaGrafu")->text().isEmpty());
    ASSERT_TRUE(form.messages.empty());
    QTest::qWait(100);

    const QList<caption_contrast::Reading> readings = caption_contrast::readCaptions(form);
    for (const caption_contrast::Reading &reading : readings)
        EXPECT_GE(reading.contrast, caption_contrast::ReadableContrast)
            << reading.control.toStdString() << ": \"" << reading.caption.toStdString() << '"';
    const qsizetype checked = readings.size();
    EXPECT_GT(checked, 40);
}

} // namespace
