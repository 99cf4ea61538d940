// The period's arithmetic on its own: the worked examples, truncation, the
// load classes and the corner cases that end a period early.
#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

PeriodFigures evaluated(int64_t timerMs, int64_t rate, int32_t bytes, int32_t datas, SampleRing& history)
{
    const auto f = EvaluatePeriod(timerMs, rate, bytes, datas, history);
    EXPECT_TRUE(f.has_value());
    return f.value_or(PeriodFigures{});
}

} // namespace

TEST(PeriodFigures, WorkedExample_FirstPeriodThenTenInARow)
{
    SampleRing history{};
    PeriodFigures f = evaluated(30000, 1200, 1800, 1200, history);
    EXPECT_EQ(f.Usage, 50);
    EXPECT_EQ(f.Efficiency, 66);
    EXPECT_EQ(f.Load, 5);
    EXPECT_EQ(f.LoadClass, 1);
    for (int i = 1; i < 10; ++i)
        f = evaluated(30000, 1200, 1800, 1200, history);
    EXPECT_EQ(f.Usage, 50);
    EXPECT_EQ(f.Efficiency, 66);
    EXPECT_EQ(f.Load, 50);
    EXPECT_EQ(f.LoadClass, 3);
}

TEST(PeriodFigures, EveryFigureIsTruncatedNeverRounded)
{
    SampleRing history{};
    // 1000 of 3600 bytes is 27.78 %.
    EXPECT_EQ(evaluated(30000, 1200, 1000, 0, history).Usage, 27);
    // Ten periods of 882 bytes at 1200 bit/s and 30 s: 8820 / 36000 = 24.5 %.
    history.fill({882, 0});
    const PeriodFigures f = evaluated(30000, 1200, 882, 0, history);
    EXPECT_EQ(f.Load, 24);
    EXPECT_EQ(f.LoadClass, 1);
}

TEST(PeriodFigures, HistoryMovesOnePlaceAndDropsTheOldest)
{
    SampleRing history{};
    for (int32_t i = 1; i <= 11; ++i)
        evaluated(30000, 1200, i * 10, i, history);
    EXPECT_EQ(history[0].Bytes, 110);
    EXPECT_EQ(history[0].Datas, 11);
    EXPECT_EQ(history[9].Bytes, 20);
    EXPECT_EQ(history[9].Datas, 2);
}

TEST(PeriodFigures, LoadFallsToZeroAfterTenQuietPeriods)
{
    SampleRing history{};
    EXPECT_EQ(evaluated(1000, 1200, 120, 50, history).LoadClass, 1);
    history.fill({120, 0});
    EXPECT_EQ(evaluated(1000, 1200, 120, 0, history).LoadClass, 4);
    PeriodFigures f;
    for (int i = 0; i < 10; ++i)
        f = evaluated(1000, 1200, 0, 0, history);
    EXPECT_EQ(f.Load, 0);
    EXPECT_EQ(f.Efficiency, 0);
    EXPECT_EQ(f.LoadClass, 1);
}

TEST(PeriodFigures, ZeroCapacityEndsThePeriodWithoutTouchingHistory)
{
    SampleRing history{};
    history[0] = {7, 3};
    EXPECT_FALSE(EvaluatePeriod(30000, 0, 500, 100, history).has_value());
    // 0.3 bytes a period truncates to none as well.
    EXPECT_FALSE(EvaluatePeriod(1000, 3, 500, 100, history).has_value());
    EXPECT_EQ(history[0].Bytes, 7);
    EXPECT_EQ(history[1].Bytes, 0);
}

TEST(PeriodFigures, ShortTimerIsEvaluatedAsOneSecond)
{
    EXPECT_EQ(EffectivePeriodMs(500), 1000);
    EXPECT_EQ(PeriodCapacity(500, 1200), 120);
    EXPECT_EQ(PeriodCapacity(0, 1200), 120);
    EXPECT_EQ(PeriodCapacity(30000, 1200), 3600);
    SampleRing history{};
    EXPECT_EQ(evaluated(500, 1200, 60, 0, history).Usage, 50);
}

TEST(PeriodFigures, OverfullPeriodIsBoundedAt100)
{
    SampleRing history{};
    history.fill({100000, 0});
    const PeriodFigures f = evaluated(1000, 1200, 100000, 0, history);
    EXPECT_EQ(f.Usage, 100);
    EXPECT_EQ(f.Load, 100);
    EXPECT_EQ(f.LoadClass, 4);
}

TEST(PeriodFigures, NegativeRateGivesNoLoadClass)
{
    SampleRing history{};
    const PeriodFigures f = evaluated(1000, -1200, 100, 0, history);
    EXPECT_LE(f.Usage, 0);
    EXPECT_LT(f.Load, 0);
    EXPECT_EQ(f.LoadClass, 0);
}

TEST(PeriodFigures, LoadClassLimits)
{
    const std::pair<int64_t, int> cases[] = {{-1, 0}, {0, 1}, {24, 1}, {25, 2}, {49, 2}, {50, 3},
                                             {74, 3}, {75, 4}, {100, 4}};
    for (const auto& [load, expected] : cases)
        EXPECT_EQ(LoadClassOf(load), expected) << load;
}

TEST(FrameAmounts, InformationFramesAddTheirLengthPlus19)
{
    MonitorHeader ui;
    ui.FrameType = "UI";
    ui.InfoLen = 12;
    const FrameAmounts a = MonitoredFrameAmounts(ui);
    EXPECT_EQ(a.Frames, 1);
    EXPECT_EQ(a.Bytes, 31);
    EXPECT_EQ(a.Datas, 12);

    MonitorHeader rr;
    rr.FrameType = "RR";
    const FrameAmounts s = MonitoredFrameAmounts(rr);
    EXPECT_EQ(s.Frames, 1);
    EXPECT_EQ(s.Bytes, 19);
    EXPECT_EQ(s.Datas, 0);
}

TEST(FrameAmounts, TotalsStayReadableAtTheTop)
{
    constexpr int64_t top = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(AddToTotal(3, 31), 34);
    EXPECT_EQ(AddToTotal(top - 10, 31), top);
    EXPECT_EQ(AddToTotal(top, 1), top);
}

TEST(FrameAmounts, MonitoredKinds)
{
    for (char k : {'I', 'S', 'U'})
        EXPECT_TRUE(IsMonitoredKind(k)) << k;
    for (char k : {'G', 'g', 'K', 'u', '\0'})
        EXPECT_FALSE(IsMonitoredKind(k)) << k;
}
