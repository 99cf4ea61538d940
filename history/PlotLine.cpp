// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlotLine.h"

#include <algorithm>

PlotColumns ColumnsOf(const std::vector<PlotSample>& Samples, int64_t Start, int64_t End, int Columns)
{
    // The samples in range, in time order.
    PlotColumns out;
    std::vector<const PlotSample*>& in = out.In;
    in.reserve(Samples.size());
    for (const PlotSample& s : Samples) {
        if (s.Time < Start || s.Time > End || !s.Has)
            continue;
        if (!in.empty() && s.Time < in.back()->Time)
            continue;
        in.push_back(&s);
    }
    Columns = std::max(Columns, 1);
    if (in.size() <= static_cast<size_t>(2 * Columns) || End <= Start)
        return out;
    const double perColumn = static_cast<double>(End - Start) / Columns;
    // A sample at End belongs to the last column, not to one of its own.
    out.Column.reserve(in.size());
    for (const PlotSample* s : in)
        out.Column.push_back(static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(static_cast<double>(s->Time - Start) / perColumn), Columns - 1)));
    return out;
}

QList<QPointF> ThinLine(const std::vector<PlotSample>& Samples, PlotSample::Figure Figure, bool Maxima,
                        int64_t Start, int64_t End, int Columns, PlotKeep Keep)
{
    return ThinLine(ColumnsOf(Samples, Start, End, Columns), Figure, Maxima, Keep);
}

QList<QPointF> ThinLine(const PlotColumns& Of, PlotSample::Figure Figure, bool Maxima, PlotKeep Keep)
{
    const std::vector<const PlotSample*>& in = Of.In;
    const auto value = [&](const PlotSample* s) { return Maxima ? s->Max[Figure] : s->Value[Figure]; };
    const auto point = [&](const PlotSample* s) { return QPointF(static_cast<qreal>(s->Time) * 1000, value(s)); };
    QList<QPointF> out;
    if (Of.Column.empty()) {
        out.reserve(static_cast<qsizetype>(in.size()));
        for (const PlotSample* s : in)
            out.append(point(s));
        return out;
    }
    out.reserve(2 * (Of.Column.back() + 1));
    size_t i = 0;
    while (i < in.size()) {
        const int32_t column = Of.Column[i];
        const PlotSample *low = in[i], *high = in[i];
        size_t j = i + 1;
        for (; j < in.size() && Of.Column[j] == column; ++j) {
            if (value(in[j]) < value(low))
                low = in[j];
            if (value(in[j]) > value(high))
                high = in[j];
        }
        if (Keep == PlotKeep::Highest) {
            out.append(point(high));
        } else if (Keep == PlotKeep::Lowest) {
            out.append(point(low));
        } else if (low == high) {
            out.append(point(low));
        } else if (low->Time <= high->Time) {
            out.append(point(low));
            out.append(point(high));
        } else {
            out.append(point(high));
            out.append(point(low));
        }
        i = j;
    }
    return out;
}

std::vector<std::pair<int64_t, int64_t>> BlindStretches(const std::vector<PlotSample>& Samples, int64_t Start,
                                                        int64_t End, int64_t MaxStep)
{
    std::vector<std::pair<int64_t, int64_t>> out;
    bool open = false; // inside a stretch
    bool seen = false; // a sample in range came before
    int64_t last = 0, from = 0;
    for (const PlotSample& s : Samples) {
        if (s.Time < Start || s.Time > End || (seen && s.Time < last))
            continue;
        // Outside a stretch the last sample had figures: the line reaches it.
        if (!open && ((seen && s.Time - last > MaxStep) || !s.Has)) {
            open = true;
            from = seen ? last : s.Time;
        }
        if (open && s.Has) {
            out.emplace_back(from, s.Time);
            open = false;
        }
        last = s.Time;
        seen = true;
    }
    if (open)
        out.emplace_back(from, last);
    return out;
}

int64_t UsualStepLimit(const std::vector<PlotSample>& Samples)
{
    std::vector<int64_t> steps;
    steps.reserve(Samples.size());
    for (size_t i = 1; i < Samples.size(); ++i)
        if (Samples[i].Time > Samples[i - 1].Time)
            steps.push_back(Samples[i].Time - Samples[i - 1].Time);
    if (steps.empty())
        return 90;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return std::max<int64_t>(3 * *middle, 90);
}
