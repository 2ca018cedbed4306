// SPDX-License-Identifier: MIT
// Check 2: other programs that hold the port open, from the descriptors under /proc.

#include "system_fixture.h"

#include "open_failure.h"
#include "port_facts.h"
#include "process_table.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

using doctor::Status;

TEST(HoldersCheck, NamesEveryOtherProgramWithItsPidAndTellsHowToEndIt)
{
    SystemFixture system;
    const QString node = system.addUsbAdapter({});
    system.addProcess(1, QStringLiteral("systemd"), {system.path(QStringLiteral("/dev/null"))});
    system.addProcess(4242, QStringLiteral("minicom"), {node, system.path(QStringLiteral("/dev/tty1")), node});
    system.addProcess(4300, QStringLiteral("bash"), {system.path(QStringLiteral("/dev/ttyUSB1"))});

    const doctor::ProcessTable table = doctor::readProcessTable(system.paths());
    EXPECT_EQ(table.processes.size(), 3);
    const doctor::PortFacts port = doctor::readPortFacts(system.paths(), node);
    const QList<doctor::Holder> holders = doctor::holdersOf(table, port.device, port.ptyIndex, system.paths().dev);
    ASSERT_EQ(holders.size(), 1); // once, though it holds two descriptors on the port
    EXPECT_EQ(holders.at(0).pid, 4242);
    EXPECT_EQ(holders.at(0).command, QStringLiteral("minicom"));

    const doctor::Finding finding = doctor::portHoldersFinding(port, table, system.paths());
    EXPECT_EQ(finding.status, Status::Blocking);
    EXPECT_EQ(finding.text, QStringLiteral("held open by pid 4242 (minicom)"));
    EXPECT_EQ(finding.fix, QStringLiteral("close minicom, or end it: kill 4242"));

    system.addProcess(4243, QStringLiteral("screen"), {node});
    const doctor::Finding two = doctor::portHoldersFinding(port, doctor::readProcessTable(system.paths()), system.paths());
    EXPECT_EQ(two.text, QStringLiteral("held open by pid 4242 (minicom), pid 4243 (screen)"));
    EXPECT_EQ(two.fix, QStringLiteral("close those programs, or end it: kill 4242 4243"));
}

TEST(HoldersCheck, TheProcessServingAPseudoTerminalIsItsFarEndNotAProgramInTheWay)
{
    SystemFixture system;
    system.write(QStringLiteral("/dev/pts/5"), QString());
    system.write(QStringLiteral("/dev/pts/6"), QString());
    const QString ptmx = system.path(QStringLiteral("/dev/ptmx"));
    // The simulator holds the master of pts/5 and the slave as well.
    system.addProcess(700, QStringLiteral("quarn2-sim"), {ptmx, system.path(QStringLiteral("/dev/pts/5"))}, 5);
    // A terminal that serves pts/6 and happens to have pts/5 open too is a holder of pts/5.
    system.addProcess(800, QStringLiteral("xterm"), {ptmx, system.path(QStringLiteral("/dev/pts/5"))}, 6);

    const doctor::ProcessTable table = doctor::readProcessTable(system.paths());
    const doctor::PortFacts port = doctor::readPortFacts(system.paths(), system.path(QStringLiteral("/dev/pts/5")));
    ASSERT_EQ(port.ptyIndex, 5);
    const doctor::Finding finding = doctor::portHoldersFinding(port, table, system.paths());
    EXPECT_EQ(finding.status, Status::Blocking);
    EXPECT_EQ(finding.text, QStringLiteral("held open by pid 800 (xterm); pid 700 (quarn2-sim) serves this pseudo-terminal"));
    EXPECT_EQ(finding.fix, QStringLiteral("close xterm, or end it: kill 800"));

    system.addProcess(800, QStringLiteral("xterm"), {ptmx}, 6);
    QFile::remove(system.path(QStringLiteral("/proc/800/fd/4")));
    const doctor::Finding free = doctor::portHoldersFinding(port, doctor::readProcessTable(system.paths()), system.paths());
    EXPECT_EQ(free.status, Status::Ok);
    EXPECT_EQ(free.text, QStringLiteral("no other program has it open; pid 700 (quarn2-sim) serves this pseudo-terminal"));
    EXPECT_TRUE(free.fix.isEmpty());
}

TEST(HoldersCheck, ProcessesWhoseDescriptorsCannotBeReadAreCountedAndSudoIsSuggested)
{
    EXPECT_EQ(doctor::ptyIndexFromFdinfo(QStringLiteral("pos:\t0\nflags:\t02\nmnt_id:\t24\ntty-index:\t12\n")), 12);
    EXPECT_EQ(doctor::ptyIndexFromFdinfo(QStringLiteral("pos:\t0\nflags:\t02\n")), std::nullopt);

    const doctor::Finding finding = doctor::holdersFinding({}, 3);
    EXPECT_EQ(finding.status, Status::Info);
    EXPECT_TRUE(finding.text.contains(QStringLiteral("3 processes of other users were not looked at")));
    EXPECT_EQ(finding.fix, QStringLiteral("to see them too: sudo trevisor-cli doctor"));
    EXPECT_EQ(doctor::holdersFinding({}, 0).status, Status::Ok);
}

} // namespace

TEST(HoldersCheck, AProcessThatEndsDuringTheScanIsNotCountedAsUnreadable)
{
    // Without root the processes of other users are rightly counted.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to whom every process's descriptors are readable";
    // Short-lived processes come and go while the real /proc is read.
    std::atomic<bool> stop{false};
    std::thread churn([&stop] {
        while (!stop) {
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(0);
            if (child > 0)
                ::waitpid(child, nullptr, 0);
        }
    });
    int scansWithUnreadable = 0;
    for (int scan = 0; scan < 40; ++scan)
        scansWithUnreadable += doctor::readProcessTable(doctor::SystemPaths{}).unreadable > 0 ? 1 : 0;
    stop = true;
    churn.join();
    EXPECT_EQ(scansWithUnreadable, 0);
}
