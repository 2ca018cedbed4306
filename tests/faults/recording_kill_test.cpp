// SPDX-License-Identifier: MIT
// The program killed outright while recording: every row it had written is in the file, whole.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(RecordingKill, TheFileHoldsEveryRowWrittenBeforeTheKill)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QStringLiteral(RECORDING_CHILD_PATH), {directory.path()});
    ASSERT_TRUE(child.waitForStarted(5000));

    QByteArray output;
    const auto rowsReported = [&output] { return output.count("\nrow "); };
    QElapsedTimer clock;
    clock.start();
    while (rowsReported() < 15 && clock.elapsed() < 15000) {
        child.waitForReadyRead(200);
        output += child.readAllStandardOutput();
    }
    child.kill();
    ASSERT_TRUE(child.waitForFinished(5000));
    output += child.readAllStandardOutput();
    ASSERT_GE(rowsReported(), 15) << child.readAllStandardError().toStdString();

    QString path;
    QByteArray header;
    QList<QByteArray> rows;
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("file "))
            path = QString::fromLocal8Bit(line.mid(5));
        else if (line.startsWith("header "))
            header = line.mid(7);
        else if (line.startsWith("row "))
            rows.append(line.mid(4));
    }
    ASSERT_FALSE(path.isEmpty());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    // No row was cut short: the file ends where a line ends.
    ASSERT_TRUE(contents.endsWith("\r\n"));
    QList<QByteArray> lines = contents.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines) {
        ASSERT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeFirst(), header);
    // The kill may fall between a write and its report: one row more, never one less.
    ASSERT_GE(lines.size(), rows.size());
    EXPECT_LE(lines.size(), rows.size() + 1);
    for (qsizetype i = 0; i < rows.size(); ++i)
        EXPECT_EQ(lines.at(i), rows.at(i)) << "row " << i + 1;
    for (const QByteArray &line : lines)
        EXPECT_EQ(line.count(';'), 75);
}

} // namespace
