// SPDX-License-Identifier: MIT
// `commission` on one port against three side by side, in one run.
//
// Three simulated encoders answer at 115200 baud, each calibrating in 1.5 s. Each round runs
//   trevisor-cli commission --selfcal --zero --port A
//   trevisor-cli commission --selfcal --zero --port A --port B --port C
//   the first command once on each of A, B and C, one after another
// in this process, the order of the three turning from round to round so that each meets the
// same load of a busy machine. Figures: the median wall time of each, and the time of three
// side by side over the time of one (goal: at most 1.5).

#include "bench_support.h"

#include "cli_app.h"
#include "cli_context.h"

#include "simulated_encoder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// One run of the companion; its wall time in seconds, or a negative one when it failed.
double commission(const QStringList &ports)
{
    QString output;
    QString messages;
    QTextStream out(&output);
    QTextStream err(&messages);
    cli::Context context;
    context.out = &out;
    context.err = &err;
    QStringList arguments{QStringLiteral("trevisor-cli"), QStringLiteral("commission"), QStringLiteral("--selfcal"),
                          QStringLiteral("--zero"), QStringLiteral("--baud"), QStringLiteral("115200")};
    for (const QString &port : ports)
        arguments << QStringLiteral("--port") << port;
    QElapsedTimer clock;
    clock.start();
    const int exitCode = cli::runCli(arguments, context);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    err.flush();
    if (exitCode != 0) {
        std::fprintf(stderr, "commission: exit code %d: %s\n", exitCode, qPrintable(messages));
        return -1.0;
    }
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("trevisor-cli commission: one port against three side by side."));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds (default 5)."),
                                          QStringLiteral("n"), QStringLiteral("5"));
    parser.addOption(roundsOption);
    parser.process(app);
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    std::vector<std::unique_ptr<sim::SimulatedEncoder>> encoders;
    QStringList ports;
    for (int number = 1; number <= 3; ++number) {
        sim::EncoderConfig config;
        config.serialNumber = QByteArray::number(100000 + number);
        config.startPosition = 1000 * number;
        encoders.push_back(std::make_unique<sim::SimulatedEncoder>(config));
        ports.append(encoders.back()->portPath());
    }
    std::printf("three simulated encoders at 115200 baud (%s), calibrating in 1.5 s each; %d rounds\n",
                qPrintable(ports.join(QStringLiteral(", "))), rounds);
    std::printf("command: trevisor-cli commission --selfcal --zero --baud 115200 --port ... \n\n");

    std::vector<double> one;
    std::vector<double> sideBySide;
    std::vector<double> oneAfterAnother;
    const auto sequential = [&] {
        double total = 0.0;
        for (const QString &port : std::as_const(ports)) {
            const double seconds = commission({port});
            if (seconds < 0.0)
                return -1.0;
            total += seconds;
        }
        return total;
    };
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 3; ++turn) {
            switch ((round + turn) % 3) {
            case 0:
                one.push_back(commission({ports.first()}));
                break;
            case 1:
                sideBySide.push_back(commission(ports));
                break;
            default:
                oneAfterAnother.push_back(sequential());
                break;
            }
        }
    }
    const auto failed = [](const std::vector<double> &runs) {
        return std::any_of(runs.begin(), runs.end(), [](double seconds) { return seconds < 0.0; });
    };
    if (failed(one) || failed(sideBySide) || failed(oneAfterAnother)) {
        std::fprintf(stderr, "a run failed; no figures\n");
        return 1;
    }
    const double single = median(one);
    std::printf("%-40s %6.2f s (median of %d)\n", "one port", single, rounds);
    std::printf("%-40s %6.2f s\n", "three ports side by side", median(sideBySide));
    std::printf("%-40s %6.2f s\n", "three ports one after another", median(oneAfterAnother));
    if (single > 0.0) {
        std::printf("three side by side / one: %.2f (goal: at most 1.5); one after another / one: %.2f\n",
                    median(sideBySide) / single, median(oneAfterAnother) / single);
    }
    return 0;
}
