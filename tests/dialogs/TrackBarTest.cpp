// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "QtTestApp.h"
#include "TrackBar.h"

namespace {

class TrackBar : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override
    {
        bar.setRange(1, 120);
        bar.resize(200, 33);
    }
    TTrackBar bar;
};

TEST_F(TrackBar, ChangedByUser_OnlyForUserMoves)
{
    QSignalSpy spy(&bar, &TTrackBar::changedByUser);
    bar.setValue(120);
    QTest::keyClick(&bar, Qt::Key_Right); // already at the end: no change
    bar.setValue(60);
    EXPECT_EQ(spy.count(), 0);

    QTest::keyClick(&bar, Qt::Key_Left);
    QTest::keyClick(&bar, Qt::Key_Home);
    bar.setSliderDown(true);
    bar.setSliderPosition(77);
    bar.setSliderDown(false);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 59);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 77);
}

// The band is drawn in the highlight colour from SelStart to SelEnd, also past
// the thumb, and an end beyond the maximum is kept but drawn up to it.
TEST_F(TrackBar, Selection_DrawnFromStartToEndPastTheThumb)
{
    const QRgb highlight = bar.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const auto highlightedInRightHalf = [&] {
        const QImage img = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = img.width() / 2; x < img.width(); ++x)
                n += img.pixel(x, y) == highlight;
        return n;
    };
    bar.setValue(10);
    bar.SetSelStart(1);
    bar.SetSelEnd(10);
    EXPECT_EQ(highlightedInRightHalf(), 0);
    bar.SetSelEnd(300);
    EXPECT_EQ(bar.SelEnd(), 300);
    EXPECT_GT(highlightedInRightHalf(), 0);
}

} // namespace
