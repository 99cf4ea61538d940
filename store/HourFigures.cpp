// SPDX-License-Identifier: GPL-3.0-or-later
#include "HourFigures.h"

#include "PeriodRecord.h"

#include <algorithm>

namespace {

// The mean of n1 values with mean m1 and n2 with mean m2.
double pooled(double M1, int32_t N1, double M2, int32_t N2)
{
    return N1 + N2 == 0 ? 0 : (M1 * N1 + M2 * N2) / (N1 + N2);
}

} // namespace

void HourFigures::Add(const PeriodRecord& R)
{
    HourFigures one;
    one.Time = Time;
    one.Periods = 1;
    if (!R.HasFigures()) {
        one.Blind = 1;
    } else {
        one.Frames = R.Frames;
        one.Bytes = R.Bytes;
        one.Datas = R.Datas;
        one.Usage = one.UsageMax = R.Usage;
        one.Efficiency = one.EfficiencyMax = R.Efficiency;
        one.Load = one.LoadMax = R.Load;
        one.Airtime = one.AirtimeMax = R.Airtime;
        one.OwnAirtime = one.OwnAirtimeMax = R.OwnAirtime;
    }
    Add(one);
}

void HourFigures::Add(const HourFigures& O)
{
    const int32_t n1 = WithFigures(), n2 = O.WithFigures();
    if (n2 > 0) {
        // Maxima of no periods are no maxima: the other side's stand alone.
        const auto top = [&](int16_t a, int16_t b) { return n1 > 0 ? std::max(a, b) : b; };
        UsageMax = top(UsageMax, O.UsageMax);
        EfficiencyMax = top(EfficiencyMax, O.EfficiencyMax);
        LoadMax = top(LoadMax, O.LoadMax);
        AirtimeMax = top(AirtimeMax, O.AirtimeMax);
        OwnAirtimeMax = top(OwnAirtimeMax, O.OwnAirtimeMax);
        Usage = pooled(Usage, n1, O.Usage, n2);
        Efficiency = pooled(Efficiency, n1, O.Efficiency, n2);
        Load = pooled(Load, n1, O.Load, n2);
        Airtime = pooled(Airtime, n1, O.Airtime, n2);
        OwnAirtime = pooled(OwnAirtime, n1, O.OwnAirtime, n2);
    }
    Periods += O.Periods;
    Blind += O.Blind;
    Frames += O.Frames;
    Bytes += O.Bytes;
    Datas += O.Datas;
}
