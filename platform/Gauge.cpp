// SPDX-License-Identifier: GPL-3.0-or-later
#include "Gauge.h"
#include "Shading.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int GaugeMin = 0;
constexpr int GaugeMax = 100;

// Tells a screen reader what the dial shows: a read-only value from 0 to 100
// and its printed percentage. The name is the widget's accessible name.
class TGaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TGaugeAccessible(TGauge* Gauge)
        : QAccessibleWidget(Gauge, QAccessible::ProgressBar)
    {
    }

    void* interface_cast(QAccessible::InterfaceType Type) override
    {
        if (Type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(Type);
    }

    QString text(QAccessible::Text Kind) const override
    {
        if (Kind == QAccessible::Value)
            return gauge()->valueText();
        return QAccessibleWidget::text(Kind);
    }

    QVariant currentValue() const override { return gauge()->shownValue(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return GaugeMax; }
    QVariant minimumValue() const override { return GaugeMin; }
    QVariant minimumStepSize() const override { return 1; }

private:
    TGauge* gauge() const { return static_cast<TGauge*>(widget()); }
};

QAccessibleInterface* GaugeAccessibleFactory(const QString& ClassName, QObject* Object)
{
    if (ClassName == QLatin1String("TGauge") && Object && Object->isWidgetType())
        return new TGaugeAccessible(static_cast<TGauge*>(Object));
    return nullptr;
}

void InstallGaugeAccessibility()
{
    static const bool Installed = [] {
        QAccessible::installFactory(GaugeAccessibleFactory);
        return true;
    }();
    (void)Installed;
}

QPointF OnArc(QPointF Pivot, qreal Radius, qreal Fraction)
{
    // 0 lies on the left, 100 on the right, over the top.
    const qreal Angle = std::numbers::pi * (1.0 - Fraction);
    return QPointF(Pivot.x() + Radius * std::cos(Angle), Pivot.y() - Radius * std::sin(Angle));
}

} // namespace

TGauge::TGauge(QWidget* parent)
    : QWidget(parent)
{
    InstallGaugeAccessibility();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TGauge::setValue(int Value)
{
    if (Value == Progress)
        return;
    Progress = Value;
    update();
    QAccessibleValueChangeEvent Event(this, shownValue());
    QAccessible::updateAccessibility(&Event);
}

int TGauge::shownValue() const
{
    return std::clamp(Progress, GaugeMin, GaugeMax);
}

QString TGauge::valueText() const
{
    return QString::number(shownValue()) + QLatin1Char('%');
}

QSize TGauge::sizeHint() const
{
    return QSize(49, 33);
}

QSize TGauge::minimumSizeHint() const
{
    return QSize(30, 20);
}

int TGauge::readoutPixelSize(const QFont& Base, qreal Radius)
{
    constexpr int Least = 6;
    const QString Widest = QStringLiteral("100%");
    const int Most = std::max(Least, static_cast<int>(Radius * 0.46));
    // Qt keeps a font engine for every size measured, for the whole run, so
    // the search starts where the width in Base's own face, whose engine is
    // already in use, puts it; bold is a little wider, so that guess is at
    // most a size or two high.
    const QFontMetricsF Guide(Base);
    const qreal GuideWidth = Guide.horizontalAdvance(Widest);
    const int GuidePixels = QFontInfo(Base).pixelSize();
    int Size = Most;
    if (GuideWidth > 0 && GuidePixels > 0)
        Size = std::clamp(static_cast<int>(Radius * GuidePixels / GuideWidth), Least, Most);

    QFont Bold = Base;
    Bold.setBold(true);
    const auto fits = [&](int Pixels) {
        Bold.setPixelSize(Pixels);
        return QFontMetricsF(Bold).horizontalAdvance(Widest) <= Radius;
    };
    if (fits(Size)) {
        while (Size < Most && fits(Size + 1))
            ++Size;
    } else {
        while (Size > Least && !fits(--Size)) {
        }
    }
    return Size;
}

void TGauge::paintEvent(QPaintEvent*)
{
    QPainter P(this);
    P.setRenderHint(QPainter::Antialiasing);
    P.setRenderHint(QPainter::TextAntialiasing);

    // The face is silver whatever the palette, so its ink is fixed and dark;
    // that keeps it readable under dark styles as well.
    const QColor Ink(0x22, 0x27, 0x2e);
    const qreal W = width(), H = height();
    const qreal Radius = std::max<qreal>(4.0, std::min(W / 2 - 1, H - 4));
    const QPointF Pivot(W / 2, 1 + Radius);

    // Half a disc standing on a narrow base.
    QPainterPath Face;
    const QRectF Circle(Pivot.x() - Radius, Pivot.y() - Radius, 2 * Radius, 2 * Radius);
    Face.moveTo(Pivot.x() - Radius, H - 1);
    Face.lineTo(Pivot.x() - Radius, Pivot.y());
    Face.arcTo(Circle, 180, -180);
    Face.lineTo(Pivot.x() + Radius, H - 1);
    Face.closeSubpath();
    P.setPen(QPen(QColor(0x6e, 0x77, 0x81), 1));
    P.setBrush(TShading::Linear(QPointF(0, 0), QPointF(0, H))
                   .at(0.0, QColor(0xf7, 0xf8, 0xfa))
                   .at(0.55, QColor(0xdc, 0xe0, 0xe5))
                   .at(1.0, QColor(0xbb, 0xc1, 0xc8))
                   .brush(P, Face.boundingRect()));
    P.drawPath(Face);

    // Scale: long marks at 0, 50 and 100, shorter ones every tenth.
    for (int Step = 0; Step <= 10; ++Step) {
        const bool Major = Step % 5 == 0;
        const qreal F = Step / 10.0;
        P.setPen(QPen(Ink, Major ? 1.2 : 0.8, Qt::SolidLine, Qt::FlatCap));
        P.drawLine(OnArc(Pivot, Radius * (Major ? 0.72 : 0.80), F), OnArc(Pivot, Radius * 0.93, F));
    }

    // The readout sits in the middle of the dial, so the needle only sweeps the
    // outer ring and never crosses the figure.
    QFont Font = font();
    Font.setBold(true);
    Font.setPixelSize(readoutPixelSize(font(), Radius));
    P.setFont(Font);
    P.setPen(Ink);
    const QFontMetricsF Metrics(Font);
    const QRectF Readout(0, Pivot.y() - Metrics.ascent(), W, Metrics.ascent() + Metrics.descent());
    P.drawText(Readout, Qt::AlignHCenter | Qt::AlignBottom, valueText());

    const qreal Shown = shownValue() / 100.0;
    const qreal Needle = std::max<qreal>(1.5, Radius * 0.08);
    P.setPen(QPen(QColor(0xd0, 0x1f, 0x1f), Needle, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(OnArc(Pivot, Radius * 0.58, Shown), OnArc(Pivot, Radius * 0.90, Shown));
}
