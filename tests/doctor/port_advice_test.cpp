// SPDX-License-Identifier: MIT
// The window's red port item: a port that would not open carries the doctor's advice.

#include "held_port.h"
#include "test_form.h"

#include "colours.h"

#include "port_lister.h"
#include "qt_serial_port.h"
#include "simulated_encoder.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SearchingForm : public TestForm {
public:
    using TMainForm::searchForEncoder;
};

TEST(PortAdvice, TheTooltipOfAPortHeldByAnotherProgramNamesItAndHowToEndIt)
{
    sim::SimulatedEncoder encoder;
    HeldPort held(encoder.portPath());
    ASSERT_TRUE(held.holding());

    SearchingForm form;
    form.InitTimer->stop();
    form.ports = serial::extraPortEntries(encoder.portPath());
    form.nextPort = std::make_unique<serial::QtSerialPort>();
    EXPECT_FALSE(form.searchForEncoder());

    QListWidgetItem *item = form.control<QListWidget>("listCom")->item(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(colourNumber(item->foreground().color()), colour::Red);
    const QStringList lines = item->toolTip().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << item->toolTip().toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(encoder.portPath() + QStringLiteral(": ")));
    // This process serves the simulator's pseudo-terminal; the advice says so, and blames the other.
    EXPECT_EQ(lines.at(1), QStringLiteral("held open by pid %1 (trevisor-cli); pid %2 (doctor_tests) serves this "
                                          "pseudo-terminal. Fix: close trevisor-cli, or end it: kill %1")
                               .arg(held.pid())
                               .arg(QCoreApplication::applicationPid()));
}

} // namespace
