// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct Difference {
    double Mean;     // mean of the largest channel difference per pixel
    double Outliers; // share of pixels off by more than a quarter of the range
};

Difference Compare(const QImage& A, const QImage& B)
{
    double Sum = 0;
    int Far = 0;
    for (int y = 0; y < A.height(); ++y)
        for (int x = 0; x < A.width(); ++x) {
            const QRgb P = A.pixel(x, y), Q = B.pixel(x, y);
            const int D = std::max({std::abs(qRed(P) - qRed(Q)), std::abs(qGreen(P) - qGreen(Q)),
                                    std::abs(qBlue(P) - qBlue(Q)), std::abs(qAlpha(P) - qAlpha(Q))});
            Sum += D;
            Far += D > 64 ? 1 : 0;
        }
    const double All = double(A.width()) * A.height();
    return {Sum / All, Far / All};
}

} // namespace

TEST(ScalableIcon, DrawsTheSamePictureAsMainIcon)
{
    QSvgRenderer Svg(QStringLiteral(CHANLOAD_SVG_ICON));
    ASSERT_TRUE(Svg.isValid());
    EXPECT_EQ(Svg.viewBoxF(), QRectF(0, 0, 32, 32));
    // From 64 pixels up the painted icon's outlines are half a grid unit, as
    // in the file; below that they are widened to whole pixels on purpose.
    for (int Size : {64, 128, 256}) {
        SCOPED_TRACE(Size);
        QImage Drawn(Size, Size, QImage::Format_ARGB32_Premultiplied);
        Drawn.fill(Qt::transparent);
        QPainter P(&Drawn);
        Svg.render(&P);
        P.end();
        const QImage Painted = LoadIcon("MAINICON").pixmap(QSize(Size, Size), 1.0).toImage();
        const Difference D = Compare(Drawn.convertToFormat(QImage::Format_ARGB32),
                                     Painted.convertToFormat(QImage::Format_ARGB32));
        EXPECT_LT(D.Mean, 1.5);
        EXPECT_LT(D.Outliers, 0.002);
        // And it is not just any picture: another gauge differs clearly.
        const QImage Other = LoadIcon("GAUGE4").pixmap(QSize(Size, Size), 1.0).toImage();
        EXPECT_GT(Compare(Drawn.convertToFormat(QImage::Format_ARGB32),
                          Other.convertToFormat(QImage::Format_ARGB32)).Outliers, 0.1);
    }
}
