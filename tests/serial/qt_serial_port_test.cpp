// SPDX-License-Identifier: MIT
#include "port_search.h"
#include "test_pseudo_terminal.h"
#include "qt_serial_port.h"
#include "transaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace serial {
namespace {

class QtSerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty_.isValid());
        ASSERT_TRUE(port_.open(pty_.slavePath())) << port_.errorText().toStdString();
        ASSERT_TRUE(port_.configure(115200));
    }

    TestPseudoTerminal pty_;
    QtSerialPort port_;
};

TEST(QtSerialPort, OpeningAMissingPathFailsWithAReason)
{
    QtSerialPort port;
    EXPECT_FALSE(port.open(QStringLiteral("/dev/no-such-serial-port")));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.errorText().isEmpty());
    EXPECT_FALSE(port.writeByte('x'));
    EXPECT_EQ(port.bytesWaiting(), 0);
}

TEST_F(QtSerialPortOnPty, OneDeviceOpensOnceWhateverNameItIsOpenedBy)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString link = directory.filePath(QStringLiteral("by-id-link"));
    ASSERT_TRUE(QFile::link(pty_.slavePath(), link));

    // The fixture holds the device by its own name; its link is refused, and so is the name.
    for (const QString &name : {link, pty_.slavePath()}) {
        SCOPED_TRACE(name.toStdString());
        QtSerialPort second;
        EXPECT_FALSE(second.open(name));
        EXPECT_FALSE(second.isOpen());
        EXPECT_EQ(second.errorText(), QLatin1String(QtSerialPort::kInUseText));
    }
    // The other way round: held through the link, the device itself is refused.
    port_.close();
    QtSerialPort throughLink;
    ASSERT_TRUE(throughLink.open(link)) << throughLink.errorText().toStdString();
    QtSerialPort direct;
    EXPECT_FALSE(direct.open(pty_.slavePath()));
    throughLink.close();
    EXPECT_TRUE(direct.open(pty_.slavePath())) << direct.errorText().toStdString();
}

TEST_F(QtSerialPortOnPty, ARelativePathIsOpenedFromTheWorkingDirectory)
{
    port_.close();
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    ASSERT_TRUE(QFile::link(pty_.slavePath(), directory.filePath(QStringLiteral("q4"))));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(directory.path()));
    QtSerialPort port;
    const bool opened = port.open(QStringLiteral("q4"));
    QDir::setCurrent(before);
    EXPECT_TRUE(opened) << port.errorText().toStdString();
    EXPECT_TRUE(port.writeByte('v'));
    EXPECT_EQ(pty_.readMaster(1, 500), QByteArrayLiteral("v"));
}

TEST_F(QtSerialPortOnPty, EveryRateReachesTheLine)
{
    for (const qint32 rate : kBaudRates) {
        SCOPED_TRACE(rate);
        EXPECT_TRUE(port_.configure(rate));
        EXPECT_EQ(pty_.lineRate(), static_cast<std::uint32_t>(rate));
    }
}

TEST_F(QtSerialPortOnPty, BytesTravelBothWaysWithoutAnEventLoop)
{
    EXPECT_TRUE(port_.writeByte('v'));
    EXPECT_EQ(pty_.readMaster(1, 500), QByteArrayLiteral("v"));

    ASSERT_TRUE(pty_.writeMaster(QByteArrayLiteral("abc")));
    QThread::msleep(20);
    EXPECT_EQ(port_.bytesWaiting(), 3);
    EXPECT_EQ(port_.read(3), QByteArrayLiteral("abc"));
    EXPECT_EQ(port_.bytesWaiting(), 0);
}

TEST_F(QtSerialPortOnPty, WaitingForInputBlocksUntilItArrives)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(port_.waitForInput(50));
    EXPECT_GE(clock.elapsed(), 49);

    std::thread farEnd([this] {
        QThread::msleep(40);
        pty_.writeMaster(QByteArrayLiteral("x"));
    });
    clock.restart();
    const bool arrived = port_.waitForInput(1000);
    const qint64 waited = clock.elapsed();
    farEnd.join();
    EXPECT_TRUE(arrived);
    EXPECT_GE(waited, 30);
    EXPECT_LT(waited, 500);
    EXPECT_EQ(port_.bytesWaiting(), 1);
}

TEST_F(QtSerialPortOnPty, TransactionRoundTripDropsStaleInput)
{
    ASSERT_TRUE(pty_.writeMaster(QByteArrayLiteral("stale")));
    QThread::msleep(10);
    // Now held in QSerialPort's own buffer too, which the purge must empty as well.
    ASSERT_EQ(port_.bytesWaiting(), 5);

    QByteArray request;
    std::thread farEnd([this, &request] {
        request = pty_.readMaster(2, 1000);
        QThread::msleep(10);
        pty_.writeMaster(QByteArrayLiteral("\x01\x02"));
        QThread::msleep(10);
        pty_.writeMaster(QByteArrayLiteral("\x03\x04\x05"));
    });
    QByteArray reply;
    const TransactionResult result = runTransaction(&port_, QByteArrayLiteral("1v"), 5, reply);
    farEnd.join();
    EXPECT_EQ(result, TransactionResult::Complete);
    EXPECT_EQ(request, QByteArrayLiteral("1v"));
    EXPECT_EQ(reply, QByteArrayLiteral("\x01\x02\x03\x04\x05"));
}

TEST_F(QtSerialPortOnPty, ALineThatStopsTakingBytesFailsTheWriteAfterTheBound)
{
    // Nobody reads the far end: the driver's buffer fills, and the write that finds no room is
    // given up after the bound instead of blocking the window.
    QElapsedTimer clock;
    bool written = true;
    int count = 0;
    for (; written && count < 1000000; ++count) {
        clock.restart();
        written = port_.writeByte('x');
    }
    ASSERT_FALSE(written);
    EXPECT_GT(count, 1);
    EXPECT_GE(clock.elapsed(), QtSerialPort::kWriteTimeoutMs - 5);
    EXPECT_LT(clock.elapsed(), QtSerialPort::kWriteTimeoutMs + 400);
    EXPECT_FALSE(port_.errorText().isEmpty());
}

TEST_F(QtSerialPortOnPty, AFarEndThatGoesAwayNeverHangs)
{
    pty_.closeMaster();
    QElapsedTimer clock;
    clock.start();
    QByteArray reply = QByteArrayLiteral("before");
    const TransactionResult result = runTransaction(&port_, QByteArrayLiteral("1v"), 5, reply);
    // The hang-up shows as a failed write of the request, judged at once.
    EXPECT_EQ(result, TransactionResult::WriteFailed);
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_EQ(reply, QByteArrayLiteral("before"));
    EXPECT_FALSE(port_.errorText().isEmpty());

    clock.restart();
    EXPECT_FALSE(port_.writeByte('x'));
    EXPECT_LT(clock.elapsed(), 200);

    // The driver reports the hang-up at once; the wait still takes its time instead of
    // returning early and letting a caller spin.
    clock.restart();
    EXPECT_FALSE(port_.waitForInput(50));
    EXPECT_GE(clock.elapsed(), 45);
    EXPECT_LT(clock.elapsed(), 200);
}

} // namespace
} // namespace serial
