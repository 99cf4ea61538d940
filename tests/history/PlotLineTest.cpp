// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart is given to draw, in the cases the window's tests do not
// reach: a clock set back, the edges of the stretches the meter did not see,
// and the step that counts as the meter not running. (Thinning itself is
// checked on the window, tests/history/HistoryWindowTest.cpp.)
#include "PlotLine.h"

#include <gtest/gtest.h>

namespace {

PlotSample at(int64_t Time, double Airtime, bool Has = true)
{
    PlotSample s;
    s.Time = Time;
    s.Has = Has;
    s.Value[PlotSample::Airtime] = Airtime;
    s.Max[PlotSample::Airtime] = Airtime + 10;
    return s;
}

} // namespace

TEST(PlotLineTest, AClockSetBackNeverDrawsTheLineBackwards)
{
    const std::vector<PlotSample> samples = {at(100, 1), at(130, 2), at(40, 3), at(160, 4)};
    EXPECT_EQ(ThinLine(samples, PlotSample::Airtime, false, 0, 200, 100),
              (QList<QPointF>{{100000, 1}, {130000, 2}, {160000, 4}}));
}

TEST(PlotLineTest, BlindStretchesRunFromTheLastSeenToTheNextSeenSample)
{
    struct Case {
        const char* name;
        std::vector<PlotSample> samples;
        std::vector<std::pair<int64_t, int64_t>> expected;
    };
    const Case cases[] = {
        {"all seen", {at(0, 1), at(30, 1), at(60, 1)}, {}},
        {"blind in the middle", {at(0, 1), at(30, 1), at(60, 0, false), at(90, 0, false), at(120, 1)}, {{30, 120}}},
        {"blind at the start", {at(0, 0, false), at(30, 1), at(60, 1)}, {{0, 30}}},
        {"blind at the end", {at(0, 1), at(30, 1), at(60, 0, false), at(90, 0, false)}, {{30, 90}}},
        {"meter not running", {at(0, 1), at(30, 1), at(600, 1), at(630, 1)}, {{30, 600}}},
        {"two stretches", {at(0, 1), at(30, 0, false), at(60, 1), at(90, 0, false), at(120, 1)}, {{0, 60}, {60, 120}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BlindStretches(c.samples, 0, 1000, 90), c.expected) << c.name;
}

TEST(PlotLineTest, TheUsualStepIsThreeTimesTheMedianStepAndAtLeast90Seconds)
{
    std::vector<PlotSample> thirty, five;
    for (int i = 0; i < 20; ++i) {
        thirty.push_back(at(i * 30 + (i == 10 ? 5000 : 0), 1));
        five.push_back(at(i * 5, 1));
    }
    std::vector<PlotSample> minute;
    for (int i = 0; i < 20; ++i)
        minute.push_back(at(i * 60, 1));
    EXPECT_EQ(UsualStepLimit(minute), 180);
    EXPECT_EQ(UsualStepLimit(thirty), 90);
    EXPECT_EQ(UsualStepLimit(five), 90);
    EXPECT_EQ(UsualStepLimit({}), 90);
}
