// SPDX-License-Identifier: MIT
// The window as created: controls, captions, places, colours, fonts and timers.

#include "colours.h"
#include "debug_chart_view.h"
#include "test_form.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QChart>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QRadioButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTimer>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace {

QString textOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return {};
}

struct ControlCase {
    const char *name;
    const char *text;
    QRect geometry; // relative to the parent container
    bool hidden;
    bool enabled;
};

TEST(WindowLayout, BeforeAnyEncoderTheReadoutsShowDashesAndNoControlItsInternalName)
{
    TestForm form;
    for (const char *name : {"lblSpeed", "lblTempAsic_C", "lblSignalLevel", "lblQuarnairGap"})
        EXPECT_EQ(textOf(form.control(name)), QStringLiteral("- - - - -")) << name;
    for (const char *name : {"lblRxBuffer1", "lblRxBuffer2", "lblKodaNaGrafu"})
        EXPECT_TRUE(textOf(form.control(name)).isEmpty()) << name;
    // A designer's caption is the control's name, or words run together as in a name
    // ("SignalLevel"); an operator reads words.
    const QRegularExpression runTogether(QStringLiteral("^[A-Za-z]*[a-z][A-Z][A-Za-z0-9]*$"));
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        const QString text = textOf(widget).trimmed();
        if (text.isEmpty())
            continue;
        EXPECT_NE(text, widget->objectName());
        EXPECT_FALSE(runTogether.match(text).hasMatch())
            << widget->objectName().toStdString() << ": \"" << text.toStdString() << '"';
    }
}

TEST(WindowLayout, ControlsHaveTheirCaptionsPlacesAndStates)
{
    TestForm form;
    const ControlCase cases[] = {
        {"pnl1Top", "", {0, 0, 1294, 81}, false, true},
        {"GroupBox1", " Encoder info ", {7, 7, 394, 59}, false, true},
        {"lblEncoderInfo", "Encoder information", {19, 16, 368, 38}, false, true},
        {"pnlComm", "", {120, 5, 12, 12}, false, true},
        {"Image1", "", {574, 23, 126, 31}, false, true},
        {"pnl2Mid", "", {0, 81, 1294, 8}, false, true},
        {"listCom", "", {8, 102, 73, 106}, false, false},
        {"rgBaudrate", "Baudrate", {88, 96, 89, 145}, false, false},
        {"seDelay", "", {8, 214, 73, 22}, false, true},
        {"cbBeriEnkoder", "Read encoder", {9, 337, 124, 17}, false, true},
        {"lblRxBuffer1", "", {9, 360, 216, 146}, false, true},
        {"lblRxBuffer2", "", {9, 360, 216, 146}, true, true},
        {"pnlAbsPosMT", "-  -  -  -  -", {183, 99, 272, 35}, true, true},
        {"pnlAbsPosCnt", "-  -  -  -  -", {183, 136, 272, 35}, false, true},
        {"pnlAbsPosDeg", "not connected", {183, 173, 272, 35}, false, true},
        {"PaintBoxKot", "", {183, 221, 100, 100}, false, true},
        {"gbEncoderStatus", " Encoder Status ", {289, 214, 166, 148}, false, true},
        {"pnlAError", "Error", {3, 16, 79, 17}, false, true},
        {"pnlMultiturnErr", "Multiturn Err", {83, 124, 79, 17}, false, true},
        {"pnlTemperaturaAsic", "Temerature", {83, 88, 79, 17}, false, true},
        {"cbPersistentStatus", "Persistent status", {292, 363, 108, 17}, false, true},
        {"btnResetPersistentStatus", "Reset", {403, 361, 48, 19}, false, true},
        {"btnMTzero", "Multiturn 0", {474, 96, 87, 33}, true, true},
        {"btnSTzero", "Set zero here", {473, 137, 88, 33}, false, true},
        {"btnResetFactory", "Reset to Factory", {474, 179, 88, 35}, false, true},
        {"btnStartSelfCal", "Start Self-Cal", {628, 179, 85, 35}, false, true},
        {"pbSelfCalProgress", "", {473, 221, 239, 17}, false, true},
        {"GroupBox4", " Self-calibration status  ", {474, 244, 239, 258}, false, true},
        {"pnlAselfCalParamOutOfRange", "Input Arc Length out of range", {19, 82, 201, 17}, false, true},
        {"pnlAselfCalSucessfull", "Calibration successfull", {19, 139, 201, 17}, false, true},
        {"lblAselfCalResult", "...", {19, 162, 198, 93}, false, true},
        {"btnDebugUnlock", "Unlock", {727, 96, 75, 25}, true, true},
        {"btnDebugRead", "Read", {817, 96, 75, 25}, false, true},
        {"cbBeriDebug", "Read const", {909, 100, 97, 17}, false, true},
        {"ChartDebug", "", {727, 127, 509, 370}, true, true},
        {"lblKodaNaGrafu", "", {56, 19, 433, 41}, false, true},
        {"shBgFFT", "", {1242, 127, 49, 370}, false, true},
        {"shCenter", "", {1263, 464, 9, 33}, false, true},
        {"cbShranjujMeritveDebug", "Record debug data to file", {8, 510, 158, 17}, true, true},
        {"mmFileName", "", {168, 508, 544, 62}, false, true},
    };
    for (const ControlCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QWidget *widget = form.control(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(textOf(widget), QString::fromUtf8(c.text));
        EXPECT_EQ(widget->geometry(), c.geometry);
        EXPECT_EQ(widget->isHidden(), c.hidden);
        EXPECT_EQ(widget->isEnabled(), c.enabled);
    }
    EXPECT_EQ(form.control("lblKodaNaGrafu")->parent(), form.control("ChartDebug"));
    EXPECT_EQ(form.control("pnlAError")->parent(), form.control("gbEncoderStatus"));
    EXPECT_EQ(form.control("pnlComm")->parent(), form.control("pnl1Top"));
    EXPECT_TRUE(form.control<QPlainTextEdit>("mmFileName")->toPlainText().isEmpty());
    EXPECT_FALSE(form.control<QCheckBox>("cbBeriEnkoder")->isChecked());
    EXPECT_FALSE(form.control<QCheckBox>("cbShranjujMeritveDebug")->isChecked());
}

TEST(WindowLayout, StateFieldsStartAsAfterCreation)
{
    TestForm form;
    EXPECT_EQ(form.ComID, -1);
    EXPECT_EQ(form.Enkoder_CPR, 1);
    EXPECT_TRUE(form.RxBuffer.isEmpty());
    EXPECT_EQ(form.TrenutniUkazIdx, 0);
    EXPECT_EQ(form.BufDisp, 0);
}

TEST(WindowLayout, LampsAndPanelsStartWithTheirColours)
{
    TestForm form;
    const char *const lamps[] = {
        "pnlAError", "pnlAWarning", "pnlAsicReset", "pnlNoOffsetTable", "pnlSyncErr",
        "pnlInvalidPNcode", "pnlClipADC", "pnlSkokPozicije", "pnlAmplitudaHi",
        "pnlTemperaturaAsic", "pnlAmplitudaWarn", "pnlVref_out_of_range", "pnlAmplitudaErr",
        "pnlMultiturnErr", "pnlAselfCalFinished", "pnlAselfCalTimeout", "pnlAselfCalOutOfRange",
        "pnlAselfCalParamOutOfRange", "pnlAselfCalNoCorrection", "pnlASelfCalUserErrMap",
        "pnlAselfCalSucessfull"};
    for (const char *name : lamps) {
        SCOPED_TRACE(name);
        const auto *lamp = form.control<QLabel>(name);
        ASSERT_NE(lamp, nullptr);
        EXPECT_EQ(lampColour(lamp), colour::Silver);
        EXPECT_TRUE(lamp->autoFillBackground());
        EXPECT_EQ(lamp->frameShape(), QFrame::Panel);
        EXPECT_EQ(lamp->frameShadow(), QFrame::Sunken);
        EXPECT_TRUE(lamp->alignment().testFlag(Qt::AlignHCenter));
    }
    const std::pair<const char *, quint32> colours[] = {
        {"pnl1Top", colour::White},    {"pnlComm", 17408},          {"pnl2Mid", 4227327},
        {"lblHeader", colour::White},  {"pnlAbsPosDeg", colour::White},
        {"pnlAbsPosCnt", colour::White}, {"pnlAbsPosMT", colour::White},
        {"shBgFFT", colour::White},    {"shLevo", 11010048},        {"shCenter", 49408},
        {"shDesno", 11010048},
    };
    for (const auto &[name, number] : colours) {
        SCOPED_TRACE(name);
        EXPECT_EQ(lampColour(form.control(name)), number);
        EXPECT_TRUE(form.control(name)->autoFillBackground());
    }
}

TEST(WindowLayout, FontsKeepTheirPixelSizes)
{
    TestForm form;
    const struct {
        const char *name;
        const char *family;
        int pixelSize;
        bool bold;
    } cases[] = {
        {"btnSTzero", "MS Sans Serif", 11, false},  {"lblEncoderInfo", "Tahoma", 13, false},
        {"lblHeader", "MS Sans Serif", 13, false},  {"cbBeriEnkoder", "MS Sans Serif", 16, false},
        {"pnlAbsPosDeg", "Arial", 32, true},        {"lblSpeed", "Arial Narrow", 19, false},
        {"pnlAError", "Tahoma", 12, true},          {"pnlAWarning", "Tahoma", 12, true},
        {"pnlSyncErr", "Tahoma", 11, false},        {"pnlAselfCalTimeout", "Tahoma", 11, false},
        {"lblKodaNaGrafu", "Tahoma", 15, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QFont font = form.control(c.name)->font();
        EXPECT_EQ(font.families().value(0), QString::fromLatin1(c.family));
        EXPECT_TRUE(font.families().contains(QStringLiteral("DejaVu Sans")));
        EXPECT_EQ(font.pixelSize(), c.pixelSize);
        EXPECT_EQ(font.bold(), c.bold);
    }
}

TEST(WindowLayout, SpinEditsProgressAndBaudRateItems)
{
    TestForm form;
    const struct {
        const char *name;
        int minimum, maximum, step, value;
    } spins[] = {
        {"seDelay", 10, 1000, 10, 30},
        {"seSelfCalArc", 180, 360, 20, 360},
        {"seSelfCalTimeout", 1, 40, 20, 10},
    };
    for (const auto &s : spins) {
        SCOPED_TRACE(s.name);
        const auto *spin = form.control<QSpinBox>(s.name);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->minimum(), s.minimum);
        EXPECT_EQ(spin->maximum(), s.maximum);
        EXPECT_EQ(spin->singleStep(), s.step);
        EXPECT_EQ(spin->value(), s.value);
    }
    EXPECT_EQ(form.control("seDelay")->toolTip(), QStringLiteral("Delay between readings (ms)"));
    EXPECT_EQ(form.control("pnlAbsPosDeg")->toolTip(), QStringLiteral("Singleturn position (degrees)"));

    const auto *progress = form.control<QProgressBar>("pbSelfCalProgress");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);

    const auto *list = form.control<QListWidget>("listCom");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("3"));

    const auto *group = form.findChild<QButtonGroup *>(QStringLiteral("rgBaudrateButtons"));
    ASSERT_NE(group, nullptr);
    const char *const items[] = {"A - 115200", "B - 128000", "C - 230400", "D - 256000",
                                 "E - 500000", "F - 1000000", "G - 921600"};
    ASSERT_EQ(group->buttons().size(), 7);
    for (int id = 0; id < 7; ++id) {
        SCOPED_TRACE(id);
        ASSERT_NE(group->button(id), nullptr);
        EXPECT_EQ(group->button(id)->text(), QString::fromLatin1(items[id]));
        EXPECT_EQ(group->button(id)->parent(), form.control("rgBaudrate"));
    }
    EXPECT_EQ(group->checkedId(), 0);
    EXPECT_TRUE(group->exclusive());
}

TEST(WindowLayout, TimersAreCreatedStoppedExceptTheSearch)
{
    TestForm form;
    EXPECT_EQ(form.InitTimer->interval(), 200);
    EXPECT_TRUE(form.InitTimer->isActive());
    EXPECT_EQ(form.TimerBeriEnkoder->interval(), 50);
    EXPECT_FALSE(form.TimerBeriEnkoder->isActive());
}

TEST(WindowLayout, DebugChartHasItsAxesAndSeries)
{
    TestForm form;
    auto *view = form.findChild<DebugChartView *>(QStringLiteral("ChartDebug"));
    ASSERT_NE(view, nullptr);
    QChart *chart = view->chart();
    EXPECT_FALSE(chart->legend()->isVisible());
    EXPECT_TRUE(chart->title().isEmpty());
    EXPECT_EQ(colourNumber(chart->backgroundBrush().color()), colour::White);

    EXPECT_EQ(view->leftAxis()->min(), -1201);
    EXPECT_EQ(view->leftAxis()->max(), 1201);
    EXPECT_EQ(view->leftAxis()->labelsFont().pixelSize(), 9);
    EXPECT_EQ(view->rightAxis()->min(), -1000);
    EXPECT_EQ(view->rightAxis()->max(), 1000);
    EXPECT_FALSE(view->rightAxis()->isGridLineVisible());
    EXPECT_EQ(view->leftAxis()->alignment(), Qt::AlignLeft);
    EXPECT_EQ(view->rightAxis()->alignment(), Qt::AlignRight);

    ASSERT_NE(view->seriesDebug(), nullptr);
    EXPECT_EQ(view->seriesDebug()->objectName(), QStringLiteral("SeriesDebug"));
    EXPECT_EQ(colourNumber(view->seriesDebug()->pen().color()), 8388608u);
    EXPECT_EQ(view->seriesDebug()->pen().width(), 2);
    ASSERT_NE(view->series2(), nullptr);
    EXPECT_EQ(view->series2()->objectName(), QStringLiteral("Series2"));
    EXPECT_EQ(view->series2()->markerShape(), QScatterSeries::MarkerShapeRectangle);
    EXPECT_EQ(view->series2()->markerSize(), 3);
    EXPECT_EQ(colourNumber(view->series2()->color()), 4227327u);
    EXPECT_EQ(chart->series().size(), 2);
}

} // namespace
