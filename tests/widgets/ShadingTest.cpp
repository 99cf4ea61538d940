// SPDX-License-Identifier: GPL-3.0-or-later
#include "Shading.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

using StopList = std::vector<std::pair<qreal, QColor>>;

// One shaded shape, described once for Qt's gradient and once for the shading.
struct ShadeCase {
    const char* Name;
    bool Radial;
    QPointF From, To; // the line of a linear ramp; From is a radial one's centre
    qreal Radius;
    StopList Stops;
    QPainterPath Shape;
    // Qt paints a top-to-bottom ramp a row at a time, and the shading matches
    // it exactly; elsewhere Qt carries the position along each run of pixels
    // in fixed point, and the last bit may differ.
    int Tolerance;
};

QPainterPath RoundedBox(const QRectF& Box, qreal Corner)
{
    QPainterPath Path;
    Path.addRoundedRect(Box, Corner, Corner);
    return Path;
}

QPainterPath Disc(QPointF Centre, qreal Radius)
{
    QPainterPath Path;
    Path.addEllipse(Centre, Radius, Radius);
    return Path;
}

std::vector<ShadeCase> ShadeCases()
{
    // Steep ramps (dark to light over a few pixels): a shading put one pixel
    // off, or sampled at the wrong point, differs by tens of levels.
    const QColor Deep(0x10, 0x20, 0x30), Pale(0xf0, 0xe0, 0xd0);
    return {
        {"top to bottom", false, {0, 3}, {0, 15}, 0, {{0, Deep}, {1, Pale}}, RoundedBox({2, 2, 28, 16}, 3), 0},
        {"left to right", false, {6, 0}, {14, 0}, 0, {{0, Pale}, {1, Deep}}, RoundedBox({4, 1, 12, 20}, 2), 1},
        {"corner to corner", false, {2, 2}, {24, 20}, 0, {{0, Deep}, {1, Pale}}, RoundedBox({2, 2, 22, 18}, 4), 1},
        {"three stops", false, {0, 0}, {0, 18}, 0,
         {{0, Pale}, {0.55, QColor(0x30, 0xa0, 0x40)}, {1, Deep}}, RoundedBox({1, 1, 30, 17}, 2), 0},
        {"stops inside, padded beyond", false, {0, 2}, {0, 20}, 0,
         {{0.25, QColor(0xff, 0x40, 0x00)}, {0.75, QColor(0x00, 0x40, 0xff)}}, RoundedBox({1, 1, 20, 20}, 0), 0},
        {"see-through stops", false, {0, 0}, {16, 16}, 0,
         {{0, QColor(255, 0, 0, 60)}, {1, QColor(0, 0, 255, 220)}}, Disc({9, 9}, 8), 1},
        {"see-through, top to bottom", false, {0, 4}, {0, 14}, 0,
         {{0, QColor(0, 128, 0, 250)}, {1, QColor(255, 255, 255, 30)}}, RoundedBox({3, 2, 20, 14}, 5), 0},
        {"radial", true, {10, 11}, {}, 9, {{0, Pale}, {1, Deep}}, Disc({11.5, 12}, 8), 1},
    };
}

void PaintWith(QImage& Image, const ShadeCase& Case, QPointF Shift, bool Own)
{
    QPainter P(&Image);
    P.setRenderHint(QPainter::Antialiasing);
    P.translate(Shift);
    P.setPen(Qt::NoPen);
    if (Own) {
        TShading Shade = Case.Radial ? TShading::Radial(Case.From, Case.Radius) : TShading::Linear(Case.From, Case.To);
        for (const auto& [Position, Colour] : Case.Stops)
            Shade.at(Position, Colour);
        P.setBrush(Shade.brush(P, Case.Shape.boundingRect()));
    } else {
        QGradient Gradient = Case.Radial ? QGradient(QRadialGradient(Case.From, Case.Radius))
                                         : QGradient(QLinearGradient(Case.From, Case.To));
        for (const auto& [Position, Colour] : Case.Stops)
            Gradient.setColorAt(Position, Colour);
        P.setBrush(Gradient);
    }
    P.drawPath(Case.Shape);
}

// A picture's own image, or a window's back buffer without alpha.
struct Ground {
    QColor Colour;
    QImage::Format Format;
};

QImage Blank(qreal Ratio, const Ground& Under)
{
    QImage Image(QSize(40, 30) * Ratio, Under.Format);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Under.Colour);
    return Image;
}

QImage Painted(const ShadeCase& Case, qreal Ratio, QPointF Shift, const Ground& Under, bool Own)
{
    QImage Image = Blank(Ratio, Under);
    PaintWith(Image, Case, Shift, Own);
    return Image;
}

// Largest difference of any channel of any pixel.
int LargestDifference(const QImage& A, const QImage& B)
{
    int Largest = 0;
    for (int y = 0; y < A.height(); ++y)
        for (int x = 0; x < A.width(); ++x) {
            const QRgb P = A.pixel(x, y), Q = B.pixel(x, y);
            Largest = std::max({Largest, std::abs(qRed(P) - qRed(Q)), std::abs(qGreen(P) - qGreen(Q)),
                                std::abs(qBlue(P) - qBlue(Q)), std::abs(qAlpha(P) - qAlpha(Q))});
        }
    return Largest;
}

} // namespace

TEST(Shading, PaintsWhatQtsGradientPaintsAtEveryRatioAndOffset)
{
    const Ground Grounds[] = {{Qt::transparent, QImage::Format_ARGB32_Premultiplied},
                              {QColor(0xef, 0xef, 0xef), QImage::Format_ARGB32_Premultiplied},
                              {QColor(0x2a, 0x2e, 0x32), QImage::Format_ARGB32_Premultiplied},
                              {QColor(0xef, 0xef, 0xef), QImage::Format_RGB32},
                              {QColor(0x2a, 0x2e, 0x32), QImage::Format_RGB32}};
    const QPointF Shifts[] = {{0, 0}, {3, 1}, {2.3, 1.6}};
    for (const ShadeCase& Case : ShadeCases())
        for (qreal Ratio : {1.0, 1.25, 1.5, 2.0})
            for (QPointF Shift : Shifts)
                for (const Ground& Under : Grounds) {
                    SCOPED_TRACE(testing::Message()
                                 << Case.Name << " at " << Ratio << ", shifted " << Shift.x() << "," << Shift.y()
                                 << ", on " << qPrintable(Under.Colour.name(QColor::HexArgb)) << " in format "
                                 << Under.Format);
                    const QImage Qts = Painted(Case, Ratio, Shift, Under, false);
                    const QImage Own = Painted(Case, Ratio, Shift, Under, true);
                    EXPECT_LE(LargestDifference(Qts, Own), Case.Tolerance);
                    EXPECT_NE(Qts, Blank(Ratio, Under)) << "the case paints nothing";
                }
}
