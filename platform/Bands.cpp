// SPDX-License-Identifier: GPL-3.0-or-later
#include "Bands.h"

#include <QPainter>
#include <QTransform>

void PaintInBands(QPainter& Painter, const QRectF& Area, const std::function<void()>& Paint)
{
    const QTransform ToDevice = Painter.deviceTransform();
    bool Invertible = false;
    const QTransform ToLogical = ToDevice.inverted(&Invertible);
    const QRect Pixels = ToDevice.mapRect(Area).toAlignedRect();
    if (!Invertible || Pixels.height() <= BandRows || ToDevice.type() > QTransform::TxScale) {
        Paint();
        return;
    }
    // Whole device rows, so that no pixel is painted twice: an edge's partly
    // covered pixels would otherwise be blended over themselves.
    for (int Top = Pixels.top(); Top <= Pixels.bottom(); Top += BandRows) {
        const QRectF Band(Pixels.left(), Top, Pixels.width(), std::min(BandRows, Pixels.bottom() + 1 - Top));
        Painter.save();
        Painter.setClipRect(ToLogical.mapRect(Band), Qt::IntersectClip);
        Paint();
        Painter.restore();
    }
}
