// SPDX-License-Identifier: MIT
#pragma once

// Runs the companion in this process, as the program would but with its output and messages
// collected, the ports coming from the test (never the machine's own), and a stop request the
// test controls.

#include "cli_app.h"
#include "cli_context.h"

#include "qt_serial_port.h"
#include "port_lister.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;

    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return err.split(u'\n', Qt::SkipEmptyParts); }
    // The failures on standard error: they alone carry this prefix.
    QStringList failureLines() const
    {
        QStringList lines = errLines();
        lines.removeIf([](const QString &line) { return !line.startsWith(QLatin1String("trevisor-cli: error: ")); });
        return lines;
    }

    // Every line of standard output as a JSON object; a line that does not parse as one gives
    // an empty object, which the tests then notice.
    QList<QJsonObject> jsonLines() const
    {
        QList<QJsonObject> objects;
        for (const QString &line : outLines()) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
            objects.append(error.error == QJsonParseError::NoError && document.isObject() ? document.object()
                                                                                        : QJsonObject());
        }
        return objects;
    }
};

class CliHarness {
public:
    // The ports a search without --port walks.
    QList<serial::PortEntry> ports;
    // The ports handed to the sub-commands: real ones unless a test scripts its own.
    std::function<std::unique_ptr<serial::SerialPort>()> makePort = [] {
        return std::make_unique<serial::QtSerialPort>();
    };
    // Asked after each reading and in every pause; `out` holds the output so far.
    std::function<bool(const QString &out)> stopWhen = [](const QString &) { return false; };

    CliResult run(const QStringList &arguments)
    {
        CliResult result;
        QTextStream out(&result.out);
        QTextStream err(&result.err);
        cli::Context context;
        context.out = &out;
        context.err = &err;
        context.stopRequested = [this, &result, &out] {
            out.flush();
            return stopWhen(result.out);
        };
        context.makePort = makePort;
        context.listPorts = [this] { return ports; };
        result.exitCode = cli::runCli(QStringList{QStringLiteral("trevisor-cli")} + arguments, context);
        out.flush();
        err.flush();
        return result;
    }
};

// --port and --baud of a simulator's port.
inline QStringList portOf(const QString &path, qint32 baud = 115200)
{
    return {QStringLiteral("--port"), path, QStringLiteral("--baud"), QString::number(baud)};
}
