// SPDX-License-Identifier: MIT
#include "commission_record.h"

#include "cli_context.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>

namespace cli {

QString commissionStepName(CommissionStep step)
{
    switch (step) {
    case CommissionStep::Identify:
        return QStringLiteral("identify");
    case CommissionStep::PartCheck:
        return QStringLiteral("part");
    case CommissionStep::FactoryReset:
        return QStringLiteral("factory-reset");
    case CommissionStep::ResetStatus:
        return QStringLiteral("reset-status");
    case CommissionStep::SelfCal:
        return QStringLiteral("selfcal");
    case CommissionStep::Zero:
        return QStringLiteral("zero");
    case CommissionStep::MultiturnZero:
        return QStringLiteral("mt-zero");
    case CommissionStep::Verify:
        return QStringLiteral("verify");
    }
    return {};
}

bool CommissionRecord::ok() const
{
    return !steps.isEmpty() && std::all_of(steps.cbegin(), steps.cend(), [](const StepOutcome &s) { return s.ok(); });
}

const StepOutcome *CommissionRecord::failedStep() const
{
    const auto failed = std::find_if(steps.cbegin(), steps.cend(),
                                     [](const StepOutcome &s) { return s.ran && s.exitCode != 0; });
    return failed == steps.cend() ? nullptr : &*failed;
}

int CommissionRecord::exitCode() const
{
    if (const StepOutcome *failed = failedStep())
        return failed->exitCode;
    // A step that never ran without one that failed: the run stopped before it.
    return ok() ? ExitSuccess : ExitInterrupted;
}

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject stepJson(const StepOutcome &step)
{
    QJsonObject object{{QStringLiteral("step"), commissionStepName(step.step)},
                       {QStringLiteral("result"), !step.ran              ? QStringLiteral("not-run")
                                                  : step.exitCode == 0 ? QStringLiteral("ok")
                                                                       : QStringLiteral("failed")},
                       {QStringLiteral("ms"), step.ran ? QJsonValue(step.ms) : QJsonValue()}};
    if (step.ran && step.exitCode != 0) {
        object.insert(QStringLiteral("exitCode"), step.exitCode);
        object.insert(QStringLiteral("kind"), kindName(step.kind));
        object.insert(QStringLiteral("message"), step.message);
    }
    if (!step.details.isEmpty())
        object.insert(QStringLiteral("details"), step.details);
    return object;
}

} // namespace

QJsonObject commissionRecordJson(const CommissionRecord &record)
{
    QJsonArray steps;
    for (const StepOutcome &step : record.steps)
        steps.append(stepJson(step));
    const StepOutcome *failed = record.failedStep();
    const std::optional<CommissionedEncoder> &encoder = record.encoder;
    return QJsonObject{
        {QStringLiteral("event"), QStringLiteral("commissioned")},
        {QStringLiteral("port"), record.port},
        {QStringLiteral("partNumber"), encoder ? textOrNull(encoder->partNumber) : QJsonValue()},
        {QStringLiteral("serialNumber"), encoder ? textOrNull(encoder->serialNumber) : QJsonValue()},
        {QStringLiteral("firmware"), encoder ? textOrNull(encoder->firmware) : QJsonValue()},
        {QStringLiteral("baudRate"), encoder ? QJsonValue(encoder->baudRate) : QJsonValue()},
        {QStringLiteral("ok"), record.ok()},
        {QStringLiteral("exitCode"), record.exitCode()},
        {QStringLiteral("kind"), failed != nullptr ? QJsonValue(kindName(failed->kind)) : QJsonValue()},
        {QStringLiteral("failedStep"), failed != nullptr ? QJsonValue(commissionStepName(failed->step)) : QJsonValue()},
        {QStringLiteral("message"), failed != nullptr ? QJsonValue(failed->message) : QJsonValue()},
        {QStringLiteral("ms"), record.ms},
        {QStringLiteral("steps"), steps},
    };
}

QString durationText(qint64 ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 2);
}

QString commissionRecordLine(const CommissionRecord &record)
{
    QStringList fields{record.port};
    if (record.encoder) {
        fields << record.encoder->partNumber << record.encoder->serialNumber
               << QStringLiteral("firmware ") + record.encoder->firmware;
    }
    if (const StepOutcome *failed = record.failedStep()) {
        fields << QStringLiteral("FAILED at %1 (exit %2, %3): %4")
                      .arg(commissionStepName(failed->step))
                      .arg(failed->exitCode)
                      .arg(kindName(failed->kind), failed->message);
        return fields.join(QStringLiteral("  "));
    }
    QStringList steps;
    for (const StepOutcome &step : record.steps) {
        if (step.ran)
            steps.append(commissionStepName(step.step) + u' ' + durationText(step.ms));
    }
    fields << (record.ok() ? QStringLiteral("ok") : QStringLiteral("STOPPED")) << steps.join(QStringLiteral(", "));
    return fields.join(QStringLiteral("  "));
}

namespace {

struct Tally {
    int ok = 0;
    QStringList failed; // "/dev/ttyUSB1 at zero"
};

Tally tally(const QList<CommissionRecord> &records)
{
    Tally counts;
    for (const CommissionRecord &record : records) {
        if (record.ok()) {
            ++counts.ok;
            continue;
        }
        const StepOutcome *failed = record.failedStep();
        counts.failed.append(record.port + (failed != nullptr ? QStringLiteral(" at ") + commissionStepName(failed->step)
                                                              : QStringLiteral(" stopped")));
    }
    return counts;
}

} // namespace

QString commissionSummaryLine(const QList<CommissionRecord> &records, qint64 ms)
{
    const Tally counts = tally(records);
    QString line = QStringLiteral("%1 %2: %3 commissioned")
                       .arg(records.size())
                       .arg(records.size() == 1 ? QStringLiteral("encoder") : QStringLiteral("encoders"))
                       .arg(counts.ok);
    if (!counts.failed.isEmpty())
        line += QStringLiteral(", %1 failed (%2)").arg(counts.failed.size()).arg(counts.failed.join(QStringLiteral(", ")));
    return line + QStringLiteral(" in ") + durationText(ms);
}

QJsonObject commissionSummaryJson(const QList<CommissionRecord> &records, qint64 ms)
{
    const Tally counts = tally(records);
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("summary")},
                       {QStringLiteral("encoders"), records.size()},
                       {QStringLiteral("commissioned"), counts.ok},
                       {QStringLiteral("failed"), static_cast<int>(counts.failed.size())},
                       {QStringLiteral("ok"), counts.failed.isEmpty() && !records.isEmpty()},
                       {QStringLiteral("exitCode"), commissionExitCode(records)},
                       {QStringLiteral("ms"), ms}};
}

int commissionExitCode(const QList<CommissionRecord> &records)
{
    int code = ExitSuccess;
    for (const CommissionRecord &record : records) {
        const int recordCode = record.exitCode();
        if (recordCode == ExitInterrupted)
            return ExitInterrupted;
        if (code == ExitSuccess)
            code = recordCode;
    }
    return code;
}

} // namespace cli
