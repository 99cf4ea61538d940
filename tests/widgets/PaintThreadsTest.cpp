// SPDX-License-Identifier: GPL-3.0-or-later
// A program of its own: it needs a process in which nothing has painted yet.
#include "Gauge.h"
#include "Pictures.h"
#include "QtTestApp.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// Threads of this process, or -1 where the system does not tell.
int Threads()
{
    QFile Status(QStringLiteral("/proc/self/status"));
    if (!Status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& Line : Status.readAll().split('\n'))
        if (Line.startsWith("Threads:"))
            return Line.mid(8).trimmed().toInt();
    return -1;
}

} // namespace

TEST(Pictures, ArePaintedWithoutHelperThreads)
{
    EnsureApplication();
    const int Before = Threads();
    if (Before < 0)
        GTEST_SKIP() << "no thread count from the system";

    for (const char* Look : {"GAUGEX", "GAUGE1", "GAUGE2", "GAUGE3", "GAUGE4"})
        for (int Size : {16, 22, 24, 32, 48, 64, 128, 256})
            for (qreal Ratio : {1.0, 1.25, 1.5, 2.0})
                for (QIcon::Mode Mode : {QIcon::Normal, QIcon::Disabled})
                    ASSERT_FALSE(LoadIcon(Look).pixmap(QSize(Size, Size), Ratio, Mode).isNull());
    for (int LoadClass = 1; LoadClass <= 4; ++LoadClass)
        for (qreal Ratio : {1.0, 1.25, 1.5, 2.0, 3.0})
            ASSERT_FALSE(ThermometerPicture(LoadClass, Ratio).isNull());
    TGauge Gauge;
    Gauge.resize(Gauge.sizeHint());
    for (int Value : {0, 50, 100})
        for (qreal Ratio : {1.0, 1.25, 1.5, 2.0}) {
            Gauge.setValue(Value);
            QImage Face(Gauge.size() * Ratio, QImage::Format_ARGB32_Premultiplied);
            Face.setDevicePixelRatio(Ratio);
            Face.fill(Qt::transparent);
            Gauge.render(&Face);
        }
    EXPECT_EQ(Threads(), Before);

    // The count does see Qt's helpers: one large fill, painted whole, starts them.
    QImage Large(200, 200, QImage::Format_ARGB32_Premultiplied);
    Large.fill(Qt::transparent);
    QPainter P(&Large);
    P.setRenderHint(QPainter::Antialiasing);
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(0x42, 0xa5, 0xf5, 200));
    P.drawEllipse(QRectF(0.5, 0.5, 199, 199));
    P.end();
    EXPECT_GT(Threads(), Before);
}
