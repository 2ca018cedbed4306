// SPDX-License-Identifier: MIT
#include "paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

PaintPacer::PaintPacer(QWidget *window, int frameIntervalMs)
    : QObject(window), m_window(window), m_frameIntervalMs(frameIntervalMs)
{
    m_deferredFrame.setSingleShot(true);
    m_deferredFrame.setTimerType(Qt::PreciseTimer);
    connect(&m_deferredFrame, &QTimer::timeout, this, &PaintPacer::paintDeferredFrame);
    window->installEventFilter(this);
}

bool PaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    // The window paints everything marked dirty when it receives an update request; until
    // then further changes only add to the dirty region, and no second request is posted.
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    if (!m_sinceLastFrame.isValid() || m_sinceLastFrame.elapsed() >= m_frameIntervalMs) {
        m_deferredFrame.stop();
        m_sinceLastFrame.start();
        return false;
    }
    if (!m_deferredFrame.isActive())
        m_deferredFrame.start(static_cast<int>(m_frameIntervalMs - m_sinceLastFrame.elapsed()));
    return true;
}

void PaintPacer::paintDeferredFrame()
{
    QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
