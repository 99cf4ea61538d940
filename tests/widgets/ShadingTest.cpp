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

// One shaded shape, described once for Qt's gradient and once for the shading.
struct ShadeCase {
    const char* Name;
    bool Radial;
    QPointF From, To; // the line of a linear ramp; From is a radial one's centre
    qreal Radius;
    std::vector<std::pair<qreal, QColor>> Stops;
    QRectF Box; // the shape: a box with rounded corners
    qreal Corner;
    // Qt paints a top-to-bottom ramp a row at a time, and the shading matches
    // it exactly; elsewhere Qt carries the position along each run of pixels
    // in fixed point, and the last bit may differ.
    int Tolerance;
};

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
    QPainter P(&Image);
    P.setRenderHint(QPainter::Antialiasing);
    P.translate(Shift);
    P.setPen(Qt::NoPen);
    if (Own) {
        TShading Shade = Case.Radial ? TShading::Radial(Case.From, Case.Radius) : TShading::Linear(Case.From, Case.To);
        for (const auto& [Position, Colour] : Case.Stops)
            Shade.at(Position, Colour);
        P.setBrush(Shade.brush(P, Case.Box));
    } else {
        QGradient Gradient = Case.Radial ? QGradient(QRadialGradient(Case.From, Case.Radius))
                                         : QGradient(QLinearGradient(Case.From, Case.To));
        for (const auto& [Position, Colour] : Case.Stops)
            Gradient.setColorAt(Position, Colour);
        P.setBrush(Gradient);
    }
    P.drawRoundedRect(Case.Box, Case.Corner, Case.Corner);
    P.end();
    return Image;
}

int LargestChannelDifference(const QImage& A, const QImage& B)
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
    // Steep ramps (dark to light over a few pixels): a shading put one pixel
    // off, or sampled at the wrong point, differs by tens of levels.
    const QColor Deep(0x10, 0x20, 0x30), Pale(0xf0, 0xe0, 0xd0), Green(0x30, 0xa0, 0x40);
    const ShadeCase Cases[] = {
        {"top to bottom", false, {0, 3}, {0, 15}, 0, {{0, Deep}, {1, Pale}}, {2, 2, 28, 16}, 3, 0},
        {"left to right", false, {6, 0}, {14, 0}, 0, {{0, Pale}, {1, Deep}}, {4, 1, 12, 20}, 2, 1},
        {"corner to corner", false, {2, 2}, {24, 20}, 0, {{0, Deep}, {1, Pale}}, {2, 2, 22, 18}, 4, 1},
        {"three stops", false, {0, 0}, {0, 18}, 0, {{0, Pale}, {0.55, Green}, {1, Deep}}, {1, 1, 30, 17}, 2, 0},
        {"stops inside, padded beyond", false, {0, 2}, {0, 20}, 0,
         {{0.25, QColor(0xff, 0x40, 0x00)}, {0.75, QColor(0x00, 0x40, 0xff)}}, {1, 1, 20, 20}, 0, 0},
        {"see-through stops", false, {0, 0}, {16, 16}, 0,
         {{0, QColor(255, 0, 0, 60)}, {1, QColor(0, 0, 255, 220)}}, {1, 1, 16, 16}, 8, 1},
        {"see-through, top to bottom", false, {0, 4}, {0, 14}, 0,
         {{0, QColor(0, 128, 0, 250)}, {1, QColor(255, 255, 255, 30)}}, {3, 2, 20, 14}, 5, 0},
        {"radial", true, {10, 11}, {}, 9, {{0, Pale}, {1, Deep}}, {3.5, 4, 16, 16}, 8, 1},
    };
    const Ground Grounds[] = {{Qt::transparent, QImage::Format_ARGB32_Premultiplied},
                              {QColor(0xef, 0xef, 0xef), QImage::Format_ARGB32_Premultiplied},
                              {QColor(0x2a, 0x2e, 0x32), QImage::Format_ARGB32_Premultiplied},
                              {QColor(0xef, 0xef, 0xef), QImage::Format_RGB32},
                              {QColor(0x2a, 0x2e, 0x32), QImage::Format_RGB32}};
    for (const ShadeCase& Case : Cases)
        for (qreal Ratio : {1.0, 1.25, 1.5, 2.0})
            for (QPointF Shift : {QPointF(0, 0), QPointF(3, 1), QPointF(2.3, 1.6)})
                for (const Ground& Under : Grounds) {
                    SCOPED_TRACE(testing::Message()
                                 << Case.Name << " at " << Ratio << ", shifted " << Shift.x() << "," << Shift.y()
                                 << ", on " << qPrintable(Under.Colour.name(QColor::HexArgb)) << " in format "
                                 << Under.Format);
                    const QImage Qts = Painted(Case, Ratio, Shift, Under, false);
                    EXPECT_LE(LargestChannelDifference(Qts, Painted(Case, Ratio, Shift, Under, true)), Case.Tolerance);
                    EXPECT_NE(Qts, Blank(Ratio, Under)) << "the case paints nothing";
                }
}

TEST(Shading, EveryStepOfTheRampIsQts)
{
    // A ramp laid over 1024 rows, so that row y shows step y.
    const std::vector<std::pair<qreal, QColor>> StopLists[] = {
        {{0, QColor(0x10, 0x20, 0x30)}, {1, QColor(0xf0, 0xe0, 0xd0)}},
        {{0, QColor(0xf7, 0xf8, 0xfa)}, {0.55, QColor(0x30, 0xa0, 0x40)}, {1, QColor(0xbb, 0xc1, 0xc8)}},
        {{0.2, QColor(255, 0, 0, 90)}, {0.3, QColor(0, 255, 0)}, {0.7, Qt::blue}, {0.95, QColor(9, 9, 9, 200)}},
    };
    for (const auto& Stops : StopLists) {
        QImage Qts(1, 1024, QImage::Format_ARGB32_Premultiplied), Mine = Qts;
        QLinearGradient Gradient(0, 0.5, 0, 1023.5);
        TShading Shade = TShading::Linear({0, 0.5}, {0, 1023.5});
        for (const auto& [Position, Colour] : Stops) {
            Gradient.setColorAt(Position, Colour);
            Shade.at(Position, Colour);
        }
        for (auto [Image, Shaded] : {std::pair(&Qts, false), std::pair(&Mine, true)}) {
            QPainter P(Image);
            P.setCompositionMode(QPainter::CompositionMode_Source);
            P.fillRect(Image->rect(), Shaded ? Shade.brush(P, Image->rect()) : QBrush(Gradient));
        }
        EXPECT_EQ(LargestChannelDifference(Qts, Mine), 0) << Stops.size() << " stops";
    }
}
