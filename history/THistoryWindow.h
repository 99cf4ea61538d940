// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history window: the periods of the last hour, 6 hours or day as a chart
// of airtime, load and usage over the load classes, and the latest period's
// figures as labels a screen reader can read.
//
// It only exists while it is shown: it is deleted when closed, and with it the
// chart, so a meter that never opens it holds no chart. It reads the periods
// from the ring it is given and redraws on each new one; it has no timer.
#include <QWidget>

#include <cstdint>

#include "PeriodRecord.h"

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QRadioButton;
class TValueLabel;

// What hovering a period shows: its time, local and UTC, and its figures.
QString PeriodText(const PeriodRecord& Record);

class THistoryWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int64_t Spans[] = {3600, 6 * 3600, 24 * 3600};

    explicit THistoryWindow(const PeriodHistory& History, QWidget* parent = nullptr);

    // Seconds of history drawn, one of Spans.
    int64_t Span() const { return span; }
    void SetSpan(int64_t Seconds);

    // Draws the ring again; connected to the meter's signal of a new period,
    // which comes after the period has entered the ring.
    void PeriodAdded(const PeriodRecord& Record);

    QChart* Chart() const { return chart; }
    QChartView* ChartView() const { return view; }
    QLineSeries* AirtimeSeries() const { return airtime; }
    QLineSeries* LoadSeries() const { return load; }
    QLineSeries* UsageSeries() const { return usage; }
    QDateTimeAxis* TimeAxis() const { return timeAxis; }
    QRadioButton* SpanButton(int64_t Seconds) const;
    TValueLabel *LatestTime, *LatestAirtime, *LatestLoad, *LatestUsage, *LatestEfficiency, *LatestFrames;

protected:
    void changeEvent(QEvent* e) override;

private:
    void redraw();
    void showLatest();
    void applyColours();
    void showPeriodAt(const QPointF& Point, bool State);

    const PeriodHistory& history;
    int64_t span = Spans[0];
    QChart* chart;
    QChartView* view;
    QLineSeries *airtime, *load, *usage;
    QDateTimeAxis* timeAxis;
    QRadioButton* spanButtons[3];
};
