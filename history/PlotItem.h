// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history chart's data, drawn straight onto the chart's plot area: the
// lines, the long spans' bands of hourly maxima and the hatched stretches
// without figures. Qt Charts' own series cost some microseconds a point on
// every change (they stroke each line into a shape for hovering); this item
// costs a polyline, and the window does its own hovering. The chart keeps
// empty series only for the legend and the axes.
#include <QBrush>
#include <QGraphicsItem>
#include <QList>
#include <QPen>
#include <QPointF>

#include "PlotLine.h"

class QChart;

class TPlotItem : public QGraphicsItem {
public:
    // Lines of more points than this are drawn a pixel wide.
    static constexpr qsizetype DenseLine = 150;

    explicit TPlotItem(QChart* Chart);

    // In the time axis's terms: x in milliseconds, y in percent.
    QList<QPointF> Lines[PlotSample::Count];
    QPen Pens[PlotSample::Count];
    // The band of figure Airtime or Load between its hourly means (bottom)
    // and maxima (top); empty on the short spans.
    QList<QPointF> BandTop[2], BandBottom[2];
    QBrush BandBrushes[2];
    // Stretches [from, to] in milliseconds to hide and hatch.
    QList<std::pair<qreal, qreal>> Cover;
    QBrush CoverBrush, HatchBrush;
    bool Dots = false;
    qreal MinX = 0, MaxX = 1;

    // After any change above, and when the plot area moved.
    void Changed();

    QRectF boundingRect() const override;
    void paint(QPainter* Painter, const QStyleOptionGraphicsItem* Option, QWidget* Widget) override;

private:
    QChart* chart;
    QRectF bounds;
};
