// SPDX-License-Identifier: MIT
#include "info_commands.h"

#include "reading_format.h"

#include <QJsonObject>

namespace cli {

QJsonObject portJson(const serial::PortEntry &entry, bool opens, const QString &error)
{
    const auto textOrNull = [](const QString &text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); };
    const QString usbId = entry.usbVendorId == 0
                              ? QString()
                              : QStringLiteral("%1:%2")
                                    .arg(entry.usbVendorId, 4, 16, QLatin1Char('0'))
                                    .arg(entry.usbProductId, 4, 16, QLatin1Char('0'));
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("port")},
                       {QStringLiteral("path"), entry.path},
                       {QStringLiteral("name"), entry.identifier},
                       {QStringLiteral("description"), textOrNull(entry.description)},
                       {QStringLiteral("usbId"), textOrNull(usbId)},
                       {QStringLiteral("usbSerial"), textOrNull(entry.usbSerialNumber)},
                       {QStringLiteral("opens"), opens},
                       {QStringLiteral("openError"), textOrNull(error)}};
}

int runPorts(const QList<serial::PortEntry> &ports, OutputFormat format, Context &context, PortsMode mode)
{
    if (ports.isEmpty() && format != OutputFormat::Json)
        writeInfo(context, QStringLiteral("no serial ports found (name one with --port or QUARN_EXTRA_PORTS)"));
    int exitCode = ExitSuccess;
    for (const serial::PortEntry &entry : ports) {
        const std::unique_ptr<serial::SerialPort> port = context.makePort();
        const bool opens = port->open(entry.path);
        const QString driverError = opens ? QString() : port->errorText();
        if (opens)
            port->close();
        // The reason in full: who holds the port, or the dialout advice.
        const PortOpenFailure failure = opens ? PortOpenFailure{} : portOpenFailure(entry.path, driverError);
        const QString &error = failure.reason;
        if (!opens && mode == PortsMode::NamedPort)
            exitCode = fail(context, failure.kind, QStringLiteral("cannot open %1: %2").arg(entry.path, error),
                            entry.path);
        if (format == OutputFormat::Json) {
            writeJson(context, portJson(entry, opens, error));
            continue;
        }
        QStringList about;
        if (!entry.description.isEmpty())
            about.append(entry.description);
        const QJsonObject json = portJson(entry, opens, error);
        if (json[u"usbId"].isString())
            about.append(QStringLiteral("USB ") + json[u"usbId"].toString());
        if (!entry.usbSerialNumber.isEmpty())
            about.append(QStringLiteral("serial ") + entry.usbSerialNumber);
        writeLine(context, entry.path + (about.isEmpty() ? QString() : QStringLiteral("  (") + about.join(QStringLiteral(", ")) + u')')
                               + QStringLiteral("  ")
                               + (opens ? QStringLiteral("can be opened")
                                        : QStringLiteral("cannot be opened: ") + error));
    }
    return exitCode;
}

int runIdentify(const EncoderLink &link, OutputFormat format, Context &context)
{
    if (format == OutputFormat::Json)
        writeJson(context, identityJson(link.identity, link.entry.path, link.baudRate));
    else
        writeText(context, identityLines(link.identity, link.entry.path, link.baudRate).join(u'\n'));
    return ExitSuccess;
}

} // namespace cli

namespace cli {

Command portsCommand()
{
    Command command;
    command.name = "ports";
    command.summary = "List the serial ports and whether each can be opened.";
    command.details = "Lists the ports that the search walks (those of QUARN_EXTRA_PORTS first, then the "
                      "system's), or only --port, and tries to open each.";
    command.examples = "trevisor-cli ports                    # every port the search would walk\n"
                       "trevisor-cli ports --json             # one object per port, for scripts\n"
                       "trevisor-cli ports -p /dev/ttyUSB0    # does this one open, and if not why";
    command.success = "the ports were listed (and the one named with --port opens)";
    command.prepare = [](const GivenOptions &, const CommonSettings &common) {
        const OutputFormat format = common.format;
        CommandRun run;
        run.onPorts = [format](const PortChoice &choice, Context &context) {
            if (choice.path.isEmpty())
                return runPorts(context.listPorts(), format, context);
            return runPorts({namedPortEntry(choice.path)}, format, context, PortsMode::NamedPort);
        };
        return run;
    };
    return command;
}

Command identifyCommand()
{
    Command command;
    command.name = "identify";
    command.summary = "Identify the encoder.";
    command.details = "Prints header, part and serial number, firmware, resolution, counts per turn, turn "
                      "type, ring diameter and code length.";
    command.examples = "trevisor-cli identify                      # search every port and rate\n"
                       "trevisor-cli identify -p /dev/ttyUSB0 -b115200   # skip the search\n"
                       "trevisor-cli identify --json --serial 42          # that encoder, as JSON";
    command.prepare = [](const GivenOptions &, const CommonSettings &common) {
        const OutputFormat format = common.format;
        CommandRun run;
        run.onEncoder = [format](EncoderLink &link, Context &context) { return runIdentify(link, format, context); };
        return run;
    };
    return command;
}

} // namespace cli
