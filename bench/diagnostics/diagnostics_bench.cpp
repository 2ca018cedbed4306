// SPDX-License-Identifier: MIT
// The debug reading in the window against the simulated encoder at 1000000 baud: one reading
// end to end (transaction, decode, chart, bars, recording row), the window's own share of it
// without the transaction, and the processor time while "Read const" runs at a 10 ms poll
// interval. Prints the figures; it is not a test.

#include "main_form.h"

#include "bench_support.h"
#include "wait_ms.h"

#include "identification.h"
#include "qt_serial_port.h"
#include "quarn_konstante.h"
#include "simulated_encoder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr qint32 BaudRate = 1000000;

// The real port, with the time of its first and last operation in each transaction noted:
// a transaction begins with the purge and ends with the read that completes the reply.
class TimedPort final : public serial::SerialPort {
public:
    explicit TimedPort(const QElapsedTimer &clock) : clock_(clock) {}
    qint64 transactionStartNs = 0;
    qint64 lastReadEndNs = 0;

    bool open(const QString &path) override { return port_.open(path); }
    bool isOpen() const override { return port_.isOpen(); }
    bool configure(qint32 baudRate) override { return port_.configure(baudRate); }
    void purge() override
    {
        transactionStartNs = clock_.nsecsElapsed();
        port_.purge();
    }
    bool writeByte(char byte) override { return port_.writeByte(byte); }
    qint64 bytesWaiting() override { return port_.bytesWaiting(); }
    bool waitForInput(int timeoutMs) override { return port_.waitForInput(timeoutMs); }
    QByteArray read(qint64 maxBytes) override
    {
        QByteArray bytes = port_.read(maxBytes);
        lastReadEndNs = clock_.nsecsElapsed();
        return bytes;
    }
    void close() override { port_.close(); }
    QString errorText() const override { return port_.errorText(); }

private:
    const QElapsedTimer &clock_;
    serial::QtSerialPort port_;
};

// The window with its message boxes printed, its recordings in a folder of the bench's own
// and its port timed.
class BenchForm : public TMainForm {
public:
    using TMainForm::ComTransaction;
    QString directory;
    QElapsedTimer clock;
    TimedPort *port = nullptr;

protected:
    void showMessage(MessageKind, const QString &text) override
    {
        std::printf("  message: %s\n", qPrintable(text));
    }
    std::unique_ptr<serial::SerialPort> createPort() override
    {
        auto created = std::make_unique<TimedPort>(clock);
        port = created.get();
        return created;
    }
    QString recordingDirectory() const override { return directory; }
};

void printSpread(const char *what, const std::vector<double> &ms)
{
    std::printf("%-58s median %7.3f ms, p10 %7.3f, p90 %7.3f, max %7.3f (n = %zu)\n", what,
                bench::percentile(ms, 0.5), bench::percentile(ms, 0.1), bench::percentile(ms, 0.9),
                bench::percentile(ms, 1.0), ms.size());
}

bool connectTo(BenchForm &form, const sim::SimulatedEncoder &encoder)
{
    return form.OpenComPort(encoder.portPath()) && form.openPort()->configure(BaudRate)
           && form.BeriVerzijo();
}

int debugRequests(const sim::SimulatedEncoder &encoder)
{
    int count = 0;
    for (const sim::LogEntry &entry : encoder.log())
        count += entry.bytes == QByteArray(1, quarn::cmd::DebugRead) ? 1 : 0;
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Time of one debug reading in the window against the simulated encoder at 1000000 "
        "baud, and processor time while \"Read const\" runs at a 10 ms poll interval."));
    parser.addHelpOption();
    const QCommandLineOption readingsOption(QStringLiteral("readings"),
                                            QStringLiteral("Timed readings."),
                                            QStringLiteral("count"), QStringLiteral("300"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Duration of the \"Read const\" run."),
                                           QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshot"),
        QStringLiteral("Saves a picture of the window after the timed readings (PNG)."),
        QStringLiteral("file"));
    parser.addOption(readingsOption);
    parser.addOption(secondsOption);
    parser.addOption(screenshotOption);
    parser.process(app);
    bool readingsOk = false;
    const int readings = parser.value(readingsOption).toInt(&readingsOk);
    bool secondsOk = false;
    const int seconds = parser.value(secondsOption).toInt(&secondsOk);
    if (!readingsOk || readings < 1 || !secondsOk || seconds < 1) {
        std::fputs("diagnostics_bench: --readings and --seconds take positive counts\n", stderr);
        return 2;
    }

    QTemporaryDir folder;
    sim::EncoderConfig config;
    config.baudRate = BaudRate;
    config.speedCountsPerSecond = 20000; // the samples change from reading to reading
    config.noise = true;
    sim::SimulatedEncoder encoder(config);

    BenchForm form;
    form.InitTimer->stop();
    form.directory = folder.path();
    form.clock.start();
    if (!folder.isValid() || !connectTo(form, encoder)) {
        std::fputs("diagnostics_bench: the simulated encoder did not answer\n", stderr);
        return 1;
    }
    // The whole layout on screen (Ctrl+Shift+A), so that the chart and the bars are drawn.
    form.show();
    QKeyEvent wholeLayout(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(&form, &wholeLayout);
    QKeyEvent released(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(&form, &released);
    form.btnDebugUnlockClick();
    form.findChild<QCheckBox *>(QStringLiteral("cbShranjujMeritveDebug"))->setChecked(true);
    QApplication::processEvents();

    std::vector<double> endToEnd;
    std::vector<double> transaction;
    std::vector<double> ownWork;
    std::vector<double> ownWorkCpu;
    std::vector<double> redraw;
    for (int n = 0; n < readings; ++n) {
        const double cpuStart = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const qint64 start = form.clock.nsecsElapsed();
        form.btnDebugReadClick();
        const qint64 end = form.clock.nsecsElapsed();
        const double cpu = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
        // The chart and the bars repaint when the event loop next runs.
        QApplication::processEvents();
        const qint64 drawn = form.clock.nsecsElapsed();
        const double total = static_cast<double>(end - start) / 1e6;
        const double exchange =
            static_cast<double>(form.port->lastReadEndNs - form.port->transactionStartNs) / 1e6;
        endToEnd.push_back(total);
        transaction.push_back(exchange);
        ownWork.push_back(total - exchange);
        ownWorkCpu.push_back(cpu * 1e3);
        redraw.push_back(static_cast<double>(drawn - end) / 1e6);
    }
    form.findChild<QCheckBox *>(QStringLiteral("cbShranjujMeritveDebug"))->setChecked(false);
    if (parser.isSet(screenshotOption)
        && !form.grab().save(parser.value(screenshotOption), "PNG"))
        std::fprintf(stderr, "diagnostics_bench: cannot save %s\n",
                     qPrintable(parser.value(screenshotOption)));

    std::printf("One debug reading at %d baud, recording on:\n", BaudRate);
    printSpread("  end to end (transaction, decode, chart, bars, row)", endToEnd);
    printSpread("  of which the transaction (purge to last byte read)", transaction);
    printSpread("  window's own work (decode, chart, bars, row)", ownWork);
    printSpread("  window thread CPU during the whole reading", ownWorkCpu);
    printSpread("  repaint afterwards (chart, label, bars)", redraw);

    // "Read const" with the poll cycle at 10 ms.
    form.findChild<QSpinBox *>(QStringLiteral("seDelay"))->setValue(10);
    form.findChild<QCheckBox *>(QStringLiteral("cbBeriDebug"))->setChecked(true);
    encoder.clearLog();
    const double threadStart = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processStart = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"))->setChecked(true);
    orodja::WaitMs(seconds * 1000);
    form.findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"))->setChecked(false);
    const double wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double threadCpu = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadStart;
    const double processCpu = bench::cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    const int reads = debugRequests(encoder);
    std::printf("\"Read const\" at a 10 ms poll interval for %.2f s: %d debug readings (%.1f/s), "
                "\"Read const\" still ticked: %s\n",
                wallSeconds, reads, reads / wallSeconds,
                form.findChild<QCheckBox *>(QStringLiteral("cbBeriDebug"))->isChecked() ? "yes"
                                                                                       : "no");
    std::printf("  window thread CPU %.3f s per second (%.1f %% of one core), whole process "
                "(simulator thread included) %.3f s per second (%.1f %%)\n",
                threadCpu / wallSeconds, 100.0 * threadCpu / wallSeconds, processCpu / wallSeconds,
                100.0 * processCpu / wallSeconds);
    return 0;
}
