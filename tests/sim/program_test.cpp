// SPDX-License-Identifier: MIT
// The quarn2-sim program as a script or the run command uses it.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(Quarn2SimProgram, PrintsItsPortServesLogsAndCleansUpOnSigterm)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("encoder"));
    const QString logFile = dir.filePath(QStringLiteral("requests.log"));

    QProcess program;
    program.start(QStringLiteral(QUARN2_SIM_PATH),
                  {QStringLiteral("--link"), link, QStringLiteral("--log"), logFile,
                   QStringLiteral("--serial"), QStringLiteral("7")});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(program.waitForReadyRead(5000));
    const QString portPath = QString::fromLocal8Bit(program.readLine()).trimmed();
    EXPECT_TRUE(portPath.startsWith(QStringLiteral("/dev/pts/"))) << portPath.toStdString();
    // The link is made right after the path is printed.
    for (int i = 0; i < 100 && QFile::symLinkTarget(link) != portPath; ++i)
        program.waitForFinished(10);
    ASSERT_EQ(QFile::symLinkTarget(link), portPath);

    QSerialPort port(link);
    ASSERT_TRUE(port.open(QIODevice::ReadWrite));
    ASSERT_TRUE(port.setBaudRate(115200));
    port.write("v");
    ASSERT_TRUE(port.waitForBytesWritten(1000));
    QByteArray reply;
    while (reply.size() < 42 && port.waitForReadyRead(500))
        reply += port.readAll();
    EXPECT_EQ(reply.mid(9, 6), QByteArray("000007"));
    port.close();

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(link));

    QFile log(logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_GE(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(" 115200 76 ok")) << lines.first().toStdString();
}

TEST(Quarn2SimProgram, BadOptionValueExitsWithCode2AndOneLine)
{
    QProcess program;
    program.start(QStringLiteral(QUARN2_SIM_PATH), {QStringLiteral("--part"), QStringLiteral("QX105---18M-----TOO-LONG")});
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    const QByteArray error = program.readAllStandardError();
    EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
    EXPECT_TRUE(error.contains("--part"));
}

TEST(Quarn2SimProgram, TheReadmeGivesTheShaftSpeedThatTheHelpGivesAsDefault)
{
    QProcess program;
    program.start(QStringLiteral(QUARN2_SIM_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(program.waitForFinished(5000));
    ASSERT_EQ(program.exitCode(), 0);
    // The help wraps its lines; whitespace is made single spaces before matching.
    const QString help = QString::fromLocal8Bit(program.readAllStandardOutput()).simplified();
    const QRegularExpressionMatch option =
        QRegularExpression(QStringLiteral("--speed \\S+ Shaft speed[^(]*\\(default (-?\\d+)\\)")).match(help);
    ASSERT_TRUE(option.hasMatch()) << help.toStdString();
    const int speed = option.captured(1).toInt();

    QFile readme(QStringLiteral(TREVISOR_README_PATH));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll()).simplified();
    const qsizetype section = text.indexOf(QStringLiteral("## The simulator"));
    ASSERT_GE(section, 0);
    const QString simulator = text.mid(section, text.indexOf(QStringLiteral("## "), section + 3) - section);
    const QString standing = QStringLiteral("Its shaft stands still unless `--speed` says otherwise");
    if (speed == 0) {
        EXPECT_TRUE(simulator.contains(standing)) << simulator.toStdString();
    } else {
        EXPECT_FALSE(simulator.contains(standing));
        EXPECT_TRUE(simulator.contains(QStringLiteral("%1 counts per second").arg(speed))) << simulator.toStdString();
    }
}

} // namespace
