// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationAirCounters.h"

#include <algorithm>
#include <limits>

namespace {

int64_t sum(int64_t Total, int64_t Amount)
{
    constexpr int64_t largest = std::numeric_limits<int64_t>::max();
    if (Amount <= 0)
        return Total;
    return Total > largest - Amount ? largest : Total + Amount;
}

} // namespace

void StationAirCounters::Station::MoveTo(int64_t Hour)
{
    // Slots of hours more than a day old are emptied as the day moves on.
    for (int64_t h = std::max(Newest + 1, Hour - 23); h <= Hour; ++h)
        Hours[static_cast<size_t>(h % 24)] = 0;
    Newest = std::max(Newest, Hour);
}

int64_t StationAirCounters::Station::Day() const
{
    int64_t day = 0;
    for (int64_t air : Hours)
        day = sum(day, air);
    return day;
}

void StationAirCounters::Add(int64_t Time, const std::string& Call, int64_t AirNanoseconds)
{
    any = true;
    if (Call == OthersCall) {
        others = sum(others, AirNanoseconds);
        return;
    }
    Station& s = stations[Call];
    const int64_t hour = std::max<int64_t>(Time, 0) / 3600;
    s.MoveTo(hour);
    // A late row for an hour already past still counts today.
    int64_t& slot = s.Hours[static_cast<size_t>(std::max(hour, s.Newest - 23) % 24)];
    slot = sum(slot, AirNanoseconds);
    if (s.Shown)
        s.Counter = sum(s.Counter, AirNanoseconds);
    else
        others = sum(others, AirNanoseconds);
}

void StationAirCounters::EndPeriod(int64_t Time)
{
    const int64_t hour = std::max<int64_t>(Time, 0) / 3600;
    std::vector<std::pair<int64_t, std::map<std::string, Station>::iterator>> busy;
    busy.reserve(stations.size());
    for (auto it = stations.begin(); it != stations.end();) {
        it->second.MoveTo(hour);
        const int64_t day = it->second.Day();
        // Silent for a day: forgotten, and its series leaves the page.
        if (day == 0) {
            it = stations.erase(it);
            continue;
        }
        busy.emplace_back(day, it);
        ++it;
    }
    // Busiest first; equal ones by call, so that the choice does not flicker.
    std::sort(busy.begin(), busy.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second->first < b.second->first;
    });
    for (size_t i = 0; i < busy.size(); ++i) {
        Station& s = busy[i].second->second;
        const bool shown = i < MaxShown;
        if (shown != s.Shown)
            s.Counter = 0;
        s.Shown = shown;
    }
    for (size_t i = MaxRemembered; i < busy.size(); ++i)
        stations.erase(busy[i].second);
}

std::vector<StationAirCounters::Series> StationAirCounters::Visible() const
{
    std::vector<Series> series;
    if (!any)
        return series;
    for (const auto& [call, s] : stations)
        if (s.Shown)
            series.push_back({call, s.Counter});
    series.push_back({OthersCall, others});
    return series;
}
