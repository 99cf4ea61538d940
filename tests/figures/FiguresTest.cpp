// SPDX-License-Identifier: GPL-3.0-or-later
// The period's arithmetic on its own: the worked examples, truncation, the
// load classes and the corner cases that end a period early.
#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

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
    // Efficiency spans ten periods: 1500 of 1900, then 1500 of 3800 twice.
    SampleRing ten{};
    for (const auto& [bytes, datas, efficiency] : {std::tuple{1900, 1500, 78}, {1900, 0, 39}, {0, 0, 39}})
        EXPECT_EQ(evaluated(30000, 1200, bytes, datas, ten).Efficiency, efficiency);
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

TEST(PeriodFigures, ShortTimerIsEvaluatedOverItsOwnLength)
{
    EXPECT_EQ(EffectivePeriodMs(500), 500);
    // 1200 bit/s for 0.5 s at ten bits a byte; 0.25 s; 1 ms carries 0.12 bytes.
    EXPECT_EQ(PeriodCapacity(500, 1200), 60);
    EXPECT_EQ(PeriodCapacity(250, 1200), 30);
    EXPECT_EQ(PeriodCapacity(0, 1200), 0);
    EXPECT_EQ(PeriodCapacity(30000, 1200), 3600);
    SampleRing history{};
    EXPECT_EQ(evaluated(500, 1200, 30, 0, history).Usage, 50);
    // 11 bytes of 30 in a quarter second, 36.7 %; over ten such periods the
    // load is 11 of 300 bytes, 3.7 %.
    SampleRing quarter{};
    const PeriodFigures f = evaluated(250, 1200, 11, 0, quarter);
    EXPECT_EQ(f.Usage, 36);
    EXPECT_EQ(f.Load, 3);
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

namespace {

// Parses Data as the window does and returns what the frame adds.
FrameAmounts amountsOf(const std::string& Data)
{
    TAGWPE client("N0CALL");
    MonitorHeader header;
    EXPECT_TRUE(client.ParseMonitorHeader(Data, header)) << Data;
    return MonitoredFrameAmounts(header);
}

void expectAmounts(const std::string& Data, int64_t Frames, int64_t Bytes, int64_t Datas)
{
    const FrameAmounts a = amountsOf(Data);
    EXPECT_EQ(a.Frames, Frames) << Data;
    EXPECT_EQ(a.Bytes, Bytes) << Data;
    EXPECT_EQ(a.Datas, Datas) << Data;
}

} // namespace

TEST(FrameAmounts, InformationFramesAddTheirLengthPlus19)
{
    // Dire Wolf: "Len=" is the source, whatever follows the line.
    expectAmounts(std::string(" 1:Fm N0CALL-1 To APRS Via WIDE1-1 <UI pid=F0 Len=12 PF=0 >[19:29:58]\r") +
                      ">Hello there\n\r\0",
                  1, 31, 12);
    expectAmounts(std::string(" 1:Fm N0CALL-1 To N0CALL-2 <I S3 R1 pid=F0 Len=5 P=0 >[19:29:58]\r") + "abcd\n\r\0",
                  1, 24, 5);
    // Supervisory frames carry none, with or without a line after them.
    expectAmounts(" 1:Fm N0CALL-1 To N0CALL-2 <RR R5 F=1 >[19:29:58]\r", 1, 19, 0);
    expectAmounts(std::string(" 1:Fm N0CALL-1 To N0CALL-2 <SREJ R5 F=1 Len=0 >\r") + "\r\0", 1, 19, 0);
    expectAmounts(std::string(" 1:Fm N0CALL-1 To N0CALL-2 <XID P=1 Len=3 >\r") + "xyz\r\0", 1, 22, 3);
}

// As measured with Dire Wolf 1.6: its monitor text ends the information at
// the first NUL and the whole text at 2123 bytes, while Len= stays the true
// length. A frame holds at most 2123 bytes of addresses (7 each), control (1),
// PID (1, in I and UI frames) and information: more cannot be true.
TEST(FrameAmounts, EveryFrameTypeCountsWhatItCanCarry)
{
    const std::string nul(1, '\0'), dw = " 1:Fm K1ABC-1 To W2XYZ-7 ", bpq = " 1:Fm G8BPQ-2 To G8BPQ ";
    std::string via = "D1";
    for (int i = 2; i <= 500; ++i)
        via += ",D" + std::to_string(i);
    const std::pair<std::string, int64_t> cases[] = {
        {dw + "<XID P=1 Len=8 >[08:11:37]\r\x82\x80\r" + nul, 8},
        {dw + "<TEST P=1 Len=300 >[08:11:38]\r" + std::string(300, 'a') + "\r" + nul, 300},
        {dw + "<FRMR F=1 >[08:11:38]\r\x01\x02\x03\r" + nul, 3},
        {dw + "<FRMR F=1 >[20:49:40]\r\r" + nul, 3}, // its three bytes cut at a NUL
        {dw + "<UI pid=F0 Len=11 P=0 >[08:11:38]\ra\r" + nul, 11},
        {dw + "<UI pid=F0 Len=2100 P=0 >\r" + std::string(2048, 'y'), 2100},
        {dw + "<UI pid=F0 Len=99999 >\rhello\r", 2123 - 2 * 7 - 1 - 1},
        {dw + "<UI pid=F0 Len=2147483647 >\rhello\r", 2123 - 2 * 7 - 1 - 1},
        {dw + "<TEST P=1 Len=99999 >\rhello\r", 2123 - 2 * 7 - 1},
        {dw + "Via " + via + " <UI pid=F0 Len=99999 >\rhello\r", 2123 - 10 * 7 - 1 - 1},
        // LinBPQ: an XID's parameters on its header line, 4 + (4 + 5 + 4 + 3) bytes.
        {bpq + "<XID C P>[12:00:00] 2=21 3=34a00 RX Paclen=256 RX Window=7\r", 4 + 4 + 5 + 4 + 3},
        {bpq + "<XID C P>[12:00:00]\r", 0},
        {bpq + "<FRMR R F>[12:00:00]00 11 22\r", 3},
        {bpq + "<I C P S3 R1>\r" + std::string(16 * 1024 * 1024, 'z') + "\r", 2123 - 2 * 7 - 1 - 1},
        {dw + "<RR R5 F=1 >[20:49:39]\rstray\r", 0},
    };
    for (const auto& [data, info] : cases) {
        const FrameAmounts a = amountsOf(data);
        EXPECT_EQ(a.Datas, info) << data.substr(0, 100);
        EXPECT_EQ(a.Bytes, info + 19) << data.substr(0, 100);
    }
}

TEST(FrameAmounts, InformationWithoutLenIsWhatFollowsTheHeaderLine)
{
    // LinBPQ: I frames with neither pid nor Len, text ended by one CR.
    const std::string info(30, 'x');
    expectAmounts(" 1:Fm G8BPQ To N0CALL <I C P S3 R1>\r" + info + "\r", 1, 49, 30);
    // Information that ends in CR keeps it; only the engine's line end goes.
    expectAmounts(" 1:Fm G8BPQ To N0CALL <I C P S3 R1>\r" + info + "\r\r", 1, 50, 31);
    // A NUL inside the information counts; the closing CR and NUL do not.
    expectAmounts(std::string(" 1:Fm A To B <I R1 S3>\r") + std::string("ab\0cd", 5) + "\r" + std::string(1, '\0'),
                  1, 24, 5);
    // No line at all: nothing to count.
    expectAmounts(" 1:Fm G8BPQ To N0CALL <I C P S3 R1>", 1, 19, 0);
    expectAmounts(" 1:Fm G8BPQ To N0CALL <RR R R5>\r", 1, 19, 0);
}

TEST(FrameAmounts, MonitorInformationStripsOnlyTheEngineLineEnd)
{
    EXPECT_EQ(MonitorInformation(std::string("hdr\rinfo\n\r\0", 11)), "info\n");
    EXPECT_EQ(MonitorInformation("hdr\rinfo\r"), "info");
    EXPECT_EQ(MonitorInformation("hdr\rinfo"), "info");
    EXPECT_EQ(MonitorInformation("hdr only"), "");
    EXPECT_EQ(MonitorInformation("hdr\r"), "");
}

TEST(FrameAmounts, TotalsStayReadableAtTheTop)
{
    constexpr int64_t top = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(AddToTotal(3, 31), 34);
    EXPECT_EQ(AddToTotal(top - 10, 31), top);
    EXPECT_EQ(AddToTotal(top, 1), top);
}

TEST(FrameAmounts, MonitoredKindsIncludeOwnTransmissions)
{
    for (char k : {'I', 'S', 'U', 'T'})
        EXPECT_TRUE(IsMonitoredKind(k)) << k;
    for (char k : {'G', 'g', 'K', 'u', 't', '\0'})
        EXPECT_FALSE(IsMonitoredKind(k)) << k;
    EXPECT_TRUE(IsOwnTransmission('T'));
    for (char k : {'I', 'S', 'U'})
        EXPECT_FALSE(IsOwnTransmission(k)) << k;
}
