// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One hour of periods in short: what the store keeps of periods older than a
// month, and what the window draws for its long spans.
#include <cstdint>

struct PeriodRecord;

struct HourFigures {
    int64_t Time = 0;         // start of the hour, seconds since 1970-01-01 UTC
    int32_t Periods = 0;      // periods evaluated in the hour
    int32_t Blind = 0;        // of them, periods without figures
    int64_t Frames = 0, Bytes = 0, Datas = 0;
    // Means over the periods with figures, and their maxima.
    double Usage = 0, Efficiency = 0, Load = 0, Airtime = 0, OwnAirtime = 0;
    int16_t UsageMax = 0, EfficiencyMax = 0, LoadMax = 0, AirtimeMax = 0, OwnAirtimeMax = 0;

    int32_t WithFigures() const { return Periods - Blind; }
    bool HasFigures() const { return WithFigures() > 0; }
    // Takes in one more period, or another part of the same hour.
    void Add(const PeriodRecord& Record);
    void Add(const HourFigures& Other);
};

// The start of the hour Time lies in.
constexpr int64_t HourOf(int64_t Time)
{
    return (Time >= 0 ? Time : Time - 3599) / 3600 * 3600;
}
