// SPDX-License-Identifier: MIT
#include "recording.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace quarn;

namespace {

QList<QByteArray> fields(const QByteArray &line)
{
    QList<QByteArray> parts = line.split(';');
    // Every field is followed by ";", so the split leaves one empty piece at the end.
    EXPECT_TRUE(parts.last().isEmpty());
    parts.removeLast();
    return parts;
}

RecordingRowInput exampleRow()
{
    RecordingRowInput in;
    in.elapsedMs = 4294967295u;
    in.rxBufferHex = "31123456";
    in.mtValue = -2;
    in.stValue = 18641;
    in.signalLevel = 65535;
    in.temperature = -40;
    in.debug.debugStatus = 0x8005;
    in.debug.codeA = 13;
    in.debug.codeB = 0xFFFF;
    in.debug.resetCnt = 255;
    in.debug.cycleTime = 60000;
    in.debug.decodSelect = 7;
    in.debug.absPos = 4000000000u;
    in.debug.mcuTemp = 3100;
    in.debug.vdda = 3300;
    for (int n = 0; n < 53; ++n)
        in.debug.samples[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(n % 2 ? -n : n);
    in.debug.samples[52] = -32768;
    return in;
}

} // namespace

TEST(RecordingHeader, SeventyFiveNamedColumns)
{
    const QByteArray header = recordingHeaderLine();
    const QList<QByteArray> names = fields(header);
    ASSERT_EQ(names.size(), RecordingFieldCount);
    EXPECT_EQ(header.indexOf("MIS1;"), 140);
    EXPECT_TRUE(header.endsWith("MIS55;MIS56;"));
    EXPECT_EQ(names[0], "Time(ms)");
    EXPECT_EQ(names[12], "CycleTime(clks)");
    EXPECT_EQ(names[18], "DcdWrn");
    for (int i = 1; i <= 56; ++i)
        EXPECT_EQ(names[18 + i], "MIS" + QByteArray::number(i));
    EXPECT_FALSE(header.contains('\r') || header.contains('\n'));
}

TEST(RecordingRow, FieldsInColumnOrder)
{
    const QByteArray row = recordingRow(exampleRow());
    EXPECT_TRUE(row.endsWith(';'));
    EXPECT_FALSE(row.contains('\r') || row.contains('\n'));
    const QList<QByteArray> cells = fields(row);
    ASSERT_EQ(cells.size(), RecordingFieldCount);
    const QList<QByteArray> expectedHead{
        "4294967295", "31123456", "-2", "18641", "xx", "1000000000000101", "0", "65535", "-40",
        "000001101", "111111111", "255", "60000", "7", "4000000000", "3100", "3300", "255", "255"};
    EXPECT_EQ(cells.mid(0, 19), expectedHead);
    EXPECT_EQ(cells[19], "0");  // MIS1: entry 0
    EXPECT_EQ(cells[20], "-1"); // MIS2: entry 1
    EXPECT_EQ(cells[19 + 50], "50");
    EXPECT_EQ(cells[19 + 52], "-32768");
    for (int column = 72; column < 75; ++column) // MIS54 to MIS56
        EXPECT_EQ(cells[column], "0");
}

TEST(RecordingRow, DefaultsAndUnusedSlots)
{
    // A decoded record leaves entries 53 to 55 at 0, so MIS54 to MIS56 are 0 whatever it holds.
    RecordingRowInput in;
    in.debug = decodeDebugRecord(QByteArray(129, '\x7F'));
    const QList<QByteArray> cells = fields(recordingRow(in));
    ASSERT_EQ(cells.size(), RecordingFieldCount);
    EXPECT_EQ(cells[1], "");
    EXPECT_EQ(cells[4], "xx");
    EXPECT_EQ(cells[6], "0");
    EXPECT_EQ(cells[17], "255");
    EXPECT_EQ(cells[18], "255");
    EXPECT_EQ(cells[19], "32639");
    EXPECT_EQ(cells[71], "32639");
    EXPECT_EQ(cells[72], "0");
    EXPECT_EQ(cells[74], "0");
}

TEST(RecordingFileName, WorkedExampleAndMidnight)
{
    const QDateTime start(QDate(2024, 2, 15), QTime(9, 5, 7));
    EXPECT_EQ(recordingTimestamp(start), QStringLiteral("20240215090507"));
    EXPECT_EQ(recordingFileName("AB1234567890XYZW", "000042", recordingTimestamp(start)),
              QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507.csv"));
    EXPECT_EQ(recordingFilePath(QStringLiteral("/opt/trevisor"), "AB1234567890XYZW", "000042",
                                QStringLiteral("20240215090507")),
              QStringLiteral("/opt/trevisor/TEST_AB1234567890XYZW_000042_20240215090507.csv"));

    const std::pair<QDateTime, const char *> stamps[] = {
        {QDateTime(QDate(2024, 3, 1), QTime(0, 0, 0)), "20240301000000"},
        {QDateTime(QDate(2024, 3, 1), QTime(0, 0, 0, 1)), "20240301000000"},
        {QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999)), "19991231235959"},
    };
    for (const auto &[when, digits] : stamps) {
        SCOPED_TRACE(digits);
        EXPECT_EQ(recordingTimestamp(when), QString::fromLatin1(digits));
    }
    // Blanks in the numbers stay, as the encoder sends them.
    EXPECT_EQ(recordingFileName("AB12 ", " 42", QStringLiteral("20240301000000")),
              QStringLiteral("TEST_AB12 _ 42_20240301000000.csv"));
}

TEST(RecordingFileName, EncoderTextsCannotLeaveTheFolder)
{
    const std::pair<QByteArray, QString> parts[] = {
        {"../../etc/pass", QStringLiteral(".._.._etc_pass")},
        {"..", QStringLiteral("__")},
        {".", QStringLiteral("_")},
        {"...", QStringLiteral("...")},
        {"C:\\x*y?\"<z>|", QStringLiteral("C__x_y___z__")},
        {QByteArray("a\0b\x1f\x7f\x85\xe9", 7), QStringLiteral("a_b___\u00e9")},
    };
    for (const auto &[raw, safe] : parts) {
        SCOPED_TRACE(raw.toHex().toStdString());
        EXPECT_EQ(sanitisedFileNamePart(raw), safe);
    }

    const QString directory = QStringLiteral("/data/records");
    const QByteArray hostile[] = {"/", "..", "../x", "a/b\\c", "\n\r\t", QByteArray("\0", 1)};
    for (const QByteArray &text : hostile) {
        SCOPED_TRACE(text.toHex().toStdString());
        const QString path = recordingFilePath(directory, text, text, QStringLiteral("20240215090507"));
        const QFileInfo info(path);
        EXPECT_EQ(info.path(), directory);
        EXPECT_TRUE(info.fileName().startsWith(QStringLiteral("TEST_")));
        EXPECT_FALSE(info.fileName().contains(QLatin1Char('/')));
        EXPECT_FALSE(info.fileName().contains(QLatin1Char('\\')));
        EXPECT_EQ(QDir::cleanPath(path), path);
    }
}

TEST(RecordingDuration, WholeSecondsTiesToEven)
{
    const std::pair<std::uint32_t, int> rows[] = {
        {2500, 2}, {3500, 4}, {499, 0}, {500, 0}, {1500, 2}, {501, 1}, {0, 0}, {4294967295u, 4294967}};
    for (const auto &[ms, seconds] : rows) {
        SCOPED_TRACE(ms);
        EXPECT_EQ(recordingDurationSeconds(ms), seconds);
    }
    EXPECT_EQ(recordingDurationLine(2500), QStringLiteral("Record duration: 2 sec."));
}
