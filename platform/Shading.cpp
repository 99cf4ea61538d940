// SPDX-License-Identifier: GPL-3.0-or-later
#include "Shading.h"

#include <QImage>
#include <QPainter>
#include <QRgba64>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

// Qt quantises a ramp into this many steps; the same steps, found the same
// way, give the same colours to the last bit.
constexpr int Steps = 1024;

// Qt samples a transformed gradient at each pixel's centre moved by this much
// towards the top left (its rounding aid for images); the shading does too.
constexpr qreal SampleNudge = 1.0 / 65536;

// The colours of the steps, each worked out when first asked for: a picture
// uses a few dozen of the 1024.
//
// The steps are those of Qt's own ramps, which the pictures were drawn with.
// Between two stops they run straight from the step nearest the first stop to
// the one nearest the second, in 16-bit fixed point. With more stops, step i
// stands for position (i + 0.5) / Steps and mixes its two stops in 256ths,
// position and weight carried from step to step as Qt carries them, so that
// ties fall the same way. Colours mix premultiplied, 16 bits a channel.
class StepColours {
public:
    explicit StepColours(const std::vector<std::pair<qreal, QColor>>& Stops)
        : Known(Steps, false), Colours(Steps)
    {
        for (const auto& Stop : Stops)
            Stop64.push_back(Stop.second.rgba64().premultiplied());
        if (Stops.size() == 2) {
            First = qRound(Stops[0].first * (Steps - 1));
            Second = qRound(Stops[1].first * (Steps - 1));
            const QRgba64 A = Stop64[0], B = Stop64[1];
            const quint16 From[] = {A.red(), A.green(), A.blue(), A.alpha()};
            const quint16 To[] = {B.red(), B.green(), B.blue(), B.alpha()};
            for (int c = 0; c < 4; ++c)
                Delta[c] = Second > First ? qRound((qreal(To[c]) - From[c]) * 65536 / (Second - First)) : 0;
        } else if (Stops.size() > 2) {
            mixMultiStop(Stops);
        }
    }

    QRgb operator()(int Step)
    {
        if (!Known[Step]) {
            Colours[Step] = colour(Step).toArgb32();
            Known[Step] = true;
        }
        return Colours[Step];
    }

private:
    // Which pair of stops each step mixes, and its weight of the right one.
    struct Mix {
        quint16 Left;
        quint16 Weight;
    };

    void mixMultiStop(const std::vector<std::pair<qreal, QColor>>& Stops)
    {
        const quint16 Last = quint16(Stops.size() - 1);
        Mixes.assign(Steps, Mix{Last, 0});
        Mixes[0] = Mix{0, 0};
        const qreal Increment = 1.0 / Steps;
        qreal Position = 1.5 * Increment;
        int Step = 1;
        for (; Step < Steps && Position <= Stops.front().first; ++Step, Position += Increment)
            Mixes[Step] = Mix{0, 0};
        if (Position >= Stops.back().first)
            return;
        size_t Left = 0;
        qreal Weight = 0, WeightStep = 0;
        const auto enterPair = [&] {
            while (Position > Stops[Left + 1].first)
                ++Left;
            const qreal Span = Stops[Left + 1].first - Stops[Left].first;
            const qreal Scale = Span == 0 ? 0 : 256 / Span;
            Weight = (Position - Stops[Left].first) * Scale;
            WeightStep = Increment * Scale;
        };
        enterPair();
        while (Step < Steps - 1) {
            Mixes[Step++] = Mix{quint16(Left), quint16(qRound(Weight))};
            Position += Increment;
            if (Position >= Stops.back().first)
                break;
            Weight += WeightStep;
            if (Position > Stops[Left + 1].first)
                enterPair();
        }
    }

    QRgba64 colour(int Step) const
    {
        if (Stop64.size() == 2) {
            if (Step <= First)
                return Stop64[0];
            if (Step >= Second)
                return Stop64[1];
            const QRgba64 A = Stop64[0];
            const auto channel = [&](int c, quint16 From) {
                return quint16(((qint64(From) << 16) + 0x8000 + (Step - First) * Delta[c]) >> 16);
            };
            return QRgba64::fromRgba64(channel(0, A.red()), channel(1, A.green()), channel(2, A.blue()),
                                       channel(3, A.alpha()));
        }
        if (Stop64.size() < 2)
            return Stop64.front();
        const Mix M = Mixes[Step];
        if (M.Left + 1u >= Stop64.size())
            return Stop64.back();
        const QRgba64 A = Stop64[M.Left], B = Stop64[M.Left + 1];
        const uint Right = M.Weight;
        const auto mix = [&](quint16 L, quint16 R) { return quint16(((L * (256 - Right)) >> 8) + ((R * Right) >> 8)); };
        return QRgba64::fromRgba64(mix(A.red(), B.red()), mix(A.green(), B.green()), mix(A.blue(), B.blue()),
                                   mix(A.alpha(), B.alpha()));
    }

    std::vector<QRgba64> Stop64;
    int First = 0, Second = 0;
    qint64 Delta[4] = {};
    std::vector<Mix> Mixes;
    std::vector<bool> Known;
    std::vector<QRgb> Colours;
};

} // namespace

TShading::TShading(Kind Shape, QPointF From, QPointF To, qreal Radius)
    : Shape(Shape), From(From), To(To), Radius(Radius)
{
}

TShading TShading::Linear(QPointF Start, QPointF End)
{
    return TShading(Kind::Linear, Start, End, 0);
}

TShading TShading::Radial(QPointF Centre, qreal Radius)
{
    return TShading(Kind::Radial, Centre, Centre, Radius);
}

TShading& TShading::at(qreal Position, const QColor& Colour)
{
    Stops.emplace_back(std::clamp<qreal>(Position, 0, 1), Colour);
    return *this;
}

int TShading::stepAt(QPointF Point) const
{
    if (Shape == Kind::Radial) {
        if (!(Radius > 0))
            return 0;
        const qreal Dx = Point.x() - From.x(), Dy = Point.y() - From.y();
        const qreal Position = std::min<qreal>(std::sqrt(Dx * Dx + Dy * Dy) / Radius, 2);
        return std::min(int(Position * (Steps - 1) + 0.5), Steps - 1);
    }
    qreal Dx = To.x() - From.x(), Dy = To.y() - From.y();
    const qreal Length = Dx * Dx + Dy * Dy;
    if (Length == 0)
        return 0;
    Dx /= Length;
    Dy /= Length;
    const qreal Offset = -Dx * From.x() - Dy * From.y();
    const qreal Position = std::clamp<qreal>(Dx * Point.x() + Dy * Point.y() + Offset, -1, 2);
    // Fixed point with 8 fraction bits, rounded, as Qt walks its table.
    const int Fixed = int(Position * (Steps - 1) * 256);
    return std::clamp((Fixed + 128) >> 8, 0, Steps - 1);
}

bool TShading::opaque() const
{
    return std::all_of(Stops.begin(), Stops.end(), [](const auto& Stop) { return Stop.second.alpha() == 255; });
}

QBrush TShading::brush(const QPainter& Painter, const QRectF& Area) const
{
    const QTransform ToDevice = Painter.deviceTransform();
    bool Invertible = false;
    const QTransform ToLogical = ToDevice.inverted(&Invertible);
    const QRect Pixels = ToDevice.mapRect(Area).toAlignedRect();
    if (!Invertible || Pixels.isEmpty() || Stops.empty())
        return QBrush();

    // Where Qt samples a device pixel, in the painter's coordinates: the
    // pixel's centre, nudged under scaling.
    const QTransform Sampling = ToDevice.type() <= QTransform::TxTranslate
        ? QTransform::fromTranslate(-ToDevice.dx(), -ToDevice.dy())
        : (QTransform::fromTranslate(SampleNudge, SampleNudge) * ToDevice).inverted();

    // Qt paints a top-to-bottom ramp a row at a time, each row in one colour
    // found in fixed point. The brush repeats its image: a ramp that does not
    // change down a column needs one row, a top-to-bottom one a few columns
    // (enough that each run of pixels is blended in a few pieces, not one by
    // one).
    const bool TopToBottom = Shape == Kind::Linear && From.x() == To.x() && ToDevice.type() <= QTransform::TxScale;
    const QPointF Along = To - From;
    const bool SameDown = Shape == Kind::Linear && Along.x() * Sampling.m21() + Along.y() * Sampling.m22() == 0;

    // An opaque ramp that Qt paints pixel by pixel replaces what lies under a
    // shape's edge in proportion to the edge's coverage; one painted a row at
    // a time lays its colour over it. Texture images without and with alpha
    // take the same two ways.
    const bool Replaces = opaque() && !TopToBottom;
    constexpr int RepeatedColumns = 64;
    const QSize Size(TopToBottom ? std::min(Pixels.width(), RepeatedColumns) : Pixels.width(),
                     SameDown ? 1 : Pixels.height());
    QImage Image(Size, Replaces ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    StepColours Colour(Stops);
    if (TopToBottom) {
        const qreal Dy = Along.y() != 0 ? Along.y() / (Along.y() * Along.y()) : 0;
        const qreal Offset = -Dy * From.y();
        const auto fixed = [](qreal Value) {
            return int(std::clamp<qreal>(Value * (Steps - 1) * 256, -(1 << 30), 1 << 30));
        };
        const int RowStep = fixed(Dy * Sampling.m22());
        const int First = fixed(Dy * (Sampling.m22() * 0.5 + Sampling.dy()) + Offset);
        for (int y = 0; y < Image.height(); ++y) {
            const qint64 Position = qint64(RowStep) * (Pixels.y() + y) + First;
            const QRgb Row = Colour(int(std::clamp<qint64>((Position + 128) >> 8, 0, Steps - 1)));
            auto* Line = reinterpret_cast<QRgb*>(Image.scanLine(y));
            std::fill(Line, Line + Image.width(), Row);
        }
    } else {
        for (int y = 0; y < Image.height(); ++y) {
            auto* Line = reinterpret_cast<QRgb*>(Image.scanLine(y));
            for (int x = 0; x < Image.width(); ++x)
                Line[x] = Colour(stepAt(Sampling.map(QPointF(Pixels.x() + x + 0.5, Pixels.y() + y + 0.5))));
        }
    }
    // Texture pixel (0, 0) lands on device pixel Pixels.topLeft(), whatever
    // the painter's scaling: the painter applies its own transformation after
    // the brush's.
    QBrush Brush(Image);
    Brush.setTransform(QTransform::fromTranslate(Pixels.x(), Pixels.y()) * ToLogical);
    return Brush;
}
