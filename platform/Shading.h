// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Colour ramps for the program's pictures, worked out by the program itself.
// Qt's raster engine keeps a 12 KB colour table for every distinct gradient it
// has ever painted, for the whole run; the pictures are painted seldom, so
// they compute their shading per device pixel when painted and keep nothing.
// The colours are those Qt's own linear and radial gradients give, with the
// default (padded, premultiplied) interpolation.
#include <QBrush>
#include <QColor>
#include <QPointF>
#include <QRectF>

#include <utility>
#include <vector>

class QPainter;
class QTransform;

class TShading {
public:
    // Position 0 at Start, 1 at End, held beyond them.
    static TShading Linear(QPointF Start, QPointF End);
    // Position 0 at the centre, 1 on the circle and beyond.
    static TShading Radial(QPointF Centre, qreal Radius);

    // Adds a colour stop; positions run from 0 to 1 and are given in order.
    TShading& at(qreal Position, const QColor& Colour);

    // A brush that paints the shading on Painter's device as it stands now
    // (its transformation included), valid for shapes inside Area, which is
    // given in the painter's own coordinates.
    QBrush brush(const QPainter& Painter, const QRectF& Area) const;

private:
    enum class Kind { Linear, Radial };
    TShading(Kind Shape, QPointF From, QPointF To, qreal Radius);

    // The step of the ramp (0 .. 1023) at a point of the painter's
    // coordinates.
    int stepAt(QPointF Point) const;
    bool opaque() const;

    Kind Shape;
    QPointF From, To;
    qreal Radius;
    std::vector<std::pair<qreal, QColor>> Stops;
};
