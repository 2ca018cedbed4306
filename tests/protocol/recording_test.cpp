// SPDX-License-Identifier: MIT
#include "recording.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

TEST(RecordingFreePath, CounterGoesBeforeTheFileNamesLastSuffix)
{
    const QString stamp = QStringLiteral("/data/TEST_A_B_20240215090507");
    const struct {
        QString wanted;
        QStringList taken;
        QString free;
    } cases[] = {
        {stamp + ".csv", {}, stamp + ".csv"},
        {stamp + ".csv", {stamp + ".csv"}, stamp + "-2.csv"},
        {stamp + ".csv", {stamp + ".csv", stamp + "-2.csv"}, stamp + "-3.csv"},
        // The first free counter, even below one that is taken.
        {stamp + ".csv", {stamp + ".csv", stamp + "-3.csv"}, stamp + "-2.csv"},
        {QStringLiteral("/d/a.tar.gz"), {QStringLiteral("/d/a.tar.gz")}, QStringLiteral("/d/a.tar-2.gz")},
        // Dots in directory names are not a suffix; a name without a dot gets the counter at its end.
        {QStringLiteral("/v1.2/rec"), {QStringLiteral("/v1.2/rec")}, QStringLiteral("/v1.2/rec-2")},
        {QStringLiteral("rec"), {QStringLiteral("rec")}, QStringLiteral("rec-2")},
        {QStringLiteral("./x.y/.csv"), {QStringLiteral("./x.y/.csv")}, QStringLiteral("./x.y/.csv-2")},
        {QStringLiteral("a.csv"), {QStringLiteral("a.csv")}, QStringLiteral("a-2.csv")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.wanted.toStdString() + " taken: " + c.taken.join(u' ').toStdString());
        const QStringList taken = c.taken;
        EXPECT_EQ(firstFreePath(c.wanted, [&taken](const QString &path) { return taken.contains(path); }),
                  c.free);
    }
}

TEST(RecordingFreePath, EveryNameTakenGivesTheWantedOneBack)
{
    int asked = 0;
    const QString wanted = QStringLiteral("/d/a.csv");
    EXPECT_EQ(firstFreePath(wanted, [&asked](const QString &) { return ++asked, true; }), wanted);
    EXPECT_EQ(asked, LastFreeNameCounter);
}

TEST(RecordingFreePath, ADirectoryAndADanglingLinkAreTaken)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    ASSERT_TRUE(dir.mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("link"))));
    EXPECT_TRUE(pathExists(dir.filePath(QStringLiteral("sub"))));
    EXPECT_TRUE(pathExists(dir.filePath(QStringLiteral("link"))));
    EXPECT_FALSE(pathExists(dir.filePath(QStringLiteral("missing"))));
}

class NewRecordingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QString at(const QString &name) const { return QDir(folder.path()).filePath(name); }
    static void put(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir folder;
    QStringList created; // every path the factory was asked for
    // A plain file, after `beforeOpen` has run for its path.
    std::function<void(const QString &)> beforeOpen = [](const QString &) {};
    RecordingFileFactory factory = [this](const QString &path) -> std::unique_ptr<QIODevice> {
        created.append(path);
        beforeOpen(path);
        return std::make_unique<QFile>(path);
    };
};

TEST_F(NewRecordingFileTest, AnExistingFileKeepsItsBytes)
{
    const QString wanted = at(QStringLiteral("TEST_A_B_20240215090507.csv"));
    put(wanted, "earlier\r\n");
    NewRecordingFile file = createNewRecordingFile(wanted, factory);
    ASSERT_NE(file.device, nullptr) << file.error.toStdString();
    EXPECT_EQ(file.path, at(QStringLiteral("TEST_A_B_20240215090507-2.csv")));
    EXPECT_EQ(file.device->write("row\r\n"), 5);
    file.device.reset();
    EXPECT_EQ(contents(wanted), "earlier\r\n");
    EXPECT_EQ(contents(file.path), "row\r\n");
}

TEST_F(NewRecordingFileTest, AFileThatAppearsBeforeTheOpenIsLeftAndTheNextNameTaken)
{
    const QString wanted = at(QStringLiteral("r.csv"));
    // Another program creates each of the first two names just before they are opened.
    beforeOpen = [this](const QString &path) {
        if (created.size() <= 2)
            put(path, "theirs");
    };
    NewRecordingFile file = createNewRecordingFile(wanted, factory);
    ASSERT_NE(file.device, nullptr) << file.error.toStdString();
    EXPECT_EQ(created, (QStringList{wanted, at(QStringLiteral("r-2.csv")), at(QStringLiteral("r-3.csv"))}));
    EXPECT_EQ(file.path, at(QStringLiteral("r-3.csv")));
    EXPECT_EQ(contents(wanted), "theirs");
    EXPECT_EQ(contents(at(QStringLiteral("r-2.csv"))), "theirs");
}

TEST_F(NewRecordingFileTest, TriesAreBoundedAndOtherFailuresAreNotRetried)
{
    beforeOpen = [](const QString &path) { put(path, "theirs"); };
    NewRecordingFile racing = createNewRecordingFile(at(QStringLiteral("r.csv")), factory);
    EXPECT_EQ(racing.device, nullptr);
    EXPECT_EQ(created.size(), RecordingCreateAttempts);
    EXPECT_FALSE(racing.error.isEmpty());
    EXPECT_EQ(racing.path, created.last());

    created.clear();
    beforeOpen = [](const QString &) {};
    const QString missing = at(QStringLiteral("missing/r.csv"));
    NewRecordingFile failed = createNewRecordingFile(missing, factory);
    EXPECT_EQ(failed.device, nullptr);
    EXPECT_EQ(created, QStringList{missing});
    EXPECT_EQ(failed.path, missing);
    EXPECT_TRUE(failed.error.contains(QStringLiteral("No such file or directory"))) << failed.error.toStdString();
}
