// SPDX-License-Identifier: MIT
// The window under a dark colour scheme (as Debian's qt6ct "darker" with Fusion gives it): every
// text on screen stands out from what lies behind it, read from the pixels of the window.

#include "colours.h"
#include "test_form.h"

#include "simulated_encoder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

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

// A control's caption, and a way to change it.
struct Caption {
    QString text;
    std::function<void(const QString &)> set;
};

std::optional<Caption> captionOf(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        return Caption{label->text(), [label](const QString &text) { label->setText(text); }};
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return Caption{button->text(), [button](const QString &text) { button->setText(text); }};
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        return Caption{group->title(), [group](const QString &text) { group->setTitle(text); }};
    return std::nullopt;
}

// How well the text of `withText` stands out: the pixels where it differs from `withoutText`
// are the text, and each is held against what lies beneath it; the best of them counts, since
// the edges of letters are blends.
double textContrast(const QImage &withText, const QImage &withoutText)
{
    double best = 0.0;
    for (int y = 0; y < withText.height(); ++y) {
        for (int x = 0; x < withText.width(); ++x) {
            const QRgb text = withText.pixel(x, y);
            const QRgb beneath = withoutText.pixel(x, y);
            if (text != beneath)
                best = std::max(best, contrastRatio(QColor::fromRgb(text), QColor::fromRgb(beneath)));
        }
    }
    return best;
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

    int checked = 0;
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        const std::optional<Caption> caption = captionOf(widget);
        // A disabled control may be dim: nobody has to read what cannot be used.
        if (!caption || caption->text.trimmed().isEmpty() || !widget->isVisibleTo(&form) || !widget->isEnabled())
            continue;
        const QRect area = QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size()).intersected(form.rect());
        const QImage withText = form.grab(area).toImage();
        caption->set(QString());
        const QImage withoutText = form.grab(area).toImage();
        caption->set(caption->text);
        ++checked;
        EXPECT_GE(textContrast(withText, withoutText), 4.5)
            << widget->objectName().toStdString() << ": \"" << caption->text.toStdString() << '"';
    }
    EXPECT_GT(checked, 40);
}

} // namespace
