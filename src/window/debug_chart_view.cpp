// SPDX-License-Identifier: MIT
#include "debug_chart_view.h"

#include "colours.h"
#include "window_fonts.h"

#include <QChart>
#include <QChildEvent>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

namespace {

// Labels at round values from 0, whatever the range.
void setWholeNumberTicks(QValueAxis *axis, double interval)
{
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(interval);
    axis->setLabelFormat(QStringLiteral("%d"));
}

} // namespace

DebugChartView::DebugChartView(QWidget *parent) : QChartView(parent)
{
    // The view comes with a chart of its own; a replacement would leave that one unowned.
    QChart *chart = this->chart();
    chart->setBackgroundBrush(colourFromNumber(colour::White));
    chart->legend()->hide();
    chart->setTitle(QString());
    // The white chart fills the whole view, square-cornered.
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);

    m_leftAxis = new QValueAxis(chart);
    m_leftAxis->setObjectName(QStringLiteral("leftAxis"));
    m_leftAxis->setRange(-1201, 1201);
    setWholeNumberTicks(m_leftAxis, 400);
    m_leftAxis->setLabelsFont(windowFont(QStringLiteral("Small Fonts"), 9));
    m_rightAxis = new QValueAxis(chart);
    m_rightAxis->setObjectName(QStringLiteral("rightAxis"));
    m_rightAxis->setRange(-1000, 1000);
    setWholeNumberTicks(m_rightAxis, 500);
    m_rightAxis->setGridLineVisible(false);
    m_rightAxis->setLabelsFont(windowFont(QStringLiteral("Small Fonts"), 9));
    m_bottomAxis = new QValueAxis(chart);
    m_bottomAxis->setObjectName(QStringLiteral("bottomAxis"));
    m_bottomAxis->setRange(0, 57);
    setWholeNumberTicks(m_bottomAxis, 10);
    m_bottomAxis->setLabelsFont(windowFont(QStringLiteral("Small Fonts"), 9));
    chart->addAxis(m_leftAxis, Qt::AlignLeft);
    chart->addAxis(m_rightAxis, Qt::AlignRight);
    chart->addAxis(m_bottomAxis, Qt::AlignBottom);

    m_seriesDebug = new QLineSeries(chart);
    m_seriesDebug->setObjectName(QStringLiteral("SeriesDebug"));
    QPen linePen(colourFromNumber(8388608));
    linePen.setWidth(2);
    m_seriesDebug->setPen(linePen);

    m_series2 = new QScatterSeries(chart);
    m_series2->setObjectName(QStringLiteral("Series2"));
    m_series2->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_series2->setMarkerSize(3);
    m_series2->setColor(colourFromNumber(4227327));
    m_series2->setBorderColor(colourFromNumber(4227327));

    for (QAbstractSeries *series : {static_cast<QAbstractSeries *>(m_seriesDebug),
                                    static_cast<QAbstractSeries *>(m_series2)}) {
        chart->addSeries(series);
        series->attachAxis(m_bottomAxis);
        series->attachAxis(m_leftAxis);
    }
    setRenderHint(QPainter::Antialiasing, false);
}

bool DebugChartView::event(QEvent *event)
{
    if (event->type() == QEvent::ChildPolished) {
        if (auto *label = qobject_cast<QLabel *>(static_cast<QChildEvent *>(event)->child()))
            setReadableText(label, colourFromNumber(colour::White));
    }
    return QChartView::event(event);
}
