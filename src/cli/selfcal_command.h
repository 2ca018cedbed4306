// SPDX-License-Identifier: MIT
#pragma once

// `selfcal`: the window's self-calibration run: arc, timeout (firmware 2.9 and later), the
// status before the start, the start, the wait for the status to change with a progress bar on
// a terminal, then the report and the seven flags of the final status.

#include "cli_context.h"
#include "command.h"
#include "encoder_link.h"
#include "output.h"

#include "self_calibration.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

inline constexpr int SelfCalArcMin = 180;
inline constexpr int SelfCalArcMax = 360;
inline constexpr int SelfCalTimeoutMin = 1;
inline constexpr int SelfCalTimeoutMax = 40;

struct SelfCalOptions {
    int arcDegrees = 360;
    std::optional<int> timeoutSeconds; // none: 10, as the window's spin edit starts
    OutputFormat format = OutputFormat::Text;
};

// The seven flags under their captions, with the final status and the report (led by the line
// that the calibration did not finish when the wait for `timeoutSeconds` ran out).
QJsonObject selfCalJson(const quarn::SelfCalStatus &status, bool finished, int timeoutSeconds,
                        float ringDiameterMm);
QStringList selfCalFlagLines(const quarn::SelfCalStatus &status, bool finished);

// "[#####     ]  4.2 s of 11.0 s" for a position of the bar (tenths of seconds) and its maximum.
QString selfCalProgressBar(int position, int maximum);

// 0 only when the calibration finished without a failure flag; 3 (ExitCalibrationNotFinished)
// when its status never changed within the wait, 4 (ExitCalibrationFailed) when it finished
// with a failure flag, both after the report; 5 when the status could not be read or confirmed.
// Ctrl+C ends the wait without a report, with 130.
int runSelfCal(EncoderLink &link, const SelfCalOptions &options, Context &context);

// --arc and --timeout, as selfcal and commission take them, and their values checked.
QList<CommandOption> selfCalOptionList();
std::optional<SelfCalOptions> selfCalOptions(const GivenOptions &given, OutputFormat format, QString &usageError);

Command selfCalCommand();

} // namespace cli
