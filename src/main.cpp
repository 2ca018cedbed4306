// SPDX-License-Identifier: MIT
#include "main_form.h"
#include "wait_ms.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the program as closing its window does. The handler may only mark the
// program as ending (a port search checks that between its attempts) and wake the event loop
// through a pipe; the window is closed from there.
int terminationPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    orodja::requestTerminationFromSignal();
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[1], &byte, 1);
}

bool installTerminationHandlers()
{
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

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
    const bool handlersInstalled = installTerminationHandlers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trevisor"));
    QApplication::setApplicationVersion(QStringLiteral(TREVISOR_VERSION_TEXT));
    // Docks on Wayland match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("trevisor"));
    // No application display name: X11 and Wayland would append it to the window's caption,
    // which already names the program (the message boxes take it from the window).

    TMainForm form;
    if (handlersInstalled) {
        // Also inside a wait or a message box: their nested loops handle the notifier too.
        auto *notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
            char bytes[16];
            while (::read(terminationPipe[0], bytes, sizeof bytes) > 0) {
            }
            form.close();
            QCoreApplication::quit();
        });
    }
    form.show();
    return QApplication::exec();
}
