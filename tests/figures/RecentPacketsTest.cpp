// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecentPackets.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <random>
#include <utility>

namespace {

using Key = RecentPackets::Key;

// The same rules kept the plain way: every hearing in order, each key's
// latest hearing in an ordered map.
struct Reference {
    size_t kept;
    std::deque<std::pair<Key, int64_t>> hearings;
    std::map<std::pair<uint64_t, uint64_t>, int64_t> latest;

    void makeRoom(int64_t OldestMs)
    {
        while (!hearings.empty() && (hearings.size() >= kept || hearings.front().second < OldestMs)) {
            const auto [k, at] = hearings.front();
            const auto it = latest.find({k.Calls, k.Content});
            if (it != latest.end() && it->second == at)
                latest.erase(it);
            hearings.pop_front();
        }
    }
    void add(const Key& K, int64_t At)
    {
        hearings.emplace_back(K, At);
        latest[{K.Calls, K.Content}] = At;
    }
};

} // namespace

// Many hearings of a few keys, with a window and a bound small enough that
// keys come and go all the time and the index's runs wrap around its end.
TEST(RecentPackets, FindsEachKeysLatestHearingAsThePlainWayDoes)
{
    struct Case {
        size_t kept;
        uint64_t keys;   // drawn from this many
        int64_t windowMs;
        int64_t maxStepMs;
    } cases[] = {
        {1, 3, 1000, 10}, {8, 5, 50, 10}, {8, 40, 1000000, 3}, {64, 100, 200, 5}, {300, 1000, 5000, 20},
    };
    for (const Case& c : cases) {
        RecentPackets packets(c.kept);
        Reference ref{c.kept, {}, {}};
        std::mt19937_64 random(c.kept * 7919 + c.keys);
        int64_t now = 0;
        for (int step = 0; step < 20000; ++step) {
            now += static_cast<int64_t>(random() % static_cast<uint64_t>(c.maxStepMs + 1));
            // Calls and content alike from a few values: keys that share a word.
            const Key k{random() % c.keys % 7, random() % c.keys};
            packets.MakeRoom(now - c.windowMs);
            ref.makeRoom(now - c.windowMs);
            const int64_t* found = packets.Latest(k);
            const auto expected = ref.latest.find({k.Calls, k.Content});
            ASSERT_EQ(found != nullptr, expected != ref.latest.end()) << "kept " << c.kept << " step " << step;
            if (found) {
                ASSERT_EQ(*found, expected->second) << "kept " << c.kept << " step " << step;
            }
            // Most are heard anew; a copy is only looked up, as the tally does.
            if (random() % 4 != 0) {
                packets.Add(k, now);
                ref.add(k, now);
            }
            ASSERT_EQ(packets.Size(), ref.hearings.size()) << "kept " << c.kept << " step " << step;
        }
    }
}
