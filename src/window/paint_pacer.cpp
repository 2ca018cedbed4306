// SPDX-License-Identifier: MIT
#include "paint_pacer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

PaintPacer::PaintPacer(QWidget *window, int frameIntervalMs)
    : QObject(window), m_window(window), m_frameIntervalMs(frameIntervalMs)
{
    m_clock.start();
    m_lateFrame.setSingleShot(true);
    connect(&m_lateFrame, &QTimer::timeout, this, &PaintPacer::paintHeldFrame);
    if (auto *dispatcher = QAbstractEventDispatcher::instance(window->thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &PaintPacer::paintHeldFrameIfDue);
    window->installEventFilter(this);
}

bool PaintPacer::frameDue() const
{
    return m_clock.elapsed() >= m_nextFrameMs;
}

void PaintPacer::noteFramePainted()
{
    const qint64 now = m_clock.elapsed();
    // Within an interval of the grid the next frame stays on it; after a quiet spell the grid
    // starts again from this frame.
    m_nextFrameMs = now - m_nextFrameMs < m_frameIntervalMs ? m_nextFrameMs + m_frameIntervalMs
                                                            : now + m_frameIntervalMs;
}

bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    // The window paints everything marked dirty when it receives an update request; until
    // then further changes only add to the dirty region, and no second request is posted.
    if (watched != m_window || event->type() != QEvent::UpdateRequest || m_painting)
        return false;
    if (m_outOfSight) {
        // Kept for the way back into sight, with no timer to wake the loop for it.
        m_frameHeld = true;
        return true;
    }
    if (frameDue()) {
        m_frameHeld = false;
        m_lateFrame.stop();
        noteFramePainted();
        // What the controls take now is marked before this request paints the marked areas.
        prepareFrame();
        return false;
    }
    if (!m_frameHeld) {
        m_frameHeld = true;
        // Half a frame of grace after the frame falls due, for another wake-up to come.
        const qint64 untilDue = m_nextFrameMs - m_clock.elapsed();
        m_lateFrame.start(static_cast<int>(untilDue + m_frameIntervalMs / 2));
    }
    return true;
}

void PaintPacer::repaintNow(QWidget *widget)
{
    // The repaint asks the window for an update request at once, which the filter lets pass.
    m_painting = true;
    widget->repaint();
    m_painting = false;
}

void PaintPacer::setBeforeFrame(std::function<void()> prepare)
{
    m_beforeFrame = std::move(prepare);
}

void PaintPacer::requestFrame()
{
    if (m_frameHeld)
        return;
    m_frameHeld = true;
    if (m_outOfSight)
        return;
    const qint64 untilDue = std::max<qint64>(0, m_nextFrameMs - m_clock.elapsed());
    m_lateFrame.start(static_cast<int>(untilDue + m_frameIntervalMs / 2));
}

void PaintPacer::prepareFrame()
{
    if (!m_beforeFrame)
        return;
    const bool painting = m_painting;
    m_painting = true;
    m_beforeFrame();
    // A child widget shown just now has posted itself a request to be repainted later, which
    // would come after this frame and paint it a second time in the next one. Taken now, it
    // joins this frame's region.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    m_painting = painting;
}

void PaintPacer::setOutOfSight(bool outOfSight)
{
    if (m_outOfSight == outOfSight)
        return;
    m_outOfSight = outOfSight;
    if (outOfSight) {
        m_lateFrame.stop();
    } else if (m_frameHeld) {
        m_frameHeld = false;
        requestFrame();
    }
}

void PaintPacer::paintHeldFrameIfDue()
{
    if (m_frameHeld && frameDue())
        paintHeldFrame();
}

void PaintPacer::paintHeldFrame()
{
    // Out of sight, a held frame waits for the way back.
    if (!m_frameHeld || m_outOfSight)
        return;
    m_frameHeld = false;
    m_lateFrame.stop();
    noteFramePainted();
    prepareFrame();
    // Painted here rather than posted: a posted request would wake the event loop once more.
    // Controls changed just now may have posted one: it is taken here too, for this frame.
    m_painting = true;
    QCoreApplication::sendPostedEvents(m_window, QEvent::UpdateRequest);
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
    m_painting = false;
}
