// SPDX-License-Identifier: MIT
#include "info_commands.h"

#include "reading_format.h"

#include <QJsonObject>

namespace cli {

int runPorts(const QList<serial::PortEntry> &ports, OutputFormat format, Context &context)
{
    if (ports.isEmpty() && format != OutputFormat::Json)
        writeMessage(context, QStringLiteral("no serial ports found (name one with --port or "
                                             "QUARN_EXTRA_PORTS)"));
    for (const serial::PortEntry &entry : ports) {
        const std::unique_ptr<serial::SerialPort> port = context.makePort();
        const bool opens = port->open(entry.path);
        const QString error = opens ? QString() : port->errorText();
        if (opens)
            port->close();
        if (format == OutputFormat::Json) {
            QJsonObject object{{QStringLiteral("port"), entry.path},
                               {QStringLiteral("item"), serial::portItemText(entry)},
                               {QStringLiteral("opens"), opens}};
            if (!opens)
                object.insert(QStringLiteral("error"), error);
            writeJson(context, object);
        } else {
            writeLine(context, entry.path + QStringLiteral("  (") + serial::portItemText(entry)
                                   + QStringLiteral(")  ")
                                   + (opens ? QStringLiteral("can be opened")
                                            : QStringLiteral("cannot be opened: ") + error));
        }
    }
    return ExitSuccess;
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
