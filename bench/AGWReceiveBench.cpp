// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the receive path: cutting a stream of Dire Wolf monitor frames
// delivered in reads of a given size, taking the frames out and parsing their
// monitor texts, next to a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "AgwWire.h"

namespace {

// About 8 MiB of traffic as Dire Wolf reports it: UI, I and supervisory
// frames, information of 40 to 300 bytes.
const std::string& stream()
{
    static const std::string s = [] {
        std::mt19937 rng(1998);
        std::uniform_int_distribution<int> length(40, 300), kind(0, 9), printable(32, 126);
        const std::vector<std::string> calls = {"N0CALL-1", "WB2OSZ-5", "K1ABC-1", "W2XYZ-7", "DL1ABC-10", "G8BPQ-2"};
        std::string out;
        int seq = 0;
        while (out.size() < (8u << 20)) {
            const std::string& src = calls[rng() % calls.size()];
            const std::string& dst = calls[rng() % calls.size()];
            std::string info(static_cast<size_t>(length(rng)), ' ');
            for (char& c : info)
                c = static_cast<char>(printable(rng));
            const int k = kind(rng);
            const std::string head = " 1:Fm " + src + " To " + dst;
            if (k < 5) {
                out += agw::frame(0, 'U', src, "APRS",
                             " 1:Fm " + src + " To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=" +
                                 std::to_string(info.size()) + " PF=0 >[19:29:58]\r" + info + "\r" + '\0');
            } else if (k < 8) {
                ++seq;
                out += agw::frame(0, 'I', src, dst,
                             head + " <I S" + std::to_string(seq % 8) + " R" + std::to_string((seq + 3) % 8) +
                                 " pid=0xF0 Len=" + std::to_string(info.size()) + " P=0 >[19:29:58]\r" + info + "\r" +
                                 '\0');
            } else {
                out += agw::frame(0, 'S', src, dst, head + " <RR R" + std::to_string(seq % 8) + " F=1 >[19:29:58]\r" + '\0');
            }
        }
        return out;
    }();
    return s;
}

std::vector<std::string> reads(size_t size)
{
    std::vector<std::string> chunks;
    for (size_t at = 0; at < stream().size(); at += size)
        chunks.push_back(stream().substr(at, size));
    return chunks;
}

class NullSocket : public AGWSocket {
public:
    void SendText(const std::string&) override {}
};

void BM_ReceiveParse(benchmark::State& state)
{
    const std::vector<std::string> chunks = reads(static_cast<size_t>(state.range(0)));
    NullSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 128);
    uint8_t port = 0;
    char kind = 0;
    std::string from, to, data;
    int32_t length = 0;
    MonitorHeader header;
    int64_t frames = 0, infoBytes = 0;
    for (auto _ : state) {
        for (const std::string& chunk : chunks) {
            client.ReceiveBytes(chunk);
            // As the meter's read handler: drain every ring, and go on cutting
            // while a full ring held frames back.
            for (bool took = true; took;) {
                took = false;
                for (int i = 0; i < client.PortCount; ++i) {
                    if (!client.Ports[i])
                        continue;
                    port = static_cast<uint8_t>(i);
                    while (client.NextFrame(port, kind, from, to, length, data)) {
                        took = true;
                        ++frames;
                        if (kind == 'I' || kind == 'S' || kind == 'U') {
                            client.ParseMonitorHeader(data, header);
                            infoBytes += header.InfoLen;
                        }
                        port = static_cast<uint8_t>(i);
                    }
                }
                if (took)
                    client.ReceiveBytes("");
            }
        }
    }
    benchmark::DoNotOptimize(infoBytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream().size()));
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<std::string> chunks = reads(static_cast<size_t>(state.range(0)));
    std::string target(stream().size(), '\0');
    for (auto _ : state) {
        size_t at = 0;
        for (const std::string& chunk : chunks) {
            std::memcpy(target.data() + at, chunk.data(), chunk.size());
            at += chunk.size();
        }
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(target.data());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream().size()));
}

} // namespace

BENCHMARK(BM_ReceiveParse)->Arg(64)->Arg(4 << 10)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy)->Arg(64)->Arg(4 << 10)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
