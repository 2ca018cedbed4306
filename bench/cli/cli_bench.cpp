// SPDX-License-Identifier: MIT
// The companion's poll path against a bare loop over the same pseudo-terminal, in one run.
//
// The simulated encoder answers at 1000000 baud. The companion runs
//   trevisor-cli poll --interval 0 --count 5000 --command 1 --port <pty> --baud 1000000
// in this process with its output going to /dev/null (text, then --json); the bare loop
// performs the same transaction steps on the driver (purge, the byte, the pause, the wait for
// the 6-byte reply) with no decoding and no output. Figures: readings per second of each, the
// companion's share of the bare loop's rate (goal: at least 90 %), and the processor time of
// this thread per reading; first as whole runs, then in short alternating rounds, which both
// meet under the same load of a busy machine.

#include "bench_support.h"

#include "cli_app.h"
#include "cli_context.h"

#include "qt_serial_port.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"
#include "transaction.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr qint32 BaudRate = 1000000;

struct Figures {
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    qint64 readings = 0;

    double perSecond() const { return seconds > 0.0 ? static_cast<double>(readings) / seconds : 0.0; }
    double cpuUsPerReading() const
    {
        return readings > 0 ? cpuSeconds * 1e6 / static_cast<double>(readings) : 0.0;
    }
};

Figures bareLoop(const QString &path, qint64 count)
{
    serial::QtSerialPort port;
    if (!port.open(path) || !port.configure(BaudRate)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return {};
    }
    const QByteArray request(1, quarn::cmd::Position);
    const int expected = quarn::pollReplyLength(1, 1);
    QByteArray reply;
    Figures figures;
    QElapsedTimer clock;
    const double cpuStart = bench::threadCpuSeconds();
    clock.start();
    for (qint64 i = 0; i < count; ++i) {
        if (serial::runTransaction(&port, request, expected, reply) != serial::TransactionResult::Complete) {
            std::fprintf(stderr, "bare loop: no reply at reading %lld\n", static_cast<long long>(i));
            break;
        }
        ++figures.readings;
    }
    figures.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    figures.cpuSeconds = bench::threadCpuSeconds() - cpuStart;
    return figures;
}

Figures companion(const QStringList &arguments, qint64 count)
{
    QFile sink(QStringLiteral("/dev/null"));
    if (!sink.open(QIODevice::WriteOnly))
        return {};
    QString messages;
    QTextStream out(&sink);
    QTextStream err(&messages);
    cli::Context context;
    context.out = &out;
    context.err = &err;
    context.makePort = [] { return std::make_unique<serial::QtSerialPort>(); };

    Figures figures;
    QElapsedTimer clock;
    const double cpuStart = bench::threadCpuSeconds();
    clock.start();
    const int exitCode = cli::runCli(QStringList{QStringLiteral("trevisor-cli")} + arguments, context);
    figures.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    figures.cpuSeconds = bench::threadCpuSeconds() - cpuStart;
    err.flush();
    if (exitCode != 0)
        std::fprintf(stderr, "companion: exit code %d: %s\n", exitCode, qPrintable(messages));
    else
        figures.readings = count;
    return figures;
}

void print(const char *what, const Figures &figures)
{
    std::printf("%-34s %8.1f readings/s  %7.1f us processor time per reading\n", what, figures.perSecond(),
                figures.cpuUsPerReading());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("trevisor-cli's poll path against a bare transaction loop."));
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Readings per run (default 5000)."),
                                         QStringLiteral("n"), QStringLiteral("5000"));
    parser.addOption(countOption);
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Alternating rounds of the second comparison (default 10)."),
                                          QStringLiteral("n"), QStringLiteral("10"));
    parser.addOption(roundsOption);
    parser.process(app);
    const qint64 count = std::max<qint64>(1, parser.value(countOption).toLongLong());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    sim::EncoderConfig config;
    config.baudRate = BaudRate;
    config.speedCountsPerSecond = 1000;
    sim::SimulatedEncoder encoder(config);
    const QString path = encoder.portPath();

    const auto pollArguments = [&path](qint64 readings) {
        return QStringList{QStringLiteral("poll"),    QStringLiteral("--interval"), QStringLiteral("0"),
                           QStringLiteral("--count"), QString::number(readings),    QStringLiteral("--command"),
                           QStringLiteral("1"),       QStringLiteral("--port"),     path,
                           QStringLiteral("--baud"),  QString::number(BaudRate)};
    };
    const QStringList poll = pollArguments(count);
    std::printf("simulated encoder at %d baud on %s, %lld readings per run\n", BaudRate, qPrintable(path),
                static_cast<long long>(count));
    std::printf("command: trevisor-cli %s\n\n", qPrintable(poll.join(u' ')));

    // Whole runs: the bare loop before and after, so that a drift of the machine's load shows.
    const Figures bareBefore = bareLoop(path, count);
    print("bare loop", bareBefore);
    const Figures text = companion(poll, count);
    print("companion, text to /dev/null", text);
    const Figures json = companion(poll + QStringList{QStringLiteral("--json")}, count);
    print("companion, --json to /dev/null", json);
    const Figures bareAfter = bareLoop(path, count);
    print("bare loop again", bareAfter);
    const double bare = (bareBefore.perSecond() + bareAfter.perSecond()) / 2.0;
    if (bare > 0.0) {
        std::printf("companion / bare loop: text %.1f %%, json %.1f %% (goal: at least 90 %%)\n\n",
                    100.0 * text.perSecond() / bare, 100.0 * json.perSecond() / bare);
    }

    // The same readings in short alternating rounds, so that both meet the same load.
    const qint64 perRound = std::max<qint64>(1, count / rounds);
    Figures bareTotal;
    Figures textTotal;
    const auto add = [](Figures &total, const Figures &part) {
        total.seconds += part.seconds;
        total.cpuSeconds += part.cpuSeconds;
        total.readings += part.readings;
    };
    for (int round = 0; round < rounds; ++round) {
        add(bareTotal, bareLoop(path, perRound));
        add(textTotal, companion(pollArguments(perRound), perRound));
    }
    std::printf("%d alternating rounds of %lld readings:\n", rounds, static_cast<long long>(perRound));
    print("bare loop", bareTotal);
    print("companion, text to /dev/null", textTotal);
    if (bareTotal.perSecond() > 0.0)
        std::printf("companion / bare loop: %.1f %%\n", 100.0 * textTotal.perSecond() / bareTotal.perSecond());
    return 0;
}
