// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The figures of one sample period, from plain numbers to plain numbers. The
// window, the history, the CSV log and the headless mode all take their
// figures from here; none of them computes one itself.
#include <array>
#include <cstdint>
#include <optional>

// Bytes and information bytes of one past period.
struct SampleEntry {
    int32_t Bytes = 0;
    int32_t Datas = 0;
};

// The last ten periods, entry 0 the newest.
using SampleRing = std::array<SampleEntry, 10>;

struct PeriodFigures {
    int64_t Usage = 0;      // this period's bytes as a share of one period's capacity, at most 100
    int64_t Efficiency = 0; // information bytes as a share of all bytes over the ten periods
    int64_t Load = 0;       // the ten periods' bytes as a share of ten periods' capacity, at most 100
    int LoadClass = 0;      // 1 to 4; 0 for a negative load, which leaves the shown class alone
};

// The period the figures are over: the timer's, at least 1 ms.
int64_t EffectivePeriodMs(int64_t TimerMs);

// Bytes the channel carries in one period at ten bits a byte, truncated.
int64_t PeriodCapacity(int64_t TimerMs, int64_t BitRate);

// 1 to 4 for loads 0-24, 25-49, 50-74 and 75 up; 0 below 0.
int LoadClassOf(int64_t Load);

// Ends the period: moves History one place and puts this period's totals in
// front, then computes the figures. Nothing happens, and nothing is returned,
// when the capacity is 0: the totals then go on growing into the next period.
std::optional<PeriodFigures> EvaluatePeriod(int64_t TimerMs, int64_t BitRate, int32_t Bytes, int32_t Datas,
                                            SampleRing& History);
