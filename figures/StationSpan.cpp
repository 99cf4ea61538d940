// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationSpan.h"

#include <algorithm>
#include <map>

StationSpan SummariseStations(const std::vector<StationRow>& Rows)
{
    std::map<std::string, StationRow, std::less<>> byCall;
    for (const StationRow& r : Rows) {
        StationRow& s = byCall[r.Call];
        s.Call = r.Call;
        s.Frames += r.Frames;
        s.AirMicros += r.AirMicros;
        s.Own = s.Own || r.Own;
        s.Originated += r.Originated;
        s.Copies += r.Copies;
        s.CopiesAirMicros += r.CopiesAirMicros;
        s.LastHeard = std::max(s.LastHeard, r.LastHeard);
    }

    StationSpan span;
    int64_t copies = 0, ownCopies = 0;
    for (auto& [call, s] : byCall) {
        span.AirMicros += s.AirMicros;
        copies += s.CopiesAirMicros;
        if (s.Own) {
            span.OwnMicros += s.AirMicros;
            const int64_t digipeats = std::max<int64_t>(s.Frames - s.Originated, 0);
            if (s.Frames > 0)
                ownCopies += static_cast<int64_t>(static_cast<double>(s.AirMicros) * static_cast<double>(digipeats)
                                                  / static_cast<double>(s.Frames));
        }
        if (call == StationTally::OthersCall)
            span.Folded = true;
        span.Lines.push_back({std::move(s), 0, -1});
    }
    span.CopiesMicros = std::clamp<int64_t>(copies - ownCopies, 0, span.AirMicros - span.OwnMicros);
    span.OriginalsMicros = span.AirMicros - span.OwnMicros - span.CopiesMicros;
    for (StationLine& l : span.Lines)
        l.SharePercent = span.AirMicros > 0
                             ? 100.0 * static_cast<double>(l.Station.AirMicros) / static_cast<double>(span.AirMicros)
                             : 0.0;
    std::stable_sort(span.Lines.begin(), span.Lines.end(), [](const StationLine& a, const StationLine& b) {
        return a.Station.AirMicros > b.Station.AirMicros;
    });
    return span;
}
