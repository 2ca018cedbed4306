// SPDX-License-Identifier: MIT
// The window on a real X server, under real window managers and under none: each run starts an
// Xvfb of its own on a free display, the window manager on it, and the window in a probe process
// that reports what it saw. One probe measures the window's sizes and places, on a large screen,
// a laptop's and scaled ones; another minimises a polling window and restores it.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QProcess>
#include <QRect>
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
#include <optional>
#include <ostream>
#include <string>
#include <tuple>

namespace {

// One line of the size probe, in the X server's pixels.
struct MeasuredSize {
    QSize client;
    QSize outer;
    QPoint corner; // the outer top-left corner on the screen
    QSize screen;
    bool scrolls = false;
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
    QString start(const QString &program, QSize screen, QString &error)
    {
        int fds[2];
        if (::pipe(fds) != 0) {
            error = QStringLiteral("no pipe");
            return {};
        }
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        m_server.setProgram(program);
        // The write end is inherited by the server.
        m_server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
                               QStringLiteral("0"),
                               QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
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

// A screen large enough for the whole layout.
constexpr QSize LargeScreen(1600, 1000);

// This process's environment for a Qt program on the X display `displayName`.
QProcessEnvironment environmentOn(const QString &displayName)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

// Runs the size probe on an Xvfb of its own with a screen of `screen` pixels under the case's
// window manager, with the environment's `scaleFactor` (QT_SCALE_FACTOR) unless empty and the X
// resource Xft.dpi at `xftDpi` unless 0; what it measured, by size ("first", "recording",
// "whole").
std::map<std::string, MeasuredSize> runSizeProbe(const WindowManagerCase &managerCase, QSize screen,
                                                 const QString &scaleFactor = {}, int xftDpi = 0)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        ADD_FAILURE() << "Xvfb is not installed (scripts/install-deps installs it)";
        return {};
    }
    const QString managerName = QString::fromLatin1(managerCase.name);

    VirtualDisplay display;
    QString error;
    const QString displayName = display.start(xvfb, screen, error);
    if (displayName.isEmpty()) {
        ADD_FAILURE() << error.toStdString();
        return {};
    }

    QProcessEnvironment environment = environmentOn(displayName);
    WindowManager manager;
    if (!manager.start(managerName, environment)) {
        ADD_FAILURE() << managerName.toStdString() << " did not start";
        return {};
    }
    // The window manager runs unscaled; only the window is.
    environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
    environment.remove(QStringLiteral("QT_SCREEN_SCALE_FACTORS"));
    if (!scaleFactor.isEmpty())
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scaleFactor);

    QStringList arguments;
    if (!managerName.isEmpty())
        arguments << QStringLiteral("--managed");
    if (xftDpi != 0)
        arguments << QStringLiteral("--xft-dpi") << QString::number(xftDpi);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(WINDOW_SIZE_PROBE), arguments);
    if (!probe.waitForFinished(120000)) {
        ADD_FAILURE() << "the size probe did not finish";
        return {};
    }
    const QString errors = QString::fromLocal8Bit(probe.readAllStandardError());
    if (probe.exitCode() != 0) {
        ADD_FAILURE() << errors.toStdString() << manager.output().toStdString();
        return {};
    }

    std::map<std::string, MeasuredSize> measured;
    const QStringList lines = QString::fromLatin1(probe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.split(u' ');
        if (fields.size() != 10) {
            ADD_FAILURE() << "not a line of the size probe: " << line.toStdString();
            return {};
        }
        const auto number = [&](int index) { return fields[index].toInt(); };
        measured[fields[0].toStdString()] = {{number(1), number(2)}, {number(3), number(4)},
                                             {number(5), number(6)}, {number(7), number(8)},
                                             number(9) != 0};
        std::printf("%s %dx%d%s%s%s %s\n", managerName.isEmpty() ? "none" : qPrintable(managerName),
                    screen.width(), screen.height(), scaleFactor.isEmpty() ? "" : " at ", qPrintable(scaleFactor),
                    xftDpi != 0 ? qPrintable(QStringLiteral(" Xft.dpi %1").arg(xftDpi)) : "", qPrintable(line));
    }
    EXPECT_EQ(measured.size(), 3u) << errors.toStdString();
    return measured;
}

// The window's frame, title bar included, lies on the screen.
::testing::AssertionResult onTheScreen(const MeasuredSize &measured)
{
    const QRect screen(QPoint(0, 0), measured.screen);
    if (screen.contains(QRect(measured.corner, measured.outer)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the window spans " << measured.corner.x() << "," << measured.corner.y()
                                         << " to " << measured.corner.x() + measured.outer.width() << ","
                                         << measured.corner.y() + measured.outer.height() << " on a screen of "
                                         << measured.screen.width() << "x" << measured.screen.height();
}

const std::map<std::string, QSize> LayoutParts{{"first", {717, 505}}, {"recording", {717, 571}}, {"whole", {1294, 571}}};

TEST_P(WindowManagers, TheClientAreaIsTheLayoutAtEachSizeAndTheFrameComesOnTop)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
    std::map<std::string, MeasuredSize> measured = runSizeProbe(GetParam(), LargeScreen);
    ASSERT_EQ(measured.size(), LayoutParts.size());
    const QSize frame = measured["first"].outer - measured["first"].client;
    for (const auto &[size, client] : LayoutParts) {
        SCOPED_TRACE(size);
        EXPECT_EQ(measured[size].client, client);
        // The same frame at every size: the outer size follows from it.
        EXPECT_EQ(measured[size].outer, client + frame);
        EXPECT_FALSE(measured[size].scrolls);
        EXPECT_TRUE(onTheScreen(measured[size]));
    }
    // The first place is kept; the whole layout from there would pass the screen's right edge,
    // so the window moves left just far enough.
    EXPECT_EQ(measured["first"].corner, QPoint(439, 82));
    EXPECT_EQ(measured["recording"].corner, QPoint(439, 82));
    EXPECT_EQ(measured["whole"].corner, QPoint(LargeScreen.width() - measured["whole"].outer.width(), 82));
    if (GetParam().framed)
        EXPECT_GT(frame.height(), 0) << "the window manager drew no title bar";
    else
        EXPECT_EQ(frame, QSize(0, 0));
}

// A laptop's screen, and full HD at 1.5 and 2 times scale (the latter also as the desktop's
// font resolution sets it), under each window manager.
struct SmallScreenCase {
    const char *name;
    QSize screen;
    const char *scaleFactor; // empty: none
    int xftDpi;              // 0: none
    // Whether the window starts at 439, 82 (in the window's own pixels).
    bool firstPlaceKept;
    // Which sizes show their part of the layout only by scrolling.
    bool recordingScrolls;
    bool wholeScrolls;
};

class SmallScreens : public ::testing::TestWithParam<std::tuple<WindowManagerCase, SmallScreenCase>> {};

TEST_P(SmallScreens, TheWindowStaysOnTheScreenAndScrollsWhereTheLayoutIsLarger)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
    const auto &[managerCase, screenCase] = GetParam();
    const QString scaleFactor = QString::fromLatin1(screenCase.scaleFactor);
    std::map<std::string, MeasuredSize> measured =
        runSizeProbe(managerCase, screenCase.screen, scaleFactor, screenCase.xftDpi);
    ASSERT_EQ(measured.size(), LayoutParts.size());
    const double scale = !scaleFactor.isEmpty() ? scaleFactor.toDouble()
                         : screenCase.xftDpi != 0 ? screenCase.xftDpi / 96.0
                                                  : 1.0;
    const std::map<std::string, bool> scrolls{
        {"first", false}, {"recording", screenCase.recordingScrolls}, {"whole", screenCase.wholeScrolls}};
    for (const auto &[size, layout] : LayoutParts) {
        SCOPED_TRACE(size);
        const MeasuredSize &at = measured[size];
        EXPECT_TRUE(onTheScreen(at));
        EXPECT_EQ(at.scrolls, scrolls.at(size));
        if (!at.scrolls) {
            // The part of the layout whole, give or take the rounding of a fractional scale.
            const QSize device = layout * scale;
            EXPECT_NEAR(at.client.width(), device.width(), scale == 1.0 ? 0 : 2);
            EXPECT_NEAR(at.client.height(), device.height(), scale == 1.0 ? 0 : 2);
        }
    }
    const QPoint firstPlace = QPoint(439, 82) * scale;
    if (screenCase.firstPlaceKept) {
        EXPECT_NEAR(measured["first"].corner.x(), firstPlace.x(), 1);
        EXPECT_NEAR(measured["first"].corner.y(), firstPlace.y(), 1);
    } else {
        EXPECT_NE(measured["first"].corner, firstPlace);
    }
}

// Runs a probe with `arguments` on an Xvfb of its own under the case's window manager, with
// `probeEnvironment` added to the probe's environment; what it printed, or nothing when it
// failed (the test has failed then too).
std::optional<QString> runWindowProbe(const WindowManagerCase &managerCase, const QString &program,
                                      const QStringList &arguments,
                                      const QProcessEnvironment &probeEnvironment = {})
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        ADD_FAILURE() << "Xvfb is not installed (scripts/install-deps installs it)";
        return std::nullopt;
    }
    const QString managerName = QString::fromLatin1(managerCase.name);

    // A probe exits with 2 when the window system let it down, such as a window manager that did
    // not hide a minimised window in time on a busy machine: that is tried once more, on a
    // display and a window manager of their own, and only a second such exit fails the test.
    for (int attempt = 1;; ++attempt) {
        VirtualDisplay display;
        QString error;
        const QString displayName = display.start(xvfb, LargeScreen, error);
        if (displayName.isEmpty()) {
            ADD_FAILURE() << error.toStdString();
            return std::nullopt;
        }
        QProcessEnvironment environment = environmentOn(displayName);
        WindowManager manager;
        if (!manager.start(managerName, environment)) {
            ADD_FAILURE() << managerName.toStdString() << " did not start";
            return std::nullopt;
        }

        environment.insert(probeEnvironment);
        QProcess probe;
        probe.setProcessEnvironment(environment);
        probe.start(program, arguments);
        if (!probe.waitForFinished(120000)) {
            ADD_FAILURE() << "the probe did not finish";
            return std::nullopt;
        }
        const QString said = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
        std::printf("%s %s\n", managerName.isEmpty() ? "none" : qPrintable(managerName), qPrintable(said));
        if (probe.exitCode() == 2 && attempt == 1) {
            std::printf("%s: the window system did not do what the probe asked; once more\n",
                        managerName.isEmpty() ? "none" : qPrintable(managerName));
            continue;
        }
        if (probe.exitCode() != 0) {
            ADD_FAILURE() << said.toStdString() << "\n"
                          << QString::fromLocal8Bit(probe.readAllStandardError()).toStdString()
                          << manager.output().toStdString();
            return std::nullopt;
        }
        return said;
    }
}

// Runs the unseen-window probe in `mode`.
void runUnseenPollProbe(const WindowManagerCase &managerCase, const QString &mode)
{
    runWindowProbe(managerCase, QStringLiteral(UNSEEN_POLL_PROBE), QStringList{mode});
}

// Under Debian's qt6ct with its "darker" colours and Fusion, as a desktop set to a dark theme
// gives them, every caption in the window reads at 4.5:1 or better.
TEST_P(WindowManagers, UnderADarkColourSchemeEveryCaptionCanBeRead)
{
    const QString scheme = QStringLiteral("/usr/share/qt6ct/colors/darker.conf");
    ASSERT_TRUE(QFileInfo::exists(scheme)) << "qt6ct is not installed (scripts/install-deps installs it)";
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("qt6ct")));
    QFile settings(config.filePath(QStringLiteral("qt6ct/qt6ct.conf")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral("[Appearance]\ncolor_scheme_path=%1\ncustom_palette=true\nstyle=Fusion\n")
                       .arg(scheme)
                       .toUtf8());
    settings.close();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QStringLiteral("qt6ct"));

    const std::optional<QString> said = runWindowProbe(GetParam(), QStringLiteral(PALETTE_PROBE), {}, environment);
    ASSERT_TRUE(said.has_value());
    // The scheme was taken: the window's background is qt6ct's dark one.
    EXPECT_TRUE(said->startsWith(QStringLiteral("window colour #222020"))) << said->toStdString();
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

void PrintTo(const SmallScreenCase &screen, std::ostream *out)
{
    *out << screen.name;
}

INSTANTIATE_TEST_SUITE_P(
    , SmallScreens,
    ::testing::Combine(::testing::Values(WindowManagerCase{"", false}, WindowManagerCase{"metacity", true},
                                         WindowManagerCase{"openbox", true}),
                       ::testing::Values(SmallScreenCase{"laptop", {1366, 768}, "", 0, true, false, false},
                                         SmallScreenCase{"fullHdAt1_5", {1920, 1080}, "1.5", 0, true, false, true},
                                         SmallScreenCase{"fullHdAt2", {1920, 1080}, "2", 0, false, true, true},
                                         SmallScreenCase{"fullHdAtXftDpi192", {1920, 1080}, "", 192, false, true,
                                                         true})),
    [](const ::testing::TestParamInfo<std::tuple<WindowManagerCase, SmallScreenCase>> &tested) {
        const WindowManagerCase &manager = std::get<0>(tested.param);
        return std::string(*manager.name != '\0' ? manager.name : "none") + "_" + std::get<1>(tested.param).name;
    });

INSTANTIATE_TEST_SUITE_P(, MinimisingWindowManagers,
                         ::testing::Values(WindowManagerCase{"metacity", true}, WindowManagerCase{"openbox", true}),
                         [](const ::testing::TestParamInfo<WindowManagerCase> &tested) {
                             return std::string(tested.param.name);
                         });

} // namespace
