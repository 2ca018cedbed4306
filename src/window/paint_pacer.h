// SPDX-License-Identifier: MIT
#pragma once

// Paces the repaints of one top-level window to a frame interval. The poll cycle changes the
// readouts, the dial and the communication lamp up to a hundred times a second, faster than a
// screen shows or an eye reads; painting every change would cost more processor time than the
// whole exchange with the encoder. Widgets still take their new values at once: only the
// painting of what changed waits, at most about one interval, and then covers every change
// since the last frame.
//
// A held frame is painted when the event loop is about to sleep after the frame fell due, so
// it shares the wake-up of whatever woke the loop (mostly the poll timer); a wake-up of its
// own comes only when nothing else wakes the loop for a while after it is due. Frames keep
// to a fixed grid while changes keep coming, so painting a little late does not lower the
// frame rate.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

class PaintPacer : public QObject {
    Q_OBJECT
public:
    // Paces `window`'s repaints; the pacer is a child of the window.
    PaintPacer(QWidget *window, int frameIntervalMs);

    // Paints `widget` (a control of the window) now, whether a frame is due or not, together with
    // whatever else waits to be painted: for a change that must show before the thread goes
    // busy for a while, as the port search is between two of its steps.
    void repaintNow(QWidget *widget);

    // Runs just before every paced frame is painted, so that controls whose new values were held
    // back take them in time for that frame.
    void setBeforeFrame(std::function<void()> prepare);
    // Asks for a frame at the time the next one is due, also when nothing has been marked for
    // painting yet (values held back for the frame are).
    void requestFrame();
    // A window that nobody can see (wholly covered) paints nothing: every frame is held until
    // it comes back into sight, and then painted at once with all that changed meanwhile.
    void setOutOfSight(bool outOfSight);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool frameDue() const;
    void noteFramePainted();
    void paintHeldFrameIfDue();
    void paintHeldFrame();
    void prepareFrame();

    QWidget *m_window;
    int m_frameIntervalMs;
    QElapsedTimer m_clock;
    // When the next frame may be painted, on m_clock.
    qint64 m_nextFrameMs = 0;
    // Paints a held frame when no other wake-up came soon after it fell due.
    QTimer m_lateFrame;
    bool m_frameHeld = false;
    bool m_painting = false;
    bool m_outOfSight = false;
    std::function<void()> m_beforeFrame;
};
