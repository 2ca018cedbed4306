// SPDX-License-Identifier: MIT
// Soak of the window against the simulated encoder on a fixed symbolic link, polling every
// 10 ms while it records every reading to a file:
//   1. unplug/replug cycles: the port vanishes and comes back on the same path; every replug
//      must be found again, with polling back at "1";
//   2. a stretch of minutes in which one reply in ten is spoiled (random bytes, a missing last
//      byte, the error flag, in turn): no crash, and the readouts right again on the next good
//      reply.
// The window is shown and takes its replies at its painted frames: every frame is checked
// against the last replies decoded before it.
// Through both, the recording file must hold every row the window wrote, checked at every
// fault. Prints open descriptors and resident memory at the start and after each phase.
//
//   soak_bench [--replugs N] [--garbage-minutes M] [--fault-every N] [--interval MS]

#include "soak_window.h"

#include "simulated_encoder.h"
#include "wait_ms.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

struct ProcessFigures {
    int descriptors = 0;
    long residentKiB = 0;
};

ProcessFigures processFigures()
{
    ProcessFigures figures;
    figures.descriptors = static_cast<int>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
        if (fields.size() > 1)
            figures.residentKiB = fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
    }
    return figures;
}

void printFigures(const char *when, const ProcessFigures &figures)
{
    std::printf("%-24s descriptors %4d   resident %7ld KiB\n", when, figures.descriptors,
                figures.residentKiB);
    std::fflush(stdout);
}

// Runs the window's events until `done` holds or `timeoutMs` has passed.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runFor(int ms)
{
    runUntil([] { return false; }, ms);
}

struct Options {
    int replugs = 1000;
    double garbageMinutes = 10.0;
    int faultEvery = 10;
    int intervalMs = 10;
};

class Soak {
public:
    explicit Soak(const Options &options) : m_options(options) {}

    int run();

private:
    bool pollingFor(int decodedReplies, int timeoutMs)
    {
        return runUntil([&] {
            return m_readEncoder->isChecked() && m_window->decodedSinceConnect() >= decodedReplies;
        }, timeoutMs);
    }
    // Every row written so far is in the file: its size on disk is what the window wrote.
    void checkFileAtFault()
    {
        ++m_fileChecks;
        const soak::CountingFile *file = m_window->recording();
        if (file == nullptr || QFileInfo(file->path()).size() != file->bytesWritten())
            ++m_fileShort;
    }
    bool firstPollAfterSearchIsOne() const;
    void replugPhase();
    void garbagePhase();
    bool finalFileCheck();

    Options m_options;
    QTemporaryDir m_folder;
    std::unique_ptr<sim::SimulatedEncoder> m_encoder;
    std::unique_ptr<soak::SoakWindow> m_window;
    QCheckBox *m_readEncoder = nullptr;
    QCheckBox *m_record = nullptr;
    std::int64_t m_fileChecks = 0;
    std::int64_t m_fileShort = 0;
    int m_replugsRecovered = 0;
    int m_replugsWireOne = 0;
    int m_failures = 0;
};

bool Soak::firstPollAfterSearchIsOne() const
{
    // On the wire: the first request after the last identification is "1".
    const std::vector<sim::LogEntry> log = m_encoder->log();
    for (std::size_t i = log.size(); i-- > 0;) {
        if (log[i].bytes == "v") {
            for (std::size_t j = i + 1; j < log.size(); ++j) {
                if (log[j].bytes.size() == 1 && QByteArray("13djsta").contains(log[j].bytes.at(0)))
                    return log[j].bytes == "1";
            }
            return false;
        }
    }
    return false;
}

void Soak::replugPhase()
{
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= m_options.replugs; ++cycle) {
        m_encoder->clearLog();
        checkFileAtFault();
        m_encoder->vanish();
        m_window->noteFault();
        if (!runUntil([&] { return !m_readEncoder->isChecked(); }, 5000)) {
            std::printf("replug %d: the lost port was not noticed\n", cycle);
            ++m_failures;
        }
        m_encoder->reappear();
        if (pollingFor(3, 10000)) {
            ++m_replugsRecovered;
            if (firstPollAfterSearchIsOne())
                ++m_replugsWireOne;
        } else {
            std::printf("replug %d: not found again within 10 s\n", cycle);
        }
        if (cycle % 100 == 0) {
            std::printf("  %4d replugs, %.0f s\n", cycle, static_cast<double>(clock.elapsed()) / 1000.0);
            std::fflush(stdout);
        }
    }
    std::printf("replugs: %d of %d found again; first poll \"1\" on the wire %d, in the window "
                "%lld not at 1; %.0f s\n",
                m_replugsRecovered, m_options.replugs, m_replugsWireOne,
                static_cast<long long>(m_window->figures().firstIndexNotOne),
                static_cast<double>(clock.elapsed()) / 1000.0);
}

void Soak::garbagePhase()
{
    const auto durationMs = static_cast<qint64>(m_options.garbageMinutes * 60000.0);
    const soak::ReplyFigures before = m_window->figures();
    const int reconnectsBefore = static_cast<int>(before.reconnects);
    m_encoder->setMixedFaultEvery(m_options.faultEvery);
    QElapsedTimer clock;
    clock.start();
    bool portWasOpen = m_readEncoder->isChecked();
    qint64 nextReport = 60000;
    while (clock.elapsed() < durationMs) {
        runFor(20);
        // A missing byte loses the port; the search finds it again.
        const bool open = m_readEncoder->isChecked();
        if (portWasOpen && !open) {
            checkFileAtFault();
            m_window->noteFault();
        }
        portWasOpen = open;
        // The simulator's request log would grow for the whole run.
        m_encoder->clearLog();
        if (clock.elapsed() >= nextReport) {
            std::printf("  %.0f min\n", static_cast<double>(nextReport) / 60000.0);
            std::fflush(stdout);
            nextReport += 60000;
        }
    }
    m_encoder->setMixedFaultEvery(0);
    // Back to a clean line: polling must carry on and show the right readouts.
    if (!pollingFor(14, 15000)) {
        std::printf("garbage: polling did not come back after the faults stopped\n");
        ++m_failures;
    } else {
        runFor(300);
    }
    const soak::ReplyFigures &after = m_window->figures();
    std::printf("garbage: %.1f min, %lld replies decoded, %lld spoilt ones decoded, %lld ports lost "
                "and found again, %lld recoveries checked (%lld wrong), %lld good replies with "
                "wrong readouts\n",
                static_cast<double>(clock.elapsed()) / 60000.0,
                static_cast<long long>(after.decoded - before.decoded),
                static_cast<long long>(after.faulty - before.faulty),
                static_cast<long long>(after.reconnects - reconnectsBefore),
                static_cast<long long>(after.recoveries - before.recoveries),
                static_cast<long long>(after.recoveriesWrong - before.recoveriesWrong),
                static_cast<long long>(after.goodWrong - before.goodWrong));
}

bool Soak::finalFileCheck()
{
    const soak::CountingFile *counting = m_window->recording();
    if (counting == nullptr)
        return false;
    const std::int64_t rowsWritten = counting->linesWritten() - 1;
    const QString path = counting->path();
    // Closing the window stops the recording (it writes the duration line in the window).
    m_window->close();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    std::int64_t rowsInFile = -1;
    std::int64_t malformed = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++rowsInFile;
        if (!line.endsWith("\r\n") || line.count(';') != 75)
            ++malformed;
    }
    std::printf("recording: %lld rows written by the window, %lld rows in the file, %lld malformed "
                "lines; file checked at %lld faults, short %lld times\n",
                static_cast<long long>(rowsWritten), static_cast<long long>(rowsInFile),
                static_cast<long long>(malformed), static_cast<long long>(m_fileChecks),
                static_cast<long long>(m_fileShort));
    return rowsWritten > 0 && rowsInFile == rowsWritten && malformed == 0 && m_fileShort == 0;
}

int Soak::run()
{
    if (!m_folder.isValid()) {
        std::fputs("soak: no temporary folder\n", stderr);
        return 2;
    }
    const QString link = m_folder.filePath(QStringLiteral("quarn2"));
    sim::EncoderConfig config;
    config.speedCountsPerSecond = 0;
    // Turn 3, a little over a third of a turn: every readout has a value of its own.
    config.startPosition = 3 * 262144 + 100000;
    config.randomSeed = 7;
    m_encoder = std::make_unique<sim::SimulatedEncoder>(config);
    if (!m_encoder->setLinkPath(link)) {
        std::fputs("soak: cannot create the link\n", stderr);
        return 2;
    }
    m_window = std::make_unique<soak::SoakWindow>(link, m_folder.path());
    m_readEncoder = m_window->findChild<QCheckBox *>(QStringLiteral("cbBeriEnkoder"));
    m_record = m_window->findChild<QCheckBox *>(QStringLiteral("cbShranjujMeritveDebug"));
    m_window->findChild<QSpinBox *>(QStringLiteral("seDelay"))->setValue(m_options.intervalMs);
    m_window->show();

    if (!pollingFor(1, 5000)) {
        std::fputs("soak: the encoder was not found\n", stderr);
        return 1;
    }
    m_record->setVisible(true);
    m_record->setChecked(true);
    m_window->learnReferences();
    if (!runUntil([&] { return m_window->referencesComplete(); }, 5000)) {
        std::fputs("soak: no clean poll cycle to learn the readings from\n", stderr);
        return 1;
    }
    m_window->onFaultyReply = [this] { checkFileAtFault(); };
    runFor(500);
    const ProcessFigures start = processFigures();
    printFigures("start", start);

    QElapsedTimer total;
    total.start();
    replugPhase();
    printFigures("after the replugs", processFigures());
    if (m_options.garbageMinutes > 0)
        garbagePhase();
    const ProcessFigures end = processFigures();
    printFigures("end", end);

    const soak::ReplyFigures &figures = m_window->figures();
    const bool fileRight = finalFileCheck();
    std::printf("messages:");
    for (auto it = m_window->messages().cbegin(); it != m_window->messages().cend(); ++it)
        std::printf(" \"%s\" %d;", qPrintable(it.key()), it.value());
    std::printf("\nreadouts: %lld painted frames checked against the replies before them (%lld good "
                "replies), %lld wrong%s%s\n",
                static_cast<long long>(figures.frames), static_cast<long long>(figures.good),
                static_cast<long long>(figures.goodWrong), figures.goodWrong > 0 ? ", first: " : "",
                qPrintable(m_window->firstWrongText()));
    std::printf("longest poll tick (poll step and debug reading): %lld ms\n",
                static_cast<long long>(figures.longestTickMs));
    std::printf("total %.1f min\n", static_cast<double>(total.elapsed()) / 60000.0);

    // A soak whose frames were never checked proves nothing.
    const bool passed = m_failures == 0 && figures.frames > 0 && m_replugsRecovered == m_options.replugs
                        && m_replugsWireOne == m_options.replugs && figures.firstIndexNotOne == 0
                        && figures.goodWrong == 0 && figures.recoveriesWrong == 0 && fileRight;
    std::printf("%s\n", passed ? "PASSED" : "FAILED");
    m_window.reset();
    return passed ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak of the window against the simulated encoder."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("replugs"), QStringLiteral("Unplug/replug cycles (default 1000)."),
         QStringLiteral("N"), QStringLiteral("1000")},
        {QStringLiteral("garbage-minutes"),
         QStringLiteral("Minutes with spoilt replies after the replugs (default 10)."),
         QStringLiteral("M"), QStringLiteral("10")},
        {QStringLiteral("fault-every"), QStringLiteral("Spoil every N-th reply (default 10)."),
         QStringLiteral("N"), QStringLiteral("10")},
        {QStringLiteral("interval"), QStringLiteral("Poll interval in ms, 10 to 1000 (default 10)."),
         QStringLiteral("MS"), QStringLiteral("10")},
    });
    parser.process(app);
    Options options;
    bool ok = true;
    bool allOk = true;
    options.replugs = parser.value(QStringLiteral("replugs")).toInt(&ok);
    allOk = allOk && ok && options.replugs >= 0;
    options.garbageMinutes = parser.value(QStringLiteral("garbage-minutes")).toDouble(&ok);
    allOk = allOk && ok && options.garbageMinutes >= 0;
    options.faultEvery = parser.value(QStringLiteral("fault-every")).toInt(&ok);
    allOk = allOk && ok && options.faultEvery >= 1;
    options.intervalMs = parser.value(QStringLiteral("interval")).toInt(&ok);
    allOk = allOk && ok && options.intervalMs >= 10 && options.intervalMs <= 1000;
    if (!allOk) {
        std::fputs("soak_bench: bad option value (see --help)\n", stderr);
        return 2;
    }
    std::printf("soak: %d replugs, %.1f min with every %d-th reply spoilt, poll every %d ms\n",
                options.replugs, options.garbageMinutes, options.faultEvery, options.intervalMs);
    int result = 0;
    // The soak runs inside the application's loop, as the program does.
    QTimer::singleShot(0, [&] {
        Soak soak(options);
        result = soak.run();
        QCoreApplication::exit(result);
    });
    QApplication::exec();
    return result;
}
