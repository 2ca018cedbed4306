// SPDX-License-Identifier: MIT
#include "main_form.h"

#include <QApplication>
#include <QGuiApplication>

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
    QGuiApplication::setApplicationDisplayName(
        QStringLiteral("Trevisor for Quarn-2 Asnychronous Serial (UART)"));

    TMainForm form;
    form.show();
    return QApplication::exec();
}
