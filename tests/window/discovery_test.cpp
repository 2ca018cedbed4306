// SPDX-License-Identifier: MIT
// Finding the encoder: the search over ports and rates against simulated encoders on
// pseudo-terminals and against scripted ports, the identification it runs, and what the port
// list says of a port that would not open.
#include "test_form.h"

#include "colours.h"
#include "fake_serial_port.h"
#include "held_port.h"
#include "wait_ms.h"

#include "port_lister.h"
#include "port_search.h"
#include "simulated_encoder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

namespace {

using serial::FakeSerialPort;

// A valid 42-byte identification reply.
QByteArray identificationReply(const QByteArray &partNumber, quint8 minor,
                               const QByteArray &serialNumber = QByteArrayLiteral("123456"),
                               quint32 revision = 7)
{
    QByteArray reply = QByteArrayLiteral("vQuarn-2 ") + serialNumber + QByteArrayLiteral("xyz")
                       + partNumber + QByteArrayLiteral("-");
    reply.append(static_cast<char>(2));
    reply.append(static_cast<char>(minor));
    reply.append(static_cast<char>(1));
    for (int shift = 24; shift >= 0; shift -= 8)
        reply.append(static_cast<char>((revision >> shift) & 0xFFu));
    return reply;
}

// The window with ports made by the test: real ports for simulated encoders, or scripted ones.
class DiscoveryForm : public TestForm {
public:
    // Ports handed out in turn; when none is left, a real port.
    std::deque<std::unique_ptr<serial::SerialPort>> scriptedPorts;
    // When each search began (the search asks for the port list first).
    mutable QList<qint64> searchStarts;
    QElapsedTimer clock;

    DiscoveryForm() { clock.start(); }

    QList<serial::PortEntry> listPorts() const override
    {
        searchStarts.append(clock.elapsed());
        return ports;
    }

    using TMainForm::searchForEncoder;

    QListWidget *portList() const { return control<QListWidget>("listCom"); }
    bool readEncoderTicked() const { return control<QCheckBox>("cbBeriEnkoder")->isChecked(); }
    int checkedRate() const
    {
        for (int index = 0; index < 7; ++index) {
            if (control<QAbstractButton>(QStringLiteral("rgBaudrateItem%1").arg(index).toLatin1().constData())
                    ->isChecked())
                return index;
        }
        return -1;
    }
    // Runs the event loop until the search ticked "Read encoder" or `limitMs` passed.
    bool waitUntilFound(int limitMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (!readEncoderTicked() && waited.elapsed() < limitMs)
            orodja::WaitMs(10);
        return readEncoderTicked();
    }

protected:
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        if (scriptedPorts.empty())
            return std::make_unique<serial::QtSerialPort>();
        std::unique_ptr<serial::SerialPort> port = std::move(scriptedPorts.front());
        scriptedPorts.pop_front();
        return port;
    }
};

TEST(Discovery, FindsTheEncoderAt921600OnTheSecondOfThreePorts)
{
    sim::EncoderConfig silentConfig;
    silentConfig.faults.silentFromMs = 0;
    sim::SimulatedEncoder silent(silentConfig);
    sim::EncoderConfig answeringConfig;
    answeringConfig.baudRate = 921600;
    sim::SimulatedEncoder answering(answeringConfig);
    sim::SimulatedEncoder third;

    DiscoveryForm form;
    form.ports = serial::extraPortEntries(silent.portPath() + u':' + answering.portPath() + u':'
                                          + third.portPath());
    ASSERT_TRUE(form.waitUntilFound(10000));
    form.control<QCheckBox>("cbBeriEnkoder")->setChecked(false);

    // The first port heard "v" at all seven rates in order, and was closed.
    const std::vector<sim::LogEntry> silentLog = silent.log();
    ASSERT_EQ(silentLog.size(), serial::kBaudRates.size());
    for (std::size_t attempt = 0; attempt < silentLog.size(); ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(silentLog[attempt].bytes, QByteArray("v"));
        EXPECT_EQ(silentLog[attempt].baudRate, serial::kBaudRates[attempt]);
    }
    // The second answered only at the last rate; what follows is polling.
    const std::vector<sim::LogEntry> answeringLog = answering.log();
    ASSERT_GE(answeringLog.size(), serial::kBaudRates.size());
    for (std::size_t attempt = 0; attempt < serial::kBaudRates.size(); ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(answeringLog[attempt].bytes, QByteArray("v"));
        EXPECT_EQ(answeringLog[attempt].baudRate, serial::kBaudRates[attempt]);
    }
    EXPECT_TRUE(third.log().empty());

    // The list and the radio group show the port and the rate in use; the port stays open.
    ASSERT_EQ(form.portList()->count(), 3);
    EXPECT_EQ(form.portList()->item(1)->text(), serial::portItemText(form.ports.at(1)));
    EXPECT_EQ(form.portList()->currentRow(), 1);
    EXPECT_TRUE(form.portList()->item(1)->isSelected());
    EXPECT_FALSE(form.portList()->item(0)->isSelected());
    EXPECT_EQ(form.checkedRate(), 6);
    EXPECT_NE(form.ComID, -1);
    ASSERT_NE(form.openPort(), nullptr);
    EXPECT_TRUE(form.openPort()->isOpen());
    EXPECT_EQ(form.InitTimer->interval(), 800);
    EXPECT_FALSE(form.InitTimer->isActive());
    EXPECT_EQ(form.control<QLabel>("lblHeader")->text(), QStringLiteral("Header: Quarn-2"));
    EXPECT_EQ(form.prebrana_serijska, answeringConfig.serialNumber);
    EXPECT_TRUE(form.messages.empty());
}

TEST(Discovery, RepeatsEveryEightHundredMillisecondsWhileNothingAnswersAndShowsWhyAPortFailedToOpen)
{
    DiscoveryForm form;
    const QString missing = QStringLiteral("/nonexistent/ttyQuarn");
    form.ports = serial::extraPortEntries(missing);
    QElapsedTimer waited;
    waited.start();
    while (form.searchStarts.size() < 2 && waited.elapsed() < 3000)
        orodja::WaitMs(10);

    ASSERT_EQ(form.searchStarts.size(), 2);
    // The timer is a coarse one: it may fire up to 5 % early.
    EXPECT_GE(form.searchStarts.at(0), 150);
    EXPECT_GE(form.searchStarts.at(1) - form.searchStarts.at(0), 750);
    EXPECT_LT(form.searchStarts.at(1) - form.searchStarts.at(0), 1200);
    EXPECT_EQ(form.InitTimer->interval(), 800);
    EXPECT_TRUE(form.InitTimer->isActive());
    EXPECT_EQ(form.ComID, -1);
    EXPECT_FALSE(form.readEncoderTicked());

    // The item keeps its text; why the port could not be used is on the item itself.
    ASSERT_EQ(form.portList()->count(), 1);
    QListWidgetItem *item = form.portList()->item(0);
    EXPECT_EQ(item->text(), serial::portItemText(form.ports.at(0)));
    EXPECT_TRUE(item->toolTip().startsWith(missing + QStringLiteral(": ")));
    EXPECT_GT(item->toolTip().size(), missing.size() + 2);
    EXPECT_EQ(colourNumber(item->foreground().color()), colour::Red);
    EXPECT_TRUE(form.messages.empty());
}

TEST(Discovery, TheTooltipOfAPortHeldByAnotherProgramNamesItAndHowToEndIt)
{
    sim::SimulatedEncoder encoder;
    HeldPort held(encoder.portPath());
    ASSERT_TRUE(held.holding());

    DiscoveryForm form;
    form.InitTimer->stop();
    form.ports = serial::extraPortEntries(encoder.portPath());
    EXPECT_FALSE(form.searchForEncoder());

    QListWidgetItem *item = form.portList()->item(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(colourNumber(item->foreground().color()), colour::Red);
    const QStringList lines = item->toolTip().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << item->toolTip().toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(encoder.portPath() + QStringLiteral(": ")));
    // This process serves the simulator's pseudo-terminal; the advice says so, and blames the other.
    EXPECT_EQ(lines.at(1), QStringLiteral("held open by pid %1 (trevisor-cli); pid %2 (window_tests) serves this "
                                          "pseudo-terminal. Fix: close trevisor-cli, or end it: kill %1")
                               .arg(held.pid())
                               .arg(QCoreApplication::applicationPid()));
}

TEST(Discovery, AWriteFailureClosesThatPortOnceAndTheSearchGoesOnWithTheNext)
{
    DiscoveryForm form;
    form.InitTimer->stop();
    auto broken = std::make_unique<FakeSerialPort>();
    broken->failAllWrites();
    const auto brokenRecord = broken->sharedRecord();
    auto encoder = std::make_unique<FakeSerialPort>();
    const QByteArray reply = identificationReply("QX108---19M-----", 9);
    encoder->setResponder([reply](const QByteArray &request) -> QList<serial::FakeReplyChunk> {
        if (request == QByteArray("v"))
            return {{0, reply}};
        return {};
    });
    const auto encoderRecord = encoder->sharedRecord();
    form.scriptedPorts.push_back(std::move(broken));
    form.scriptedPorts.push_back(std::move(encoder));
    form.ports = serial::extraPortEntries(QStringLiteral("/dev/fakeA:/dev/fakeB"));

    QElapsedTimer clock;
    clock.start();
    form.InitTimer->setInterval(0);
    form.InitTimer->start();
    ASSERT_TRUE(form.waitUntilFound(3000));
    // The remaining rates of the broken port failed at once instead of waiting out a window each.
    EXPECT_LT(clock.elapsed(), 1000);

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages.front().text, QStringLiteral("Cable disconnected!"));
    EXPECT_EQ(form.messages.front().comId, -1);
    EXPECT_EQ(brokenRecord->writes.size(), 1);
    EXPECT_EQ(brokenRecord->closes, 1);
    EXPECT_EQ(encoderRecord->configuredRates, QList<qint32>{115200});
    EXPECT_EQ(encoderRecord->closes, 0);
    EXPECT_EQ(form.portList()->currentRow(), 1);
    EXPECT_EQ(form.checkedRate(), 0);
    EXPECT_EQ(form.resolucija_bitov, 19);
}

// What the screen last showed of the search: the list's highlighted row and the checked rate,
// taken whenever the list or a rate item is painted.
class PaintedSearchState : public QObject {
public:
    explicit PaintedSearchState(DiscoveryForm &form) : m_form(form)
    {
        form.portList()->viewport()->installEventFilter(this);
        for (int index = 0; index < 7; ++index)
            rateItem(index)->installEventFilter(this);
    }
    int row = -2;
    int rate = -2;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (watched == m_form.portList()->viewport())
            row = m_form.portList()->currentRow();
        else if (static_cast<QAbstractButton *>(watched)->isChecked())
            rate = m_form.checkedRate();
        return false;
    }

private:
    QAbstractButton *rateItem(int index) const
    {
        return m_form.control<QAbstractButton>(QStringLiteral("rgBaudrateItem%1").arg(index).toLatin1().constData());
    }
    DiscoveryForm &m_form;
};

// The search keeps the thread busy from attempt to attempt; what it tries must be on screen
// before each attempt, although painted frames are otherwise paced.
TEST(Discovery, ThePortAndTheRateBeingTriedArePaintedBeforeEachAttempt)
{
    DiscoveryForm form;
    form.InitTimer->stop();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    PaintedSearchState painted(form);
    struct Attempt {
        int port;
        int rate;
        int paintedRow;
        int paintedRate;
    };
    std::vector<Attempt> attempts;
    const QByteArray reply = identificationReply("QX108---19M-----", 9);
    for (int port = 0; port < 2; ++port) {
        auto fake = std::make_unique<FakeSerialPort>();
        FakeSerialPort *raw = fake.get();
        fake->setResponder([&, port, raw](const QByteArray &) -> QList<serial::FakeReplyChunk> {
            const int rate = static_cast<int>(
                std::find(serial::kBaudRates.begin(), serial::kBaudRates.end(), raw->baudRate())
                - serial::kBaudRates.begin());
            attempts.push_back({port, rate, painted.row, painted.rate});
            // The second port answers at its third rate; before, a reply that is no
            // identification fails each attempt at once.
            return {{0, port == 1 && rate == 2 ? reply : QByteArray(reply.size(), 'x')}};
        });
        form.scriptedPorts.push_back(std::move(fake));
    }
    form.ports = serial::extraPortEntries(QStringLiteral("/dev/fakeA:/dev/fakeB"));
    form.InitTimer->setInterval(0);
    form.InitTimer->start();
    ASSERT_TRUE(form.waitUntilFound(3000));

    ASSERT_EQ(attempts.size(), 10u);
    for (const Attempt &attempt : attempts) {
        SCOPED_TRACE(testing::Message() << "port " << attempt.port << ", rate " << attempt.rate);
        EXPECT_EQ(attempt.paintedRow, attempt.port);
        EXPECT_EQ(attempt.paintedRate, attempt.rate);
    }
}

TEST(Discovery, StopsAfterTheCurrentAttemptWhenTheApplicationTerminates)
{
    DiscoveryForm form;
    form.InitTimer->stop();
    auto silentPort = std::make_unique<FakeSerialPort>();
    const auto record = silentPort->sharedRecord();
    form.scriptedPorts.push_back(std::move(silentPort));
    form.ports = serial::extraPortEntries(QStringLiteral("/dev/fakeA:/dev/fakeB"));
    orodja::setApplicationTerminating(true);
    form.InitTimer->setInterval(0);
    form.InitTimer->start();
    // Waits end at once while the application terminates: drive the event loop by hand.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    orodja::setApplicationTerminating(false);

    // One attempt, then nothing more: no second rate, no second port, no new search.
    EXPECT_EQ(form.searchStarts.size(), 1);
    EXPECT_EQ(record->configuredRates.size(), 1);
    EXPECT_EQ(record->writes.size(), 1);
    // The port being tried is left open for the window's destruction to close.
    EXPECT_EQ(record->closes, 0);
    EXPECT_NE(form.ComID, -1);
    EXPECT_FALSE(form.InitTimer->isActive());
    EXPECT_FALSE(form.readEncoderTicked());
}

struct IdentificationCase {
    const char *name;
    QByteArray partNumber;
    quint8 minor;
    bool multiturn;
    int bits;
    QString resolutionLabel;
};

TEST(Identification, FillsTheFieldsLabelsAndFirmwareDependentControls)
{
    const IdentificationCase cases[] = {
        {"multiturn, firmware 9", "QX108---19M-----", 9, true, 19, QStringLiteral("Resolution: 19 bit")},
        {"single-turn, firmware 8", "QX105---16S-----", 8, false, 16, QStringLiteral("Resolution: 16 bit")},
        // An unknown resolution code keeps the start-up pair of the search.
        {"unknown code", "QY1-----1AM-----", 12, true, 18, QStringLiteral("Resolution: 18 bit")},
        // Markup in the encoder's text is shown as it stands, never interpreted.
        {"markup in the part number", "QX105---18M<b>x-", 9, true, 18, QStringLiteral("Resolution: 18 bit")},
    };
    for (const IdentificationCase &c : cases) {
        SCOPED_TRACE(c.name);
        TestForm form;
        form.InitTimer->stop();
        form.resolucija_bitov = 18;
        form.Enkoder_CPR = 262144;
        auto port = std::make_unique<FakeSerialPort>();
        port->queueReply(identificationReply(c.partNumber, c.minor, "AB\xE9""CDE", 0xFFFFFFFFu)
                         + QByteArray("surplus"));
        form.nextPort = std::move(port);
        ASSERT_TRUE(form.OpenComPort(QStringLiteral("/dev/fake0")));

        ASSERT_TRUE(form.BeriVerzijo());
        EXPECT_TRUE(form.RxBuffer.isEmpty());
        EXPECT_EQ(form.resolucija_bitov, c.bits);
        EXPECT_EQ(form.Enkoder_CPR, 1 << c.bits);
        EXPECT_EQ(form.Singleturn_maska, (1u << c.bits) - 1u);
        EXPECT_EQ(form.Multiturn, c.multiturn ? 1 : 0);
        EXPECT_EQ(form.control<QLabel>("lblHeader")->text(), QStringLiteral("Header: Quarn-2"));
        EXPECT_EQ(lampColour(form.control("lblHeader")), colour::Green);
        EXPECT_EQ(form.control<QLabel>("lblEncoderInfo")->text(),
                  QStringLiteral("p/n: ") + QString::fromLatin1(c.partNumber)
                      + QStringLiteral("\ns/n: AB\u00E9CDE   ver.: 2.%1.1.4294967295").arg(c.minor));
        const auto *info = form.control<QLabel>("lblEncoderInfo");
        EXPECT_TRUE(info->textFormat() == Qt::PlainText || !Qt::mightBeRichText(info->text()));
        EXPECT_EQ(form.control<QLabel>("lblResolucija")->text(), c.resolutionLabel);
        EXPECT_EQ(form.control("pnlAbsPosMT")->isHidden(), !c.multiturn);
        EXPECT_EQ(form.control("btnMTzero")->isHidden(), !c.multiturn);

        const bool newFirmware = c.minor >= 9;
        EXPECT_EQ(form.control("seSelfCalTimeout")->isEnabled(), newFirmware);
        EXPECT_EQ(form.control<QCheckBox>("cbPersistentStatus")->isChecked(), newFirmware);
        EXPECT_EQ(form.control("cbPersistentStatus")->isEnabled(), newFirmware);
        EXPECT_EQ(form.control("btnResetPersistentStatus")->isEnabled(), newFirmware);
    }
}

TEST(Identification, AForeignReplyChangesNothingButTheSerialNumber)
{
    TestForm form;
    form.InitTimer->stop();
    auto port = std::make_unique<FakeSerialPort>();
    QByteArray wrong = identificationReply("QX108---19M-----", 9);
    wrong[8] = '_';
    port->queueReply(wrong);
    port->queueReply(identificationReply("QX108---19M-----", 9).left(41));
    form.nextPort = std::move(port);
    ASSERT_TRUE(form.OpenComPort(QStringLiteral("/dev/fake0")));
    form.prebrana_serijska = "old";
    const QString header = form.control<QLabel>("lblHeader")->text();

    EXPECT_FALSE(form.BeriVerzijo());
    EXPECT_TRUE(form.prebrana_serijska.isEmpty());
    EXPECT_EQ(form.RxBuffer, wrong);
    EXPECT_FALSE(form.BeriVerzijo());
    EXPECT_EQ(form.control<QLabel>("lblHeader")->text(), header);
    EXPECT_EQ(form.resolucija_bitov, 0);
}

} // namespace
