// SPDX-License-Identifier: MIT
#include "failure.h"

#include "cli_context.h"

#include <QStringList>

#include <array>

namespace cli {

namespace {

struct KindEntry {
    FailureKind kind;
    const char *name;
    int exitCode;
};

constexpr std::array<KindEntry, 17> Kinds = {{
    {FailureKind::Failed, "failed", ExitFailure},
    {FailureKind::Usage, "usage", ExitUsage},
    {FailureKind::CalibrationNotFinished, "selfcal-not-finished", ExitCalibrationNotFinished},
    {FailureKind::CalibrationFailed, "selfcal-failed", ExitCalibrationFailed},
    {FailureKind::NoReply, "no-reply", ExitNotConfirmed},
    {FailureKind::PortLost, "port-lost", ExitNotConfirmed},
    {FailureKind::NotConfirmed, "not-confirmed", ExitNotConfirmed},
    {FailureKind::NoEncoder, "no-encoder", ExitNoEncoder},
    {FailureKind::CorruptReply, "corrupt-reply", ExitNoEncoder},
    {FailureKind::PortBusy, "port-busy", ExitPortBusy},
    {FailureKind::PermissionDenied, "permission-denied", ExitPermissionDenied},
    {FailureKind::NoSuchPort, "no-such-port", ExitNoSuchPort},
    {FailureKind::PositionError, "position-error", ExitEncoderRefused},
    {FailureKind::Unsupported, "unsupported", ExitEncoderRefused},
    {FailureKind::WrongPart, "wrong-part", ExitEncoderRefused},
    {FailureKind::SeveralEncoders, "several-encoders", ExitSeveralEncoders},
    {FailureKind::Interrupted, "interrupted", ExitInterrupted},
}};

const KindEntry &entryOf(FailureKind kind)
{
    for (const KindEntry &entry : Kinds) {
        if (entry.kind == kind)
            return entry;
    }
    return Kinds[0];
}

constexpr std::array<ExitCodeRow, 13> Rows = {{
    {ExitSuccess, "", "success"},
    {ExitFailure, "failed", "any other failure: a file or standard output that cannot be written"},
    {ExitUsage, "usage", "a usage error: unknown command or option, a value out of range"},
    {ExitCalibrationNotFinished, "selfcal-not-finished",
     "selfcal: the status never changed within the wait (after the report)"},
    {ExitCalibrationFailed, "selfcal-failed", "selfcal: it finished with a failure flag (after the report)"},
    {ExitNotConfirmed, "no-reply, port-lost, not-confirmed",
     "the encoder stopped answering (no reply, spoilt replies, the port gone) or did not "
     "confirm a write: the reading after it was missing, spoilt, flagged or elsewhere; selfcal: "
     "no two status replies agreed"},
    {ExitNoEncoder, "no-encoder, corrupt-reply",
     "no encoder answered on the ports tried (or none with the serial number asked for), or "
     "what answered was not a whole identification"},
    {ExitPortBusy, "port-busy", "the port is held by another program"},
    {ExitPermissionDenied, "permission-denied", "permission denied: this user may not open the port"},
    {ExitNoSuchPort, "no-such-port", "the port does not exist or is not a serial port"},
    {ExitEncoderRefused, "position-error, unsupported, wrong-part",
     "the encoder cannot do it: its error flag is set (zero), or its firmware or turn type lacks "
     "the command; commission: its part number is not the one asked for"},
    {ExitSeveralEncoders, "several-encoders", "more than one encoder found: choose one with --serial or --port"},
    {ExitInterrupted, "interrupted",
     "Ctrl+C (SIGINT) or SIGTERM; the program ends by the signal after complete output, so the "
     "shell sees 130 (143)"},
}};

} // namespace

int exitCodeOf(FailureKind kind)
{
    return entryOf(kind).exitCode;
}

QString kindName(FailureKind kind)
{
    return QLatin1String(entryOf(kind).name);
}

std::span<const ExitCodeRow> exitCodeRows()
{
    return Rows;
}

QString exitCodesHelp()
{
    constexpr qsizetype Indent = 7;
    constexpr qsizetype Width = 79;
    QString text;
    for (const ExitCodeRow &row : Rows) {
        QString line = QStringLiteral("  %1").arg(row.code, -5);
        qsizetype column = line.size();
        for (const QString &word : QString::fromLatin1(row.meaning).split(u' ')) {
            if (column > Indent && column + 1 + word.size() > Width) {
                line += u'\n' + QString(Indent, u' ');
                column = Indent;
            } else if (column > Indent) {
                line += u' ';
                ++column;
            }
            line += word;
            column += word.size();
        }
        text += line + u'\n';
    }
    return text;
}

} // namespace cli
