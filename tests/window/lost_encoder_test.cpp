// SPDX-License-Identifier: MIT
// Command sequences and the self-calibration meeting an encoder that is lost or found while they
// run: no search inside their pauses, no result or zero from a reading they did not get, and a
// window left waiting to search when the port is gone, so a returning encoder is polled again.

#include "colours.h"
#include "fake_serial_port.h"
#include "test_form.h"
#include "wait_ms.h"

#include "port_lister.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>


namespace {

using serial::FakeSerialPort;

const QString ZeroFailed = QStringLiteral("Set zero offset failed!");
const QString StatusFailed = QStringLiteral("Command \"i\" failed!");

const char *const SelfCalLamps[] = {"pnlAselfCalFinished",        "pnlAselfCalTimeout",
                                    "pnlAselfCalOutOfRange",      "pnlAselfCalParamOutOfRange",
                                    "pnlAselfCalNoCorrection",    "pnlASelfCalUserErrMap",
                                    "pnlAselfCalSucessfull"};

// A single-turn encoder of 18 bits, firmware 2.8 (no timeout request, no "j").
QByteArray identificationReply()
{
    QByteArray reply = QByteArrayLiteral("vQuarn-2 000042xyzQX105---18S------");
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>(8));
    reply.append(static_cast<char>(1));
    reply.append(QByteArray::fromHex("00000007"));
    return reply;
}

// The reply to a poll request at 1000 counts; bit 1 of the position word clear means an error.
QByteArray positionReply(char command, bool errorFlag = false)
{
    const QByteArray position = QByteArray::fromHex(errorFlag ? "00FA00" : "00FA02");
    QByteArray reply = command == '3' ? position : QByteArray(1, command) + position;
    if (command == 'd' || command == 'a')
        reply += QByteArray(2, '\0');
    if (command == 's')
        reply += QByteArray(3, '\0');
    if (command == 't')
        reply += QByteArray(1, '\0');
    return reply;
}

// An encoder on a scripted port: identification, every poll step, and a self-calibration status
// that changes once `changedAfter` status requests were answered. `firstPollReply` shapes the
// reply to the first poll request.
std::unique_ptr<FakeSerialPort> scriptedEncoder(std::optional<QByteArray> firstPollReply = std::nullopt,
                                                int changedAfter = 1000)
{
    auto port = std::make_unique<FakeSerialPort>();
    auto polls = std::make_shared<int>(0);
    auto statuses = std::make_shared<int>(0);
    port->setResponder([=](const QByteArray &request) {
        QList<serial::FakeReplyChunk> reply;
        if (request == "v") {
            reply.append({0, identificationReply()});
        } else if (request == "i") {
            reply.append({0, QByteArray::fromHex((*statuses)++ < changedAfter ? "6900000000000000"
                                                                             : "6901000000000000")});
        } else if (request.size() == 1 && QByteArray("13dsta").contains(request.at(0))) {
            reply.append({0, (*polls)++ == 0 && firstPollReply ? *firstPollReply
                                                               : positionReply(request.at(0))});
        }
        return reply;
    });
    return port;
}

// The requests with the unlock prefix that a port received, as "Z", "M", "c"...
QByteArray protectedCommands(const serial::FakePortRecord &record)
{
    QByteArray commands;
    const QByteArray written = record.written();
    for (qsizetype at = written.indexOf(quarn::UnlockPrefix); at >= 0;
         at = written.indexOf(quarn::UnlockPrefix, at + 1)) {
        if (at + quarn::UnlockPrefix.size() < written.size())
            commands.append(written.at(at + quarn::UnlockPrefix.size()));
    }
    return commands;
}

// The window with the port the test hands over, or else a real one.
class SequenceForm : public TestForm {
public:
    // How long each message box stays open with the event loop running, as one on screen does
    // until the operator closes it; and the port handle at its closing.
    int messageOpenMs = 0;
    std::vector<int> comIdAtMessageClose;

protected:
    void showMessage(MessageKind kind, const QString &text) override
    {
        TestForm::showMessage(kind, text);
        if (messageOpenMs > 0) {
            orodja::WaitMs(messageOpenMs);
            comIdAtMessageClose.push_back(ComID);
        }
    }
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        return nextPort != nullptr ? std::move(nextPort) : std::make_unique<serial::QtSerialPort>();
    }
};

class LostEncoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.InitTimer->stop();
        // A search, whenever one runs, comes at once.
        form.InitTimer->setInterval(10);
    }
    void TearDown() override
    {
        form.InitTimer->stop();
        readEncoder()->setChecked(false);
        orodja::setApplicationTerminating(false);
    }

    // Opens `port` and identifies its encoder, as a search would leave the window.
    std::shared_ptr<const serial::FakePortRecord> connectTo(std::unique_ptr<FakeSerialPort> port)
    {
        auto record = port->sharedRecord();
        form.nextPort = std::move(port);
        EXPECT_TRUE(form.OpenComPort(QStringLiteral("/dev/fakeA")));
        EXPECT_TRUE(form.identifyOpenEncoder());
        return record;
    }
    // An encoder the next search finds on the port "/dev/fakeB".
    std::shared_ptr<const serial::FakePortRecord> offer(std::unique_ptr<FakeSerialPort> port)
    {
        auto record = port->sharedRecord();
        form.nextPort = std::move(port);
        form.ports = {{QStringLiteral("/dev/fakeB"), QStringLiteral("/dev/fakeB"), QStringLiteral("fakeB")}};
        return record;
    }

    void click(const char *name) { form.control<QPushButton>(name)->click(); }
    QCheckBox *readEncoder() const { return form.control<QCheckBox>("cbBeriEnkoder"); }
    QString degreesPanel() const { return form.control<QLabel>("pnlAbsPosDeg")->text(); }
    std::vector<QString> messageTexts() const
    {
        std::vector<QString> texts;
        for (const RecordedMessage &message : form.messages)
            texts.push_back(message.text);
        return texts;
    }
    // Found by the search and polled, with the header and the panel saying so.
    bool pollingAgain(const serial::FakePortRecord &record)
    {
        return waitFor([&] { return readEncoder()->isChecked() && record.written().contains('1'); }, 3000)
               && form.ComID != -1 && degreesPanel() != QStringLiteral("not connected")
               && lampColour(form.control<QWidget>("lblHeader")) == colour::Green;
    }

    SequenceForm form;
};

TEST_F(LostEncoderTest, SetZeroHereSetsNoZeroWithoutAGoodReadingOfItsOwn)
{
    struct Case {
        const char *what;
        std::optional<QByteArray> firstPollReply; // nothing: the poll request cannot be written
        bool portStaysOpen;
    };
    const Case cases[] = {
        {"the reading carries the error flag", positionReply('1', true), true},
        {"the reading comes short", QByteArray::fromHex("3100"), false},
        {"the port is lost at the poll request", std::nullopt, false},
        // Whole and error-free, but not a reply to "1": a noisy line, whose position is noise too.
        {"the reading has a wrong echo", QByteArray::fromHex("320C40B2"), true},
        {"the reading has a byte too many", positionReply('1') + '\x5A', true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        form.messages.clear();
        form.Encoder_Error = false;
        auto port = scriptedEncoder(c.firstPollReply);
        if (!c.firstPollReply) {
            // "v", the first zero request (9 bytes) and "M" (9 bytes): the poll request is next.
            port->failWriteAt(19);
        }
        const auto record = connectTo(std::move(port));
        // Another encoder is on offer: a search inside the sequence's pauses would find it.
        const auto other = offer(scriptedEncoder());
        readEncoder()->setChecked(true);
        form.TimerBeriEnkoder->stop();

        click("btnSTzero");

        // Nothing after the first zero request and "M": no zero at a stale or flagged position,
        // no save, on either encoder.
        EXPECT_EQ(protectedCommands(*record), QByteArray("ZM"));
        EXPECT_EQ(protectedCommands(*other), QByteArray());
        EXPECT_EQ(form.messages.empty() ? QString() : form.messages.back().text, ZeroFailed);
        if (!c.firstPollReply) {
            EXPECT_EQ(messageTexts(), (std::vector<QString>{QStringLiteral("Cable disconnected!"), ZeroFailed}));
        }
        if (c.portStaysOpen) {
            EXPECT_NE(form.ComID, -1);
            EXPECT_TRUE(readEncoder()->isChecked());
            EXPECT_FALSE(form.InitTimer->isActive());
        } else {
            // Back to waiting to search, which then finds the encoder on offer and polls it.
            EXPECT_EQ(form.ComID, -1);
            EXPECT_TRUE(pollingAgain(*other));
        }
        readEncoder()->setChecked(false);
        form.CloseComPort();
        form.nextPort.reset();
    }
}

TEST_F(LostEncoderTest, SetZeroHereWithoutAPortSaysSoAndWaitsToSearch)
{
    click("btnSTzero");

    EXPECT_EQ(messageTexts(), std::vector<QString>{ZeroFailed});
    EXPECT_FALSE(readEncoder()->isChecked());
    EXPECT_EQ(degreesPanel(), QStringLiteral("not connected"));
    EXPECT_TRUE(form.InitTimer->isActive());
}

TEST_F(LostEncoderTest, AnEncoderFoundDuringACommandIsPolledOnceTheCommandEnds)
{
    // Waiting to search, "Read encoder" unticked, when the encoder is plugged in and "Reset to
    // Factory" clicked: its 500 ms pause is where a search would tick the box, for the command's
    // end to untick it again.
    const auto encoder = offer(scriptedEncoder());
    form.InitTimer->start();

    click("btnResetFactory");

    EXPECT_TRUE(form.messages.empty());
    // The request found no port; the search came after the command, not inside it.
    EXPECT_EQ(protectedCommands(*encoder), QByteArray());
    EXPECT_TRUE(pollingAgain(*encoder));
}

TEST_F(LostEncoderTest, NoSearchRunsWhileTheDebugUnlockMessageIsOpen)
{
    // Unlock with no port: its echo message stays open for a while, with an encoder on offer.
    const auto encoder = offer(scriptedEncoder());
    form.messageOpenMs = 300;
    form.InitTimer->start();

    form.btnDebugUnlockClick();

    EXPECT_EQ(messageTexts(),
              std::vector<QString>{QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo.")});
    EXPECT_EQ(form.comIdAtMessageClose, std::vector<int>{-1});
    EXPECT_TRUE(pollingAgain(*encoder));
}

TEST_F(LostEncoderTest, ASelfCalibrationWithoutItsFirstStatusShowsNoResult)
{
    // Unplugged when "Start Self-Cal" is clicked, plugged back just after its first status
    // request: the run must not take the returned encoder's status as its outcome.
    form.Firmware_Verzija_Jedra_Major = 2;
    form.Firmware_Verzija_Jedra_Minor = 8;
    form.InitTimer->start();
    std::shared_ptr<const serial::FakePortRecord> encoder;
    QTimer::singleShot(250, &form, [&] { encoder = offer(scriptedEncoder(std::nullopt, 0)); });

    QElapsedTimer clock;
    clock.start();
    click("btnStartSelfCal");

    EXPECT_LT(clock.elapsed(), 400);
    EXPECT_EQ(messageTexts(), std::vector<QString>{StatusFailed});
    // Silver: no encoder, nothing known; never the returned encoder's outcome.
    for (const char *name : SelfCalLamps)
        EXPECT_EQ(lampColour(form.control<QWidget>(name)), colour::Silver) << name;
    EXPECT_FALSE(form.control<QLabel>("lblAselfCalResult")->text().startsWith(QStringLiteral("Counter")));
    ASSERT_TRUE(waitFor([&] { return encoder != nullptr; }, 1000));
    EXPECT_TRUE(pollingAgain(*encoder));
    EXPECT_FALSE(encoder->written().contains(quarn::selfCalStartRequest()));
}

TEST(LostEncoderDuringSelfCalibration, TheRunStopsWhereThePortWasLostAndTheReturningEncoderIsPolled)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("quarn"));
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = std::nullopt; // the status never changes
    sim::SimulatedEncoder encoder(config);
    ASSERT_TRUE(encoder.setLinkPath(link));

    SequenceForm form;
    form.ports = serial::extraPortEntries(link);
    auto *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    ASSERT_TRUE(waitFor([&] { return readEncoder->isChecked(); }, 3000));
    // A wait of up to 3.3 s, unplugged 0.7 s into the run.
    form.control<QSpinBox>("seSelfCalTimeout")->setValue(3);
    QTimer::singleShot(700, &form, [&] { encoder.vanish(); });

    QElapsedTimer clock;
    clock.start();
    form.control<QPushButton>("btnStartSelfCal")->click();

    EXPECT_LT(clock.elapsed(), 1500);
    ASSERT_FALSE(form.messages.empty());
    EXPECT_EQ(form.messages.back().text, StatusFailed);
    for (const RecordedMessage &message : form.messages)
        EXPECT_TRUE(message.text == StatusFailed || message.text == QStringLiteral("Cable disconnected!"));
    EXPECT_EQ(form.ComID, -1);
    EXPECT_TRUE(form.InitTimer->isActive());

    encoder.reappear();
    encoder.clearLog();
    EXPECT_TRUE(waitFor([&] { return readEncoder->isChecked() && encoder.log().size() >= 3; }, 3000));
    readEncoder->setChecked(false);
}

} // namespace
