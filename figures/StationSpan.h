// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stations of a span as the Stations view shows them: each station's
// periods summed, its share of the channel's airtime, and the channel's
// airtime by kind.
#include "StationTally.h"

#include <cstdint>
#include <vector>

struct StationLine {
    StationRow Station;          // summed over the span
    double SharePercent = 0;     // of the channel's airtime in the span
    int64_t MedianIntervalMs = -1; // between its originals; -1 when not known
};

struct StationSpan {
    std::vector<StationLine> Lines; // busiest first
    int64_t AirMicros = 0;          // the channel's, every station's
    // The same air by kind; they add up to AirMicros.
    int64_t OriginalsMicros = 0, CopiesMicros = 0, OwnMicros = 0;
    bool Folded = false; // stations beyond the day's table are summed under "others"
};

// Rows of any number of periods, in any order, one span.
//
// Own transmissions are this station's rows. Copies are the copies' air of
// every originator, less the part this station sent itself (its digipeats),
// which is its frames beyond the packets it originated, at its average frame
// air. The rest are originals.
StationSpan SummariseStations(const std::vector<StationRow>& Rows);
