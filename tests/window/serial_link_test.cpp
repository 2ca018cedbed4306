// SPDX-License-Identifier: MIT
// The window's transaction gate and the closing of the port, against the scripted fake port.

#include "angle_dial.h"
#include "colours.h"
#include "fake_serial_port.h"
#include "test_form.h"

#include <QGroupBox>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using serial::FakeSerialPort;

class SerialLinkTest : public ::testing::Test {
protected:
    // Opens a fake port in the window and keeps a view of what is done to it.
    FakeSerialPort *openFakePort()
    {
        auto port = std::make_unique<FakeSerialPort>();
        FakeSerialPort *raw = port.get();
        record = port->sharedRecord();
        form.nextPort = std::move(port);
        EXPECT_TRUE(form.OpenComPort(QStringLiteral("/dev/fake0")));
        return raw;
    }

    TestForm form;
    std::shared_ptr<const serial::FakePortRecord> record;
};

TEST_F(SerialLinkTest, OpeningGivesTheWindowAPortAndAHandle)
{
    openFakePort();
    EXPECT_GT(form.ComID, 0);
    ASSERT_NE(form.openPort(), nullptr);
    EXPECT_EQ(record->openedPath, QStringLiteral("/dev/fake0"));

    // A second port replaces the first, which is closed, under a new handle.
    const int firstHandle = form.ComID;
    const auto firstRecord = record;
    openFakePort();
    EXPECT_EQ(firstRecord->closes, 1);
    EXPECT_GT(form.ComID, 0);
    EXPECT_NE(form.ComID, firstHandle);
}

TEST_F(SerialLinkTest, APortThatDoesNotOpenLeavesNoPort)
{
    auto port = std::make_unique<FakeSerialPort>();
    port->failOpen(QStringLiteral("Permission denied"));
    form.nextPort = std::move(port);
    EXPECT_FALSE(form.OpenComPort(QStringLiteral("/dev/fake0")));
    EXPECT_EQ(form.ComID, -1);
    EXPECT_EQ(form.openPort(), nullptr);
}

TEST_F(SerialLinkTest, ResultsOfTheTransaction)
{
    struct Case {
        const char *what;
        QByteArray answer; // empty: the encoder stays silent
        qint32 expected;
        int result;
        QByteArray reply;
    };
    const Case cases[] = {
        {"complete", QByteArray("\x31\x12\x34\x56", 4), 4, 0, QByteArray("\x31\x12\x34\x56", 4)},
        {"more than expected is kept", QByteArray("abcdef"), 4, 0, QByteArray("abcdef")},
        {"half a reply", QByteArray("ab"), 4, -1, QByteArray("ab")},
        {"silent", QByteArray(), 4, -1, QByteArray()},
        {"nothing awaited", QByteArray(), 0, 0, QByteArray()},
    };
    FakeSerialPort *port = openFakePort();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        port->queueReply(c.answer);
        QByteArray reply("stale");
        EXPECT_EQ(form.ComTransaction(form.ComID, QByteArray("1"), c.expected, reply), c.result);
        EXPECT_EQ(reply, c.reply);
        EXPECT_NE(form.ComID, -1);
    }
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(record->requests.size(), std::size(cases));
}

TEST_F(SerialLinkTest, NoPortGivesMinusThreeSilently)
{
    QByteArray reply("kept");
    EXPECT_EQ(form.ComTransaction(-1, QByteArray("1"), 4, reply), -3);
    EXPECT_EQ(reply, QByteArray("kept"));

    // A handle that is not the open port's sends nothing either.
    openFakePort();
    EXPECT_EQ(form.ComTransaction(form.ComID + 1, QByteArray("1"), 4, reply), -3);
    EXPECT_EQ(reply, QByteArray("kept"));
    EXPECT_TRUE(record->writes.isEmpty());
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(SerialLinkTest, FailedWriteClosesThePortBeforeTheWarning)
{
    FakeSerialPort *port = openFakePort();
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(true);
    form.control<QLabel>("pnlAbsPosDeg")->setText(QStringLiteral("12.50 °"));
    // The last byte of a two-byte request fails.
    port->failWriteAt(1);

    QByteArray reply("before");
    EXPECT_EQ(form.ComTransaction(form.ComID, QByteArray("v1"), 42, reply), -3);
    EXPECT_EQ(reply, QByteArray("before"));

    ASSERT_EQ(form.messages.size(), 1u);
    const RecordedMessage &message = form.messages.front();
    EXPECT_EQ(message.kind, TMainForm::MessageKind::Warning);
    EXPECT_EQ(message.text, QStringLiteral("Cable disconnected!"));
    // The port was already closed and polling stopped when the box came up.
    EXPECT_EQ(message.comId, -1);
    EXPECT_FALSE(message.readEncoderTicked);
    EXPECT_EQ(message.degreesPanelText, QStringLiteral("not connected"));
    EXPECT_EQ(record->closes, 1);
    EXPECT_EQ(form.openPort(), nullptr);

    // Later transactions find no port.
    EXPECT_EQ(form.ComTransaction(form.ComID, QByteArray("1"), 4, reply), -3);
    EXPECT_EQ(form.messages.size(), 1u);
}

TEST_F(SerialLinkTest, ClosingResetsTheReadoutsAndReleasesThePort)
{
    openFakePort();
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(true);
    form.control<QGroupBox>("rgBaudrate")->setEnabled(false);
    setLampColour(form.control("lblHeader"), colour::Green);
    setLampColour(form.control("pnlAError"), colour::Red);
    setLampColour(form.control("pnlAselfCalSucessfull"), colour::Green);
    setLampColour(form.control("pnlAbsPosDeg"), colour::LightRed);
    form.control<QLabel>("pnlAbsPosMT")->setText(QStringLiteral("7"));
    form.control<QLabel>("lblRxBuffer1")->setText(QStringLiteral("1 31 00 FA 02 \n"));
    form.control<AngleDial>("PaintBoxKot")->setAngle(90.0f);

    form.CloseComPort();

    const std::pair<const char *, const char *> texts[] = {
        {"lblSpeed", "- - - - -"},          {"lblSignalLevel", "- - - - -"},
        {"lblQuarnairGap", "- - - - -"},    {"lblTempAsic_C", "- - - - -"},
        {"pnlAbsPosDeg", "not connected"},  {"pnlAbsPosCnt", "- - - - -"},
        {"lblHeader", "Header: "},          {"lblResolucija", "Resolution: "},
        {"lblAselfCalResult", "..."},       {"lblEncoderInfo", "Encoder information..."},
    };
    for (const auto &[name, text] : texts) {
        SCOPED_TRACE(name);
        EXPECT_EQ(form.control<QLabel>(name)->text(), QString::fromUtf8(text));
    }
    EXPECT_EQ(lampColour(form.control("lblHeader")), buttonFaceColour());
    EXPECT_FALSE(form.control<QCheckBox>("cbBeriEnkoder")->isChecked());
    EXPECT_TRUE(form.control("rgBaudrate")->isEnabled());
    EXPECT_EQ(form.ComID, -1);
    EXPECT_EQ(record->closes, 1);
    // Nothing looks live any more: the turns like the counts, the lamps silver as before the first
    // reply, no echo, no pointer, and the angle panel's error colour gone with the reading.
    EXPECT_EQ(form.control<QLabel>("pnlAbsPosMT")->text(), QStringLiteral("- - - - -"));
    EXPECT_EQ(lampColour(form.control("pnlAError")), colour::Silver);
    EXPECT_EQ(lampColour(form.control("pnlAselfCalSucessfull")), colour::Silver);
    EXPECT_EQ(lampColour(form.control("pnlAbsPosDeg")), colour::White);
    EXPECT_TRUE(form.control<QLabel>("lblRxBuffer1")->text().isEmpty());
    EXPECT_FALSE(form.control<AngleDial>("PaintBoxKot")->hasReading());

    // Again on a closed port: only the read-outs, nothing closed twice.
    form.control<QLabel>("pnlAbsPosDeg")->setText(QStringLiteral("1.00 °"));
    form.CloseComPort();
    EXPECT_EQ(form.control<QLabel>("pnlAbsPosDeg")->text(), QStringLiteral("not connected"));
    EXPECT_EQ(record->closes, 1);
}

TEST(SerialLinkLifetime, DestroyingTheWindowStopsPollingAndClosesThePort)
{
    std::shared_ptr<const serial::FakePortRecord> record;
    {
        TestForm form;
        auto port = std::make_unique<FakeSerialPort>();
        record = port->sharedRecord();
        form.nextPort = std::move(port);
        ASSERT_TRUE(form.OpenComPort(QStringLiteral("/dev/fake0")));
        form.TimerBeriEnkoder->start();
    }
    EXPECT_EQ(record->closes, 1);
}

} // namespace
