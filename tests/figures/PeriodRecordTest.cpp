// SPDX-License-Identifier: GPL-3.0-or-later
// A period as the history and the CSV log keep it, and the 24-hour ring.
#include "PeriodFigures.h"
#include "PeriodRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(PeriodRecord, TimesAreIso8601UtcWithSeconds)
{
    EXPECT_EQ(Iso8601Utc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(Iso8601Utc(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(Iso8601Utc(1796690986), "2026-12-08T00:49:46Z");
    // Leap days: every fourth year, not 2100, but 2000.
    EXPECT_EQ(Iso8601Utc(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(Iso8601Utc(951868799), "2000-02-29T23:59:59Z");
    EXPECT_EQ(Iso8601Utc(1709164800), "2024-02-29T00:00:00Z");
    EXPECT_EQ(Iso8601Utc(4107542399), "2100-02-28T23:59:59Z");
    EXPECT_EQ(Iso8601Utc(4107542400), "2100-03-01T00:00:00Z");
    EXPECT_EQ(Iso8601Utc(253402300799), "9999-12-31T23:59:59Z");
}

TEST(PeriodRecord, CsvLineFollowsTheHeader)
{
    EXPECT_EQ(CsvHeader(), "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime,engine");
    PeriodFigures f;
    f.Usage = 50;
    f.Efficiency = 66;
    f.Load = 5;
    const PeriodRecord r = MakePeriodRecord(1796690986, 2, 12, 1800, 1200, f, 61, 7);
    EXPECT_EQ(CsvLine(r), "2026-12-08T00:49:46Z,2,12,1800,1200,50,66,5,61,7,answering");
    // Negative figures stay readable, absurd ones are held at the field's range.
    f.Usage = -3;
    f.Load = std::numeric_limits<int64_t>::max();
    const PeriodRecord odd = MakePeriodRecord(0, 1, 0, 0, 0, f, 0, std::numeric_limits<int64_t>::min());
    EXPECT_EQ(CsvLine(odd), "1970-01-01T00:00:00Z,1,0,0,0,-3,66,32767,0,-32768,answering");
    // A blind period has no figures, not zeros.
    PeriodRecord blind = r;
    for (const auto& [state, name] : {std::pair{EngineState::Silent, "silent"},
                                      {EngineState::Disconnected, "disconnected"}, {EngineState::NoPort, "no-port"}}) {
        blind.Engine = state;
        EXPECT_EQ(CsvLine(blind), std::string("2026-12-08T00:49:46Z,2,,,,,,,,,") + name);
    }
}

namespace {

PeriodRecord at(int64_t time, int32_t frames = 0)
{
    PeriodRecord r;
    r.Time = time;
    r.Frames = frames;
    return r;
}

} // namespace

TEST(PeriodHistory, KeepsTheLast24HoursOnly)
{
    PeriodHistory h;
    const int64_t start = 1796690986;
    // 25 hours of 30-second periods.
    for (int64_t t = start; t <= start + 25 * 3600; t += 30)
        h.Add(at(t));
    EXPECT_EQ(h.Size(), 24u * 120u + 1u);
    EXPECT_EQ(h.Latest().Time, start + 25 * 3600);
    EXPECT_EQ(h[0].Time, start + 3600);
    EXPECT_EQ(h.FirstSince(start + 25 * 3600 - 3600), h.Size() - 121);
    EXPECT_EQ(h.FirstSince(0), 0u);
    EXPECT_EQ(h.FirstSince(start + 26 * 3600), h.Size());
    // A long gap leaves only what is recent.
    h.Add(at(start + 60 * 3600));
    EXPECT_EQ(h.Size(), 1u);
}

TEST(PeriodHistory, NeverHoldsMoreThanItsBound)
{
    PeriodHistory h;
    // Many periods in the same second: the oldest go first.
    const size_t extra = 5;
    for (size_t i = 0; i < PeriodHistory::MaxRecords + extra; ++i)
        h.Add(at(1000, static_cast<int32_t>(i)));
    EXPECT_EQ(h.Size(), PeriodHistory::MaxRecords);
    EXPECT_EQ(h[0].Frames, static_cast<int32_t>(extra));
    EXPECT_EQ(h.Latest().Frames, static_cast<int32_t>(PeriodHistory::MaxRecords + extra - 1));
}
