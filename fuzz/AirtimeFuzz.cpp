// SPDX-License-Identifier: GPL-3.0-or-later
// The airtime path under arbitrary monitor text: text to header, header to
// the frame's bits, the period's bits to a percentage. Input: monitor texts
// separated by 0xFF bytes; the last bytes choose the bit rate, the preamble
// and tail and the sample period, within what the settings check lets through.
// Besides crashes and sanitizer reports: the percentage stays within 0..100,
// and adding a frame never lowers the bits nor the percentage.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "Airtime.h"

namespace {

#define CHECK(condition)                                                                                              \
    do {                                                                                                              \
        if (!(condition))                                                                                             \
            __builtin_trap();                                                                                         \
    } while (0)

std::vector<std::string> texts(const std::string& Stream)
{
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        const size_t at = Stream.find('\xff', from);
        out.push_back(Stream.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return out;
        from = at + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Taken from the end of the input, so the texts in front stay readable.
    const int64_t rate = in.ConsumeIntegralInRange<int64_t>(1, 2147483647);
    const int64_t txDelay = in.ConsumeIntegralInRange<int64_t>(0, 10000);
    const int64_t txTail = in.ConsumeIntegralInRange<int64_t>(0, 10000);
    const int64_t periodMs = in.ConsumeIntegralInRange<int64_t>(100, 86400000);
    const std::string stream = in.ConsumeRemainingBytesAsString();

    TAGWPE client("N0CALL");
    AirtimeTotals totals;
    int64_t percent = AirtimePercent(totals, rate, txDelay, txTail, periodMs);
    CHECK(percent == 0);
    for (const std::string& text : texts(stream)) {
        MonitorHeader header;
        if (!client.ParseMonitorHeader(text, header))
            continue;
        const int64_t bits = FrameAirBits(header, text);
        // At least the two addresses, the control byte, the FCS and a flag.
        CHECK(bits >= (2 * 7 + 1 + 2 + 1) * 8);
        const AirtimeTotals before = totals;
        totals += AirtimeTotals{bits, 1};
        CHECK(totals.Bits >= before.Bits && totals.Transmissions >= before.Transmissions);
        const int64_t now = AirtimePercent(totals, rate, txDelay, txTail, periodMs);
        CHECK(now >= 0 && now <= 100);
        CHECK(now >= percent);
        percent = now;
    }
    return 0;
}
