// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pictures.h"
#include "Shading.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// ---------------------------------------------------------------------------
// Gauge icons: a framed screen over a small device with three buttons. The
// screen is either filled from the bottom by the load class or, without a
// connection, shows a red question mark and a blue cross.
// ---------------------------------------------------------------------------

struct ScreenFill {
    qreal Level;   // 0 .. 1 of the screen height, from the bottom
    QColor Light;  // top of the fill
    QColor Deep;   // bottom of the fill
};

// nullopt stands for the unknown state (no connection).
using IconLook = std::optional<ScreenFill>;

std::optional<IconLook> LookByName(const std::string& Name)
{
    if (Name == "GAUGEX")
        return IconLook{};
    if (Name == "GAUGE1")
        return IconLook{ScreenFill{0.25, QColor(0x42, 0xa5, 0xf5), QColor(0x15, 0x65, 0xc0)}};
    if (Name == "GAUGE2" || Name == "MAINICON")
        return IconLook{ScreenFill{0.50, QColor(0x66, 0xd1, 0x6a), QColor(0x2e, 0x8b, 0x35)}};
    if (Name == "GAUGE3")
        return IconLook{ScreenFill{0.75, QColor(0xff, 0xee, 0x58), QColor(0xf9, 0xc0, 0x10)}};
    if (Name == "GAUGE4")
        return IconLook{ScreenFill{1.00, QColor(0xef, 0x53, 0x50), QColor(0xc6, 0x28, 0x28)}};
    return std::nullopt;
}

// The icon is designed on a 32 x 32 grid. Edges are rounded to whole device
// pixels so that small sizes (16, 22, 24) stay sharp instead of smeared.
class IconGrid {
public:
    explicit IconGrid(const QRectF& Target)
        : Origin(Target.topLeft()), Scale(std::min(Target.width(), Target.height()) / 32.0)
    {
    }
    qreal x(qreal Gx) const { return Origin.x() + std::round(Gx * Scale); }
    qreal y(qreal Gy) const { return Origin.y() + std::round(Gy * Scale); }
    QRectF rect(qreal L, qreal T, qreal R, qreal B) const { return QRectF(QPointF(x(L), y(T)), QPointF(x(R), y(B))); }
    QPointF point(qreal Gx, qreal Gy) const { return QPointF(Origin.x() + Gx * Scale, Origin.y() + Gy * Scale); }
    qreal len(qreal G) const { return G * Scale; }
    // A hairline of at least one device pixel.
    qreal line() const { return std::max<qreal>(1.0, std::round(Scale * 0.5)); }

private:
    QPointF Origin;
    qreal Scale;
};

void PaintQuestionMark(QPainter& P, const IconGrid& G, QPointF Centre, qreal Height)
{
    const qreal Stroke = Height * 0.2;
    const qreal Radius = Height * 0.24;
    const QPointF ArcCentre(Centre.x(), Centre.y() - Height / 2 + Stroke / 2 + Radius);
    QPainterPath Hook;
    const QRectF ArcBox(ArcCentre.x() - Radius, ArcCentre.y() - Radius, 2 * Radius, 2 * Radius);
    Hook.arcMoveTo(QRectF(G.point(ArcBox.left(), ArcBox.top()), G.point(ArcBox.right(), ArcBox.bottom())), 165);
    Hook.arcTo(QRectF(G.point(ArcBox.left(), ArcBox.top()), G.point(ArcBox.right(), ArcBox.bottom())), 165, -230);
    const qreal StemTop = ArcCentre.y() + Radius * 1.35;
    Hook.quadTo(G.point(Centre.x(), ArcCentre.y() + Radius * 0.9), G.point(Centre.x(), StemTop));
    Hook.lineTo(G.point(Centre.x(), Centre.y() + Height * 0.2));
    P.setPen(QPen(QColor(0xe5, 0x39, 0x35), G.len(Stroke), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.setBrush(Qt::NoBrush);
    P.drawPath(Hook);
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(0xe5, 0x39, 0x35));
    const qreal Dot = Stroke * 0.62;
    P.drawEllipse(G.point(Centre.x(), Centre.y() + Height / 2 - Dot), G.len(Dot), G.len(Dot));
}

void PaintCross(QPainter& P, const IconGrid& G, QPointF Centre, qreal Half)
{
    P.setPen(QPen(QColor(0x1e, 0x6f, 0xd9), G.len(2.2), Qt::SolidLine, Qt::RoundCap));
    P.drawLine(G.point(Centre.x() - Half, Centre.y() - Half), G.point(Centre.x() + Half, Centre.y() + Half));
    P.drawLine(G.point(Centre.x() + Half, Centre.y() - Half), G.point(Centre.x() - Half, Centre.y() + Half));
}

void PaintGaugeIcon(QPainter& P, const QRectF& Target, const IconLook& Look)
{
    P.save();
    P.setRenderHint(QPainter::Antialiasing);
    const IconGrid G(Target);
    const qreal Hair = G.line();
    const QColor Outline(0x26, 0x2d, 0x34);

    // Device below the screen, drawn first so that the stand overlaps it.
    // A rounded box shaded from top to bottom, its outline inside the box.
    const auto shadedBox = [&](const QRectF& Box, const QColor& Top, const QColor& Bottom, qreal Radius) {
        P.setPen(QPen(Outline, Hair));
        P.setBrush(TShading::Linear(Box.topLeft(), Box.bottomLeft()).at(0, Top).at(1, Bottom).brush(P, Box));
        P.drawRoundedRect(Box.adjusted(Hair / 2, Hair / 2, -Hair / 2, -Hair / 2), Radius, Radius);
    };
    shadedBox(G.rect(5, 24, 27, 31), QColor(0x5d, 0x69, 0x76), QColor(0x3a, 0x43, 0x4d), G.len(1.6));
    const QColor Buttons[] = {QColor(0xf4, 0x43, 0x36), QColor(0xff, 0xc1, 0x07), QColor(0x4c, 0xc2, 0x50)};
    for (int i = 0; i < 3; ++i) {
        const QRectF Button = G.rect(9 + 5.5 * i, 26, 12 + 5.5 * i, 29);
        P.setPen(Qt::NoPen);
        P.setBrush(Buttons[i]);
        P.drawRoundedRect(Button, G.len(0.8), G.len(0.8));
    }

    // Stand.
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(0x4a, 0x55, 0x61));
    P.drawRect(G.rect(13, 21, 19, 24));

    // Bezel: a mid-tone frame reads on both light and dark panels.
    shadedBox(G.rect(1, 1, 31, 22), QColor(0x7a, 0x87, 0x95), QColor(0x4a, 0x55, 0x61), G.len(3));

    const QRectF Screen = G.rect(4, 4, 28, 20);
    P.setPen(Qt::NoPen);
    P.setBrush(TShading::Linear(Screen.topLeft(), Screen.bottomLeft())
                   .at(0, QColor(0xfb, 0xfd, 0xff))
                   .at(1, QColor(0xe3, 0xea, 0xf1))
                   .brush(P, Screen));
    P.drawRoundedRect(Screen, G.len(1.2), G.len(1.2));

    P.setClipRect(Screen);
    if (Look) {
        const qreal Top = G.y(20 - 16 * Look->Level);
        const QRectF Fill(QPointF(Screen.left(), Top), Screen.bottomRight());
        const QBrush Shade =
            TShading::Linear(Fill.topLeft(), Fill.bottomLeft()).at(0, Look->Light).at(1, Look->Deep).brush(P, Fill);
        P.setBrush(Shade);
        // Rounded at the bottom like the glass, straight across the top.
        P.drawRoundedRect(Fill, G.len(1.2), G.len(1.2));
        P.fillRect(QRectF(Fill.left(), Fill.top(), Fill.width(), std::min<qreal>(Fill.height(), G.len(2))), Shade);
    }
    // Quarter marks along the right edge of the screen, like a level scale.
    const QColor Mark(0x26, 0x2d, 0x34, 110);
    for (int q = 1; q < 4; ++q) {
        const qreal My = G.y(20 - 4 * q);
        P.fillRect(QRectF(G.x(24.5), My - Hair / 2, G.x(28) - G.x(24.5), Hair), Mark);
    }
    if (!Look) {
        PaintQuestionMark(P, G, QPointF(11, 12), 12);
        PaintCross(P, G, QPointF(20.5, 12), 3.6);
    }
    P.setClipping(false);

    // Inner shadow line under the bezel's top edge gives the screen depth.
    P.setPen(QPen(QColor(0, 0, 0, 60), Hair));
    P.setBrush(Qt::NoBrush);
    P.drawRoundedRect(Screen.adjusted(Hair / 2, Hair / 2, -Hair / 2, -Hair / 2), G.len(1.2), G.len(1.2));
    P.restore();
}

// An image keeps the raster engine that painted it for as long as it lives,
// some KiB each; the window and the tray hold their pictures for the whole
// run, so they get a copy of the pixels alone.
QPixmap PictureOf(const QImage& Painted)
{
    return QPixmap::fromImage(Painted.copy());
}

QImage GreyedOut(const QImage& Source)
{
    QImage Image = Source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < Image.height(); ++y) {
        auto* Line = reinterpret_cast<QRgb*>(Image.scanLine(y));
        for (int x = 0; x < Image.width(); ++x) {
            const int Grey = qGray(Line[x]);
            Line[x] = qRgba(Grey, Grey, Grey, qAlpha(Line[x]) / 2);
        }
    }
    return Image;
}

// Paints the picture at exactly the size asked, so that the tray and high-DPI
// screens get real pixels rather than a scaled-up 32 x 32 bitmap.
class GaugeIconEngine : public QIconEngine {
public:
    explicit GaugeIconEngine(IconLook Look)
        : Look(std::move(Look))
    {
    }

    void paint(QPainter* Painter, const QRect& Rect, QIcon::Mode Mode, QIcon::State State) override
    {
        if (Mode == QIcon::Disabled) {
            const qreal Ratio = Painter->device() ? Painter->device()->devicePixelRatioF() : 1.0;
            QPixmap Picture = pixmap(Rect.size() * Ratio, Mode, State);
            Picture.setDevicePixelRatio(Ratio);
            Painter->drawPixmap(Rect, Picture);
            return;
        }
        PaintGaugeIcon(*Painter, SquareIn(Rect), Look);
    }

    QPixmap pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State) override
    {
        if (Size.isEmpty())
            return QPixmap();
        QImage Image(Size, QImage::Format_ARGB32_Premultiplied);
        Image.fill(Qt::transparent);
        {
            QPainter Painter(&Image);
            PaintGaugeIcon(Painter, SquareIn(QRect(QPoint(0, 0), Size)), Look);
        }
        if (Mode == QIcon::Disabled)
            Image = GreyedOut(Image);
        return PictureOf(Image);
    }

    QSize actualSize(const QSize& Size, QIcon::Mode, QIcon::State) override { return Size; }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32),
                QSize(48, 48), QSize(64, 64), QSize(128, 128), QSize(256, 256)};
    }

    QIconEngine* clone() const override { return new GaugeIconEngine(Look); }
    QString key() const override { return QStringLiteral("ChanLoadGauge"); }

private:
    static QRectF SquareIn(const QRect& Rect)
    {
        const int Side = std::min(Rect.width(), Rect.height());
        return QRectF(Rect.x() + (Rect.width() - Side) / 2, Rect.y() + (Rect.height() - Side) / 2, Side, Side);
    }

    IconLook Look;
};

// ---------------------------------------------------------------------------
// Thermometers, 33 x 57 logical pixels: a tube on a light plate with four scale
// marks. The plate keeps the picture readable on dark window styles.
// ---------------------------------------------------------------------------

constexpr int ThermoWidth = 33;
constexpr int ThermoHeight = 57;
constexpr qreal TubeLeft = 11.5, TubeRight = 17.5, TubeTop = 7.5;
constexpr qreal TubeMid = (TubeLeft + TubeRight) / 2;
constexpr qreal BulbY = 45.0, BulbRadius = 5.5;
constexpr qreal ScaleBottom = 40.0, ScaleTop = 11.0;

qreal MarkY(int Mark)
{
    // Half-pixel positions keep one-pixel marks crisp at a ratio of 1.
    return std::floor(ScaleBottom - (ScaleBottom - ScaleTop) * Mark / 4.0) + 0.5;
}

void PaintThermometer(QPainter& P, int LoadClass)
{
    P.setRenderHint(QPainter::Antialiasing);
    const bool Empty = LoadClass == 1;

    const QRectF Plate(2.5, 3.5, 28, 49);
    P.setPen(QPen(QColor(0x83, 0x8f, 0x9b), 1));
    P.setBrush(TShading::Linear(Plate.topLeft(), Plate.bottomRight())
                   .at(0, QColor(0xfc, 0xfd, 0xfe))
                   .at(1, QColor(0xdf, 0xe5, 0xeb))
                   .brush(P, Plate));
    P.drawRoundedRect(Plate, 4, 4);

    const QColor Ink = Empty ? QColor(0x1c, 0x1c, 0x1c) : QColor(0x2f, 0x3b, 0x46);
    for (int Mark = 1; Mark <= 4; ++Mark) {
        const qreal My = MarkY(Mark);
        P.setPen(QPen(Ink, 1, Qt::SolidLine, Qt::FlatCap));
        P.drawLine(QPointF(TubeRight + 2.5, My), QPointF(Mark == 4 || Mark == 2 ? 26.5 : 24.5, My));
    }

    QPainterPath Tube;
    Tube.addRoundedRect(QRectF(TubeLeft, TubeTop, TubeRight - TubeLeft, BulbY - TubeTop), 3, 3);
    QPainterPath Bulb;
    Bulb.addEllipse(QPointF(TubeMid, BulbY), BulbRadius, BulbRadius);
    const QPainterPath Body = Tube.united(Bulb);

    P.setPen(Qt::NoPen);
    P.setBrush(TShading::Linear(QPointF(TubeLeft, 0), QPointF(TubeRight, 0))
                   .at(0, Empty ? QColor(0xf2, 0xf2, 0xf2) : QColor(0xf4, 0xf9, 0xff))
                   .at(1, Empty ? QColor(0xd2, 0xd2, 0xd2) : QColor(0xd6, 0xe3, 0xef))
                   .brush(P, Body.boundingRect()));
    P.drawPath(Body);

    if (Empty) {
        const qreal Inner = BulbRadius - 1.5;
        P.setBrush(TShading::Radial(QPointF(TubeMid - 1.5, BulbY - 1.5), BulbRadius)
                       .at(0, QColor(0xc8, 0xc8, 0xc8))
                       .at(1, QColor(0x80, 0x80, 0x80))
                       .brush(P, QRectF(TubeMid - Inner, BulbY - Inner, 2 * Inner, 2 * Inner)));
        P.drawEllipse(QPointF(TubeMid, BulbY), Inner, Inner);
    } else {
        const qreal Level = MarkY(LoadClass - 1);
        QPainterPath Column;
        Column.setFillRule(Qt::WindingFill);
        Column.addRoundedRect(QRectF(TubeMid - 1.5, Level - 0.5, 3, BulbY - Level + 0.5), 1, 1);
        Column.addEllipse(QPointF(TubeMid, BulbY), BulbRadius - 1.5, BulbRadius - 1.5);
        P.setBrush(TShading::Linear(QPointF(TubeMid - 2, 0), QPointF(TubeMid + 2, 0))
                       .at(0, QColor(0xff, 0x6b, 0x5e))
                       .at(1, QColor(0xc6, 0x1f, 0x1f))
                       .brush(P, Column.boundingRect()));
        P.drawPath(Column);

        // Pointer beside the column's top, in the class's colour.
        const QColor PointerColours[] = {QColor(0x1e, 0x6f, 0xd9), QColor(0xd3, 0x2f, 0x2f), QColor(0x15, 0x15, 0x15)};
        QPainterPath Pointer;
        Pointer.moveTo(TubeLeft - 1.5, Level);
        Pointer.lineTo(TubeLeft - 7.0, Level - 3.0);
        Pointer.lineTo(TubeLeft - 7.0, Level + 3.0);
        Pointer.closeSubpath();
        P.setPen(QPen(QColor(255, 255, 255, 200), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.setBrush(PointerColours[LoadClass - 2]);
        P.drawPath(Pointer);
    }

    P.setPen(QPen(Ink, 1));
    P.setBrush(Qt::NoBrush);
    P.drawPath(Body);

    // Glass highlight down the left side of the tube.
    P.setPen(QPen(QColor(255, 255, 255, 190), 1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(TubeLeft + 1.5, TubeTop + 2.5), QPointF(TubeLeft + 1.5, BulbY - BulbRadius - 1));
}

} // namespace

QIcon LoadIcon(const std::string& Name)
{
    const std::optional<IconLook> Look = LookByName(Name);
    if (!Look)
        return QIcon();
    return QIcon(new GaugeIconEngine(*Look));
}

QPixmap ThermometerPicture(int LoadClass, qreal DevicePixelRatio)
{
    if (LoadClass < 1 || LoadClass > 4)
        return QPixmap();
    if (!(DevicePixelRatio > 0) || !std::isfinite(DevicePixelRatio))
        DevicePixelRatio = 1.0;
    const QSize Pixels(std::lround(ThermoWidth * DevicePixelRatio), std::lround(ThermoHeight * DevicePixelRatio));
    QImage Image(Pixels, QImage::Format_ARGB32_Premultiplied);
    Image.setDevicePixelRatio(DevicePixelRatio);
    Image.fill(Qt::transparent);
    {
        QPainter Painter(&Image);
        PaintThermometer(Painter, LoadClass);
    }
    return PictureOf(Image);
}
