// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the history chart draws, worked out apart from the chart: a line
// thinned to a few points per pixel column, and the stretches where the
// meter saw nothing (no figures, or no periods at all) that hide the line.
#include <QList>
#include <QPointF>

#include <cstdint>
#include <utility>
#include <vector>

// One period, or one hour of periods, in the chart's terms.
struct PlotSample {
    enum Figure { Airtime, Load, Usage, Count };
    int64_t Time = 0; // seconds since 1970-01-01 UTC
    bool Has = false; // figures; a period of a blind meter has none
    double Value[Count] = {};
    double Max[Count] = {}; // an hour's maxima; a period's own values
};

// What a column keeps of its samples when there are too many.
enum class PlotKeep { Extremes, Highest, Lowest };

// The points of one figure (its Max with Maxima) of the samples within
// [Start, End], x in milliseconds as the time axis takes them. With more than
// two samples per column of the Columns the plot is divided into, each column
// keeps only its lowest and its highest, in the order they came (or only one
// of them, for the edges of a band): the line looks the same and costs a
// fraction to draw. Samples out of time order (a clock set back) are left
// out, so that the line never runs backwards.
QList<QPointF> ThinLine(const std::vector<PlotSample>& Samples, PlotSample::Figure Figure, bool Maxima,
                        int64_t Start, int64_t End, int Columns, PlotKeep Keep = PlotKeep::Extremes);

// What ThinLine works out before it looks at a figure: the samples it takes
// and the column of each. The same for every line of one drawing, so the
// chart works it out once for all of them.
struct PlotColumns {
    std::vector<const PlotSample*> In; // in range, with figures, in time order
    std::vector<int32_t> Column;       // each one's column; empty when all are kept
};
PlotColumns ColumnsOf(const std::vector<PlotSample>& Samples, int64_t Start, int64_t End, int Columns);
QList<QPointF> ThinLine(const PlotColumns& In, PlotSample::Figure Figure, bool Maxima,
                        PlotKeep Keep = PlotKeep::Extremes);

// The stretches of [Start, End] the line must not claim to know: from the
// last sample with figures before a sample without them (or before a step
// longer than MaxStep) to the next sample with figures.
std::vector<std::pair<int64_t, int64_t>> BlindStretches(const std::vector<PlotSample>& Samples, int64_t Start,
                                                        int64_t End, int64_t MaxStep);

// The longest step between periods that still counts as one run: three
// times the usual step (the median), and at least 90 s.
int64_t UsualStepLimit(const std::vector<PlotSample>& Samples);
