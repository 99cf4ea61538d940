// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageProbe.h"
#include "Pictures.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

const std::array<std::string, 5> GaugeNames = {"GAUGEX", "GAUGE1", "GAUGE2", "GAUGE3", "GAUGE4"};

QImage IconImage(const std::string& Name, int Size, QIcon::Mode Mode = QIcon::Normal)
{
    return LoadIcon(Name).pixmap(QSize(Size, Size), 1.0, Mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The icons are laid out on a 32 x 32 design grid; the screen spans 4..28
// across and 4..20 down.
int Px(double Grid, int Size)
{
    return int(std::lround(Grid * Size / 32.0));
}

QRect GridRect(double Left, double Top, double Right, double Bottom, int Size)
{
    return QRect(QPoint(Px(Left, Size), Px(Top, Size)), QPoint(Px(Right, Size) - 1, Px(Bottom, Size) - 1));
}

QRect OpaqueBounds(const QImage& Image)
{
    QRect Bounds;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x)
            if (qAlpha(Image.pixel(x, y)) > 0)
                Bounds |= QRect(x, y, 1, 1);
    return Bounds;
}

} // namespace

TEST(LoadIcon, UnknownNamesGiveNullIcons)
{
    for (const char* Name : {"", "GAUGE0", "GAUGE5", "GAUGE", "IMAGE1", "MAINICON "})
        EXPECT_TRUE(LoadIcon(Name).isNull()) << '"' << Name << '"';
}

TEST(LoadIcon, FillsTheAskedSizeAtEveryThemeSize)
{
    for (const std::string& Name : GaugeNames)
        for (int Size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QImage Image = IconImage(Name, Size);
            ASSERT_EQ(Image.size(), QSize(Size, Size)) << Name;
            const QRect Used = OpaqueBounds(Image);
            EXPECT_GE(Used.width(), Size * 0.85) << Name << " at " << Size;
            EXPECT_GE(Used.height(), Size * 0.85) << Name << " at " << Size;
            // The corners stay see-through, as a tray icon's should.
            EXPECT_EQ(qAlpha(Image.pixel(0, Size - 1)), 0) << Name << " at " << Size;
            EXPECT_EQ(qAlpha(Image.pixel(Size - 1, Size - 1)), 0) << Name << " at " << Size;
        }
}

TEST(LoadIcon, HighDpiPixmapCarriesItsRatio)
{
    const QIcon Icon = LoadIcon("GAUGE3");
    const QPixmap Sharp = Icon.pixmap(QSize(32, 32), 2.0);
    EXPECT_EQ(Sharp.size(), QSize(64, 64));
    EXPECT_DOUBLE_EQ(Sharp.devicePixelRatio(), 2.0);
    // Painted afresh at 64 device pixels, not a 32-pixel picture blown up.
    EXPECT_EQ(Sharp.toImage().convertToFormat(QImage::Format_ARGB32), IconImage("GAUGE3", 64));
}

TEST(LoadIcon, PicturesAreDistinctAndMainIconIsGauge2)
{
    for (int Size : {16, 32}) {
        std::vector<QImage> Images;
        for (const std::string& Name : GaugeNames)
            Images.push_back(IconImage(Name, Size));
        for (size_t a = 0; a < Images.size(); ++a)
            for (size_t b = a + 1; b < Images.size(); ++b)
                EXPECT_NE(Images[a], Images[b]) << GaugeNames[a] << " vs " << GaugeNames[b] << " at " << Size;
        EXPECT_EQ(IconImage("MAINICON", Size), IconImage("GAUGE2", Size));
    }
}

struct FillCase {
    const char* Name;
    double Level;
    Hue Colour;
};

class GaugeIconFill : public ::testing::TestWithParam<int> {};

TEST_P(GaugeIconFill, ScreenIsFilledFromBelowInTheClassColour)
{
    const int Size = GetParam();
    const FillCase Cases[] = {
        {"GAUGE1", 0.25, Hue::Blue},
        {"GAUGE2", 0.50, Hue::Green},
        {"GAUGE3", 0.75, Hue::Yellow},
        {"GAUGE4", 1.00, Hue::Red},
    };
    for (const FillCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const QImage Image = IconImage(Case.Name, Size);
        const double FillTop = 20 - 16 * Case.Level;
        // Keep clear of the screen's edges and of the level marks on its right.
        const QRect Filled = GridRect(5, FillTop + 1, 23, 19, Size);
        EXPECT_GE(ShareOf(Image, Filled, [&](QRgb P) { return HueOf(P) == Case.Colour; }), 0.9);
        if (Case.Level < 1) {
            const QRect Empty = GridRect(5, 5, 23, FillTop - 1, Size);
            EXPECT_GE(ShareOf(Image, Empty, [](QRgb P) { return HueOf(P) == Hue::Other; }), 0.9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, GaugeIconFill, ::testing::Values(32, 64));

TEST(LoadIcon, UnknownStateShowsRedQuestionMarkAndBlueCrossOnAnEmptyScreen)
{
    for (int Size : {32, 64}) {
        SCOPED_TRACE(Size);
        const QImage Image = IconImage("GAUGEX", Size);
        const QRect Left = GridRect(5, 5, 16, 20, Size);
        const QRect Right = GridRect(16, 5, 27, 20, Size);
        const int Area = Left.width() * Left.height();
        EXPECT_GT(CountOf(Image, Left, Hue::Red), Area / 10);
        EXPECT_GT(CountOf(Image, Right, Hue::Blue), Area / 10);
        EXPECT_EQ(CountOf(Image, Left, Hue::Blue), 0);
        EXPECT_EQ(CountOf(Image, Right, Hue::Red), 0);
        // No level: the bottom of the screen is not filled.
        const QRect Bottom = GridRect(17, 17, 27, 19, Size);
        EXPECT_GE(ShareOf(Image, Bottom, [](QRgb P) { return HueOf(P) == Hue::Other; }), 0.9);
    }
}

TEST(LoadIcon, EveryIconHasTheDeviceWithThreeColouredButtons)
{
    for (const std::string& Name : GaugeNames) {
        SCOPED_TRACE(Name);
        const QImage Image = IconImage(Name, 64);
        const QRect Device = GridRect(6, 25, 26, 30, 64);
        EXPECT_GT(CountOf(Image, Device, Hue::Red), 10);
        EXPECT_GT(CountOf(Image, Device, Hue::Yellow), 10);
        EXPECT_GT(CountOf(Image, Device, Hue::Green), 10);
    }
}

TEST(LoadIcon, DisabledModeIsGrey)
{
    const QImage Image = IconImage("GAUGE4", 32, QIcon::Disabled);
    EXPECT_GT(OpaqueBounds(Image).width(), 24);
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x) {
            const QRgb P = Image.pixel(x, y);
            ASSERT_TRUE(qAlpha(P) == 0 || (qRed(P) == qGreen(P) && qGreen(P) == qBlue(P))) << x << "," << y;
        }
}

// ---------------------------------------------------------------------------

namespace {

QImage Thermometer(int LoadClass, qreal Ratio, QColor Background = Qt::transparent)
{
    const QPixmap Picture = ThermometerPicture(LoadClass, Ratio);
    // Work in device pixels: composite the picture 1:1 over the background.
    QImage Source = Picture.toImage();
    Source.setDevicePixelRatio(1.0);
    QImage Image(Picture.size(), QImage::Format_ARGB32);
    Image.fill(Background);
    QPainter P(&Image);
    P.drawImage(0, 0, Source);
    P.end();
    return Image;
}

bool Dark(QRgb P)
{
    return qAlpha(P) > 128 && QColor::fromRgb(P).valueF() < 0.35;
}

// Rows (device pixels) of the scale marks: runs of dark pixels down a column
// right of the tube, inside the picture's frame. Returns the middle row of
// each run, top first.
std::vector<double> MarkRows(const QImage& Image, qreal Ratio)
{
    const int X = int(22 * Ratio);
    const int First = int(6 * Ratio), Last = int(52 * Ratio);
    std::vector<double> Rows;
    int RunStart = -1;
    for (int y = First; y <= Last + 1; ++y) {
        const bool On = y <= Last && Dark(Image.pixel(X, y));
        if (On && RunStart < 0)
            RunStart = y;
        if (!On && RunStart >= 0) {
            Rows.push_back((RunStart + y - 1) / 2.0);
            RunStart = -1;
        }
    }
    return Rows;
}

// Top row of the red column in the middle of the tube, or -1.
int ColumnTop(const QImage& Image, qreal Ratio)
{
    const int X = int(14.5 * Ratio);
    for (int y = 0; y < Image.height(); ++y)
        if (HueOf(Image.pixel(X, y)) == Hue::Red)
            return y;
    return -1;
}

} // namespace

TEST(ThermometerPicture, SizeFollowsTheDevicePixelRatio)
{
    for (qreal Ratio : {1.0, 1.25, 2.0, 3.0}) {
        for (int LoadClass = 1; LoadClass <= 4; ++LoadClass) {
            const QPixmap Picture = ThermometerPicture(LoadClass, Ratio);
            ASSERT_FALSE(Picture.isNull());
            EXPECT_EQ(Picture.size(), QSize(std::lround(33 * Ratio), std::lround(57 * Ratio)));
            EXPECT_DOUBLE_EQ(Picture.devicePixelRatio(), Ratio);
            EXPECT_EQ(Picture.deviceIndependentSize().toSize(), QSize(33, 57));
            // About 29 x 50 of the 33 x 57 is picture.
            const QRect Used = OpaqueBounds(Picture.toImage());
            EXPECT_NEAR(Used.width() / Ratio, 29, 1.5);
            EXPECT_NEAR(Used.height() / Ratio, 50, 1.5);
        }
    }
}

TEST(ThermometerPicture, OutOfRangeClassGivesNullAndBadRatioFallsBackToOne)
{
    EXPECT_TRUE(ThermometerPicture(0).isNull());
    EXPECT_TRUE(ThermometerPicture(5).isNull());
    EXPECT_TRUE(ThermometerPicture(-1, 2.0).isNull());
    for (qreal Bad : {0.0, -2.0, std::nan("")}) {
        const QPixmap Picture = ThermometerPicture(3, Bad);
        EXPECT_EQ(Picture.size(), QSize(33, 57));
        EXPECT_DOUBLE_EQ(Picture.devicePixelRatio(), 1.0);
    }
}

TEST(ThermometerPicture, ClassesLookDifferentAtEveryRatio)
{
    for (qreal Ratio : {1.0, 2.0}) {
        for (int a = 1; a <= 4; ++a)
            for (int b = a + 1; b <= 4; ++b)
                EXPECT_NE(Thermometer(a, Ratio), Thermometer(b, Ratio)) << a << " vs " << b << " at " << Ratio;
    }
}

TEST(ThermometerPicture, EmptyTubeIsBlackAndGreyOnly)
{
    for (qreal Ratio : {1.0, 2.0}) {
        const QImage Image = Thermometer(1, Ratio);
        EXPECT_EQ(ShareOf(Image, Image.rect(), [](QRgb P) { return HueOf(P) != Hue::Other; }), 0.0);
        EXPECT_EQ(ColumnTop(Image, Ratio), -1);
        EXPECT_EQ(MarkRows(Image, Ratio).size(), 4u);
    }
}

TEST(ThermometerPicture, ColumnReachesTheNextMarkAndPointerStandsBesideIt)
{
    const Hue PointerHue[] = {Hue::Blue, Hue::Red, Hue::Other};
    for (qreal Ratio : {1.0, 2.0, 4.0}) {
        SCOPED_TRACE(Ratio);
        int PreviousTop = int(57 * Ratio);
        for (int LoadClass = 2; LoadClass <= 4; ++LoadClass) {
            SCOPED_TRACE(LoadClass);
            const QImage Image = Thermometer(LoadClass, Ratio);
            const std::vector<double> Marks = MarkRows(Image, Ratio);
            ASSERT_EQ(Marks.size(), 4u);
            const int Top = ColumnTop(Image, Ratio);
            ASSERT_GE(Top, 0);
            EXPECT_LT(Top, PreviousTop);
            PreviousTop = Top;
            // Marks are listed top first: class 2 reaches the lowest one.
            const double Mark = Marks[4 - (LoadClass - 1)];
            EXPECT_NEAR(Top, Mark, 1.5 * Ratio);

            // The pointer is left of the tube and its bulb, in blue, red or black.
            const QRect Beside(QPoint(int(3 * Ratio), 0), QPoint(int(8 * Ratio), Image.height() - 1));
            double Sum = 0;
            int Count = 0;
            for (int y = Beside.top(); y <= Beside.bottom(); ++y)
                for (int x = Beside.left(); x <= Beside.right(); ++x) {
                    const QRgb P = Image.pixel(x, y);
                    const bool Pointer = PointerHue[LoadClass - 2] == Hue::Other
                        ? Dark(P)
                        : HueOf(P) == PointerHue[LoadClass - 2];
                    if (Pointer) {
                        Sum += y;
                        ++Count;
                    }
                }
            ASSERT_GT(Count, int(4 * Ratio * Ratio));
            EXPECT_NEAR(Sum / Count, Mark, 1.5 * Ratio);
            for (Hue Other : {Hue::Blue, Hue::Red}) {
                if (Other != PointerHue[LoadClass - 2]) {
                    EXPECT_EQ(CountOf(Image, Beside, Other), 0);
                }
            }
        }
    }
}

TEST(ThermometerPicture, ScaleStaysVisibleOnLightAndDarkWindows)
{
    for (QColor Background : {QColor(Qt::white), QColor(0x20, 0x20, 0x20), QColor(Qt::black)}) {
        for (int LoadClass = 1; LoadClass <= 4; ++LoadClass) {
            const QImage Image = Thermometer(LoadClass, 1.0, Background);
            EXPECT_EQ(MarkRows(Image, 1.0).size(), 4u) << LoadClass << " on " << qPrintable(Background.name());
        }
    }
}
