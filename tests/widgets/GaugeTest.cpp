// SPDX-License-Identifier: GPL-3.0-or-later
#include "Gauge.h"
#include "ImageProbe.h"
#include "QtTestApp.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPalette>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

QImage Render(TGauge& Gauge, qreal Ratio = 1.0)
{
    QImage Image(Gauge.size() * Ratio, QImage::Format_ARGB32_Premultiplied);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::transparent);
    Gauge.render(&Image, QPoint(), QRegion(), QWidget::DrawChildren);
    return Image.convertToFormat(QImage::Format_ARGB32);
}

QImage RenderAt(int Value, qreal Ratio = 1.0)
{
    TGauge Gauge;
    Gauge.resize(49, 33);
    Gauge.setValue(Value);
    return Render(Gauge, Ratio);
}

// Centre of the red needle's pixels.
QPointF NeedleCentre(const QImage& Image)
{
    double X = 0, Y = 0;
    int Count = 0;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x)
            if (HueOf(Image.pixel(x, y)) == Hue::Red) {
                X += x;
                Y += y;
                ++Count;
            }
    return Count ? QPointF(X / Count, Y / Count) : QPointF(-1, -1);
}

} // namespace

TEST(Gauge, KeepsTheValueAsGivenAndShowsItHeldToTheRange)
{
    TGauge Gauge;
    EXPECT_EQ(Gauge.value(), 0);
    EXPECT_EQ(Gauge.valueText(), "0%");
    const std::pair<int, const char*> Cases[] = {
        {66, "66%"}, {100, "100%"}, {150, "100%"}, {-20, "0%"}, {INT_MAX, "100%"}, {INT_MIN, "0%"}};
    for (const auto& [Value, Text] : Cases) {
        Gauge.setValue(Value);
        EXPECT_EQ(Gauge.value(), Value);
        EXPECT_EQ(Gauge.valueText(), Text) << Value;
    }
}

TEST(Gauge, PaintingIsHeldToTheRange)
{
    EXPECT_EQ(RenderAt(150), RenderAt(100));
    EXPECT_EQ(RenderAt(INT_MAX), RenderAt(100));
    EXPECT_EQ(RenderAt(-20), RenderAt(0));
    EXPECT_EQ(RenderAt(INT_MIN), RenderAt(0));
    EXPECT_NE(RenderAt(0), RenderAt(50));
    EXPECT_NE(RenderAt(66), RenderAt(67));
}

TEST(Gauge, NeedleSweepsFromLeftOverTheTopToRight)
{
    const qreal Ratio = 2.0;
    const QImage Zero = RenderAt(0, Ratio);
    const double Middle = Zero.width() / 2.0;
    double PreviousX = -1;
    for (int Value : {0, 25, 50, 75, 100}) {
        const QPointF Needle = NeedleCentre(RenderAt(Value, Ratio));
        ASSERT_GE(Needle.x(), 0) << "no needle at " << Value;
        EXPECT_GT(Needle.x(), PreviousX) << Value;
        PreviousX = Needle.x();
        if (Value == 50) {
            EXPECT_NEAR(Needle.x(), Middle, 2.0);
        }
    }
    const QPointF Low = NeedleCentre(RenderAt(0, Ratio));
    const QPointF Up = NeedleCentre(RenderAt(50, Ratio));
    const QPointF High = NeedleCentre(RenderAt(100, Ratio));
    EXPECT_LT(Low.x(), Middle - 20);
    EXPECT_GT(High.x(), Middle + 20);
    EXPECT_LT(Up.y(), Low.y() - 15);
    EXPECT_NEAR(Low.y(), High.y(), 2.0);
}

TEST(Gauge, FaceDoesNotFollowADarkPalette)
{
    // The silver face carries its own dark ink; a dark style must not turn the
    // figures light on silver.
    TGauge Light;
    Light.resize(49, 33);
    Light.setValue(66);
    TGauge Dark;
    Dark.resize(49, 33);
    QPalette Night;
    Night.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    Night.setColor(QPalette::WindowText, Qt::white);
    Night.setColor(QPalette::Text, Qt::white);
    Night.setColor(QPalette::Base, Qt::black);
    Dark.setPalette(Night);
    Dark.setValue(66);
    EXPECT_EQ(Render(Dark), Render(Light));
}

TEST(GaugeAccessibility, ReportsNameRoleAndValue)
{
    TGauge Gauge;
    Gauge.setAccessibleName("Channel efficiency");
    Gauge.setValue(66);
    QAccessibleInterface* Face = QAccessible::queryAccessibleInterface(&Gauge);
    ASSERT_NE(Face, nullptr);
    EXPECT_EQ(Face->role(), QAccessible::ProgressBar);
    EXPECT_EQ(Face->text(QAccessible::Name), "Channel efficiency");
    EXPECT_EQ(Face->text(QAccessible::Value), "66%");
    QAccessibleValueInterface* Value = Face->valueInterface();
    ASSERT_NE(Value, nullptr);
    EXPECT_EQ(Value->currentValue().toInt(), 66);
    EXPECT_EQ(Value->minimumValue().toInt(), 0);
    EXPECT_EQ(Value->maximumValue().toInt(), 100);

    Gauge.setValue(150);
    EXPECT_EQ(Value->currentValue().toInt(), 100);
    EXPECT_EQ(Face->text(QAccessible::Value), "100%");
    Gauge.setValue(-5);
    EXPECT_EQ(Value->currentValue().toInt(), 0);
    EXPECT_EQ(Face->text(QAccessible::Value), "0%");
}

namespace {

// The readout's size as it was first found: every size from the largest down
// measured until one fits.
int ReadoutSizeByEveryTry(const QFont& Base, qreal Radius)
{
    QFont Font = Base;
    Font.setBold(true);
    Font.setPixelSize(std::max(6, static_cast<int>(Radius * 0.46)));
    while (Font.pixelSize() > 6 && QFontMetricsF(Font).horizontalAdvance(QStringLiteral("100%")) > Radius)
        Font.setPixelSize(Font.pixelSize() - 1);
    return Font.pixelSize();
}

} // namespace

TEST(Gauge, ReadoutSizeIsTheLargestThatFits)
{
    std::vector<QFont> Bases;
    for (const QString& Family : QFontDatabase::families()) {
        QFont Points(Family, 9);
        Bases.push_back(Points);
        for (int Pixels : {7, 12, 20, 40}) {
            QFont Sized(Family);
            Sized.setPixelSize(Pixels);
            Bases.push_back(Sized);
        }
    }
    ASSERT_FALSE(Bases.empty());
    int Shrunk = 0;
    for (const QFont& Base : Bases)
        // Dials from the smallest (radius 4) to 200 x 100 pixels.
        for (qreal Radius = 4; Radius <= 99; Radius += 0.5) {
            const int Expected = ReadoutSizeByEveryTry(Base, Radius);
            ASSERT_EQ(TGauge::readoutPixelSize(Base, Radius), Expected)
                << Base.family().toStdString() << ", " << Base.pointSize() << " pt / " << Base.pixelSize()
                << " px, radius " << Radius;
            Shrunk += Expected < std::max(6, int(Radius * 0.46));
        }
    // The table holds dials on which the first size does not fit.
    EXPECT_GT(Shrunk, 0);
}
