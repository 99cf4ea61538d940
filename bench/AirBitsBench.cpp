// SPDX-License-Identifier: GPL-3.0-or-later
// What the airtime costs per frame in a burst: the bits of each frame rebuilt
// from its monitor text (stuffing and FCS counted), and from a raw frame.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "Airtime.h"

namespace {

struct Monitored {
    MonitorHeader header;
    std::string data;
};

// 2000 UI frames as Dire Wolf reports them, information of 40 to 300 bytes.
const std::vector<Monitored>& frames()
{
    static const std::vector<Monitored> all = [] {
        std::mt19937 rng(1998);
        std::uniform_int_distribution<int> length(40, 300), printable(32, 126);
        TAGWPE client("N0CALL");
        std::vector<Monitored> out;
        out.reserve(2000); // no move after parsing: the headers point into the texts
        for (int n = 0; n < 2000; ++n) {
            std::string info(static_cast<size_t>(length(rng)), ' ');
            for (char& c : info)
                c = static_cast<char>(printable(rng));
            Monitored m;
            m.data = " 1:Fm N0CALL-" + std::to_string(n % 15 + 1) + " To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=" +
                std::to_string(info.size()) + " PF=0 >[19:29:58]\r" + info + "\r" + '\0';
            Monitored& kept = out.emplace_back(std::move(m));
            client.ParseMonitorHeader(kept.data, kept.header);
        }
        return out;
    }();
    return all;
}

void BM_FrameAirBits(benchmark::State& state)
{
    int64_t bits = 0;
    for (auto _ : state)
        for (const Monitored& m : frames())
            bits += FrameAirBits(m.header, m.data);
    benchmark::DoNotOptimize(bits);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frames().size()));
}

void BM_RawFrameAirBits(benchmark::State& state)
{
    std::vector<std::string> raw;
    for (const Monitored& m : frames())
        raw.push_back(std::string(21, 'A') + "\x03\xF0" + std::string(MonitorInformation(m.data)));
    int64_t bits = 0;
    for (auto _ : state)
        for (const std::string& r : raw)
            bits += RawFrameAirBits(r);
    benchmark::DoNotOptimize(bits);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(raw.size()));
}

} // namespace

BENCHMARK(BM_FrameAirBits)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawFrameAirBits)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
