// SPDX-License-Identifier: MIT
// The real program started where no window can be shown: one line that says so and exit code 1,
// never Qt's platform-plugin report and a core dump.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

// A display number with no X server behind it.
QString unusedDisplay()
{
    for (int number = 7391;; ++number) {
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            return QStringLiteral(":%1").arg(number);
    }
}

TEST(MissingDisplayTest, SaysSoInOneLineAndFails)
{
    struct Case {
        const char *name;
        QString display; // empty: unset
        const char *expected;
    };
    const Case cases[] = {
        {"no display at all", QString(), "trevisor: no display found"},
        {"a display nobody serves", unusedDisplay(), "trevisor: cannot open the display"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QUARN_EXTRA_PORTS"})
            environment.remove(QString::fromLatin1(name));
        if (!c.display.isEmpty())
            environment.insert(QStringLiteral("DISPLAY"), c.display);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TREVISOR_PATH), {});
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_TRUE(err.startsWith(QLatin1String(c.expected))) << qPrintable(err);
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << qPrintable(err);
        if (!c.display.isEmpty()) {
            EXPECT_TRUE(err.contains(c.display)) << qPrintable(err);
        }
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
}

} // namespace
