// SPDX-License-Identifier: MIT
// The diagnostic area against the simulated encoder (and a scripted port where a record must be
// crafted or a fault forced): unlocking, reading and charting the debug record, the harmonic
// bars, and the recording file.

#include "fake_serial_port.h"
#include "test_form.h"
#include "wait_ms.h"

#include "debug_chart_view.h"
#include "encoder_replies.h"
#include "harmonics.h"
#include "quarn_konstante.h"
#include "recording.h"
#include "simulated_encoder.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string_view>

namespace {

const QByteArray Confirm("G");
const QByteArray Read("D");

// The window with a recording folder, clock and start time of the test's own, and a hook that
// runs while a message box would be open (as a poll tick could).
class DiagnosticsForm : public TestForm {
public:
    QString directory;
    qint64 clockMs = 1000;
    QDateTime startTime{QDate(2024, 2, 15), QTime(9, 5, 7)};
    std::function<std::unique_ptr<QIODevice>(const QString &)> fileFactory;
    std::function<void()> duringMessage;

protected:
    QString recordingDirectory() const override { return directory; }
    qint64 recordingClockMs() const override { return clockMs; }
    QDateTime recordingStartTime() const override { return startTime; }
    std::unique_ptr<QIODevice> createRecordingFile(const QString &path) override
    {
        return fileFactory ? fileFactory(path) : TestForm::createRecordingFile(path);
    }
    void showMessage(MessageKind kind, const QString &text) override
    {
        TestForm::showMessage(kind, text);
        if (duringMessage)
            duringMessage();
    }
};

// A file that takes `capacity` bytes and then fails, as a full disk does.
class FillingFile : public QIODevice {
public:
    explicit FillingFile(qint64 capacity) : capacity_(capacity) {}
    QByteArray contents;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        if (contents.size() + length > capacity_) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        contents.append(data, length);
        return length;
    }

private:
    qint64 capacity_;
};

sim::DebugRecordFields rampRecord()
{
    sim::DebugRecordFields fields;
    for (int n = 0; n < sim::DebugSampleCount; ++n)
        fields.samples[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(n * 20 - 500);
    fields.absPos = 3000000000u;
    fields.decodSelect = 0;
    fields.codeA = 13;
    fields.codeB = 22;
    fields.mcuTemp = 3700;
    fields.cycleTime = 4800;
    fields.debugStatus = 0x8001;
    fields.vdda = 3300;
    fields.resetCount = 7;
    return fields;
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.readAll();
    // Every line ends with CR LF, the last one included, and there is no bare LF.
    EXPECT_TRUE(content.endsWith("\r\n"));
    EXPECT_EQ(content.count('\n'), content.count("\r\n"));
    QList<QByteArray> lines = content.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line.chop(1);
    return lines;
}

// The fields of a line, each of which ended with ";".
QList<QByteArray> csvFields(const QByteArray &line)
{
    EXPECT_TRUE(line.endsWith(';'));
    QList<QByteArray> parts = line.split(';');
    parts.removeLast();
    return parts;
}

class DiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Waits below must really wait, whatever an earlier test left behind.
        orodja::setApplicationTerminating(false);
        form.InitTimer->stop();
        ASSERT_TRUE(folder.isValid());
        form.directory = folder.path();
    }
    void TearDown() override { orodja::setApplicationTerminating(false); }

    void connectTo(sim::SimulatedEncoder &encoder)
    {
        ASSERT_TRUE(form.openRealPort(encoder.portPath()));
        ASSERT_TRUE(form.identifyOpenEncoder());
        encoder.clearLog();
    }

    // A scripted encoder in debug mode: it answers the unlock, "G" with `echo` and "D" with
    // `record`, both read at the time of the request.
    serial::FakeSerialPort *attachScriptedEncoder()
    {
        auto port = std::make_unique<serial::FakeSerialPort>();
        serial::FakeSerialPort *raw = port.get();
        raw->setResponder([this](const QByteArray &request) -> QList<serial::FakeReplyChunk> {
            if (request == quarn::debugEntryRequest())
                return {{0, sim::debugEntryReply()}};
            if (request == Confirm)
                return echo.isEmpty() ? QList<serial::FakeReplyChunk>{}
                                      : QList<serial::FakeReplyChunk>{{0, echo}};
            if (request == Read)
                return {{0, record}};
            return {};
        });
        form.nextPort = std::move(port);
        EXPECT_TRUE(form.OpenComPort(QStringLiteral("scripted")));
        return raw;
    }

    static int countRequests(const serial::FakeSerialPort &port, const QByteArray &request)
    {
        return static_cast<int>(port.record().requests.count(request));
    }
    static int countRequests(const sim::SimulatedEncoder &encoder, const QByteArray &request)
    {
        int count = 0;
        for (const sim::LogEntry &entry : encoder.log())
            count += entry.bytes == request ? 1 : 0;
        return count;
    }

    DebugChartView *chart() const { return form.control<DebugChartView>("ChartDebug"); }
    QCheckBox *readConst() const { return form.control<QCheckBox>("cbBeriDebug"); }
    QCheckBox *recordBox() const { return form.control<QCheckBox>("cbShranjujMeritveDebug"); }
    QStringList memoLines() const
    {
        return form.control<QPlainTextEdit>("mmFileName")->toPlainText().split(QLatin1Char('\n'));
    }
    QStringList recordings() const
    {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    }
    QString onlyRecordingPath() const
    {
        const QStringList files = recordings();
        EXPECT_EQ(files.size(), 1) << files.join(QLatin1Char(' ')).toStdString();
        return files.isEmpty() ? QString() : QDir(folder.path()).filePath(files.first());
    }
    std::array<QRect, 3> bars() const
    {
        return {form.control("shLevo")->geometry(), form.control("shCenter")->geometry(),
                form.control("shDesno")->geometry()};
    }

    QTemporaryDir folder;
    DiagnosticsForm form;
    QByteArray echo = Confirm;
    QByteArray record = sim::debugRecord(rampRecord());
};

// --- Unlock ------------------------------------------------------------------------------------

TEST_F(DiagnosticsTest, UnlockAcceptsOnlyTheExactEchoAndShowsTheChartAnyway)
{
    const struct {
        QByteArray echo;
        bool accepted;
    } cases[] = {{"G", true}, {"g", false}, {"GG", false}, {"", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.echo.toStdString());
        DiagnosticsForm fresh;
        fresh.InitTimer->stop();
        echo = c.echo;
        auto port = std::make_unique<serial::FakeSerialPort>();
        serial::FakeSerialPort *raw = port.get();
        raw->setResponder([&](const QByteArray &request) -> QList<serial::FakeReplyChunk> {
            if (request == quarn::debugEntryRequest())
                return {{0, sim::debugEntryReply()}};
            if (request == Confirm && !echo.isEmpty())
                return {{0, echo}};
            return {};
        });
        fresh.nextPort = std::move(port);
        ASSERT_TRUE(fresh.OpenComPort(QStringLiteral("scripted")));
        ASSERT_FALSE(fresh.control("ChartDebug")->isVisibleTo(&fresh));

        fresh.btnDebugUnlockClick();

        const QList<QByteArray> expected{quarn::debugEntryRequest(), Confirm};
        EXPECT_EQ(raw->record().requests, expected);
        // The confirmation goes out at least 50 ms after the entry request's last byte.
        const QList<serial::FakeWrite> &writes = raw->record().writes;
        ASSERT_EQ(writes.size(), 6);
        EXPECT_GE(writes[5].atMs - writes[4].atMs, 50.0);
        if (c.accepted) {
            EXPECT_TRUE(fresh.messages.empty());
        } else {
            ASSERT_EQ(fresh.messages.size(), 1u);
            EXPECT_EQ(fresh.messages[0].text,
                      QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo."));
            EXPECT_EQ(fresh.messages[0].kind, TMainForm::MessageKind::Information);
        }
        EXPECT_TRUE(fresh.control("ChartDebug")->isVisibleTo(&fresh));
        // The shared reply buffer is not the unlock's.
        EXPECT_TRUE(fresh.RxBuffer.isEmpty());
    }
}

TEST_F(DiagnosticsTest, UnlockWithoutPortShowsTheEchoMessageAndTheChart)
{
    form.btnDebugUnlockClick();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text,
              QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo."));
    EXPECT_TRUE(chart()->isVisibleTo(&form));
}

// --- Reading -----------------------------------------------------------------------------------

TEST_F(DiagnosticsTest, ReadingFromTheSimulatorDecodesChartsAndAnalyses)
{
    sim::EncoderConfig config;
    config.startPosition = 123457;
    config.resetCount = 3;
    sim::SimulatedEncoder encoder(config);
    connectTo(encoder);

    form.control<QPushButton>("btnDebugUnlock")->click();
    form.control<QPushButton>("btnDebugRead")->click();

    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(countRequests(encoder, Read), 1);
    const quarn::DebugRecord &debug = form.DebugData;
    EXPECT_EQ(debug.absPos, encoder.snapshot().reading.rawSingleTurn);
    EXPECT_EQ(debug.resetCnt, 3);
    EXPECT_EQ(debug.mcuTemp, (31 + 6) * 100);
    EXPECT_EQ(debug.dcdTrs, 255);
    EXPECT_EQ(debug.dcdWrn, 255);

    const QList<QPointF> points = chart()->seriesDebug()->points();
    ASSERT_EQ(points.size(), 53);
    for (int n = 0; n < 53; ++n)
        EXPECT_EQ(points[n], QPointF(n + 1, debug.samples[static_cast<std::size_t>(n)]));
    // The simulated track follows the code word, so the markers and the label are not empty.
    EXPECT_EQ(chart()->series2()->points().size(), form.EncDolzinaKode);
    EXPECT_EQ(form.control<QLabel>("lblKodaNaGrafu")->text(),
              quarn::debugCodeLabel(debug.codeA, debug.codeB, form.EncDolzinaKode)
                  .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const quarn::HarmonicBars expected = quarn::analyzeCodeHarmonics(debug.samples, form.EncDolzinaKode);
    EXPECT_GT(expected.heights[1], 0);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(bars()[k].height(), expected.heights[k]) << k;
    // The shared reply buffer is not the reading's.
    EXPECT_TRUE(form.RxBuffer.isEmpty());
}

TEST_F(DiagnosticsTest, HeaderMismatchIsShownOnceAndTheRecordIsStillChartedAnalysedAndRecorded)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    recordBox()->setChecked(true);
    ASSERT_TRUE(form.messages.empty());
    encoder.setWrongDebugHeader(true);

    form.btnDebugReadClick();

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].text, QStringLiteral("Debug data header mismatch!"));
    EXPECT_EQ(form.messages[0].kind, TMainForm::MessageKind::Information);
    EXPECT_FALSE(form.DebugData.headerOk);
    EXPECT_EQ(chart()->seriesDebug()->points().size(), 53);
    EXPECT_FALSE(form.control<QLabel>("lblKodaNaGrafu")->text().isEmpty());
    EXPECT_GT(bars()[1].height(), 0);
    recordBox()->setChecked(false);
    EXPECT_EQ(fileLines(onlyRecordingPath()).size(), 2);
}

TEST_F(DiagnosticsTest, ReplyLongerThanTheRecordIsDecodedFromItsFirst129Bytes)
{
    record += QByteArray("\x44\x7f\x7f\x7f\x7f\x7f", 6);
    attachScriptedEncoder();
    form.btnDebugReadClick();

    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(form.DebugData.resetCnt, 7);
    EXPECT_EQ(form.DebugData.absPos, 3000000000u);
    EXPECT_EQ(form.DebugData.samples[52], 52 * 20 - 500);
    EXPECT_EQ(form.DebugData.samples[53], 0);
}

TEST_F(DiagnosticsTest, FailedReadingUnticksReadConstAndChangesNothingElse)
{
    const QByteArray good = record;
    const struct {
        const char *what;
        bool closePort;
        QByteArray reply;
    } cases[] = {
        {"short reply", false, good.left(128)},
        {"no reply", false, {}},
        {"no port", true, good},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        DiagnosticsForm fresh;
        fresh.InitTimer->stop();
        fresh.directory = folder.path();
        fresh.EncDolzinaKode = 5;
        record = good;
        auto port = std::make_unique<serial::FakeSerialPort>();
        port->setResponder([this](const QByteArray &request) -> QList<serial::FakeReplyChunk> {
            if (request == Read && !record.isEmpty())
                return {{0, record}};
            return {};
        });
        fresh.nextPort = std::move(port);
        ASSERT_TRUE(fresh.OpenComPort(QStringLiteral("scripted")));
        fresh.control<QCheckBox>("cbShranjujMeritveDebug")->setChecked(true);
        fresh.btnDebugReadClick();
        ASSERT_TRUE(fresh.messages.size() == 1u); // the unlock found no debug mode
        auto *view = fresh.control<DebugChartView>("ChartDebug");
        const QList<QPointF> points = view->seriesDebug()->points();
        const QList<QPointF> markers = view->series2()->points();
        const QString label = fresh.control<QLabel>("lblKodaNaGrafu")->text();
        const QRect centre = fresh.control("shCenter")->geometry();
        const quarn::DebugRecord before = fresh.DebugData;

        // A different record, so that a change would show.
        record = c.reply.isEmpty() ? QByteArray() : sim::debugRecord({}).left(c.reply.size());
        if (c.closePort)
            fresh.CloseComPort();
        fresh.control<QCheckBox>("cbBeriDebug")->setChecked(true);
        fresh.btnDebugReadClick();

        EXPECT_FALSE(fresh.control<QCheckBox>("cbBeriDebug")->isChecked());
        EXPECT_EQ(fresh.messages.size(), 1u);
        EXPECT_EQ(view->seriesDebug()->points(), points);
        EXPECT_EQ(view->series2()->points(), markers);
        EXPECT_EQ(fresh.control<QLabel>("lblKodaNaGrafu")->text(), label);
        EXPECT_EQ(fresh.control("shCenter")->geometry(), centre);
        EXPECT_EQ(fresh.DebugData.samples, before.samples);
        EXPECT_EQ(fresh.DebugData.codeA, before.codeA);
        // The recording goes on, with the one row of the good reading.
        EXPECT_TRUE(fresh.control<QCheckBox>("cbShranjujMeritveDebug")->isChecked());
        fresh.control<QCheckBox>("cbShranjujMeritveDebug")->setChecked(false);
        const QStringList files = QDir(folder.path()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(fileLines(QDir(folder.path()).filePath(files.first())).size(), 2);
        QFile::remove(QDir(folder.path()).filePath(files.first()));
    }
}

TEST_F(DiagnosticsTest, MarkersAndLabelOfACraftedRecord)
{
    const struct {
        int codeLength;
        int decodSelect;
        std::uint16_t codeA;
        QList<double> markerX;
        // CodeA and CodeB (22), each digit followed by the spacer.
        const char *digitsA;
        const char *digitsB;
        int spacer;
    } cases[] = {
        {5, 0, 13, {1, 10, 20, 30, 40}, "01101", "10110", 13},
        {9, 9, 13, {9, 15, 21, 27, 33, 39, 45, 51, 57}, "000001101", "000010110", 8},
        {6, 0, 45, {1, 8, 16, 24, 32, 40}, "101101", "010110", 11},
        {5, 10, 13, {}, "01101", "10110", 13},
        {5, 255, 13, {}, "01101", "10110", 13},
    };
    attachScriptedEncoder();
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "L " << c.codeLength << " DecodSelect " << c.decodSelect);
        sim::DebugRecordFields fields = rampRecord();
        fields.decodSelect = static_cast<std::uint8_t>(c.decodSelect);
        fields.codeA = c.codeA;
        record = sim::debugRecord(fields);
        form.EncDolzinaKode = c.codeLength;
        form.btnDebugReadClick();

        const QList<QPointF> markers = chart()->series2()->points();
        ASSERT_EQ(markers.size(), c.markerX.size());
        for (int i = 0; i < markers.size(); ++i) {
            EXPECT_EQ(markers[i].x(), c.markerX[i]);
            const int index = static_cast<int>(c.markerX[i]) - 1;
            EXPECT_EQ(markers[i].y(), index < 53 ? index * 20 - 500 : 0);
        }
        const auto spaced = [&c](std::string_view digits) {
            QString line;
            for (const char digit : digits)
                line += QLatin1Char(digit) + QString(c.spacer, QLatin1Char(' '));
            return line;
        };
        // Shown as two lines.
        EXPECT_EQ(form.control<QLabel>("lblKodaNaGrafu")->text(),
                  spaced(c.digitsA) + QLatin1Char('\n') + spaced(c.digitsB));
    }
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(DiagnosticsTest, BarsOfTheCosineCaseStandOnTheBackgroundsBottom)
{
    sim::DebugRecordFields fields;
    for (int i = 1; i <= 48; ++i)
        fields.samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lrint(1000.0 * std::cos(2.0 * std::numbers::pi * 8.0 * (i - 1) / 48.0)));
    fields.samples[0] = 1200; // entry 0 is not analysed
    record = sim::debugRecord(fields);
    attachScriptedEncoder();
    form.EncDolzinaKode = 8;
    form.btnDebugReadClick();

    const QRect background = form.control("shBgFFT")->geometry();
    const int heights[] = {245, 539, 245};
    const int lefts[] = {1250, 1263, 1276};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(bars()[k].height(), heights[k]);
        EXPECT_EQ(bars()[k].top(), background.top() + background.height() - heights[k]);
        EXPECT_EQ(bars()[k].left(), lefts[k]);
        EXPECT_EQ(bars()[k].width(), 9);
    }
    // All zeros: the bars shrink to nothing on the bottom.
    record = sim::debugRecord({});
    form.btnDebugReadClick();
    for (const QRect &bar : bars()) {
        EXPECT_EQ(bar.height(), 0);
        EXPECT_EQ(bar.top(), 497);
    }
}

TEST_F(DiagnosticsTest, PollTickDuringTheHeaderMessageStartsNoFurtherReading)
{
    record[0] = 'd';
    serial::FakeSerialPort *port = attachScriptedEncoder();
    form.duringMessage = [this] { form.btnDebugReadClick(); };
    form.btnDebugReadClick();

    EXPECT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(countRequests(*port, Read), 1);
    // Once the box is closed the next tick reads again.
    form.duringMessage = nullptr;
    form.btnDebugReadClick();
    EXPECT_EQ(countRequests(*port, Read), 2);
}

TEST_F(DiagnosticsTest, ReadConstAndRecordingReadTheRecordOnEveryPollTick)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    form.btnDebugUnlockClick();
    QCheckBox *readEncoder = form.control<QCheckBox>("cbBeriEnkoder");
    readConst()->setChecked(true);
    readEncoder->setChecked(true);
    orodja::WaitMs(400);
    readEncoder->setChecked(false);
    EXPECT_GE(countRequests(encoder, Read), 3);
    EXPECT_TRUE(readConst()->isChecked());

    // A recording reads on every tick without "Read const", each row carrying the poll reply.
    readConst()->setChecked(false);
    recordBox()->setChecked(true);
    readEncoder->setChecked(true);
    orodja::WaitMs(400);
    readEncoder->setChecked(false);
    recordBox()->setChecked(false);
    const QList<QByteArray> lines = fileLines(onlyRecordingPath());
    ASSERT_GE(lines.size(), 4);
    EXPECT_FALSE(csvFields(lines.last()).value(1).isEmpty());
    EXPECT_EQ(csvFields(lines.last()).value(1), form.RxBufferHex);
    EXPECT_TRUE(form.messages.empty());
}

// --- Recording ---------------------------------------------------------------------------------

TEST_F(DiagnosticsTest, RecordingAgainstTheSimulatorWritesTheHeaderAndOneRowPerReading)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    form.clockMs = 50000;
    recordBox()->setChecked(true);
    EXPECT_TRUE(encoder.snapshot().debugMode); // the start unlocked
    const QString path = onlyRecordingPath();
    EXPECT_EQ(memoLines(), QStringList{QDir::toNativeSeparators(path)});
    // The header is on disk before any row.
    EXPECT_EQ(fileLines(path), QList<QByteArray>{quarn::recordingHeaderLine()});

    form.clockMs += 120;
    form.btnDebugReadClick();
    form.clockMs += 130;
    form.btnDebugReadClick();
    // A row is on disk as soon as it is taken.
    EXPECT_EQ(fileLines(path).size(), 3);
    form.clockMs += 2250;
    recordBox()->setChecked(false);

    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(memoLines(), (QStringList{QDir::toNativeSeparators(path),
                                        QStringLiteral("Record duration: 2 sec.")}));
    const QList<QByteArray> lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3);
    const QList<QByteArray> header = csvFields(lines[0]);
    ASSERT_EQ(header.size(), 75);
    EXPECT_EQ(header[0], "Time(ms)");
    EXPECT_EQ(header[74], "MIS56");
    const QByteArray times[] = {"120", "250"};
    for (int row = 1; row <= 2; ++row) {
        SCOPED_TRACE(row);
        const QList<QByteArray> columns = csvFields(lines[row]);
        ASSERT_EQ(columns.size(), 75);
        EXPECT_EQ(columns[0], times[row - 1]);
        EXPECT_EQ(columns[4], "xx");
        EXPECT_EQ(columns[6], "0");
        EXPECT_EQ(columns[9].size(), 9);
        EXPECT_EQ(columns[17], "255");
        EXPECT_EQ(columns[18], "255");
        EXPECT_EQ(columns[14], QByteArray::number(form.DebugData.absPos));
        for (int mis = 54; mis <= 56; ++mis)
            EXPECT_EQ(columns[18 + mis], "0") << "MIS" << mis;
    }
}

TEST_F(DiagnosticsTest, RecordingRowHoldsThePollValuesAndTheCraftedRecord)
{
    attachScriptedEncoder();
    form.EncDolzinaKode = 5;
    form.RxBufferHex = QByteArrayLiteral("31 00 12 34");
    form.MT_value = -3;
    form.ST_value = 4660;
    form.SignalLevel = 1700;
    form.Temperatura = -12;
    recordBox()->setChecked(true);
    form.btnDebugReadClick();
    recordBox()->setChecked(false);

    const QList<QByteArray> lines = fileLines(onlyRecordingPath());
    ASSERT_EQ(lines.size(), 2);
    QList<QByteArray> expected{"0", "31 00 12 34", "-3", "4660", "xx", "1000000000000001", "0",
                               "1700", "-12", "000001101", "000010110", "7", "4800", "0",
                               "3000000000", "3700", "3300", "255", "255"};
    for (int n = 0; n < 53; ++n)
        expected.append(QByteArray::number(n * 20 - 500));
    expected += {"0", "0", "0"};
    EXPECT_EQ(csvFields(lines[1]), expected);
}

TEST_F(DiagnosticsTest, RecordingDurationIsRoundedToWholeSecondsTiesToEven)
{
    attachScriptedEncoder();
    const struct {
        qint64 elapsed;
        const char *line;
    } cases[] = {{2500, "Record duration: 2 sec."},
                 {3500, "Record duration: 4 sec."},
                 {499, "Record duration: 0 sec."}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.elapsed);
        recordBox()->setChecked(true);
        form.clockMs += c.elapsed;
        recordBox()->setChecked(false);
        EXPECT_EQ(memoLines().last(), QString::fromLatin1(c.line));
        EXPECT_EQ(memoLines().size(), 2);
    }
}

TEST_F(DiagnosticsTest, RecordingFileNameStaysInItsFolder)
{
    const struct {
        QByteArray part;
        QByteArray serial;
        QString name;
    } cases[] = {
        {"AB1234567890XYZW", "000042", QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507.csv")},
        {"../../tmp/x", "..", QStringLiteral("TEST_.._.._tmp_x____20240215090507.csv")},
        {"a\\b:c*?\"<>|\x01 ", "/", QStringLiteral("TEST_a_b_c_______ ___20240215090507.csv")},
    };
    attachScriptedEncoder();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        form.prebran_ident = c.part;
        form.prebrana_serijska = c.serial;
        recordBox()->setChecked(true);
        recordBox()->setChecked(false);
        EXPECT_EQ(recordings(), QStringList{c.name});
        EXPECT_EQ(memoLines().first(), QDir::toNativeSeparators(QDir(folder.path()).filePath(c.name)));
        QFile::remove(QDir(folder.path()).filePath(c.name));
    }
    // Nothing went beside the folder.
    QDir parent(folder.path());
    parent.cdUp();
    EXPECT_FALSE(parent.exists(QStringLiteral("tmp_x")));
}

TEST_F(DiagnosticsTest, StartAtMidnightNamesTheFileLikeAnyOtherTime)
{
    attachScriptedEncoder();
    form.prebran_ident = "AB1234567890XYZW";
    form.prebrana_serijska = "000042";
    form.startTime = QDateTime(QDate(2024, 2, 16), QTime(0, 0));
    recordBox()->setChecked(true);
    recordBox()->setChecked(false);
    EXPECT_EQ(recordings(), QStringList{QStringLiteral("TEST_AB1234567890XYZW_000042_20240216000000.csv")});
}

TEST_F(DiagnosticsTest, TwoRecordingsStartedInTheSameSecondKeepBothFiles)
{
    attachScriptedEncoder();
    form.prebran_ident = "AB1234567890XYZW";
    form.prebrana_serijska = "000042";
    const QString first = QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507.csv");
    const QString second = QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507-2.csv");
    const int readings[] = {2, 1};
    for (const int count : readings) {
        recordBox()->setChecked(true);
        for (int n = 0; n < count; ++n)
            form.btnDebugReadClick();
        recordBox()->setChecked(false);
    }

    EXPECT_TRUE(form.messages.empty());
    const QStringList files = recordings();
    EXPECT_EQ(files.size(), 2);
    EXPECT_TRUE(files.contains(first) && files.contains(second)) << files.join(u' ').toStdString();
    EXPECT_EQ(memoLines().first(), QDir::toNativeSeparators(QDir(folder.path()).filePath(second)));
    EXPECT_EQ(fileLines(QDir(folder.path()).filePath(first)).size(), 3);
    EXPECT_EQ(fileLines(QDir(folder.path()).filePath(second)).size(), 2);
}

TEST_F(DiagnosticsTest, ExistingFilesOfTheNameAreLeftByteForByte)
{
    attachScriptedEncoder();
    form.prebran_ident = "AB1234567890XYZW";
    form.prebrana_serijska = "000042";
    const QDir dir(folder.path());
    const QString taken = dir.filePath(QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507.csv"));
    const QString racing = dir.filePath(QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507-2.csv"));
    const QString recorded = dir.filePath(QStringLiteral("TEST_AB1234567890XYZW_000042_20240215090507-3.csv"));
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    };
    const auto bytesOf = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    write(taken, "an earlier recording\n");
    // Another program creates the free name between the check and the open.
    form.fileFactory = [&](const QString &path) -> std::unique_ptr<QIODevice> {
        if (path == racing)
            write(path, "theirs");
        return std::make_unique<QFile>(path);
    };
    recordBox()->setChecked(true);
    form.btnDebugReadClick();
    recordBox()->setChecked(false);

    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(bytesOf(taken), "an earlier recording\n");
    EXPECT_EQ(bytesOf(racing), "theirs");
    EXPECT_EQ(memoLines().first(), QDir::toNativeSeparators(recorded));
    EXPECT_EQ(fileLines(recorded).size(), 2);
}

TEST_F(DiagnosticsTest, FailedStartReportsTheErrorUnticksAndWritesNothing)
{
    attachScriptedEncoder();
    form.directory = QDir(folder.path()).filePath(QStringLiteral("missing"));
    recordBox()->setChecked(true);

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].kind, TMainForm::MessageKind::Error);
    EXPECT_TRUE(form.messages[0].text.contains(QStringLiteral("missing")));
    EXPECT_TRUE(form.messages[0].text.contains(QStringLiteral("No such file or directory")))
        << form.messages[0].text.toStdString();
    EXPECT_FALSE(recordBox()->isChecked());
    // The memo keeps the name and gets no duration line.
    ASSERT_EQ(memoLines().size(), 1);
    EXPECT_TRUE(memoLines()[0].endsWith(QStringLiteral(".csv")));
    EXPECT_EQ(form.ShraniFajl, nullptr);

    form.btnDebugReadClick();
    EXPECT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(recordings().isEmpty());
    EXPECT_FALSE(QDir(form.directory).exists());
}

TEST_F(DiagnosticsTest, ReadingDuringTheUnlockMessageOfAStartWritesNoRow)
{
    echo = "g";
    serial::FakeSerialPort *port = attachScriptedEncoder();
    form.duringMessage = [this] { form.btnDebugReadClick(); };
    recordBox()->setChecked(true);
    form.duringMessage = nullptr;

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(countRequests(*port, Read), 1);
    // The file is created after the message all the same, holding only its header.
    ASSERT_TRUE(recordBox()->isChecked());
    const QString path = onlyRecordingPath();
    EXPECT_EQ(fileLines(path).size(), 1);
    form.btnDebugReadClick();
    EXPECT_EQ(fileLines(path).size(), 2);
}

TEST_F(DiagnosticsTest, WriteErrorDuringARowIsShownOnceAndStopsTheRecording)
{
    attachScriptedEncoder();
    FillingFile *file = nullptr;
    form.fileFactory = [&file](const QString &) {
        auto device = std::make_unique<FillingFile>(quarn::recordingHeaderLine().size() + 2 + 10);
        file = device.get();
        return device;
    };
    recordBox()->setChecked(true);
    ASSERT_NE(file, nullptr);
    form.duringMessage = [this] { form.btnDebugReadClick(); };
    form.clockMs += 1400;
    form.btnDebugReadClick();

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].kind, TMainForm::MessageKind::Error);
    EXPECT_TRUE(form.messages[0].text.contains(QStringLiteral("No space left on device")));
    EXPECT_FALSE(recordBox()->isChecked());
    EXPECT_EQ(form.ShraniFajl, nullptr);
    EXPECT_EQ(memoLines().last(), QStringLiteral("Record duration: 1 sec."));
    form.btnDebugReadClick();
    EXPECT_EQ(form.messages.size(), 1u);
}

TEST_F(DiagnosticsTest, ClosingTheWindowWhileRecordingWritesTheDurationAndClosesTheFile)
{
    sim::SimulatedEncoder encoder;
    connectTo(encoder);
    form.show();
    recordBox()->setVisible(true);
    recordBox()->setChecked(true);
    form.btnDebugReadClick();
    form.clockMs += 3500;
    form.close();

    EXPECT_FALSE(recordBox()->isChecked());
    EXPECT_EQ(form.ShraniFajl, nullptr);
    EXPECT_EQ(memoLines().last(), QStringLiteral("Record duration: 4 sec."));
    EXPECT_EQ(fileLines(onlyRecordingPath()).size(), 2);
}

TEST(RecordingPathBox, TakesNoKeysLetsTabPassAndShowsWhereTheFocusIs)
{
    TestForm form;
    form.InitTimer->stop();
    form.show();
    QTest::keyClick(&form, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto *box = form.control<QPlainTextEdit>("mmFileName");
    box->setPlainText(QStringLiteral("/home/op/TEST_QX105---18M-----_000042_20240215090507.csv"));
    const QString path = box->toPlainText();
    const QImage unfocused = box->grab().toImage();

    box->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return box->hasFocus(); }, 1000));
    QTest::keyClicks(box, QStringLiteral("xy"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->toPlainText(), path);
    // The frame tells that the box has the focus: its edge is drawn otherwise than without it.
    const QImage focused = box->grab().toImage();
    EXPECT_NE(focused.pixel(0, focused.height() / 2), unfocused.pixel(0, unfocused.height() / 2));

    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_FALSE(box->hasFocus());
    EXPECT_EQ(box->toPlainText(), path);
}

} // namespace
