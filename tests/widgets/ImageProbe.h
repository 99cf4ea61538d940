// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers to ask questions about rendered pictures.
#include <QColor>
#include <QImage>
#include <QRect>

#include <functional>

enum class Hue { Red, Yellow, Green, Blue, Other };

// The colour family of a clearly coloured pixel; Other for greys, whites,
// blacks and transparent pixels.
inline Hue HueOf(QRgb Pixel)
{
    const QColor C = QColor::fromRgba(Pixel);
    if (C.alpha() < 128 || C.hsvSaturationF() < 0.35 || C.valueF() < 0.25)
        return Hue::Other;
    const float H = C.hsvHueF() * 360;
    if (H < 20 || H >= 335)
        return Hue::Red;
    if (H >= 40 && H < 70)
        return Hue::Yellow;
    if (H >= 90 && H < 160)
        return Hue::Green;
    if (H >= 190 && H < 250)
        return Hue::Blue;
    return Hue::Other;
}

// Share (0..1) of the pixels inside Area that satisfy Test.
inline double ShareOf(const QImage& Image, const QRect& Area, const std::function<bool(QRgb)>& Test)
{
    int Hits = 0, All = 0;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x) {
            ++All;
            Hits += Test(Image.pixel(x, y)) ? 1 : 0;
        }
    return All ? double(Hits) / All : 0.0;
}

inline int CountOf(const QImage& Image, const QRect& Area, Hue Wanted)
{
    int Hits = 0;
    for (int y = Area.top(); y <= Area.bottom(); ++y)
        for (int x = Area.left(); x <= Area.right(); ++x)
            Hits += HueOf(Image.pixel(x, y)) == Wanted ? 1 : 0;
    return Hits;
}
