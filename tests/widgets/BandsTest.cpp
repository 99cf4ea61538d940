// SPDX-License-Identifier: GPL-3.0-or-later
#include "Bands.h"
#include "Pictures.h"
#include "Shading.h"

#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>

namespace {

// A scene of the kinds the pictures draw, all inside a 40 x 40 box.
struct Scene {
    const char* Name;
    std::function<void(QPainter&)> Paint;
};

const Scene Scenes[] = {
    {"shaded rounded box with a hairline outline",
     [](QPainter& P) {
         const QRectF Box(2.5, 3.5, 33, 34);
         P.setPen(QPen(QColor(0x26, 0x2d, 0x34), 1));
         P.setBrush(TShading::Linear(Box.topLeft(), Box.bottomRight())
                        .at(0, QColor(0xfc, 0xfd, 0xfe))
                        .at(1, QColor(0x4a, 0x55, 0x61))
                        .brush(P, Box));
         P.drawRoundedRect(Box, 5, 5);
     }},
    {"disc with a radial shading",
     [](QPainter& P) {
         P.setPen(Qt::NoPen);
         P.setBrush(TShading::Radial(QPointF(17, 18), 15)
                        .at(0, QColor(0xc8, 0xc8, 0xc8))
                        .at(1, QColor(0x80, 0x80, 0x80))
                        .brush(P, QRectF(4, 5, 30, 30)));
         P.drawEllipse(QPointF(19, 20), 15, 15);
     }},
    {"thick round-capped stroke",
     [](QPainter& P) {
         QPainterPath Hook;
         Hook.moveTo(6, 30);
         Hook.cubicTo(10, 2, 34, 2, 30, 36);
         P.setPen(QPen(QColor(0xe5, 0x39, 0x35), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         P.setBrush(Qt::NoBrush);
         P.drawPath(Hook);
     }},
    {"translucent fill clipped by the scene itself",
     [](QPainter& P) {
         P.save();
         P.setClipRect(QRectF(4, 6, 30, 26), Qt::IntersectClip);
         P.setPen(Qt::NoPen);
         P.setBrush(QColor(0x1e, 0x6f, 0xd9, 150));
         P.drawEllipse(QRectF(0.3, 0.6, 39, 39));
         P.restore();
         P.fillRect(QRectF(24.5, 10.5, 10, 1), QColor(0x26, 0x2d, 0x34, 110));
     }},
    {"bold text",
     [](QPainter& P) {
         QFont Font = P.font();
         Font.setBold(true);
         Font.setPixelSize(15);
         P.setFont(Font);
         P.setPen(QColor(0x22, 0x27, 0x2e));
         P.drawText(QRectF(0, 8, 40, 24), Qt::AlignCenter, QStringLiteral("100%"));
     }},
};

QImage Painted(const Scene& Case, qreal Ratio, bool InBands, int* Calls = nullptr)
{
    const int Side = int(std::lround(40 * Ratio));
    QImage Image(Side, Side, QImage::Format_ARGB32_Premultiplied);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::transparent);
    QPainter P(&Image);
    P.setRenderHint(QPainter::Antialiasing);
    const auto Once = [&] {
        if (Calls)
            ++*Calls;
        P.save();
        Case.Paint(P);
        P.restore();
    };
    if (InBands)
        PaintInBands(P, QRectF(0, 0, 40, 40), Once);
    else
        Once();
    P.end();
    return Image;
}

} // namespace

TEST(PaintInBands, GivesThePixelsOfOneWholePaint)
{
    for (const Scene& Case : Scenes)
        for (qreal Ratio : {1.0, 1.25, 1.5, 2.0}) {
            SCOPED_TRACE(std::string(Case.Name) + " at " + std::to_string(Ratio));
            int Calls = 0;
            const QImage Banded = Painted(Case, Ratio, true, &Calls);
            // 40, 50, 60 and 80 device rows in bands of 8.
            const int Rows = int(std::lround(40 * Ratio));
            EXPECT_EQ(Calls, (Rows + 7) / 8);
            EXPECT_EQ(Banded, Painted(Case, Ratio, false));
        }
}

TEST(PaintInBands, PaintsAShortAreaOnceWithoutClipping)
{
    QImage Image(20, 20, QImage::Format_ARGB32_Premultiplied);
    Image.setDevicePixelRatio(2.0);
    QPainter P(&Image);
    // Rows 4 .. 11 on the device: one band's worth.
    for (const QRectF& Area : {QRectF(0, 2, 10, 4), QRectF(0, 2.2, 10, 3.6)}) {
        int Calls = 0;
        bool Clipped = true;
        PaintInBands(P, Area, [&] {
            ++Calls;
            Clipped = P.hasClipping();
        });
        EXPECT_EQ(Calls, 1);
        EXPECT_FALSE(Clipped);
    }
}

namespace {

const std::array<const char*, 5> Looks = {"GAUGEX", "GAUGE1", "GAUGE2", "GAUGE3", "GAUGE4"};

// The icon painted whole onto an image of Pixels x Pixels device pixels.
QImage WholeIcon(const char* Look, int Pixels)
{
    QImage Image(Pixels, Pixels, QImage::Format_ARGB32_Premultiplied);
    Image.fill(Qt::transparent);
    QPainter P(&Image);
    LoadIcon(Look).paint(&P, Image.rect());
    P.end();
    return Image;
}

// The greyed-out look as QImage's own conversions give it on the whole image.
QImage GreyedWhole(const QImage& Picture)
{
    QImage Image = Picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x) {
            const QRgb P = Image.pixel(x, y);
            const int Grey = qGray(P);
            Image.setPixel(x, y, qRgba(Grey, Grey, Grey, qAlpha(P) / 2));
        }
    return Image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

TEST(LoadIcon, PixmapsAreTheWholeIconsPixels)
{
    for (const char* Look : Looks)
        for (int Size : {16, 22, 24, 32, 48, 64, 128, 256})
            for (qreal Ratio : {1.0, 1.25, 1.5, 2.0}) {
                SCOPED_TRACE(std::string(Look) + " at " + std::to_string(Size) + " x " + std::to_string(Ratio));
                const int Pixels = int(std::lround(Size * Ratio));
                const QImage Whole = WholeIcon(Look, Pixels);
                QImage Normal = LoadIcon(Look).pixmap(QSize(Size, Size), Ratio).toImage();
                Normal.setDevicePixelRatio(1.0);
                ASSERT_EQ(Normal.size(), QSize(Pixels, Pixels));
                EXPECT_EQ(Normal, Whole);
                // Large enough for the disabled look to be greyed in strips.
                if (Size == 256 || Size == 22) {
                    QImage Disabled = LoadIcon(Look).pixmap(QSize(Size, Size), Ratio, QIcon::Disabled).toImage();
                    Disabled.setDevicePixelRatio(1.0);
                    EXPECT_EQ(Disabled.convertToFormat(QImage::Format_ARGB32_Premultiplied), GreyedWhole(Whole));
                }
            }
}
