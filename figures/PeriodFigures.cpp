// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodFigures.h"

#include <algorithm>
#include <cmath>

namespace {

// Every quotient is formed in extended precision and truncated toward zero,
// never rounded: 24.9 % is load class 1.
int64_t truncated(long double x)
{
    return static_cast<int64_t>(std::trunc(x));
}

long double seconds(int64_t TimerMs)
{
    return static_cast<long double>(EffectivePeriodMs(TimerMs)) / 1000.0L;
}

} // namespace

// The figures are over the period as it ran: a 250 ms period holds a quarter
// of a second's bytes. The floor only keeps a divisor away from zero for a
// period that is no period at all.
int64_t EffectivePeriodMs(int64_t TimerMs)
{
    return std::max<int64_t>(TimerMs, 1);
}

int64_t PeriodCapacity(int64_t TimerMs, int64_t BitRate)
{
    return truncated(static_cast<long double>(BitRate) * seconds(TimerMs) / 10.0L);
}

int LoadClassOf(int64_t Load)
{
    if (Load < 0)
        return 0;
    return Load < 25 ? 1 : Load < 50 ? 2 : Load < 75 ? 3 : 4;
}

std::optional<PeriodFigures> EvaluatePeriod(int64_t TimerMs, int64_t BitRate, int32_t Bytes, int32_t Datas,
                                            SampleRing& History)
{
    const int64_t capacity = PeriodCapacity(TimerMs, BitRate);
    if (capacity == 0)
        return std::nullopt;

    PeriodFigures f;
    f.Usage = std::min<int64_t>(
        truncated(static_cast<long double>(int64_t{Bytes} * 100) / static_cast<long double>(capacity)), 100);

    std::copy_backward(History.begin(), History.end() - 1, History.end());
    History[0] = {Bytes, Datas};
    int64_t byteSum = 0, dataSum = 0;
    for (const SampleEntry& e : History) {
        byteSum += e.Bytes;
        dataSum += e.Datas;
    }
    f.Efficiency = byteSum == 0
        ? 0
        : truncated(static_cast<long double>(dataSum * 100) / static_cast<long double>(byteSum));
    f.Load = std::min<int64_t>(
        truncated(static_cast<long double>(byteSum * 1000) /
                  (static_cast<long double>(BitRate * 10) * seconds(TimerMs))),
        100);
    f.LoadClass = LoadClassOf(f.Load);
    return f;
}
