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
                       {QStringLiteral("error"), textOrNull(error)}};
}

int runPorts(const QList<serial::PortEntry> &ports, OutputFormat format, Context &context, PortsMode mode)
{
    if (ports.isEmpty() && format != OutputFormat::Json)
        writeMessage(context, QStringLiteral("no serial ports found (name one with --port or "
                                             "QUARN_EXTRA_PORTS)"));
    int exitCode = ExitSuccess;
    for (const serial::PortEntry &entry : ports) {
        const std::unique_ptr<serial::SerialPort> port = context.makePort();
        const bool opens = port->open(entry.path);
        const QString driverError = opens ? QString() : port->errorText();
        if (opens)
            port->close();
        // The reason in full: who holds the port, or the dialout advice.
        const QString error =
            opens ? QString() : portOpenFailureReason(entry.path, driverError);
        if (!opens && mode == PortsMode::NamedPort) {
            exitCode = ExitFailure;
            writeMessage(context, QStringLiteral("cannot open %1: %2").arg(entry.path, error));
        }
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
