// SPDX-License-Identifier: MIT
// Processor time of the window while its commands wait: a self-calibration that never finishes
// (it waits out its whole limit) and the pauses of "Set zero here", both against the simulated
// encoder on a pseudo-terminal. The waits block in the event loop, so the window's thread
// should stay near 0 % of one core; a spinning wait would take all of it.

#include "main_form.h"

#include "bench_support.h"
#include "wait_ms.h"

#include "identification.h"
#include "qt_serial_port.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

// The window with its message boxes printed instead of shown.
class BenchForm : public TMainForm {
public:
    using TMainForm::ComTransaction;

protected:
    void showMessage(MessageKind, const QString &text) override
    {
        std::printf("  message: %s\n", qPrintable(text));
    }
};

// Wall time and processor time of the window's thread and of the whole process (which also
// serves the simulated encoder on its own thread) while `work` runs.
template <typename Work>
void measure(const char *what, Work &&work)
{
    const double threadStart = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processStart = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    work();
    const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double threadSeconds = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadStart;
    const double processSeconds = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    std::printf("%s\n  wall %.3f s, window thread CPU %.4f s (%.2f %% of one core), "
                "process CPU %.4f s (%.2f %%)\n",
                what, wallSeconds, threadSeconds, 100.0 * threadSeconds / wallSeconds,
                processSeconds, 100.0 * processSeconds / wallSeconds);
}

bool connectTo(BenchForm &form, const sim::SimulatedEncoder &encoder)
{
    return form.OpenComPort(encoder.portPath()) && form.openPort()->configure(115200)
           && form.BeriVerzijo();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Processor time of the window during a self-calibration that runs to its limit and "
        "during the pauses of \"Set zero here\"."));
    parser.addHelpOption();
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("Self-calibration timeout in seconds, 1 to 40; the wait lasts 1.1 times it."),
        QStringLiteral("seconds"), QStringLiteral("40"));
    const QCommandLineOption repeatOption(QStringLiteral("zero-repeats"),
                                          QStringLiteral("Runs of \"Set zero here\"."),
                                          QStringLiteral("count"), QStringLiteral("5"));
    parser.addOption(timeoutOption);
    parser.addOption(repeatOption);
    parser.process(app);
    bool timeoutOk = false;
    const int timeout = parser.value(timeoutOption).toInt(&timeoutOk);
    bool repeatsOk = false;
    const int repeats = parser.value(repeatOption).toInt(&repeatsOk);
    if (!timeoutOk || timeout < 1 || timeout > 40 || !repeatsOk || repeats < 1) {
        std::fputs("commands_bench: --timeout takes 1 to 40, --zero-repeats a positive count\n",
                   stderr);
        return 2;
    }

    sim::EncoderConfig config;
    config.partNumber = QByteArrayLiteral("QX105---18S-----");
    config.startPosition = 123456;
    config.selfCalibration.durationMs = std::nullopt; // never finishes
    sim::SimulatedEncoder encoder(config);

    BenchForm form;
    form.InitTimer->stop();
    if (!connectTo(form, encoder)) {
        std::fputs("commands_bench: the simulated encoder did not answer\n", stderr);
        return 1;
    }

    measure("Set zero here (eight pauses of 100 ms)", [&] {
        for (int run = 0; run < repeats; ++run)
            form.findChild<QPushButton *>(QStringLiteral("btnSTzero"))->click();
    });

    form.findChild<QSpinBox *>(QStringLiteral("seSelfCalTimeout"))->setValue(timeout);
    std::printf("Self-calibration that never finishes, timeout %d s (about %.1f s) ...\n", timeout,
                1.1 * timeout);
    std::fflush(stdout);
    measure("Self-calibration wait to its limit", [&] {
        form.findChild<QPushButton *>(QStringLiteral("btnStartSelfCal"))->click();
    });
    return 0;
}
