// SPDX-License-Identifier: MIT
#pragma once

// Tells whether a top-level window is wholly covered by other windows, and when it comes back
// into sight. Qt reports a minimised window as not exposed, but a window under another one still
// counts as exposed and goes on painting what nobody sees. On X11 the server says so itself
// (VisibilityNotify), once the window asks for it; elsewhere, and under a compositing window
// manager, which leaves every window unobscured, a window is never taken for covered.

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <optional>

class QWidget;

namespace covered_window {

// From one X event: whether `window` is now wholly covered (true), at least partly in view
// (false), or nothing (not a visibility event of that window). `event` is an xcb event as the
// X server sent it, at least 32 bytes.
std::optional<bool> fullyCoveredFromEvent(const void *event, quint32 window);

} // namespace covered_window

class CoveredWindowWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Watches `window` (a top-level widget) and is its child.
    explicit CoveredWindowWatch(QWidget *window);
    ~CoveredWindowWatch() override;

    bool fullyCovered() const { return m_fullyCovered; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    // Some of the window can be seen again after it was minimised, hidden or wholly covered;
    // also when more of a window in sight is uncovered.
    void cameIntoSight();
    // The window in sight until now is wholly covered.
    void wentOutOfSight();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchWindowHandle();
    void askForVisibilityEvents();
    void setFullyCovered(bool covered);

    QWidget *m_window;
    // The X connection, or null away from X11.
    void *m_connection = nullptr;
    bool m_fullyCovered = false;
};
