// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreambleEstimator.h"

#include <algorithm>
#include <cstdlib>

namespace {

int64_t toMs(int64_t Us)
{
    return (Us + 500) / 1000;
}

std::optional<int64_t> median(std::vector<int64_t> Values)
{
    if (Values.empty())
        return std::nullopt;
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

} // namespace

void LowerEnvelope::Add(int64_t Value)
{
    ++seen;
    if (stored < Kept) {
        lowest[stored++] = Value;
    } else if (Value < lowest[Kept - 1]) {
        lowest[Kept - 1] = Value;
    } else {
        return;
    }
    std::sort(lowest.begin(), lowest.begin() + static_cast<std::ptrdiff_t>(stored));
}

std::optional<int64_t> LowerEnvelope::Value() const
{
    if (seen < least || stored == 0)
        return std::nullopt;
    if (stored == 1)
        return lowest[0];
    const auto index = static_cast<size_t>(std::clamp<int64_t>(seen / 20, 1, static_cast<int64_t>(stored) - 1));
    return lowest[index];
}

PreambleEstimator::Station* PreambleEstimator::station(const std::string& Transmitter)
{
    const auto it = stations.find(Transmitter);
    if (it != stations.end())
        return &it->second;
    if (stations.size() >= MaxTransmitters)
        return nullptr;
    return &stations[Transmitter];
}

std::optional<int64_t> PreambleEstimator::tailOf(const std::string& Transmitter) const
{
    const auto it = stations.find(Transmitter);
    return it == stations.end() ? std::nullopt : it->second.tail.Value();
}

std::optional<int64_t> PreambleEstimator::heardPreamble(const Station& S) const
{
    // The gaps after every transmitter, pooled, each less that one's tail
    // where it is known; where not, the tail stays in, which errs upwards.
    LowerEnvelope pool;
    for (const auto& [before, gaps] : S.after) {
        const int64_t tail = tailOf(before).value_or(0);
        for (int64_t gap : gaps)
            pool.Add(std::max<int64_t>(gap - tail, 0));
    }
    return pool.Value();
}

std::optional<int64_t> PreambleEstimator::ownKeying() const
{
    // Own transmissions back to back, or one followed by a station whose
    // preamble is known from the gaps after heard ones.
    LowerEnvelope pool;
    for (int64_t gap : ownAfterOwn)
        pool.Add(gap);
    for (const auto& [call, s] : stations) {
        if (s.afterOwn.Count() == 0)
            continue;
        if (const auto preamble = heardPreamble(s))
            for (int64_t gap : s.afterOwn)
                pool.Add(std::max<int64_t>(gap - *preamble, 0));
    }
    return pool.Value();
}

std::optional<int64_t> PreambleEstimator::preambleOf(const Station& S) const
{
    if (const auto heard = heardPreamble(S))
        return heard;
    const auto gap = S.afterOwn.Value();
    const auto keying = gap ? ownKeying() : std::nullopt;
    if (keying)
        return std::max<int64_t>(*gap - *keying, 0);
    return std::nullopt;
}

std::optional<int64_t> PreambleEstimator::channelPreamble() const
{
    std::vector<int64_t> values;
    for (const auto& [call, s] : stations)
        if (const auto v = preambleOf(s))
            values.push_back(*v);
    return median(std::move(values));
}

std::optional<int64_t> PreambleEstimator::channelTail() const
{
    std::vector<int64_t> values;
    for (const auto& [call, s] : stations)
        if (const auto v = s.tail.Value())
            values.push_back(*v);
    return median(std::move(values));
}

void PreambleEstimator::measure(const CountedFrame& Frame, int64_t AirUs, int64_t SinceLastUs)
{
    ++cacheGeneration;
    ownCache.reset();
    if (!Frame.Own) {
        // From the end of the last frame (or the station's key-up) to the
        // start of this one's bits.
        const int64_t gap = SinceLastUs - AirUs - (last.own ? last.airUs : 0);
        Station* s = station(Frame.Transmitter);
        if (s && gap >= MinGapUs) {
            if (last.own) {
                s->afterOwn.Add(gap);
                ++ownGaps;
            } else if (const auto it = s->after.find(last.transmitter); it != s->after.end()) {
                it->second.Add(gap);
            } else if (s->after.size() < MaxPredecessors) {
                s->after[last.transmitter].Add(gap);
            }
            ++s->gaps;
        }
    } else if (!last.own) {
        // Keyed up once the heard station's tail had ended.
        if (Station* before = station(last.transmitter))
            before->tail.Add(SinceLastUs);
    } else if (SinceLastUs - last.airUs >= MinGapUs) {
        // Two of its own in a row: preamble, frame and tail of the first.
        ownAfterOwn.Add(SinceLastUs - last.airUs);
        ++ownGaps;
    }
}

PreambleEstimator::Keying PreambleEstimator::keyingFor(const CountedFrame& Frame) const
{
    if (Frame.Own) {
        if (!ownCache) {
            const auto both = ownKeying();
            ownCache = both ? Keying{toMs(*both), 0, true} : Keying{};
        }
        return *ownCache;
    }
    CachedKeying& slot = heardCache[cacheSlot(Frame.Transmitter)];
    slot.keying = heardKeying(Frame.Transmitter);
    slot.transmitter = Frame.Transmitter;
    slot.generation = cacheGeneration;
    return slot.keying;
}

PreambleEstimator::Keying PreambleEstimator::heardKeying(const std::string& Transmitter) const
{
    const auto it = stations.find(Transmitter);
    const Station* s = it == stations.end() ? nullptr : &it->second;
    std::optional<int64_t> preamble = s ? preambleOf(*s) : std::nullopt;
    if (!preamble)
        preamble = channelPreamble();
    if (!preamble)
        return {};
    std::optional<int64_t> tail = s ? s->tail.Value() : std::nullopt;
    if (!tail)
        tail = channelTail();
    // With no tail known anywhere, each preamble holds the tail before it.
    return {toMs(*preamble), toMs(tail.value_or(0)), true};
}

std::vector<PreambleEstimator::Learned> PreambleEstimator::TakeNewlyStable()
{
    std::vector<Learned> out;
    // Stable: enough gaps, and no move since the last look.
    const auto settled = [](std::optional<int64_t> Now, std::optional<int64_t>& Before, int64_t Gaps) {
        const bool still = Now && Before && Gaps >= StableValues && std::abs(*Now - *Before) < StableChangeUs;
        Before = Now;
        return still;
    };
    if (!ownReported) {
        const auto both = ownKeying();
        if (settled(both, ownLastSeen, ownGaps)) {
            ownReported = true;
            out.push_back({std::string(), true, toMs(*both), 0, false, ownGaps});
        }
    }
    for (auto& [call, s] : stations) {
        if (s.reported)
            continue;
        const auto preamble = preambleOf(s);
        if (!settled(preamble, s.lastSeen, s.gaps))
            continue;
        s.reported = true;
        const auto tail = s.tail.Value();
        out.push_back({call, false, toMs(*preamble), toMs(tail.value_or(0)), tail.has_value(), s.gaps});
    }
    std::sort(out.begin(), out.end(), [](const Learned& a, const Learned& b) { return a.Transmitter < b.Transmitter; });
    return out;
}
