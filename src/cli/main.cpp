// SPDX-License-Identifier: MIT
// trevisor-cli: the command-line companion. Parsing and the commands live in the library; this
// only wires standard output, Ctrl+C and the real serial ports to them.

#include "cli_app.h"
#include "cli_context.h"
#include "stop_signal.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(cli::ProgramName));
    QCoreApplication::setApplicationVersion(QStringLiteral(TREVISOR_VERSION_TEXT));
    cli::installStopSignalHandlers();
    cli::Context context = cli::standardContext([] { return cli::stopSignalled(); });
    const int exitCode = cli::runCli(QCoreApplication::arguments(), context);
    // Everything is written by now; Ctrl+C then ends the program as Ctrl+C does.
    cli::endByStopSignal();
    return exitCode;
}
