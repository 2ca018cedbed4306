// SPDX-License-Identifier: MIT
// The encoder's self-calibration: arc and timeout, start, the wait for its status to change
// with the progress bar, and the lamps and report of the outcome.
#include "main_form.h"

#include "colours.h"
#include "ui_main_form.h"
#include "wait_ms.h"

#include "quarn_konstante.h"
#include "self_calibration.h"

#include <QElapsedTimer>
#include <QLocale>

#include <algorithm>
#include <optional>

namespace {

constexpr int StepPauseMs = 100;

// A bar ignores positions outside its range; the run wants it full (or empty) there instead.
void setProgress(QProgressBar *bar, int position)
{
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

} // namespace

void TMainForm::btnStartSelfCalClick()
{
    CommandRunGuard guard(*this);
    const QByteArray statusRequest(1, quarn::cmd::SelfCalStatus);
    const QString statusFailed = QStringLiteral("Command \"i\" failed!");

    // What is lit describes this run only: a run that ends before its outcome must not leave
    // the previous run's result on screen. The report gives way to the counter once the status
    // before the start has been read.
    showSelfCalLamps(quarn::SelfCalLamps{});
    setProgress(ui->pbSelfCalProgress, 0);

    const bool wasReading = ui->cbBeriEnkoder->isChecked();
    ui->cbBeriEnkoder->setChecked(false);
    // A closing window ends the run where it stands: no more requests, nothing shown.
    const auto pause = [] {
        orodja::WaitMs(StepPauseMs);
        return !orodja::applicationTerminating();
    };
    if (!pause())
        return;

    const auto arc = static_cast<quint16>(ui->seSelfCalArc->value());
    if (!sendCommand(quarn::selfCalArcRequest(arc), QStringLiteral("Command \"Unlock + p\" failed!")))
        return;
    if (!pause())
        return;

    int timeoutSeconds = quarn::DefaultSelfCalTimeoutSeconds;
    if (quarn::timeoutRequestApplies(Firmware_Verzija_Jedra_Major, Firmware_Verzija_Jedra_Minor)) {
        const quarn::SelfCalTimeout timeout = quarn::selfCalTimeoutValue(ui->seSelfCalTimeout->value());
        if (timeout.setSpinEdit)
            ui->seSelfCalTimeout->setValue(timeout.seconds);
        ui->pbSelfCalProgress->setMaximum(timeout.seconds * 10);
        if (!sendCommand(quarn::selfCalTimeoutRequest(static_cast<quint8>(timeout.seconds)),
                         QStringLiteral("Command \"Unlock + t\" failed!")))
            return;
        if (!pause())
            return;
        timeoutSeconds = timeout.seconds;
    }

    // The status before the start, kept for the whole run: a confirmed change of it means
    // finished. Without it (no agreeing replies, or no port) nothing later can be compared, so
    // no outcome can be told.
    quarn::SelfCalStatusConfirmation statusReads;
    const std::optional<QByteArray> initialStatus = readConfirmedSelfCalStatus(statusReads);
    if (!initialStatus) {
        showMessage(MessageKind::Error, statusFailed);
        return;
    }
    ui->lblAselfCalResult->setText(quarn::selfCalInitialText(*initialStatus));

    if (!pause())
        return;
    if (!sendCommand(quarn::selfCalStartRequest(), QStringLiteral("Command \"Unlock + A\" failed!")))
        return;

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        orodja::WaitMs(StepPauseMs);
        if (orodja::applicationTerminating())
            return;
        // A status that does not come whole, or comes spoilt, tells nothing; the wait goes on.
        // A changed status ends it once a second reply agrees. A port that is gone brings
        // none: the run ends there.
        const int result =
            ComTransaction(ComID, statusRequest, quarn::SelfCalStatusReplyLength, RxBuffer);
        if (result == -3) {
            showMessage(MessageKind::Error, statusFailed);
            return;
        }
        const std::optional<QByteArray> status = statusReads.take(result == 0 ? RxBuffer : QByteArray());
        const bool changed = status && quarn::selfCalStatusChanged(*initialStatus, *status);
        const int position = quarn::selfCalProgressPosition(clock.elapsed());
        setProgress(ui->pbSelfCalProgress, position);
        if (orodja::applicationTerminating())
            return;
        if (changed || quarn::selfCalWaitExpired(position, timeoutSeconds))
            break;
    }

    // The final status, confirmed as the first was: after a change the wait saw, the first
    // reply that agrees with it. Finished means that it differs from the status before the
    // start; a status that changed just after the wait gave up counts too.
    const std::optional<QByteArray> finalStatus = readConfirmedSelfCalStatus(statusReads);
    if (!finalStatus) {
        showMessage(MessageKind::Error, statusFailed);
        return;
    }
    RxBuffer = *finalStatus;
    const bool finished = quarn::selfCalStatusChanged(*initialStatus, *finalStatus);
    const quarn::SelfCalOutcome outcome =
        quarn::selfCalOutcome(*finalStatus, finished, timeoutSeconds, PremerKodeRinga, QLocale());
    showSelfCalLamps(outcome.lamps);
    ui->lblAselfCalResult->setText(outcome.report);
    setProgress(ui->pbSelfCalProgress, outcome.progress);

    ui->cbBeriEnkoder->setChecked(wasReading);
}

std::optional<QByteArray> TMainForm::readConfirmedSelfCalStatus(quarn::SelfCalStatusConfirmation &reads)
{
    const QByteArray statusRequest(1, quarn::cmd::SelfCalStatus);
    for (int attempt = 0; attempt < quarn::SelfCalStatusReadAttempts; ++attempt) {
        const int result = ComTransaction(ComID, statusRequest, quarn::SelfCalStatusReplyLength, RxBuffer);
        if (result == -3)
            return std::nullopt;
        if (const std::optional<QByteArray> status = reads.take(result == 0 ? RxBuffer : QByteArray()))
            return status;
    }
    return std::nullopt;
}

void TMainForm::showSelfCalLamps(const quarn::SelfCalLamps &lamps)
{
    setLampColour(ui->pnlAselfCalFinished, lamps.finished);
    setLampColour(ui->pnlAselfCalTimeout, lamps.timeoutExpired);
    setLampColour(ui->pnlAselfCalOutOfRange, lamps.outOfRange);
    setLampColour(ui->pnlAselfCalParamOutOfRange, lamps.arcOutOfRange);
    setLampColour(ui->pnlAselfCalNoCorrection, lamps.noCorrection);
    setLampColour(ui->pnlASelfCalUserErrMap, lamps.userErrorMap);
    setLampColour(ui->pnlAselfCalSucessfull, lamps.successful);
}
