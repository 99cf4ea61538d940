// SPDX-License-Identifier: GPL-3.0-or-later
// The channel's airtime by kind, from the stations table's rows of a span.
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
