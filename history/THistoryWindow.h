// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history window: the periods of the last hour up to the last year as a
// chart of airtime, load and usage over the load classes, and the latest
// period's figures as labels a screen reader can read.
//
// Up to a day it draws the meter's ring of periods; the longer spans read
// hourly figures from the history store (when there is one) and draw their
// means with the maxima as a fainter band. Stretches where the meter saw
// nothing are hatched over. Hovering anywhere over the plot marks the nearest
// period and tells its figures, or why there are none.
//
// It only exists while it is shown: it is deleted when closed, and with it the
// chart, so a meter that never opens it holds no chart. It redraws on each new
// period; it has no timer.
#include <QGraphicsItem>

#include <cstdint>
#include <utility>
#include <vector>

#include "HistoryPane.h"
#include "HourFigures.h"
#include "PeriodRecord.h"
#include "PlotLine.h"

class QAreaSeries;
class QChart;
class QChartView;
class QDateTimeAxis;
class QGraphicsLineItem;
class QLineSeries;
class QRadioButton;
class QTabWidget;
class QVBoxLayout;
class TPeriodStore;
class TPlotItem;
class TValueLabel;

// What hovering a period shows: its time, local and UTC, and its figures, or
// why it has none.
QString PeriodText(const PeriodRecord& Record);
// The same for an hour of the long spans.
QString HourText(const HourFigures& Hour);

class THistoryWindow : public THistoryPane {
    Q_OBJECT
public:
    static constexpr int64_t Spans[] = {3600, 6 * 3600, 24 * 3600, 7 * 86400, 30 * 86400, 365 * 86400};
    static constexpr int SpanCount = 6;
    // Spans longer than this draw hours from the store.
    static constexpr int64_t LongestRingSpan = 24 * 3600;

    // Store may be null: then only the spans the ring holds can be chosen.
    explicit THistoryWindow(const PeriodHistory& History, TPeriodStore* Store = nullptr, QWidget* parent = nullptr);

    // Seconds of history drawn, one of Spans.
    int64_t Span() const { return span; }
    void SetSpan(int64_t Seconds);
    // The times drawn: [first, last] of the time axis's data range.
    std::pair<int64_t, int64_t> Range() const { return {end - span, end}; }
    TPeriodStore* Store() const { return store; }
    // The columns the plot's width is divided into for thinning the lines.
    int Columns() const;

    // Another view of the same history as a tab beside the chart; the window
    // takes it over.
    void AddView(QWidget* View, const QString& Title) override;

    // Draws the ring again; connected to the meter's signal of a new period,
    // which comes after the period has entered the ring.
    void PeriodAdded(const PeriodRecord& Record) override;

    QChart* Chart() const { return chart; }
    QChartView* ChartView() const { return view; }
    // The lines' legend entries, pens and axes (they hold no points).
    QLineSeries* AirtimeSeries() const { return lines[PlotSample::Airtime]; }
    QLineSeries* LoadSeries() const { return lines[PlotSample::Load]; }
    QLineSeries* UsageSeries() const { return lines[PlotSample::Usage]; }
    // What is drawn, x in milliseconds: a line's points; the long spans'
    // bands of the Airtime and Load lines (Top: hourly maxima, bottom: means);
    // the stretches without figures hatched over everything.
    const QList<QPointF>& Line(PlotSample::Figure Figure) const;
    const QList<QPointF>& BandTop(PlotSample::Figure Figure) const;
    const QList<QPointF>& BandBottom(PlotSample::Figure Figure) const;
    QList<std::pair<qreal, qreal>> BlindStretchesDrawn() const;
    // The legend's entry for those stretches, shown while there are any.
    QAreaSeries* BlindSeries() const { return blindHatch; }
    QDateTimeAxis* TimeAxis() const { return timeAxis; }
    QRadioButton* SpanButton(int64_t Seconds) const;
    // The hover's vertical marker, and the time it marks (0: hidden).
    QGraphicsLineItem* Marker() const { return marker; }
    int64_t MarkedTime() const { return markedTime; }
    TValueLabel *LatestTime, *LatestAirtime, *LatestLoad, *LatestUsage, *LatestEfficiency, *LatestFrames;

signals:
    // The span shown changed (a button, or a new period moved its end).
    void SpanChanged(int64_t From, int64_t To);

protected:
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool longSpan() const { return span > LongestRingSpan; }
    void loadHours();
    void cacheStaticItems(QGraphicsItem* Parent, QGraphicsItem::CacheMode Mode);
    void redraw();
    void showLatest();
    void applyColours();
    void hoverAt(const QPoint& ViewportPoint);
    void hideHover();
    int64_t newest() const;

    const PeriodHistory& history;
    TPeriodStore* store;
    int64_t span = Spans[0];
    int64_t end = 0;
    int64_t shownSpan = 0; // the span of the last drawing
    // The long spans' hours, read from the store when the span is chosen and
    // kept up to date by each new period.
    std::vector<HourFigures> hours;
    // What is drawn: the ring's periods in the span, or the hours; these
    // kept one for one while hoursSampled.
    std::vector<PlotSample> samples;
    bool hoursSampled = false;
    QChart* chart;
    QChartView* view;
    QLineSeries* lines[PlotSample::Count];
    QAreaSeries* blindHatch;
    TPlotItem* plot;
    QDateTimeAxis* timeAxis;
    QGraphicsLineItem* marker;
    int64_t markedTime = 0;
    QRadioButton* spanButtons[SpanCount];
    QVBoxLayout* column;
    QTabWidget* tabs = nullptr;
};
