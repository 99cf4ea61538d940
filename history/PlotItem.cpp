// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlotItem.h"

#include <QChart>
#include <QPainter>
#include <QPolygonF>

TPlotItem::TPlotItem(QChart* Chart) : QGraphicsItem(Chart), chart(Chart)
{
    // Over the series (which are empty) and the grid, under the hover marker.
    setZValue(50);
    setAcceptedMouseButtons(Qt::NoButton);
}

void TPlotItem::Changed()
{
    const QRectF area = chart->plotArea().adjusted(-4, -4, 4, 4);
    if (area != bounds) {
        prepareGeometryChange();
        bounds = area;
    }
    update();
}

QRectF TPlotItem::boundingRect() const
{
    return bounds;
}

void TPlotItem::paint(QPainter* Painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRectF area = chart->plotArea();
    if (area.isEmpty() || MaxX <= MinX)
        return;
    const qreal sx = area.width() / (MaxX - MinX), sy = area.height() / 100;
    const auto map = [&](const QPointF& p) {
        return QPointF(area.left() + (p.x() - MinX) * sx, area.bottom() - p.y() * sy);
    };
    const auto mapped = [&](const QList<QPointF>& Points) {
        QPolygonF poly;
        poly.reserve(Points.size());
        for (const QPointF& p : Points)
            poly.append(map(p));
        return poly;
    };
    // The newest point and the lines' width may reach a few pixels past the plot.
    Painter->setClipRect(area.adjusted(0, -4, 4, 4));

    // The bands as polygons from the means up to the maxima, without
    // antialiasing: their zigzag edge (a day's rhythm on the 30-day span)
    // costs tens of milliseconds antialiased, and a pale band's edge does
    // not need it.
    Painter->setRenderHint(QPainter::Antialiasing, false);
    for (int b = 0; b < 2; ++b) {
        if (BandTop[b].isEmpty())
            continue;
        QPolygonF band = mapped(BandTop[b]);
        const QPolygonF bottom = mapped(BandBottom[b]);
        for (qsizetype i = bottom.size(); i-- > 0;)
            band.append(bottom[i]);
        Painter->setPen(Qt::NoPen);
        Painter->setBrush(BandBrushes[b]);
        Painter->drawPolygon(band);
    }
    Painter->setRenderHint(QPainter::Antialiasing, true);
    // Usage under the other two, so that it never hides them.
    for (PlotSample::Figure f : {PlotSample::Usage, PlotSample::Load, PlotSample::Airtime}) {
        const QPolygonF line = mapped(Lines[f]);
        // A dense line (more than a point every few pixels) is a zigzag
        // that fills its own envelope: drawn a pixel wide, which takes the
        // painter's fast path, it looks the same at a tenth of the cost.
        QPen pen = Pens[f];
        if (line.size() > DenseLine) {
            pen.setCosmetic(true);
            pen.setWidthF(1);
        }
        Painter->setPen(pen);
        Painter->setBrush(Qt::NoBrush);
        // Segment by segment: one long zigzag path is stroked and filled as
        // a whole, many times slower than its pieces.
        QList<QLineF> segments;
        segments.reserve(line.size());
        for (qsizetype i = 1; i < line.size(); ++i)
            segments.append(QLineF(line[i - 1], line[i]));
        Painter->drawLines(segments);
        if (Dots) {
            Painter->setBrush(Pens[f].color());
            Painter->setPen(Qt::NoPen);
            for (const QPointF& p : line)
                Painter->drawEllipse(p, 2.5, 2.5);
        }
    }
    Painter->setPen(Qt::NoPen);
    for (const auto& [from, to] : Cover) {
        const qreal a = std::max(area.left(), map(QPointF(from, 0)).x());
        const qreal b = std::min(area.right(), map(QPointF(to, 0)).x());
        // At least a pixel, so that a single blind period shows on a long span.
        const QRectF r(QPointF(a, area.top()), QPointF(std::max(b, a + 1), area.bottom()));
        Painter->fillRect(r, CoverBrush);
        Painter->fillRect(r, HatchBrush);
    }
}
