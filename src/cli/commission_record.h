// SPDX-License-Identifier: MIT
#pragma once

// What `commission` did to one encoder, step by step, and how that is written: one JSON
// object or one line of text per encoder, a summary, and the exit code of the whole run.

#include "failure.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace cli {

// The steps in the order they run: identify first, the chosen ones, a verifying reading last.
// The calibration comes before the zero, which is then set on the calibrated reading.
enum class CommissionStep { Identify, PartCheck, FactoryReset, ResetStatus, SelfCal, Zero, MultiturnZero, Verify };

// "identify", "part", "factory-reset", "reset-status", "selfcal", "zero", "mt-zero", "verify".
QString commissionStepName(CommissionStep step);

struct StepOutcome {
    CommissionStep step = CommissionStep::Identify;
    bool ran = false; // false: an earlier step failed (or the run was stopped) before it
    int exitCode = 0;
    FailureKind kind = FailureKind::Failed; // when exitCode is not 0
    QString message;                        // the failure's one line
    qint64 ms = 0;
    // What the step reported: the zero offset, the calibration's flags, the closing reading.
    QJsonObject details;

    bool ok() const { return ran && exitCode == 0; }
};

struct CommissionedEncoder {
    QString partNumber;
    QString serialNumber;
    QString firmware;
    qint32 baudRate = 0;
};

struct CommissionRecord {
    QString port;
    std::optional<CommissionedEncoder> encoder; // none when it was not identified
    QList<StepOutcome> steps;                   // every planned step, run or not
    qint64 ms = 0;

    // Every step ran and succeeded.
    bool ok() const;
    // The step that failed; nullptr when none did.
    const StepOutcome *failedStep() const;
    // 0, or the exit code of the failed step.
    int exitCode() const;
};

// {"event":"commissioned","port","partNumber","serialNumber","firmware","baudRate","ok","ms",
//  "exitCode","kind","failedStep","message","steps":[{"step","result","ms","details"}]}; a step's
// "result" is "ok", "failed" or "not-run"; a failed one adds "exitCode", "kind" and "message".
// Keys whose value is unknown are null.
QJsonObject commissionRecordJson(const CommissionRecord &record);

// "/dev/ttyUSB0  QX105---18M-----  000042  firmware 2.9.3.7  ok  identify 40 ms, zero 0.81 s, ..."
// or "... FAILED at zero (exit 5, not-confirmed): <message>".
QString commissionRecordLine(const CommissionRecord &record);

// "3 encoders: 2 commissioned, 1 failed (/dev/ttyUSB1 at zero) in 2.4 s".
QString commissionSummaryLine(const QList<CommissionRecord> &records, qint64 ms);
QJsonObject commissionSummaryJson(const QList<CommissionRecord> &records, qint64 ms);

// 0 when every encoder was commissioned; else the exit code of the first that failed, in the
// order of the records; an interrupted run gives 130 whichever failed first.
int commissionExitCode(const QList<CommissionRecord> &records);

// "40 ms", "1.62 s".
QString durationText(qint64 ms);

} // namespace cli
