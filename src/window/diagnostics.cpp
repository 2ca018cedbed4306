// SPDX-License-Identifier: MIT
// The diagnostic area: the encoder's debug mode, the debug record on the chart with its bit
// markers and code label, the harmonic bars, and the recording of readings to a file.
#include "main_form.h"

#include "debug_chart_view.h"
#include "ui_main_form.h"

#include "harmonics.h"
#include "quarn_konstante.h"
#include "recording.h"
#include "recording_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QScatterSeries>
#include <QScopeGuard>
#include <QStandardPaths>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace {

// Writes the whole line or reports failure; the file is unbuffered, so a written line is
// already with the system.
bool writeWholeLine(QIODevice &file, const QByteArray &line)
{
    return file.write(line) == line.size();
}

} // namespace

void TMainForm::btnDebugUnlockClick()
{
    // Its message box runs the event loop; no search may open another port meanwhile.
    SearchHold hold(*this);
    QByteArray entryReply;
    ComTransaction(ComID, quarn::debugEntryRequest(), quarn::DebugEntryReplyLength, entryReply);
    // The encoder needs a moment to enter its debug mode; the window handles nothing meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const QByteArray confirm(1, quarn::cmd::DebugConfirm);
    QByteArray echo;
    ComTransaction(ComID, confirm, quarn::DebugConfirmReplyLength, echo);
    if (echo != confirm)
        showMessage(MessageKind::Information,
                    QStringLiteral("Problem pri odklepanju s komando G. Nepravilen echo."));
    ui->ChartDebug->setVisible(true);
}

void TMainForm::btnDebugReadClick()
{
    // A poll tick during the header message box of an earlier reading starts nothing.
    if (m_debugReadingActive)
        return;
    m_debugReadingActive = true;
    const auto readingDone = qScopeGuard([this] { m_debugReadingActive = false; });
    SearchHold hold(*this);

    QByteArray reply;
    if (ComTransaction(ComID, QByteArray(1, quarn::cmd::DebugRead), quarn::DebugRecordLength, reply)
        != 0) {
        ui->cbBeriDebug->setChecked(false);
        return;
    }
    const quarn::DebugRecord record = quarn::decodeDebugRecord(reply);
    if (!record.headerOk)
        showMessage(MessageKind::Information, QStringLiteral("Debug data header mismatch!"));
    DebugData = record;

    showDebugRecord();
    AnalyzeCodeHarmonics();
    if (ui->cbShranjujMeritveDebug->isChecked())
        writeRecordingRow();
}

void TMainForm::showDebugRecord()
{
    auto *chart = ui->ChartDebug;
    // One replace per series: the chart redraws once for each, not once per point.
    chart->seriesDebug()->replace(quarn::debugChartPoints(DebugData.samples));
    chart->series2()->replace(
        quarn::debugBitMarkers(DebugData.samples, DebugData.decodSelect, EncDolzinaKode));

    QString label = quarn::debugCodeLabel(DebugData.codeA, DebugData.codeB, EncDolzinaKode);
    // A label breaks lines at LF; the CR would show as a stray character.
    label.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui->lblKodaNaGrafu->setTextFormat(Qt::PlainText);
    ui->lblKodaNaGrafu->setText(label);
}

void TMainForm::AnalyzeCodeHarmonics()
{
    const quarn::HarmonicBars bars = quarn::analyzeCodeHarmonics(DebugData.samples, EncDolzinaKode);
    const QRect background = ui->shBgFFT->geometry();
    QWidget *const shapes[] = {ui->shLevo, ui->shCenter, ui->shDesno};
    for (std::size_t k = 0; k < bars.heights.size(); ++k) {
        const quarn::HarmonicBarGeometry bar =
            quarn::harmonicBarGeometry(bars.heights[k], background.top(), background.height());
        QWidget *shape = shapes[k];
        shape->setGeometry(shape->x(), bar.top, shape->width(), bar.height);
    }
}

void TMainForm::cbShranjujMeritveDebugClick()
{
    if (ui->cbShranjujMeritveDebug->isChecked())
        startRecording();
    else
        stopRecording();
}

void TMainForm::startRecording()
{
    btnDebugUnlockClick();
    // The unlock's message box runs the event loop: the box may have been unticked meanwhile,
    // or a start may already have opened a file.
    if (!ui->cbShranjujMeritveDebug->isChecked() || ShraniFajl != nullptr)
        return;

    // Two starts within one second with the same encoder want the same name: the later one
    // gets a free name beside it, and no existing file is replaced.
    const QString wanted =
        quarn::recordingFilePath(recordingDirectory(), prebran_ident, prebrana_serijska,
                                 quarn::recordingTimestamp(recordingStartTime()));
    quarn::NewRecordingFile created = quarn::createNewRecordingFile(
        wanted, [this](const QString &path) { return createRecordingFile(path); });
    const QString path = created.path;
    std::unique_ptr<QIODevice> file = std::move(created.device);
    ui->mmFileName->clear();
    ui->mmFileName->appendPlainText(QDir::toNativeSeparators(path));

    if (file == nullptr
        || !writeWholeLine(*file, quarn::recordingHeaderLine() + quarn::RecordingLineEnd)) {
        const bool opened = file != nullptr;
        const QString reason = opened ? file->errorString() : created.error;
        file.reset();
        showMessage(MessageKind::Error,
                    (opened ? QStringLiteral("Cannot write to file \"%1\". %2")
                            : QStringLiteral("Cannot create file \"%1\". %2"))
                        .arg(QDir::toNativeSeparators(path), reason));
        // No file is open, so this untick has nothing to close and reports no duration.
        ui->cbShranjujMeritveDebug->setChecked(false);
        return;
    }
    ShraniFajl = std::move(file);
    m_recordingPath = path;
    ShraniStart = recordingClockMs();
}

void TMainForm::stopRecording()
{
    // A start that failed left nothing to close.
    if (ShraniFajl == nullptr)
        return;
    ShraniFajl->close();
    ShraniFajl.reset();
    const auto elapsed = static_cast<std::uint32_t>(recordingClockMs() - ShraniStart);
    ui->mmFileName->appendPlainText(quarn::recordingDurationLine(elapsed));
}

void TMainForm::writeRecordingRow()
{
    // Between ticking the box and the file being created (the unlock's message box) there is
    // no file yet: the reading is shown but not recorded.
    if (ShraniFajl == nullptr)
        return;
    quarn::RecordingRowInput row;
    // The time column wraps at 32 bits, as the duration does.
    row.elapsedMs = static_cast<std::uint32_t>(recordingClockMs() - ShraniStart);
    row.rxBufferHex = RxBufferHex;
    row.mtValue = MT_value;
    row.stValue = ST_value;
    row.signalLevel = SignalLevel;
    row.temperature = Temperatura;
    row.debug = DebugData;
    if (writeWholeLine(*ShraniFajl, quarn::recordingRow(row) + quarn::RecordingLineEnd))
        return;

    const QString text = QStringLiteral("Cannot write to file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(m_recordingPath), ShraniFajl->errorString());
    // Stop first, so that no further row goes to the broken file while the box is open.
    ui->cbShranjujMeritveDebug->setChecked(false);
    showMessage(MessageKind::Error, text);
}

QString TMainForm::recordingDirectory() const
{
    return chooseRecordingDirectory(QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

qint64 TMainForm::recordingClockMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QDateTime TMainForm::recordingStartTime() const
{
    return QDateTime::currentDateTime();
}

std::unique_ptr<QIODevice> TMainForm::createRecordingFile(const QString &path)
{
    return std::make_unique<QFile>(path);
}
