// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The packets heard lately, oldest first, each found by its key: what copy
// detection needs, without an allocation per packet. A ring of hearings
// and an open-addressing index of each key's latest one, both grown only as
// the channel needs them, up to a bound.
#include <cstddef>
#include <cstdint>
#include <vector>

class RecentPackets {
public:
    // Which packet a frame carries: its source and destination, hashed
    // together, and its content hash. Two words, not a string made per frame.
    struct Key {
        uint64_t Calls = 0;
        uint64_t Content = 0;
        bool operator==(const Key&) const = default;
    };

    // Hearings kept at most; the oldest makes room for a new one.
    explicit RecentPackets(size_t Kept);

    // Drops the hearings before OldestMs, and the oldest beyond Kept - 1 so
    // that one more fits.
    void MakeRoom(int64_t OldestMs)
    {
        // Inline: most frames find nothing to drop.
        if (count > 0 && (count >= kept || ring[head].TimeMs < OldestMs))
            dropOldest(OldestMs);
    }
    // The time of Key's latest hearing still kept, or null.
    int64_t* Latest(const Key& K)
    {
        if (index.empty())
            return nullptr;
        Slot& s = index[slotOf(K)];
        return s.Used ? &s.LatestMs : nullptr;
    }
    // Records a hearing of K at TimeMs as its latest: call MakeRoom first.
    void Add(const Key& K, int64_t TimeMs);
    size_t Size() const { return count; }

private:
    struct Hearing {
        Key K;
        int64_t TimeMs = 0;
    };
    struct Slot {
        Key K;
        int64_t LatestMs = 0;
        bool Used = false;
    };
    size_t home(const Key& K) const
    {
        // Both words are hashes already; the multiplication spreads them over
        // the top bits, which pick the slot.
        const uint64_t h = (K.Calls ^ (K.Content * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
        return static_cast<size_t>(h >> (64 - indexBits));
    }
    // The slot holding K, or the empty one where it would go.
    size_t slotOf(const Key& K) const
    {
        const size_t mask = index.size() - 1;
        size_t at = home(K);
        while (index[at].Used && !(index[at].K == K))
            at = (at + 1) & mask;
        return at;
    }
    void dropOldest(int64_t OldestMs);
    void erase(size_t Slot);
    void growRing();
    void growIndex();

    size_t kept;
    std::vector<Hearing> ring; // oldest at head
    size_t head = 0, count = 0;
    std::vector<Slot> index;   // a power of two long, at most half used
    unsigned indexBits = 0;
    size_t used = 0;
};
