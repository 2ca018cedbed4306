// SPDX-License-Identifier: MIT
// The real program, ended by a signal while its port search waits on ports that never answer.

#include "test_pseudo_terminal.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <ostream>

#include <signal.h>

namespace {

struct SignalCase {
    int signal;
    const char *name;
};

void PrintTo(const SignalCase &signalCase, std::ostream *out)
{
    *out << signalCase.name;
}

class TerminationSignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(TerminationSignalTest, EndsTheProgramAfterTheCurrentIdentificationAttempt)
{
    // Three silent ports first: a search that ignored the signal would go on for about 2 s on
    // each of them (seven rates of 300 ms), whatever serial ports the machine has after them.
    std::array<TestPseudoTerminal, 3> terminals;
    QStringList paths;
    for (const TestPseudoTerminal &terminal : terminals) {
        ASSERT_TRUE(terminal.isValid());
        paths << terminal.slavePath();
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUARN_EXTRA_PORTS"), paths.join(QLatin1Char(':')));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TREVISOR_PATH), {});
    ASSERT_TRUE(program.waitForStarted(5000));

    // The search has begun once the first identification request reaches the first port.
    QByteArray sent;
    QElapsedTimer clock;
    clock.start();
    while (!sent.contains('v') && clock.elapsed() < 10000)
        sent += terminals[0].readWaiting(100);
    ASSERT_TRUE(sent.contains('v')) << "no identification request on the first port";

    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), GetParam().signal), 0);
    clock.restart();
    const bool finished = program.waitForFinished(10000);
    const qint64 endedAfterMs = clock.elapsed();
    if (!finished) {
        program.kill();
        program.waitForFinished(2000);
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 0);
    // One identification attempt (300 ms) at most, then the program ends; a search that went
    // on would need another 6 s for the rates and ports left.
    EXPECT_LT(endedAfterMs, 2500);
    // The search stopped where it was: the later ports were never tried.
    EXPECT_TRUE(terminals[1].readWaiting().isEmpty());
    EXPECT_TRUE(terminals[2].readWaiting().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignalTest,
                         ::testing::Values(SignalCase{SIGTERM, "SIGTERM"}, SignalCase{SIGINT, "SIGINT"}),
                         [](const ::testing::TestParamInfo<SignalCase> &param) {
                             return std::string(param.param.name);
                         });

} // namespace
