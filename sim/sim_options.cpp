// SPDX-License-Identifier: MIT
#include "sim_options.h"

#include "calibration_model.h"
#include "part_number.h"

#include <QCommandLineParser>

#include <cmath>
#include <limits>
#include <optional>

namespace sim {
namespace {

struct Parsed {
    SimOptions &options;
    const QCommandLineParser &parser;

    bool fail(const QString &option, const QString &reason)
    {
        if (options.error.isEmpty())
            options.error = QStringLiteral("--%1: %2").arg(option, reason);
        return false;
    }

    std::optional<qint64> integer(const QString &option, qint64 low, qint64 high)
    {
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        if (!ok || value < low || value > high) {
            fail(option, QStringLiteral("expected a whole number from %1 to %2, got \"%3\"")
                             .arg(low)
                             .arg(high)
                             .arg(parser.value(option)));
            return std::nullopt;
        }
        return value;
    }

    std::optional<double> decimal(const QString &option, double low, double high)
    {
        bool ok = false;
        const double value = parser.value(option).toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < low || value > high) {
            fail(option, QStringLiteral("expected a number from %1 to %2, got \"%3\"")
                             .arg(low)
                             .arg(high)
                             .arg(parser.value(option)));
            return std::nullopt;
        }
        return value;
    }

    // Latin-1 text of at most `length` characters.
    std::optional<QByteArray> text(const QString &option, qsizetype length)
    {
        const QString value = parser.value(option);
        if (value.isEmpty() || value.size() > length) {
            fail(option, QStringLiteral("expected 1 to %1 characters, got \"%2\"").arg(length).arg(value));
            return std::nullopt;
        }
        for (const QChar c : value) {
            if (c.unicode() < 0x20 || c.unicode() > 0xFF) {
                fail(option, QStringLiteral("only printable 8-bit characters are allowed"));
                return std::nullopt;
            }
        }
        return value.toLatin1();
    }
};

std::optional<FirmwareVersion> parseFirmware(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    FirmwareVersion version;
    std::uint8_t *small[] = {&version.major, &version.minor, &version.protocol};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        if (!ok || value > 255)
            return std::nullopt;
        *small[i] = static_cast<std::uint8_t>(value);
    }
    bool ok = false;
    const qulonglong revision = parts[3].toULongLong(&ok);
    if (!ok || revision > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    version.revision = static_cast<std::uint32_t>(revision);
    return version;
}

} // namespace

SimOptions parseSimOptions(const QStringList &arguments)
{
    SimOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated Quarn-2 absolute encoder on a pseudo-terminal. Prints the path of its port on "
        "the first line of standard output and serves until SIGINT or SIGTERM. SIGUSR1 makes the "
        "port vanish (as an unplugged adapter), SIGUSR2 brings a new one (the --link path follows)."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("baud"), QStringLiteral("Answer only at this baud rate (default 115200)."),
         QStringLiteral("RATE"), QStringLiteral("115200")},
        {QStringLiteral("part"),
         QStringLiteral("Part number, up to 16 characters, padded with '-' (default "
                        "QX105---18M-----: multiturn, 18 bits, code length 8)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("serial"),
         QStringLiteral("Serial number, up to 6 characters, padded with leading '0' (default 000042)."),
         QStringLiteral("TEXT")},
        {QStringLiteral("firmware"),
         QStringLiteral("Firmware version (default 2.9.1.4); a minor number below 9 hides the "
                        "persistent status and the self-calibration timeout."),
         QStringLiteral("MAJOR.MINOR.PROTOCOL.REVISION")},
        {QStringLiteral("speed"),
         QStringLiteral("Shaft speed in counts per second, negative turns backwards (default 0)."),
         QStringLiteral("COUNTS_PER_SECOND"), QStringLiteral("0")},
        {QStringLiteral("position"),
         QStringLiteral("Shaft position at start in counts from turn 0, position 0: turns times "
                        "the counts per turn plus the single-turn counts (default 0)."),
         QStringLiteral("COUNTS"), QStringLiteral("0")},
        {QStringLiteral("status"),
         QStringLiteral("Status word reported in every status reply, e.g. 0x0140 for Warning and "
                        "Signal Low (default 0)."),
         QStringLiteral("WORD"), QStringLiteral("0")},
        {QStringLiteral("latency"),
         QStringLiteral("Pause before each reply in milliseconds, fractions allowed (default 1)."),
         QStringLiteral("MS"), QStringLiteral("1")},
        {QStringLiteral("link"),
         QStringLiteral("Keep a symbolic link to the port at PATH (a stale link is replaced; "
                        "removed at exit)."),
         QStringLiteral("PATH")},
        {QStringLiteral("log"),
         QStringLiteral("Write every request to FILE: time in ms, baud rate, bytes in hex, note "
                        "(ok, unknown, truncated, wrong-rate)."),
         QStringLiteral("FILE")},
        {QStringLiteral("selfcal-time"),
         QStringLiteral("How long a self-calibration takes, or 'never' (default 1.5)."),
         QStringLiteral("SECONDS|never"), QStringLiteral("1.5")},
        {QStringLiteral("selfcal-flags"),
         QStringLiteral("Flags of a finished self-calibration, bits 2-6 of status byte 1: 0x08 out "
                        "of range, 0x20 no correction necessary, 0x40 user error map (default 0)."),
         QStringLiteral("FLAGS"), QStringLiteral("0")},
        {QStringLiteral("error-flag"), QStringLiteral("Report an error in every position word.")},
        {QStringLiteral("silent-after"),
         QStringLiteral("Stop answering MS milliseconds after start."), QStringLiteral("MS")},
        {QStringLiteral("garbage-every"),
         QStringLiteral("Replace every N-th reply with random bytes (1: every reply)."),
         QStringLiteral("N")},
        {QStringLiteral("fault-every"),
         QStringLiteral("Spoil every N-th reply, in turn with random bytes, a missing last byte "
                        "and the error flag."),
         QStringLiteral("N")},
        {QStringLiteral("noise"), QStringLiteral("Add noise to the code-track samples and the signal level.")},
        {QStringLiteral("verbose"), QStringLiteral("Print every request on standard error.")},
    });

    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        options.showHelp = true;
        options.helpText = parser.helpText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return options;
    }

    Parsed parsed{options, parser};
    EncoderConfig &config = options.config;
    if (const auto baud = parsed.integer(QStringLiteral("baud"), 50, 4000000))
        config.baudRate = static_cast<std::int32_t>(*baud);
    if (parser.isSet(QStringLiteral("part"))) {
        if (const auto part = parsed.text(QStringLiteral("part"), quarn::PartNumberLength))
            config.partNumber = part->leftJustified(quarn::PartNumberLength, '-');
    }
    if (parser.isSet(QStringLiteral("serial"))) {
        if (const auto serial = parsed.text(QStringLiteral("serial"), quarn::SerialNumberLength))
            config.serialNumber = serial->rightJustified(quarn::SerialNumberLength, '0');
    }
    if (parser.isSet(QStringLiteral("firmware"))) {
        if (const auto firmware = parseFirmware(parser.value(QStringLiteral("firmware"))))
            config.firmware = *firmware;
        else
            parsed.fail(QStringLiteral("firmware"),
                        QStringLiteral("expected MAJOR.MINOR.PROTOCOL.REVISION, e.g. 2.9.1.4"));
    }
    if (const auto speed = parsed.integer(QStringLiteral("speed"), -8388608, 8388607))
        config.speedCountsPerSecond = static_cast<std::int32_t>(*speed);
    // Bounded by the turn counter's 16 bits at the finest resolution, 21 bits per turn.
    constexpr qint64 positionLimit = qint64{1} << 37;
    if (const auto position = parsed.integer(QStringLiteral("position"), -positionLimit, positionLimit - 1))
        config.startPosition = *position;
    {
        bool ok = false;
        const uint word = parser.value(QStringLiteral("status")).toUInt(&ok, 0);
        if (!ok || word > 0xFFFF)
            parsed.fail(QStringLiteral("status"), QStringLiteral("expected a number from 0 to 0xFFFF"));
        else
            config.statusWord = static_cast<std::uint16_t>(word);
    }
    if (const auto latency = parsed.decimal(QStringLiteral("latency"), 0.0, 10000.0))
        config.replyLatencyUs = std::llrint(*latency * 1000.0);
    const QString selfCalTime = parser.value(QStringLiteral("selfcal-time"));
    if (selfCalTime == QStringLiteral("never")) {
        config.selfCalibration.durationMs.reset();
    } else if (const auto seconds = parsed.decimal(QStringLiteral("selfcal-time"), 0.0, 3600.0)) {
        config.selfCalibration.durationMs = std::llrint(*seconds * 1000.0);
    }
    {
        bool ok = false;
        const uint flags = parser.value(QStringLiteral("selfcal-flags")).toUInt(&ok, 0);
        if (!ok || (flags & ~uint{CalibrationFlagMask}) != 0)
            parsed.fail(QStringLiteral("selfcal-flags"),
                        QStringLiteral("expected a number with only bits 2 to 6 set (0 to 0x7C)"));
        else
            config.selfCalibration.finalFlags = static_cast<std::uint8_t>(flags);
    }
    config.faults.errorFlag = parser.isSet(QStringLiteral("error-flag"));
    if (parser.isSet(QStringLiteral("silent-after"))) {
        if (const auto ms = parsed.integer(QStringLiteral("silent-after"), 0,
                                           std::numeric_limits<std::int32_t>::max()))
            config.faults.silentFromMs = *ms;
    }
    if (parser.isSet(QStringLiteral("garbage-every"))) {
        if (const auto n = parsed.integer(QStringLiteral("garbage-every"), 0, 1000000))
            config.faults.garbageEvery = static_cast<int>(*n);
    }
    if (parser.isSet(QStringLiteral("fault-every"))) {
        if (const auto n = parsed.integer(QStringLiteral("fault-every"), 0, 1000000))
            config.faults.mixedFaultEvery = static_cast<int>(*n);
    }
    config.noise = parser.isSet(QStringLiteral("noise"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.linkPath = parser.value(QStringLiteral("link"));
    options.logFile = parser.value(QStringLiteral("log"));
    if (parser.isSet(QStringLiteral("link")) && options.linkPath.isEmpty())
        parsed.fail(QStringLiteral("link"), QStringLiteral("expected a path"));
    if (parser.isSet(QStringLiteral("log")) && options.logFile.isEmpty())
        parsed.fail(QStringLiteral("log"), QStringLiteral("expected a file name"));
    return options;
}

} // namespace sim
