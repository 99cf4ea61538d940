// SPDX-License-Identifier: GPL-3.0-or-later
// What the station tally adds to the running meter: a day of a busy channel
// with 500 stations (each beaconing every 3 minutes, half of the packets
// digipeated twice, this station digipeating a quarter of them), fed frame
// by frame with the times of a real day and closed every 30 s, as the meter
// does. Then 600 one-time stations more, which the table may not keep apart.
// Prints the heap in use and the anonymous resident memory (RssAnon after
// malloc_trim) before and after, and the time per frame.
// Usage: station_memory
#include "StationTally.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

long rssAnonKiB()
{
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("RssAnon:", 0) == 0)
            return std::stol(line.substr(8));
    return -1;
}

long heapInUseKiB()
{
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

} // namespace

int main()
{
    constexpr int64_t day0 = 1'796'083'200'000; // a UTC midnight, ms
    constexpr int stations = 500;
    constexpr int64_t beaconMs = 180'000;
    const long rss0 = rssAnonKiB();
    const long heap0 = heapInUseKiB();

    auto* tally = new StationTally;
    int64_t frames = 0, rows = 0;
    size_t widest = 0;
    const auto started = std::chrono::steady_clock::now();
    int64_t nextClose = day0 + 30'000;
    const auto closeUpTo = [&](int64_t Ms) {
        while (nextClose <= Ms) {
            const StationPeriod& p = tally->ClosePeriod(nextClose / 1000);
            rows += static_cast<int64_t>(p.Rows.size());
            widest = std::max(widest, p.Rows.size());
            nextClose += 30'000;
        }
    };
    // Each station beacons at its own offset within the 3 minutes.
    for (int64_t slot = 0; slot < 86'400'000 / beaconMs; ++slot) {
        for (int n = 0; n < stations; ++n) {
            const int64_t at = day0 + slot * beaconMs + n * beaconMs / stations;
            closeUpTo(at);
            StationFrame f;
            f.TimeMs = at;
            const std::string call = "N" + std::to_string(n % 10) + "CALL-" + std::to_string(n / 10 % 16)
                                     + (n >= 160 ? std::string(1, static_cast<char>('A' + n / 160)) : "");
            f.Source = f.Transmitter = call;
            f.Destination = "APRS";
            f.ContentHash = static_cast<uint64_t>(slot) * 1000 + static_cast<uint64_t>(n);
            f.AirMicros = 400'000 + n * 100;
            tally->Add(f);
            ++frames;
            if (n % 2 == 0) {
                for (const char* digi : {"DIGI-1", "DIGI-2"}) {
                    f.TimeMs += 500;
                    f.Transmitter = digi;
                    tally->Add(f);
                    ++frames;
                }
            }
            if (n % 4 == 0) {
                f.TimeMs += 500;
                f.Transmitter = "MYCALL-10";
                f.Own = true;
                tally->Add(f);
                ++frames;
            }
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const long rssDay = rssAnonKiB();
    const long heapDay = heapInUseKiB();
    std::printf("a day of %d stations: %lld frames, %lld rows in %lld periods (at most %zu in one); "
                "stations kept %zu, summed under others %lld times\n",
                stations, static_cast<long long>(frames), static_cast<long long>(rows),
                static_cast<long long>((nextClose - day0) / 30'000 - 1), widest, tally->Stations(),
                static_cast<long long>(tally->FoldsToday()));
    std::printf("  heap in use %+ld KiB, RssAnon %+ld KiB; %.2f us per frame\n", heapDay - heap0, rssDay - rss0,
                std::chrono::duration<double, std::micro>(elapsed).count() / static_cast<double>(frames));

    // 600 stations heard once, late in the day: the table stays at its bound.
    const int64_t late = day0 + 86'000'000;
    for (int n = 0; n < 600; ++n) {
        StationFrame f;
        f.TimeMs = late + n * 100;
        const std::string call = "ONCE" + std::to_string(n);
        f.Source = f.Transmitter = call;
        f.Destination = "APRS";
        f.ContentHash = static_cast<uint64_t>(n);
        f.AirMicros = 300'000;
        tally->Add(f);
    }
    tally->ClosePeriod(late / 1000 + 60);
    std::printf("then 600 stations heard once: stations kept %zu, summed under others %lld times, rows of that period %zu; "
                "heap in use %+ld KiB, RssAnon %+ld KiB against the start\n",
                tally->Stations(), static_cast<long long>(tally->FoldsToday()), tally->LastPeriod().Rows.size(),
                heapInUseKiB() - heap0, rssAnonKiB() - rss0);
    delete tally;
    std::printf("after deleting the tally: heap in use %+ld KiB\n", heapInUseKiB() - heap0);
    return 0;
}
