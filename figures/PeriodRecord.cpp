// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodRecord.h"

#include "PeriodFigures.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

int16_t small(int64_t Value)
{
    return static_cast<int16_t>(
        std::clamp<int64_t>(Value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

} // namespace

PeriodRecord MakePeriodRecord(int64_t Time, int32_t Port, int32_t Frames, int32_t Bytes, int32_t Datas,
                              const PeriodFigures& Figures, int64_t Airtime, int64_t OwnAirtime)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = Port;
    r.Frames = Frames;
    r.Bytes = Bytes;
    r.Datas = Datas;
    r.Usage = small(Figures.Usage);
    r.Efficiency = small(Figures.Efficiency);
    r.Load = small(Figures.Load);
    r.Airtime = small(Airtime);
    r.OwnAirtime = small(OwnAirtime);
    return r;
}

const char* EngineStateName(EngineState State)
{
    switch (State) {
    case EngineState::Answering:
        return "answering";
    case EngineState::Silent:
        return "silent";
    case EngineState::Disconnected:
        return "disconnected";
    case EngineState::NoPort:
        return "no-port";
    }
    return "unknown";
}

std::string CsvHeader()
{
    return "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime,engine";
}

// Civil date from days since 1970-01-01 (proleptic Gregorian), so that no
// platform time function with its own time zone is involved.
std::string Iso8601Utc(int64_t Time)
{
    int64_t days = Time / 86400;
    int64_t secs = Time % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(secs / 3600),
                  static_cast<long long>(secs / 60 % 60), static_cast<long long>(secs % 60));
    return text;
}

std::string CsvLine(const PeriodRecord& R)
{
    char numbers[160];
    if (R.HasFigures())
        std::snprintf(numbers, sizeof numbers, ",%d,%d,%d,%d,%d,%d,%d,%d,%d,%s", R.Port, R.Frames, R.Bytes, R.Datas,
                      R.Usage, R.Efficiency, R.Load, R.Airtime, R.OwnAirtime, EngineStateName(R.Engine));
    else
        std::snprintf(numbers, sizeof numbers, ",%d,,,,,,,,,%s", R.Port, EngineStateName(R.Engine));
    return Iso8601Utc(R.Time) + numbers;
}

void PeriodHistory::Add(const PeriodRecord& Record)
{
    records.push_back(Record);
    while (records.size() > MaxRecords || records.front().Time < Record.Time - SpanSeconds)
        records.pop_front();
}

size_t PeriodHistory::FirstSince(int64_t Time) const
{
    const auto it = std::lower_bound(records.begin(), records.end(), Time,
                                     [](const PeriodRecord& r, int64_t t) { return r.Time < t; });
    return static_cast<size_t>(it - records.begin());
}
