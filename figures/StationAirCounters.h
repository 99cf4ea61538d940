// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Airtime counters per transmitting station for the metrics page, with the
// number of series bounded: only the busiest stations of the last 24 hours
// get a series of their own, the air of all others goes to "others".
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class StationAirCounters {
public:
    static constexpr size_t MaxShown = 50;
    static constexpr const char* OthersCall = "others";
    // Stations remembered at most; beyond that the least busy are forgotten.
    static constexpr size_t MaxRemembered = 2000;

    // One station's air in the period that ended at Time (seconds since
    // 1970). A row named "others" (stations the tally already summed) counts
    // under "others".
    void Add(int64_t Time, const std::string& Call, int64_t AirNanoseconds);
    // After a period's rows: chooses the stations shown by their airtime of
    // the last 24 hours. A station that comes in starts at zero and one that
    // drops out leaves the page; "others" takes their air meanwhile, so each
    // period's air is in exactly one series.
    void EndPeriod(int64_t Time);

    struct Series {
        std::string Call;
        int64_t AirNanoseconds;
    };
    // The shown stations in the order of their calls, then "others"; empty
    // before the first station.
    std::vector<Series> Visible() const;

private:
    struct Station {
        std::array<int64_t, 24> Hours{}; // air per hour, slot = hour number % 24
        int64_t Newest = 0;              // hour number (Time / 3600) of the newest slot
        int64_t Counter = 0;             // air since it was shown
        bool Shown = false;
        void MoveTo(int64_t Hour);
        int64_t Day() const;
    };
    std::map<std::string, Station> stations;
    int64_t others = 0;
    bool any = false;
};
