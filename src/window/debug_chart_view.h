// SPDX-License-Identifier: MIT
#pragma once

// The chart of the debug record's code-track samples (`ChartDebug`).

#include <QChartView>

class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

class DebugChartView : public QChartView {
    Q_OBJECT
public:
    explicit DebugChartView(QWidget *parent = nullptr);

    // The samples as a line (`SeriesDebug`) and the bit markers (`Series2`).
    QLineSeries *seriesDebug() const { return m_seriesDebug; }
    QScatterSeries *series2() const { return m_series2; }
    QValueAxis *leftAxis() const { return m_leftAxis; }
    QValueAxis *rightAxis() const { return m_rightAxis; }
    QValueAxis *bottomAxis() const { return m_bottomAxis; }

protected:
    // A control placed on the chart (the code label) stands on its white background: it takes
    // a text colour readable there, whatever the desktop's colour scheme.
    bool event(QEvent *event) override;

private:
    QLineSeries *m_seriesDebug = nullptr;
    QScatterSeries *m_series2 = nullptr;
    QValueAxis *m_leftAxis = nullptr;
    QValueAxis *m_rightAxis = nullptr;
    QValueAxis *m_bottomAxis = nullptr;
};
