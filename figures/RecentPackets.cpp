// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecentPackets.h"

#include <algorithm>
#include <utility>

RecentPackets::RecentPackets(size_t Kept)
    : kept(std::max<size_t>(Kept, 1))
{
}

void RecentPackets::erase(size_t At)
{
    // Linear probing without tombstones: each later key of the run that
    // could have sat in the freed slot moves back into it.
    const size_t mask = index.size() - 1;
    size_t next = At;
    for (;;) {
        next = (next + 1) & mask;
        if (!index[next].Used)
            break;
        const size_t h = home(index[next].K);
        // Whether h lies cyclically within (At, next]: if so, it stays.
        const bool stays = At <= next ? (At < h && h <= next) : (At < h || h <= next);
        if (!stays) {
            index[At] = index[next];
            At = next;
        }
    }
    index[At].Used = false;
    --used;
}

void RecentPackets::dropOldest(int64_t OldestMs)
{
    while (count > 0 && (count >= kept || ring[head].TimeMs < OldestMs)) {
        const Hearing& oldest = ring[head];
        // The index may hold a later hearing of the same key.
        const size_t at = slotOf(oldest.K);
        if (index[at].Used && index[at].LatestMs == oldest.TimeMs)
            erase(at);
        head = head + 1 == ring.size() ? 0 : head + 1;
        --count;
    }
}

void RecentPackets::growRing()
{
    std::vector<Hearing> grown(std::min(std::max<size_t>(ring.size() * 2, 16), kept));
    for (size_t i = 0; i < count; ++i)
        grown[i] = ring[(head + i) % ring.size()];
    ring = std::move(grown);
    head = 0;
}

void RecentPackets::growIndex()
{
    std::vector<Slot> old = std::move(index);
    indexBits = std::max(indexBits + 1, 5u);
    index.assign(size_t{1} << indexBits, Slot{});
    for (const Slot& s : old)
        if (s.Used)
            index[slotOf(s.K)] = s;
}

void RecentPackets::Add(const Key& K, int64_t TimeMs)
{
    if (count == ring.size())
        growRing();
    if (count == ring.size()) // MakeRoom was not called: the oldest goes
        MakeRoom(INT64_MIN);
    ring[(head + count) % ring.size()] = {K, TimeMs};
    ++count;

    if ((used + 1) * 2 > index.size())
        growIndex();
    Slot& s = index[slotOf(K)];
    if (!s.Used) {
        s.K = K;
        s.Used = true;
        ++used;
    }
    s.LatestMs = TimeMs;
}
