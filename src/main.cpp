// SPDX-License-Identifier: MIT
#include "main_form.h"
#include "wait_ms.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// While the application object starts its platform plugin, Qt reports a display it cannot reach
// with warnings of the qt.qpa categories and then a fatal message that aborts with a core dump.
// This handler holds those warnings back and turns the fatal message into one line and exit 1;
// messages held back from a start that succeeded are passed on afterwards.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QtMessageHandler messageHandlerBeforeStart = nullptr;
std::vector<HeldMessage> heldPlatformMessages;

void passOn(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (messageHandlerBeforeStart)
        messageHandlerBeforeStart(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void startMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        const QString reason = heldPlatformMessages.empty() ? text : heldPlatformMessages.front().text;
        QByteArray display = qgetenv("WAYLAND_DISPLAY");
        if (display.isEmpty())
            display = qgetenv("DISPLAY");
        std::fprintf(stderr,
                     "trevisor: cannot open the display \"%s\" (%s); start it from a desktop session or "
                     "under Xvfb.\n",
                     display.constData(), qPrintable(reason.simplified()));
        std::_Exit(EXIT_FAILURE);
    }
    if (context.category && std::strncmp(context.category, "qt.qpa.", 7) == 0 && type != QtDebugMsg) {
        heldPlatformMessages.push_back({type, context.category, text});
        return;
    }
    passOn(type, context, text);
}

void endOfStart()
{
    qInstallMessageHandler(messageHandlerBeforeStart);
    for (const HeldMessage &held : heldPlatformMessages)
        passOn(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.constData()), held.text);
    heldPlatformMessages.clear();
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
    messageHandlerBeforeStart = qInstallMessageHandler(startMessageHandler);
    QApplication app(argc, argv);
    endOfStart();
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
