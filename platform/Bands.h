// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Painting a picture a few device rows at a time. Qt's raster engine splits a
// fill of many spans over helper threads of its global pool, and those threads
// (a stack and a malloc arena each) then stay for the whole run; a fill clipped
// to a band is too small to be split, so all the painting stays on the calling
// thread. The pixels are those of painting the picture whole.
#include <QRectF>

#include <functional>

class QPainter;

// Calls Paint, which draws inside Area (the painter's coordinates), once per
// band of Area, each time with the painter clipped to that band; once,
// unclipped, if Area is no taller than one band. Paint must add to the clip it
// finds (Qt::IntersectClip), not replace it.
void PaintInBands(QPainter& Painter, const QRectF& Area, const std::function<void()>& Paint);

// Device rows per band: a band of a shape's edges stays well below the span
// count at which Qt hands a fill to its thread pool.
inline constexpr int BandRows = 8;
