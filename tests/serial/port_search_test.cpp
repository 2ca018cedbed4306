// SPDX-License-Identifier: MIT
#include "fake_serial_port.h"
#include "port_search.h"

#include <gtest/gtest.h>

#include <map>

namespace serial {
namespace {

const QList<qint32> kAllRates = {115200, 128000, 230400, 256000, 500000, 1000000, 921600};

TEST(PortSearch, BaudRateForEveryIndex)
{
    const std::pair<int, qint32> cases[] = {
        {0, 115200}, {1, 128000}, {2, 230400}, {3, 256000}, {4, 500000},
        {5, 1000000}, {6, 921600}, {-1, 230400}, {7, 230400}, {1000, 230400},
    };
    for (const auto &[index, rate] : cases) {
        SCOPED_TRACE(index);
        EXPECT_EQ(baudRateForIndex(index), rate);
    }
}

// Three ports A, B, C on fakes. The encoder answers on the port and at the rate the test sets;
// everything the search does is written to a log as short words.
class PortSearchFixture : public ::testing::Test {
protected:
    QList<PortEntry> ports_ = {
        {QStringLiteral("A"), QStringLiteral("/dev/A"), QStringLiteral("A")},
        {QStringLiteral("B"), QStringLiteral("/dev/B"), QStringLiteral("B")},
        {QStringLiteral("C"), QStringLiteral("/dev/C"), QStringLiteral("C")},
    };
    QString encoderPath_;
    qint32 encoderRate_ = 0;
    std::map<QString, QString> openErrors_;
    std::map<QString, std::shared_ptr<const FakePortRecord>> records_;
    std::function<void(SerialPort &, int portIndex, int rateIndex)> duringIdentify_;
    std::function<bool()> shouldStop_;
    QStringList log_;
    int identifyCalls_ = 0;

    PortSearchHooks hooks()
    {
        PortSearchHooks h;
        h.makePort = [this](const PortEntry &entry) {
            auto port = std::make_unique<FakeSerialPort>();
            if (openErrors_.contains(entry.path))
                port->failOpen(openErrors_[entry.path]);
            records_[entry.path] = port->sharedRecord();
            return port;
        };
        h.identify = [this](SerialPort &port, int portIndex, int rateIndex) {
            ++identifyCalls_;
            if (duringIdentify_)
                duringIdentify_(port, portIndex, rateIndex);
            const auto &fake = dynamic_cast<const FakeSerialPort &>(port);
            return fake.isOpen() && fake.record().openedPath == encoderPath_
                   && fake.baudRate() == encoderRate_;
        };
        h.portSelected = [this](int p) { log_.append(QStringLiteral("port%1").arg(p)); };
        h.openFailed = [this](int p, const QString &error) {
            log_.append(QStringLiteral("failed%1:%2").arg(p).arg(error));
        };
        h.rateSelected = [this](int p, int r) { log_.append(QStringLiteral("%1/%2").arg(p).arg(r)); };
        h.portReleased = [this](int p) { log_.append(QStringLiteral("released%1").arg(p)); };
        h.shouldStop = [this] { return shouldStop_ && shouldStop_(); };
        return h;
    }

    static QStringList ratesTried(int port, int count = 7)
    {
        QStringList steps;
        for (int r = 0; r < count; ++r)
            steps.append(QStringLiteral("%1/%2").arg(port).arg(r));
        return steps;
    }
};

TEST_F(PortSearchFixture, EncoderAt921600OnTheSecondOfThreePorts)
{
    encoderPath_ = QStringLiteral("/dev/B");
    encoderRate_ = 921600;
    const PortSearchResult result = searchPorts(ports_, hooks());

    EXPECT_EQ(result.outcome, PortSearchOutcome::Found);
    EXPECT_EQ(result.portIndex, 1);
    EXPECT_EQ(result.rateIndex, 6);
    ASSERT_NE(result.port, nullptr);
    EXPECT_TRUE(result.port->isOpen());

    const FakePortRecord &a = *records_.at(QStringLiteral("/dev/A"));
    EXPECT_EQ(a.configuredRates, kAllRates);
    EXPECT_EQ(a.opens, 1);
    EXPECT_EQ(a.closes, 1);
    const FakePortRecord &b = *records_.at(QStringLiteral("/dev/B"));
    EXPECT_EQ(b.configuredRates, kAllRates);
    EXPECT_EQ(b.closes, 0);
    EXPECT_EQ(b.events.mid(0, 3),
              (QStringList{QStringLiteral("open"), QStringLiteral("purge"), QStringLiteral("configure")}));
    EXPECT_FALSE(records_.contains(QStringLiteral("/dev/C")));

    const QStringList expected = QStringList{QStringLiteral("port0")} + ratesTried(0)
                                 + QStringList{QStringLiteral("released0"), QStringLiteral("port1")}
                                 + ratesTried(1);
    EXPECT_EQ(log_, expected);
}

TEST_F(PortSearchFixture, NothingAnswersEveryPortIsClosed)
{
    const PortSearchResult result = searchPorts(ports_, hooks());
    EXPECT_EQ(result.outcome, PortSearchOutcome::NotFound);
    EXPECT_EQ(result.port, nullptr);
    EXPECT_EQ(identifyCalls_, 21);
    for (const auto &[path, record] : records_) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(record->opens, 1);
        EXPECT_EQ(record->closes, 1);
    }
    EXPECT_TRUE(searchPorts({}, hooks()).outcome == PortSearchOutcome::NotFound);
}

TEST_F(PortSearchFixture, APortThatCannotBeOpenedIsSkipped)
{
    openErrors_[QStringLiteral("/dev/A")] = QStringLiteral("Permission denied");
    encoderPath_ = QStringLiteral("/dev/B");
    encoderRate_ = 115200;
    const PortSearchResult result = searchPorts(ports_, hooks());

    EXPECT_EQ(result.outcome, PortSearchOutcome::Found);
    EXPECT_EQ(result.portIndex, 1);
    EXPECT_EQ(result.rateIndex, 0);
    const FakePortRecord &a = *records_.at(QStringLiteral("/dev/A"));
    EXPECT_EQ(a.events, QStringList{QStringLiteral("open")});
    EXPECT_EQ(log_.mid(0, 3), (QStringList{QStringLiteral("port0"),
                                           QStringLiteral("failed0:Permission denied"),
                                           QStringLiteral("port1")}));
}

TEST_F(PortSearchFixture, APortClosedDuringIdentificationIsLeftForTheNext)
{
    // A failed write closes the port inside the attempt; the remaining rates fail at once.
    duringIdentify_ = [](SerialPort &port, int portIndex, int) {
        if (portIndex == 0)
            port.close();
    };
    encoderPath_ = QStringLiteral("/dev/B");
    encoderRate_ = 230400;
    const PortSearchResult result = searchPorts(ports_, hooks());

    EXPECT_EQ(result.outcome, PortSearchOutcome::Found);
    EXPECT_EQ(result.portIndex, 1);
    EXPECT_EQ(result.rateIndex, 2);
    const FakePortRecord &a = *records_.at(QStringLiteral("/dev/A"));
    EXPECT_EQ(a.configuredRates, QList<qint32>{115200});
    EXPECT_EQ(a.closes, 1);
    EXPECT_EQ(log_.mid(0, 9), QStringList{QStringLiteral("port0")} + ratesTried(0)
                                  + QStringList{QStringLiteral("released0")});
}

TEST_F(PortSearchFixture, StopEndsTheSearchAfterTheCurrentAttempt)
{
    shouldStop_ = [this] { return identifyCalls_ == 3; };
    const PortSearchResult result = searchPorts(ports_, hooks());

    EXPECT_EQ(result.outcome, PortSearchOutcome::Stopped);
    EXPECT_EQ(identifyCalls_, 3);
    EXPECT_EQ(result.portIndex, 0);
    EXPECT_EQ(result.rateIndex, 2);
    // The port in use is handed back as it is, for its owner to close.
    ASSERT_NE(result.port, nullptr);
    EXPECT_TRUE(result.port->isOpen());
    EXPECT_EQ(records_.size(), 1u);
}

} // namespace
} // namespace serial
