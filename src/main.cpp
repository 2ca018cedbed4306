// SPDX-License-Identifier: MIT
#include "main_form.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    // Without a display Qt would abort with a platform-plugin backtrace; say it in one line.
    const bool explicitPlatform = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!explicitPlatform && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("trevisor: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
                   "start it from a desktop session or under Xvfb.\n",
                   stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trevisor"));
    QApplication::setApplicationVersion(QStringLiteral(TREVISOR_VERSION_TEXT));
    // No application display name: X11 and Wayland would append it to the window's caption,
    // which already names the program (the message boxes take it from the window).

    TMainForm form;
    form.show();
    return QApplication::exec();
}
