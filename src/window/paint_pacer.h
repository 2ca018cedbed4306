// SPDX-License-Identifier: MIT
#pragma once

// Paces the repaints of one top-level window to a frame interval. The poll cycle changes the
// readouts, the dial and the communication lamp up to a hundred times a second, faster than a
// screen shows or an eye reads; painting every change would cost more processor time than the
// whole exchange with the encoder. Widgets still take their new values at once: only the
// painting of what changed waits, at most one interval, and then covers every change since
// the last frame.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

class PaintPacer : public QObject {
    Q_OBJECT
public:
    // Paces `window`'s repaints; the pacer is a child of the window.
    PaintPacer(QWidget *window, int frameIntervalMs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintDeferredFrame();

    QWidget *m_window;
    int m_frameIntervalMs;
    QElapsedTimer m_sinceLastFrame;
    QTimer m_deferredFrame;
};
