// SPDX-License-Identifier: MIT
#include "covered_window_watch.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace covered_window {

std::optional<bool> fullyCoveredFromEvent(const void *event, quint32 window)
{
    xcb_visibility_notify_event_t visibility;
    std::memcpy(&visibility, event, sizeof visibility);
    // The top bit marks an event that another client sent.
    if ((visibility.response_type & 0x7F) != XCB_VISIBILITY_NOTIFY || visibility.window != window)
        return std::nullopt;
    return visibility.state == XCB_VISIBILITY_FULLY_OBSCURED;
}

} // namespace covered_window

CoveredWindowWatch::CoveredWindowWatch(QWidget *window) : QObject(window), m_window(window)
{
    if (auto *x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
    if (m_connection != nullptr)
        QCoreApplication::instance()->installNativeEventFilter(this);
    window->installEventFilter(this);
}

CoveredWindowWatch::~CoveredWindowWatch()
{
    if (m_connection != nullptr && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CoveredWindowWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        // The window handle exists once the widget is shown, and a new one may come with a new
        // X window.
        if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) {
            watchWindowHandle();
            askForVisibilityEvents();
        }
    } else if (event->type() == QEvent::Expose && watched == m_window->windowHandle()
               && m_window->windowHandle()->isExposed()) {
        // Something of the window came into view. Qt may also have set the window's X event
        // mask anew (new window flags), and then no visibility event would say so.
        m_fullyCovered = false;
        Q_EMIT cameIntoSight();
    }
    return false;
}

void CoveredWindowWatch::watchWindowHandle()
{
    // Installing a filter again only moves it to the front.
    if (QWindow *handle = m_window->windowHandle())
        handle->installEventFilter(this);
}

void CoveredWindowWatch::askForVisibilityEvents()
{
    QWindow *handle = m_window->windowHandle();
    if (handle == nullptr || m_connection == nullptr)
        return;
    auto *connection = static_cast<xcb_connection_t *>(m_connection);
    const auto window = static_cast<xcb_window_t>(handle->winId());
    setFullyCovered(false);
    // The events Qt asked for stay: the mask is replaced as a whole.
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    if (attributes == nullptr)
        return;
    const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
}

bool CoveredWindowWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result)
{
    Q_UNUSED(result);
    if (eventType != "xcb_generic_event_t" || m_window->windowHandle() == nullptr)
        return false;
    const auto window = static_cast<quint32>(m_window->windowHandle()->winId());
    if (const std::optional<bool> covered = covered_window::fullyCoveredFromEvent(message, window))
        setFullyCovered(*covered);
    // Qt may want the event as well.
    return false;
}

void CoveredWindowWatch::setFullyCovered(bool covered)
{
    if (m_fullyCovered == covered)
        return;
    m_fullyCovered = covered;
    if (covered)
        Q_EMIT wentOutOfSight();
    else
        Q_EMIT cameIntoSight();
}
