// SPDX-License-Identifier: GPL-3.0-or-later
// A span's stations as the Stations view shows them: summed per call, their
// share of the channel, and the channel's airtime by kind.
#include "StationSpan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

StationRow row(const std::string& Call, int64_t Frames, int64_t AirMs, bool Own = false, int64_t Originated = 0,
               int64_t Copies = 0, int64_t CopiesAirMs = 0, int64_t LastHeard = 0)
{
    return {Call, Frames, AirMs * 1000, Own, Originated, Copies, CopiesAirMs * 1000, LastHeard};
}

} // namespace

TEST(StationSpan, AirtimeByKindAddsUpToTheChannelsAirtime)
{
    struct Case {
        const char* what;
        std::vector<StationRow> rows;
        int64_t originalsMs, copiesMs, ownMs;
    } cases[] = {
        {"nothing heard", {}, 0, 0, 0},
        // A beacons (300 ms), digipeater D (320 ms) and this station (330 ms) repeat it.
        {"this station digipeats",
         {row("A", 1, 300, false, 1, 2, 650), row("D", 1, 320), row("ME", 1, 330, true)}, 300, 320, 330},
        // This station beacons once (200 ms) and digipeats B's packet twice (2 x 200 ms).
        {"this station beacons and digipeats",
         {row("B", 2, 400, false, 2, 2, 400), row("ME", 3, 600, true, 1)}, 400, 0, 600},
        {"copies by others only", {row("A", 1, 250, false, 1, 1, 250), row("D", 1, 250)}, 250, 250, 0},
        {"a station's periods summed first",
         {row("A", 1, 100, false, 1, 1, 120), row("A", 1, 100, false, 1, 1, 120), row("D", 2, 240)}, 200, 240, 0},
    };
    for (const Case& c : cases) {
        const StationSpan s = SummariseStations(c.rows);
        EXPECT_EQ(s.OriginalsMicros, c.originalsMs * 1000) << c.what;
        EXPECT_EQ(s.CopiesMicros, c.copiesMs * 1000) << c.what;
        EXPECT_EQ(s.OwnMicros, c.ownMs * 1000) << c.what;
        EXPECT_EQ(s.AirMicros, (c.originalsMs + c.copiesMs + c.ownMs) * 1000) << c.what;
    }
}

TEST(StationSpan, EachStationOnceWithItsShareBusiestFirst)
{
    const StationSpan s = SummariseStations({
        row("B", 1, 100, false, 1, 0, 0, 50),
        row("A", 2, 250, false, 2, 1, 80, 40),
        row("others", 3, 50, false, 3, 0, 0, 70),
        row("B", 2, 300, false, 2, 0, 0, 90),
        row("D", 1, 300, false, 0, 0, 0, 60),
    });
    // 1000 ms in all: B 400, D 300, A 250, others 50.
    ASSERT_EQ(s.Lines.size(), 4u);
    const std::vector<std::pair<std::string, double>> expected = {{"B", 40.0}, {"D", 30.0}, {"A", 25.0}, {"others", 5.0}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(s.Lines[i].Station.Call, expected[i].first);
        EXPECT_DOUBLE_EQ(s.Lines[i].SharePercent, expected[i].second) << expected[i].first;
        EXPECT_EQ(s.Lines[i].MedianIntervalMs, -1);
    }
    EXPECT_EQ(s.Lines[0].Station, row("B", 3, 400, false, 3, 0, 0, 90));
    EXPECT_TRUE(s.Folded);
    EXPECT_FALSE(SummariseStations({row("A", 1, 10)}).Folded);
}
