// SPDX-License-Identifier: MIT
#include "doctor_command.h"

#include "encoder_link.h"

#include "adapter_checks.h"
#include "open_failure.h"
#include "port_facts.h"
#include "process_table.h"
#include "udev_rules.h"

#include "qt_serial_port.h"

#include "port_search.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <array>

namespace cli {

namespace {

// What the checks read once for all ports.
struct SystemState {
    doctor::ProcessTable processes;
    doctor::Accounts accounts;
    QList<doctor::UdevRule> rules;
    QList<doctor::UdevRule> brlttyRules;
    bool brlttyInstalled = false;
};

SystemState readSystemState(const doctor::SystemPaths &paths)
{
    SystemState state;
    state.processes = doctor::readProcessTable(paths);
    state.accounts = doctor::readAccounts(paths);
    state.rules = doctor::readUdevRules(paths.udevRuleDirs, [](const QString &) { return true; });
    for (const doctor::UdevRule &rule : std::as_const(state.rules)) {
        if (rule.file.contains(QLatin1String("brltty")))
            state.brlttyRules.append(rule);
    }
    state.brlttyInstalled = doctor::dpkgPackageInstalled(doctor::readTextFile(paths.dpkgStatus), QStringLiteral("brltty"));
    return state;
}

// The checks in the order they are reported; the names are the keys of the output.
enum Check { Access, Holders, ModemManager, Brltty, LatencyTimer, LowLatency, Encoder, CheckCount };
constexpr std::array<const char *, CheckCount> CheckNames = {
    "access", "holders", "modemmanager", "brltty", "latency-timer", "low-latency", "encoder"};

struct PortReport {
    doctor::PortFacts facts;
    std::array<doctor::Finding, CheckCount> findings;
    QList<doctor::Holder> holders;
    std::optional<int> latencyWhileOpenMs;
    serial::LowLatencyMode lowLatency = serial::LowLatencyMode::Unknown;
    std::optional<quarn::EncoderIdentity> identity;
    qint32 baudRate = 0;
    bool opened = false;
    bool interrupted = false;

    bool blocking() const
    {
        return std::any_of(findings.begin(), findings.end(),
                           [](const doctor::Finding &finding) { return finding.status == doctor::Status::Blocking; });
    }
};

QString lowLatencyName(serial::LowLatencyMode mode)
{
    switch (mode) {
    case serial::LowLatencyMode::Unsupported:
        return QStringLiteral("unsupported");
    case serial::LowLatencyMode::Refused:
        return QStringLiteral("refused");
    case serial::LowLatencyMode::Active:
        return QStringLiteral("active");
    case serial::LowLatencyMode::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

// Opens the port as the search does and tries the seven rates; notes what the driver made of
// the low-latency request while the port is open.
void identifyOn(const serial::PortEntry &entry, const doctor::SystemPaths &paths, int unreadableProcesses,
                Context &context, PortReport &report)
{
    QString openError;
    bool &opened = report.opened;
    serial::PortSearchHooks hooks;
    hooks.makePort = [&context](const serial::PortEntry &) { return context.makePort(); };
    hooks.openFailed = [&openError](int, const QString &errorText) { openError = errorText; };
    hooks.identify = [&](serial::SerialPort &port, int, int) {
        if (!opened) {
            opened = true;
            report.lowLatency = port.lowLatencyMode();
            report.latencyWhileOpenMs = doctor::readLatencyTimer(paths, report.facts.identity.kernel);
        }
        report.identity = identifyEncoder(port, entry.path, context);
        return report.identity.has_value();
    };
    hooks.shouldStop = [&context] { return context.stopRequested(); };
    const serial::PortSearchResult result = serial::searchPorts({entry}, hooks);
    if (result.port != nullptr)
        result.port->close();

    doctor::Finding &finding = report.findings[Encoder];
    if (result.outcome == serial::PortSearchOutcome::Found) {
        report.baudRate = serial::baudRateForIndex(result.rateIndex);
        finding = {doctor::Status::Ok,
                   QStringLiteral("a Quarn-2 answered at %1 baud (part %2, serial %3)")
                       .arg(report.baudRate)
                       .arg(QString::fromLatin1(report.identity->partNumber).trimmed(),
                            QString::fromLatin1(report.identity->serialNumber).trimmed()),
                   {}};
    } else if (result.outcome == serial::PortSearchOutcome::Stopped) {
        report.interrupted = true;
        finding = {doctor::Status::Skipped, QStringLiteral("interrupted"), {}};
    } else if (!opened) {
        // Held, yet by none of the processes looked at: another user's program.
        if (openError == QLatin1String(serial::QtSerialPort::kInUseText)
            && report.findings[Holders].status != doctor::Status::Blocking && unreadableProcesses > 0)
            report.findings[Holders] = doctor::heldByAnotherUserFinding(entry.path, unreadableProcesses);
        const bool explained = report.findings[Access].status == doctor::Status::Blocking
                               || report.findings[Holders].status == doctor::Status::Blocking;
        finding = {doctor::Status::Blocking, QStringLiteral("cannot be opened: ") + openError,
                   explained ? QStringLiteral("see the blocking finding above")
                             : QStringLiteral("replug the adapter and look for errors in: sudo dmesg | tail")};
    } else {
        finding = {doctor::Status::Warning,
                   QStringLiteral("no Quarn-2 answered at any of the seven rates (115200 to 1000000 baud)"),
                   QStringLiteral("check the encoder's power and the wiring: adapter TX to encoder RX, RX to TX, "
                                  "and a common ground")};
    }
}

PortReport examinePort(const serial::PortEntry &entry, const SystemState &state, const DoctorOptions &options,
                       Context &context)
{
    const doctor::SystemPaths &paths = options.paths;
    PortReport report;
    report.facts = doctor::readPortFacts(paths, entry.path);
    const doctor::PortFacts &facts = report.facts;

    report.findings[Access] = doctor::portAccessFinding(facts, options.user, state.accounts);
    report.holders = doctor::holdersOf(state.processes, facts.device, facts.ptyIndex, paths.dev);
    report.findings[Holders] = doctor::portHoldersFinding(facts, state.processes, paths);
    const QString udevDataFile = paths.udevData + QStringLiteral("/c") + facts.deviceNumber;
    report.findings[ModemManager] = doctor::modemManagerFinding(
        facts, doctor::pidsOf(state.processes, QLatin1String(doctor::ModemManagerCommand)),
        facts.deviceNumber.isEmpty() ? QHash<QString, QString>()
                                     : doctor::udevProperties(doctor::readTextFile(udevDataFile)),
        state.rules);
    report.findings[Brltty] = doctor::brlttyFinding(facts, state.brlttyInstalled, state.brlttyRules);

    identifyOn(entry, paths, state.processes.unreadable, context, report);

    report.findings[LatencyTimer] =
        doctor::latencyTimerFinding(doctor::latencyTimerFile(paths, facts.identity.kernel), facts.latencyTimerMs,
                                    report.latencyWhileOpenMs);
    report.findings[LowLatency] = doctor::lowLatencyFinding(facts, report.lowLatency, report.latencyWhileOpenMs);
    // A mode that forbids the open but let it happen: an access list (ACL) grants it.
    if (report.findings[Access].status == doctor::Status::Blocking && report.opened) {
        report.findings[Access].status = doctor::Status::Info;
        report.findings[Access].text += QStringLiteral(", yet it opened (an access list allows it)");
        report.findings[Access].fix.clear();
    }
    return report;
}

QString headline(const PortReport &report)
{
    const doctor::PortFacts &facts = report.facts;
    const QString device = facts.device != facts.path ? QStringLiteral(" -> ") + facts.device : QString();
    return facts.path + device + QStringLiteral(" (") + doctor::portKindText(facts) + u')';
}

QString verdict(const PortReport &report)
{
    if (report.baudRate != 0)
        return QStringLiteral("a Quarn-2 answers here at %1 baud").arg(report.baudRate);
    if (report.blocking())
        return QStringLiteral("blocked: fix the blocking findings");
    return QStringLiteral("nothing blocks, but no encoder answered");
}

void writeTextReport(const PortReport &report, Context &context)
{
    QStringList lines{headline(report)};
    for (int check = 0; check < CheckCount; ++check) {
        const doctor::Finding &finding = report.findings[static_cast<std::size_t>(check)];
        QString line = QStringLiteral("  %1 %2 %3")
                           .arg(doctor::statusName(finding.status), -8)
                           .arg(QLatin1String(CheckNames[static_cast<std::size_t>(check)]), -13)
                           .arg(finding.text);
        if (!finding.fix.isEmpty())
            line += QStringLiteral(" -- fix: ") + finding.fix;
        lines.append(line);
    }
    lines.append(QStringLiteral("  => ") + verdict(report));
    writeText(context, lines.join(u'\n'));
}

QJsonValue optionalNumber(std::optional<int> value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalText(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void writeJsonReport(const PortReport &report, Context &context)
{
    const doctor::PortFacts &facts = report.facts;
    QJsonArray findings;
    for (int check = 0; check < CheckCount; ++check) {
        const doctor::Finding &finding = report.findings[static_cast<std::size_t>(check)];
        findings.append(QJsonObject{{QStringLiteral("check"), QLatin1String(CheckNames[static_cast<std::size_t>(check)])},
                                    {QStringLiteral("result"), doctor::statusName(finding.status)},
                                    {QStringLiteral("text"), finding.text},
                                    {QStringLiteral("fix"), finding.fix}});
    }
    QJsonArray holders;
    for (const doctor::Holder &holder : report.holders)
        holders.append(QJsonObject{{QStringLiteral("pid"), holder.pid},
                                   {QStringLiteral("command"), holder.command},
                                   {QStringLiteral("servesPty"), holder.farEnd}});
    const QString kind = !facts.node.exists              ? QStringLiteral("missing")
                         : !facts.notSerialPort.isEmpty() ? QStringLiteral("not-serial")
                         : facts.ptyIndex                 ? QStringLiteral("pseudo-terminal")
                         : facts.isUsb()    ? QStringLiteral("usb")
                         : facts.inSysfs    ? QStringLiteral("serial")
                                            : QStringLiteral("other");
    writeJson(context, QJsonObject{{QStringLiteral("event"), QStringLiteral("doctor")},
                                   {QStringLiteral("port"), facts.path},
                                   {QStringLiteral("device"), facts.device},
                                   {QStringLiteral("kind"), kind},
                                   {QStringLiteral("usbId"), optionalText(facts.usbId())},
                                   {QStringLiteral("driver"), optionalText(facts.driver)},
                                   {QStringLiteral("holders"), holders},
                                   {QStringLiteral("latencyTimerMs"), optionalNumber(facts.latencyTimerMs)},
                                   {QStringLiteral("lowLatency"), lowLatencyName(report.lowLatency)},
                                   {QStringLiteral("encoderFound"), report.baudRate != 0},
                                   {QStringLiteral("baudRate"), report.baudRate != 0 ? QJsonValue(report.baudRate)
                                                                                     : QJsonValue(QJsonValue::Null)},
                                   {QStringLiteral("blocking"), report.blocking()},
                                   {QStringLiteral("findings"), findings}});
}

} // namespace

namespace {

// The kind of failure a blocking finding stands for.
FailureKind blockingKind(const PortReport &report, int check)
{
    switch (check) {
    case Access:
        return report.facts.node.exists && report.facts.notSerialPort.isEmpty() ? FailureKind::PermissionDenied
                                                                                : FailureKind::NoSuchPort;
    case Holders:
    case ModemManager:
        return FailureKind::PortBusy;
    case Brltty:
        // brltty takes the adapter's port away.
        return FailureKind::NoSuchPort;
    default:
        return FailureKind::Failed;
    }
}

} // namespace

int runDoctor(const QList<serial::PortEntry> &ports, const DoctorOptions &options, Context &context)
{
    if (ports.isEmpty())
        return fail(context, FailureKind::NoEncoder,
                    QStringLiteral("no serial ports found: plug the adapter in (if its port appears and vanishes, "
                                   "brltty may claim it), or name one with --port"));
    const SystemState state = readSystemState(options.paths);
    bool found = false;
    std::optional<Failure> firstBlock;
    QStringList silent;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const PortReport report = examinePort(ports.at(i), state, options, context);
        if (options.format == OutputFormat::Json) {
            writeJsonReport(report, context);
        } else {
            if (i > 0)
                writeLine(context, QString());
            writeTextReport(report, context);
        }
        found = found || report.baudRate != 0;
        for (int check = 0; check < CheckCount && !firstBlock; ++check) {
            const doctor::Finding &finding = report.findings[static_cast<std::size_t>(check)];
            if (finding.status == doctor::Status::Blocking)
                firstBlock = Failure{blockingKind(report, check),
                                     QStringLiteral("%1 blocked: %2").arg(report.facts.path, finding.text),
                                     report.facts.path};
        }
        if (report.baudRate == 0 && !report.blocking())
            silent.append(report.facts.path);
        if (report.interrupted)
            return fail(context, FailureKind::Interrupted, QStringLiteral("interrupted"));
    }
    if (found)
        return ExitSuccess;
    if (firstBlock)
        return fail(context, firstBlock->kind, firstBlock->message, firstBlock->port);
    return fail(context, FailureKind::NoEncoder,
                QStringLiteral("nothing blocks, but no encoder answered on %1").arg(silent.join(QStringLiteral(", "))),
                ports.size() == 1 ? ports.constFirst().path : QString());
}

Command doctorCommand()
{
    Command command;
    command.name = "doctor";
    command.summary = "Tell why no encoder is found here, and how to fix it.";
    command.details = "Checks each port that the search walks (or only --port): permissions against your "
                      "groups, other programs holding it, ModemManager, brltty, the FTDI latency timer, the "
                      "driver's low-latency mode, and whether a Quarn-2 answers at one of the seven rates. One "
                      "line per finding with its fix; --json gives one object per port. Without an encoder "
                      "the exit code is that of the first blocking finding (7 held, 8 permission, 9 no such "
                      "port), or 6 when nothing blocks.";
    command.examples = "trevisor-cli doctor                        # every port the search walks\n"
                       "trevisor-cli doctor -p /dev/ttyUSB0        # only this one\n"
                       "trevisor-cli doctor --json                 # one object per port";
    command.success = "an encoder answered";
    command.takesBaud = false;
    command.prepare = [](const GivenOptions &, const CommonSettings &common) {
        if (common.choice.baudRate != 0)
            return CommandRun::refused(QStringLiteral("doctor tries every rate; --baud is not taken"));
        DoctorOptions options;
        options.format = common.format;
        CommandRun run;
        run.onPorts = [options](const PortChoice &choice, Context &context) {
            return runDoctor(choice.path.isEmpty() ? context.listPorts()
                                                   : QList<serial::PortEntry>{namedPortEntry(choice.path)},
                             options, context);
        };
        return run;
    };
    return command;
}

} // namespace cli
