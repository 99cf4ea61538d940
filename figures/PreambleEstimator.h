// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Each transmitter's preamble and tail, learned from when its frames reach
// the meter.
//
// An engine passes a heard frame on a few milliseconds after its closing
// flag, always with the same delay. Between the ends of two frames of
// different transmissions lie at least the tail of the first, the preamble
// of the second and the second's own bits; exactly that when the second
// station keyed up the moment the channel cleared, as digipeaters do. The
// lower envelope of these gaps, taken per transmitter, therefore bounds its
// preamble from above and pins it down once the channel has been busy
// around it a few times.
//
// The station's own transmissions ('T') are reported when it keys up, not
// when the frame ends. Right after a heard frame that is the heard
// station's tail; the next frame heard after an own one bounds the own
// preamble and tail together.
//
// Late reads only ever lengthen the gap they end. The one they start is
// shortened, so the single lowest gap of a transmitter is not trusted, and
// frames that came in one read say nothing about their spacing. Gaps are kept
// as measured and split into tails and preambles only when asked, so that a
// tail learned late still applies to the gaps seen before.
#include "CountedFrame.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The lowest values seen, and a low quantile of all of them that a single
// outlier below the rest does not move.
class LowerEnvelope {
public:
    static constexpr size_t Kept = 8;
    // Fewer values than this make no estimate, unless told otherwise.
    static constexpr int64_t MinValues = 2;

    explicit LowerEnvelope(int64_t Least = MinValues)
        : least(Least)
    {
    }
    void Add(int64_t Value);
    // The lowest values kept, lowest first.
    const int64_t* begin() const { return lowest.data(); }
    const int64_t* end() const { return lowest.data() + stored; }
    // The second lowest value up to 40 values, then about the 5th percentile
    // (at most the 8th lowest); the only one when that is enough; nothing
    // before the least number of values.
    std::optional<int64_t> Value() const;
    int64_t Count() const { return seen; }

private:
    std::array<int64_t, Kept> lowest{};
    size_t stored = 0;
    int64_t seen = 0;
    int64_t least;
};

class PreambleEstimator {
public:
    // Transmitters beyond this many share the channel-wide estimate.
    static constexpr size_t MaxTransmitters = 1000;
    // Each transmitter's gaps are kept apart by the transmitter before it,
    // for this many of those.
    static constexpr size_t MaxPredecessors = 8;
    // Gaps this short are frames of one transmission, or a late read.
    static constexpr int64_t MinGapUs = 10'000;
    // Gaps this long tell nothing: the channel was idle.
    static constexpr int64_t MaxGapUs = 30'000'000;
    // Estimates resting on this many gaps, and moved by less than
    // StableChangeUs since the last look, are reported as stable.
    static constexpr int64_t StableValues = 5;
    static constexpr int64_t StableChangeUs = 5'000;

    struct Keying {
        int64_t PreambleMs = 0, TailMs = 0;
        bool Learned = false; // false: nothing learned, take TXDELAY/TXTAIL
    };
    struct Learned {
        std::string Transmitter;
        bool Own = false;
        // For the station itself, preamble and tail together.
        int64_t PreambleMs = 0, TailMs = 0;
        bool TailKnown = false;
        int64_t Gaps = 0;
    };

    // One counted frame that reached the meter at ArrivalUs of a monotonic
    // clock, brought by socket read number Read.
    // Inline, as For: most frames of a burst come in the read of the one
    // before and measure nothing.
    void Observe(const CountedFrame& Frame, int64_t BitRate, int64_t ArrivalUs, uint64_t Read)
    {
        if (BitRate <= 0) {
            last.valid = false;
            return;
        }
        const int64_t airUs = std::min<int64_t>(Frame.AirBits, int64_t{1} << 40) * 1'000'000 / BitRate;
        const int64_t sinceLast = ArrivalUs - last.arrivalUs;
        if (last.valid && last.read != Read && sinceLast >= 0 && sinceLast <= MaxGapUs)
            measure(Frame, airUs, sinceLast);
        // Field by field: the transmitter's string keeps its buffer.
        last.valid = true;
        last.own = Frame.Own;
        last.transmitter.assign(Frame.Transmitter);
        last.arrivalUs = ArrivalUs;
        last.airUs = airUs;
        last.read = Read;
    }
    // The next frame follows no known one (a new connection).
    void Break() { last.valid = false; }
    // Preamble and tail to count for a transmission of the frame's
    // transmitter: its own, else the channel's typical ones.
    [[gnu::always_inline]] Keying For(const CountedFrame& Frame) const
    {
        if (!Frame.Own) {
            const CachedKeying& slot = heardCache[cacheSlot(Frame.Transmitter)];
            if (slot.generation == cacheGeneration && slot.transmitter == Frame.Transmitter)
                return slot.keying;
        }
        return keyingFor(Frame);
    }
    // Transmitters whose estimate has become stable since the last call,
    // each once.
    std::vector<Learned> TakeNewlyStable();

private:
    struct Station {
        // Gap from the end of a heard transmitter's frame to the end of this
        // one's, less this one's bits: that transmitter's tail, idle time,
        // this one's preamble.
        std::unordered_map<std::string, LowerEnvelope> after;
        // The same after the station's own transmission, counted from its
        // key-up less its bits: its preamble and tail, idle, this preamble.
        LowerEnvelope afterOwn;
        // From the end of this one's frame to the station's key-up. Measured
        // directly, so one is enough; a late read that shortens it lengthens
        // the preambles after this station by as much.
        LowerEnvelope tail{1};
        int64_t gaps = 0;
        bool reported = false;
        std::optional<int64_t> lastSeen; // the preamble at the previous look
    };
    // The gap SinceLastUs after the last frame, taken in for Frame.
    void measure(const CountedFrame& Frame, int64_t AirUs, int64_t SinceLastUs);
    // For() past its cache: works the keying out and fills the cache.
    Keying keyingFor(const CountedFrame& Frame) const;
    // The top bits: the hash's last step mixes them best.
    static size_t cacheSlot(std::string_view Transmitter) { return InfoHashOf(Transmitter) >> 58; }
    // Made on first need; null once MaxTransmitters are known.
    Station* station(const std::string& Transmitter);
    std::optional<int64_t> tailOf(const std::string& Transmitter) const;
    Keying heardKeying(const std::string& Transmitter) const;
    std::optional<int64_t> heardPreamble(const Station& S) const;
    std::optional<int64_t> ownKeying() const;
    std::optional<int64_t> preambleOf(const Station& S) const;
    // The median over the transmitters that have an estimate.
    std::optional<int64_t> channelPreamble() const;
    std::optional<int64_t> channelTail() const;

    std::unordered_map<std::string, Station> stations;
    // What For() said per transmitter since the gaps last changed: a burst
    // of frames from one read asks for the same few again and again. One
    // slot per hash of the call; a slot of an earlier generation is empty,
    // so that a change of the gaps empties them all at once.
    struct CachedKeying {
        std::string transmitter;
        Keying keying;
        uint64_t generation = 0;
    };
    static constexpr size_t CacheSlots = 64;
    mutable std::array<CachedKeying, CacheSlots> heardCache{};
    uint64_t cacheGeneration = 1;
    mutable std::optional<Keying> ownCache;
    LowerEnvelope ownAfterOwn; // own key-up to own key-up, less the first one's bits
    int64_t ownGaps = 0;
    bool ownReported = false;
    std::optional<int64_t> ownLastSeen;
    struct Last {
        bool valid = false;
        bool own = false;
        std::string transmitter;
        int64_t arrivalUs = 0, airUs = 0;
        uint64_t read = 0;
    } last;
};
