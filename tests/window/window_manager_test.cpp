// SPDX-License-Identifier: MIT
// The window on a real X server, under real window managers and under none: each run starts an
// Xvfb of its own on a free display, the window manager on it, and the window in a probe process
// that reports what it saw. One probe measures the window's sizes; another minimises a polling
// window and restores it.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSize>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <string>

namespace {

struct MeasuredSize {
    QSize client;
    QSize outer;
};

// An X server of its own. Xvfb picks a free display number and writes it to a pipe once it
// accepts connections (-displayfd), so runs side by side never meet.
class VirtualDisplay {
public:
    VirtualDisplay() = default;
    ~VirtualDisplay()
    {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    // Empty when the server did not come up; `error` says why.
    QString start(const QString &program, QString &error)
    {
        int fds[2];
        if (::pipe(fds) != 0) {
            error = QStringLiteral("no pipe");
            return {};
        }
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        m_server.setProgram(program);
        // The write end is inherited by the server; a screen large enough for the whole layout.
        m_server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
                               QStringLiteral("0"), QStringLiteral("1600x1000x24"), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp")});
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start();
        ::close(fds[1]);
        QByteArray number;
        QElapsedTimer clock;
        clock.start();
        while (!number.endsWith('\n') && clock.elapsed() < 15000) {
            pollfd readable{fds[0], POLLIN, 0};
            if (::poll(&readable, 1, 100) <= 0)
                continue;
            char byte = 0;
            if (::read(fds[0], &byte, 1) != 1)
                break;
            number.append(byte);
        }
        ::close(fds[0]);
        if (!number.endsWith('\n')) {
            error = QStringLiteral("Xvfb gave no display number: ") + m_server.errorString();
            return {};
        }
        return QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    }

private:
    QProcess m_server;
};

// The window manager, or nothing for an empty name.
class WindowManager {
public:
    ~WindowManager()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool start(const QString &name, const QProcessEnvironment &environment)
    {
        if (name.isEmpty())
            return true;
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{QStringLiteral("--sm-disable")};
        // Openbox runs its startup command once it manages the screen; a window mapped before
        // that was seen never to be exposed.
        const QString readyFile = m_readyDirectory.filePath(QStringLiteral("ready"));
        const bool announcesReady = name == QLatin1String("openbox");
        if (announcesReady)
            arguments << QStringLiteral("--startup") << QStringLiteral("touch '%1'").arg(readyFile);
        m_process.start(name, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (announcesReady && !QFileInfo::exists(readyFile)) {
            if (clock.elapsed() > 30000 || m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(20);
        }
        return true;
    }
    QString output() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QProcess m_process;
    QTemporaryDir m_readyDirectory;
};

struct WindowManagerCase {
    const char *name; // empty: none
    bool framed;      // draws a frame around the window
};

void PrintTo(const WindowManagerCase &manager, std::ostream *out)
{
    *out << (*manager.name != '\0' ? manager.name : "no window manager");
}

class WindowManagers : public ::testing::TestWithParam<WindowManagerCase> {};

TEST_P(WindowManagers, TheClientAreaIsTheLayoutAtEachSizeAndTheFrameComesOnTop)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
    const QString managerName = QString::fromLatin1(GetParam().name);

    VirtualDisplay display;
    QString error;
    const QString displayName = display.start(xvfb, error);
    ASSERT_FALSE(displayName.isEmpty()) << error.toStdString();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    WindowManager manager;
    ASSERT_TRUE(manager.start(managerName, environment)) << managerName.toStdString() << " did not start";

    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(WINDOW_SIZE_PROBE),
                managerName.isEmpty() ? QStringList() : QStringList{QStringLiteral("--managed")});
    ASSERT_TRUE(probe.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(probe.readAllStandardError());
    ASSERT_EQ(probe.exitCode(), 0) << errors.toStdString() << manager.output().toStdString();

    std::map<std::string, MeasuredSize> measured;
    const QStringList lines = QString::fromLatin1(probe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.split(u' ');
        ASSERT_EQ(fields.size(), 5) << line.toStdString();
        measured[fields[0].toStdString()] = {{fields[1].toInt(), fields[2].toInt()},
                                             {fields[3].toInt(), fields[4].toInt()}};
        std::printf("%s %s\n", qPrintable(managerName.isEmpty() ? QStringLiteral("none") : managerName),
                    qPrintable(line));
    }

    const std::map<std::string, QSize> layout{
        {"first", {717, 505}}, {"recording", {717, 571}}, {"whole", {1294, 571}}};
    ASSERT_EQ(measured.size(), layout.size()) << errors.toStdString();
    const QSize frame = measured["first"].outer - measured["first"].client;
    for (const auto &[size, client] : layout) {
        SCOPED_TRACE(size);
        EXPECT_EQ(measured[size].client, client);
        // The same frame at every size: the outer size follows from it.
        EXPECT_EQ(measured[size].outer, client + frame);
    }
    if (GetParam().framed)
        EXPECT_GT(frame.height(), 0) << "the window manager drew no title bar";
    else
        EXPECT_EQ(frame, QSize(0, 0));
}

// Runs the unseen-window probe in `mode` on an Xvfb of its own under the case's window manager.
void runUnseenPollProbe(const WindowManagerCase &managerCase, const QString &mode)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
    const QString managerName = QString::fromLatin1(managerCase.name);

    VirtualDisplay display;
    QString error;
    const QString displayName = display.start(xvfb, error);
    ASSERT_FALSE(displayName.isEmpty()) << error.toStdString();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    WindowManager manager;
    ASSERT_TRUE(manager.start(managerName, environment)) << managerName.toStdString() << " did not start";

    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(UNSEEN_POLL_PROBE), QStringList{mode});
    ASSERT_TRUE(probe.waitForFinished(120000));
    const QString said = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
    EXPECT_EQ(probe.exitCode(), 0) << said.toStdString() << "\n"
                                   << QString::fromLocal8Bit(probe.readAllStandardError()).toStdString()
                                   << manager.output().toStdString();
    std::printf("%s %s\n", managerName.isEmpty() ? "none" : qPrintable(managerName), qPrintable(said));
}

// The X server tells a wholly covered window so, with or without a window manager.
TEST_P(WindowManagers, AWhollyCoveredWindowHoldsItsReadoutsAndShowsTheLastReplyWhenUncovered)
{
    runUnseenPollProbe(GetParam(), QStringLiteral("covered"));
}

// Only a window manager minimises a window.
class MinimisingWindowManagers : public WindowManagers {};

TEST_P(MinimisingWindowManagers, AMinimisedWindowHoldsItsReadoutsAndShowsTheLastReplyWhenRestored)
{
    runUnseenPollProbe(GetParam(), QStringLiteral("minimised"));
}

INSTANTIATE_TEST_SUITE_P(, WindowManagers,
                         ::testing::Values(WindowManagerCase{"", false}, WindowManagerCase{"metacity", true},
                                           WindowManagerCase{"openbox", true}),
                         [](const ::testing::TestParamInfo<WindowManagerCase> &tested) {
                             return std::string(*tested.param.name != '\0' ? tested.param.name : "none");
                         });

INSTANTIATE_TEST_SUITE_P(, MinimisingWindowManagers,
                         ::testing::Values(WindowManagerCase{"metacity", true}, WindowManagerCase{"openbox", true}),
                         [](const ::testing::TestParamInfo<WindowManagerCase> &tested) {
                             return std::string(tested.param.name);
                         });

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
