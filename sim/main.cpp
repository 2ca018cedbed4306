// SPDX-License-Identifier: MIT
// quarn2-sim: a simulated Quarn-2 encoder on a pseudo-terminal.

#include "pty_server.h"
#include "sim_options.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

sim::PtyServer *servedBySignals = nullptr;

extern "C" void onSignal(int signal)
{
    if (!servedBySignals)
        return;
    if (signal == SIGUSR1)
        servedBySignals->requestVanish();
    else if (signal == SIGUSR2)
        servedBySignals->requestReappear();
    else
        servedBySignals->requestStop();
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaction(signal, &action, nullptr);
}

int failWith(const QString &message, int code)
{
    std::fprintf(stderr, "quarn2-sim: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarn2-sim"));

    const sim::SimOptions options = sim::parseSimOptions(QCoreApplication::arguments());
    if (options.showHelp) {
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    }
    if (!options.error.isEmpty())
        return failWith(options.error, 2);

    sim::PtyServer server(options.config);
    QString error;
    if (!server.open(&error))
        return failWith(error, 1);
    if (!options.logFile.isEmpty() && !server.openLogFile(options.logFile, &error))
        return failWith(error, 1);
    if (options.verbose) {
        server.setObserver([](const sim::LogEntry &entry) {
            std::fprintf(stderr, "%s\n", qPrintable(sim::logLine(entry)));
        });
    }

    servedBySignals = &server;
    installSignalHandlers();

    std::printf("%s\n", qPrintable(server.portPath()));
    std::fflush(stdout);
    if (!options.linkPath.isEmpty() && !server.setLinkPath(options.linkPath, &error))
        return failWith(error, 1);

    server.run();
    servedBySignals = nullptr;
    return 0;
}
