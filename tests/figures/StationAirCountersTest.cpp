// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationAirCounters.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kStart = 1765152000; // 2025-12-08 00:00:00 UTC, an hour boundary

struct Row {
    std::string call;
    int64_t air;
};

// One period's rows, then its end.
void period(StationAirCounters& Counters, int64_t Time, const std::vector<Row>& Rows)
{
    for (const Row& r : Rows)
        Counters.Add(Time, r.call, r.air);
    Counters.EndPeriod(Time);
}

std::map<std::string, int64_t> visible(const StationAirCounters& Counters)
{
    std::map<std::string, int64_t> shown;
    for (const auto& s : Counters.Visible())
        EXPECT_TRUE(shown.emplace(s.Call, s.AirNanoseconds).second) << s.Call;
    return shown;
}

} // namespace

TEST(StationAirCounters, NewStationsStartAtZeroTheirFirstAirGoesToOthers)
{
    StationAirCounters c;
    EXPECT_TRUE(c.Visible().empty());
    period(c, kStart + 30, {{"N0CALL-1", 2 * kSecond}, {"N0CALL-2", kSecond}, {"others", 5 * kSecond}});
    EXPECT_EQ(visible(c), (std::map<std::string, int64_t>{{"N0CALL-1", 0}, {"N0CALL-2", 0}, {"others", 8 * kSecond}}));
    period(c, kStart + 60, {{"N0CALL-1", 3 * kSecond}});
    EXPECT_EQ(visible(c), (std::map<std::string, int64_t>{{"N0CALL-1", 3 * kSecond}, {"N0CALL-2", 0}, {"others", 8 * kSecond}}));
}

TEST(StationAirCounters, OnlyTheFiftyBusiestOfTheDayHaveASeries)
{
    StationAirCounters c;
    // Station i sends i seconds: S1 is the least busy of 51.
    std::vector<Row> rows;
    for (int i = 1; i <= 51; ++i)
        rows.push_back({"S" + std::to_string(i), i * kSecond});
    period(c, kStart + 30, rows);
    period(c, kStart + 60, rows);
    const auto shown = visible(c);
    EXPECT_EQ(shown.size(), 51u); // 50 stations and "others"
    EXPECT_EQ(shown.count("S1"), 0u);
    EXPECT_EQ(shown.at("S2"), 2 * kSecond);
    EXPECT_EQ(shown.at("S51"), 51 * kSecond);
    // The first period all of them (1 + ... + 51 = 1326 s), the second S1's.
    EXPECT_EQ(shown.at("others"), (1326 + 1) * kSecond);

    // S1 gets busy: it comes in at zero, the now least busy S2 drops out.
    period(c, kStart + 90, {{"S1", 100 * kSecond}});
    const auto after = visible(c);
    EXPECT_EQ(after.at("S1"), 0);
    EXPECT_EQ(after.count("S2"), 0u);
    EXPECT_EQ(after.at("others"), (1327 + 100) * kSecond);
    // Each period's air is in exactly one series: the page holds the three
    // periods' air but for the 2 s S2 showed before its series left.
    int64_t all = 0;
    for (const auto& [call, air] : after)
        all += air;
    EXPECT_EQ(all, (1326 * 2 + 100 - 2) * kSecond);
}

TEST(StationAirCounters, AStationSilentForADayLeavesThePage)
{
    StationAirCounters c;
    period(c, kStart + 10, {{"OLD", kSecond}, {"NEW", kSecond}});
    period(c, kStart + 20, {{"OLD", kSecond}});
    // 23 hours later OLD's air is still within the day.
    period(c, kStart + 23 * 3600 + 10, {{"NEW", kSecond}});
    EXPECT_EQ(visible(c).count("OLD"), 1u);
    // A day and an hour after its last frame it is gone; NEW, heard since, stays.
    period(c, kStart + 25 * 3600, {});
    const auto shown = visible(c);
    EXPECT_EQ(shown.count("OLD"), 0u);
    EXPECT_EQ(shown.at("NEW"), kSecond);
    EXPECT_EQ(shown.at("others"), 2 * kSecond);
}
