// SPDX-License-Identifier: MIT
// The simulator on its pseudo-terminal, seen from the client side: plain termios where the rate
// or the timing must be exact, QSerialPort as the program uses it.

#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A raw client on the slave side.
class TermiosClient {
public:
    explicit TermiosClient(const QString &path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~TermiosClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TermiosClient(const TermiosClient &) = delete;
    TermiosClient &operator=(const TermiosClient &) = delete;

    bool isOpen() const { return fd_ >= 0; }

    bool setRate(speed_t rate)
    {
        termios settings {};
        if (tcgetattr(fd_, &settings) != 0)
            return false;
        cfmakeraw(&settings);
        cfsetispeed(&settings, rate);
        cfsetospeed(&settings, rate);
        return tcsetattr(fd_, TCSANOW, &settings) == 0 && tcflush(fd_, TCIOFLUSH) == 0;
    }

    ssize_t write(const QByteArray &bytes)
    {
        return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
    }

    // Reads until `count` bytes arrived or `timeout` passed; `elapsed` gets the time from
    // `start` to the last byte.
    QByteArray read(qsizetype count, std::chrono::milliseconds timeout,
                    std::chrono::microseconds *elapsed = nullptr,
                    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now())
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        QByteArray bytes;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() < 0)
                break;
            pollfd fds{fd_, POLLIN, 0};
            if (poll(&fds, 1, static_cast<int>(left.count()) + 1) <= 0)
                break;
            char buffer[256];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            bytes.append(buffer, got);
            if (elapsed)
                *elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now() - start);
        }
        return bytes;
    }

private:
    int fd_;
};

QByteArray askWithSerialPort(QSerialPort &port, const QByteArray &request, qsizetype expected)
{
    port.clear();
    port.write(request);
    if (!port.waitForBytesWritten(500))
        return {};
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    while (reply.size() < expected && timer.elapsed() < 500) {
        if (port.bytesAvailable() > 0 || port.waitForReadyRead(50))
            reply += port.readAll();
    }
    return reply;
}

TEST(SimulatedEncoder, AnswersQSerialPortAcrossReopeningsAndLogsEachRequest)
{
    sim::SimulatedEncoder encoder;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QSerialPort port(encoder.portPath());
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        ASSERT_TRUE(port.setBaudRate(115200));
        const QByteArray reply = askWithSerialPort(port, "v", 42);
        EXPECT_EQ(reply.size(), 42);
        EXPECT_TRUE(reply.startsWith("vQuarn-2 "));
        port.close();
    }
    const auto log = encoder.log();
    ASSERT_EQ(log.size(), 3u);
    for (const auto &entry : log) {
        EXPECT_EQ(entry.bytes, QByteArray("v"));
        EXPECT_EQ(entry.baudRate, 115200);
        EXPECT_EQ(entry.note, sim::ParseNote::Ok);
    }
}

TEST(SimulatedEncoder, AnswersAtACustomRateSetThroughQSerialPort)
{
    sim::EncoderConfig config;
    config.baudRate = 128000;
    sim::SimulatedEncoder encoder(config);
    QSerialPort port(encoder.portPath());
    ASSERT_TRUE(port.open(QIODevice::ReadWrite));
    ASSERT_TRUE(port.setBaudRate(128000));
    EXPECT_EQ(askWithSerialPort(port, "1", 6).size(), 6);
    ASSERT_FALSE(encoder.log().empty());
    EXPECT_EQ(encoder.log().back().baudRate, 128000);
}

TEST(SimulatedEncoder, StaysSilentAtAnotherRateButLogsTheRequestWithThatRate)
{
    sim::SimulatedEncoder encoder;
    TermiosClient client(encoder.portPath());
    ASSERT_TRUE(client.isOpen());
    ASSERT_TRUE(client.setRate(B9600));
    ASSERT_EQ(client.write("v"), 1);
    EXPECT_TRUE(client.read(1, 150ms).isEmpty());
    auto log = encoder.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].baudRate, 9600);
    EXPECT_EQ(log[0].note, sim::ParseNote::WrongRate);

    // The same client at the encoder's rate gets its answer.
    ASSERT_TRUE(client.setRate(B115200));
    ASSERT_EQ(client.write("v"), 1);
    EXPECT_EQ(client.read(42, 500ms).size(), 42);
}

TEST(SimulatedEncoder, PacesReplyBytesAsTheLineWould)
{
    sim::SimulatedEncoder encoder;
    TermiosClient client(encoder.portPath());
    ASSERT_TRUE(client.setRate(B115200));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // Timed from before the write, so a slow test thread can only lengthen what it measures.
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(client.write("v"), 1);
        std::chrono::microseconds elapsed{0};
        ASSERT_EQ(client.read(42, 500ms, &elapsed, start).size(), 42);
        // 42 bytes of 10 bits at 115200 baud take 3.65 ms, after the 1 ms latency.
        EXPECT_GE(elapsed.count(), 3600);
    }
}

TEST(SimulatedEncoder, SelfCalibrationStatusChangesAfterTheRun)
{
    sim::EncoderConfig config;
    config.selfCalibration.durationMs = 100;
    config.selfCalibration.finalFlags = 0x20;
    sim::SimulatedEncoder encoder(config);
    TermiosClient client(encoder.portPath());
    ASSERT_TRUE(client.setRate(B115200));
    client.write("i");
    const QByteArray initial = client.read(8, 500ms);
    ASSERT_EQ(initial.size(), 8);
    client.write(quarn::selfCalArcRequest(300));
    client.write(quarn::selfCalStartRequest());
    QByteArray status = initial;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (status == initial && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        client.write("i");
        status = client.read(8, 500ms);
    }
    ASSERT_NE(status, initial);
    EXPECT_EQ(static_cast<std::uint8_t>(status.at(1)), 0x21);
    EXPECT_EQ(encoder.snapshot().calibrationArc, 300);
}

TEST(SimulatedEncoder, VanishedPortFailsAndReappearsBehindTheSameLink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("encoder"));
    // A stale link from an earlier run is replaced.
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), link));

    sim::SimulatedEncoder encoder;
    ASSERT_TRUE(encoder.setLinkPath(link));
    EXPECT_EQ(QFile::symLinkTarget(link), encoder.portPath());
    {
        TermiosClient client(link);
        ASSERT_TRUE(client.setRate(B115200));
        client.write("1");
        EXPECT_EQ(client.read(6, 500ms).size(), 6);

        const QString oldPath = encoder.portPath();
        encoder.vanish();
        EXPECT_TRUE(encoder.portPath().isEmpty());
        EXPECT_FALSE(QFile::exists(link));
        EXPECT_LT(client.write("1"), 0);
        encoder.reappear();
        EXPECT_FALSE(encoder.portPath().isEmpty());
        EXPECT_NE(encoder.portPath(), oldPath);
    }
    EXPECT_EQ(QFile::symLinkTarget(link), encoder.portPath());
    QSerialPort port(link);
    ASSERT_TRUE(port.open(QIODevice::ReadWrite));
    ASSERT_TRUE(port.setBaudRate(115200));
    EXPECT_TRUE(askWithSerialPort(port, "v", 42).startsWith("vQuarn-2 "));
    port.close();

    encoder.stop();
    EXPECT_FALSE(QFile::exists(link));
}

TEST(SimulatedEncoder, FaultsAndSettingsApplyWhileServing)
{
    sim::SimulatedEncoder encoder;
    TermiosClient client(encoder.portPath());
    ASSERT_TRUE(client.setRate(B115200));
    encoder.setPosition(262144 * 3 + 4);
    encoder.setErrorFlag(true);
    client.write("1");
    EXPECT_EQ(client.read(6, 500ms).toHex(), QByteArray("310003000100"));
    encoder.setErrorFlag(false);
    encoder.setSilent(true);
    client.write("1");
    EXPECT_TRUE(client.read(1, 100ms).isEmpty());
    encoder.setSilent(false);
    client.write("1");
    EXPECT_EQ(client.read(6, 500ms).toHex(), QByteArray("310003000102"));
    // A request cut short, then a good one, through the line.
    encoder.clearLog();
    client.write(QByteArray::fromHex("5e1ac3775a00"));
    std::this_thread::sleep_for(80ms);
    client.write("1");
    EXPECT_EQ(client.read(6, 500ms).size(), 6);
    const auto log = encoder.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].note, sim::ParseNote::Truncated);
    EXPECT_EQ(log[1].note, sim::ParseNote::Ok);
}

} // namespace
