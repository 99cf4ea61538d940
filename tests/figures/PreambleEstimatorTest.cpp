// SPDX-License-Identifier: GPL-3.0-or-later
// Preambles and tails learned from when frames arrive, on channels simulated
// here from the timing of each transmission.
#include "PreambleEstimator.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kRate = 1200;
// An engine passes a frame on this long after its closing flag.
constexpr int64_t kLatencyUs = 3'000;

struct Keyer {
    int64_t preambleMs, tailMs;
};

struct Arrival {
    CountedFrame frame;
    int64_t atUs;
};

// Transmissions back to back: each keys up the moment the one before has
// ended its tail. A heard frame arrives after its last bit, the station's own
// when it keys up. Frames are 240 bits (200 ms).
std::vector<Arrival> channel(const std::vector<std::string>& order, const std::map<std::string, Keyer>& keyers,
                             int64_t idleMs = 0)
{
    std::vector<Arrival> out;
    int64_t clearUs = 1'000'000;
    for (const std::string& call : order) {
        const Keyer k = keyers.at(call);
        const bool own = call == "OWN";
        const int64_t keyUp = clearUs + idleMs * 1000;
        const int64_t frameEnd = keyUp + k.preambleMs * 1000 + 200'000;
        CountedFrame f;
        f.Transmitter = call;
        f.Own = own;
        f.AirBits = 240;
        out.push_back({f, (own ? keyUp : frameEnd) + kLatencyUs});
        clearUs = frameEnd + k.tailMs * 1000;
    }
    return out;
}

void feed(PreambleEstimator& e, const std::vector<Arrival>& arrivals)
{
    uint64_t read = 0;
    for (const Arrival& a : arrivals)
        e.Observe(a.frame, kRate, a.atUs, ++read);
}

PreambleEstimator::Keying keyingOf(const PreambleEstimator& e, const std::string& call)
{
    CountedFrame f;
    f.Transmitter = call;
    f.Own = call == "OWN";
    return e.For(f);
}

const std::map<std::string, Keyer> kStations = {{"A", {150, 13}}, {"B", {300, 40}}, {"OWN", {350, 50}}};

// A and B each repeated by the station, and each following the other.
std::vector<std::string> rounds(int n)
{
    std::vector<std::string> order;
    for (int i = 0; i < n; ++i)
        for (const char* c : {"A", "OWN", "B", "A", "B", "OWN", "A", "B"})
            order.emplace_back(c);
    return order;
}

} // namespace

TEST(LowerEnvelope, SecondLowestThenALowQuantileNeverTheSingleLowest)
{
    struct Case {
        std::vector<int64_t> values;
        std::optional<int64_t> expected;
    };
    std::vector<int64_t> forty, hundred;
    for (int64_t v = 40; v >= 1; --v)
        forty.push_back(v);
    for (int64_t v = 1; v <= 100; ++v)
        hundred.push_back(1000 - v);
    const Case cases[] = {
        {{}, std::nullopt},
        {{50}, std::nullopt},
        {{50, 40}, 50}, // of two, the upper
        {{50, 40, 60}, 50},
        {{5, 100, 101, 102}, 100},    // one far below the rest is passed over
        {forty, 3},                   // 40 values: the third lowest
        {hundred, 905},               // 100 values (900 to 999): the sixth lowest
        {std::vector<int64_t>(30, 7), 7},
    };
    for (const Case& c : cases) {
        LowerEnvelope e;
        for (int64_t v : c.values)
            e.Add(v);
        EXPECT_EQ(e.Value(), c.expected) << c.values.size() << " values";
        EXPECT_EQ(e.Count(), static_cast<int64_t>(c.values.size()));
    }
}

TEST(PreambleEstimator, BackToBackTransmissionsGiveEachStationsPreambleAndTail)
{
    struct Case {
        const char* what;
        int64_t idleMs;             // between one carrier and the next key-up
        int64_t lateUs;             // one read of frame 10 that late
        bool pairsInOneRead;        // every second frame read together with the one before
        int64_t slackMs;            // what the estimate may exceed the truth by
    };
    const Case cases[] = {
        {"keyed up at once", 0, 0, false, 0},
        {"a late read", 0, 80'000, false, 0},
        {"frames read two at a time", 0, 0, true, 0},
        {"waiting 20 ms", 20, 0, false, 20},
    };
    for (const Case& c : cases) {
        std::vector<Arrival> arrivals = channel(rounds(3), kStations, c.idleMs);
        arrivals[10].atUs += c.lateUs;
        PreambleEstimator e;
        uint64_t read = 0;
        for (size_t i = 0; i < arrivals.size(); ++i) {
            if (!(c.pairsInOneRead && i % 2 == 1))
                ++read;
            e.Observe(arrivals[i].frame, kRate, arrivals[i].atUs, read);
        }
        for (const char* call : {"A", "B"}) {
            const auto k = keyingOf(e, call);
            const Keyer truth = kStations.at(call);
            ASSERT_TRUE(k.Learned) << c.what << " " << call;
            if (c.pairsInOneRead)
                continue; // nothing else to learn from
            // The idle time counts into the tail (the station keys up that late).
            EXPECT_EQ(k.TailMs, truth.tailMs + c.idleMs) << c.what << " " << call;
            EXPECT_GE(k.PreambleMs + k.TailMs, truth.preambleMs + truth.tailMs) << c.what << " " << call;
            EXPECT_LE(k.PreambleMs + k.TailMs, truth.preambleMs + truth.tailMs + c.slackMs) << c.what << " " << call;
        }
        if (c.pairsInOneRead)
            continue;
        const auto own = keyingOf(e, "OWN");
        ASSERT_TRUE(own.Learned) << c.what;
        EXPECT_GE(own.PreambleMs + own.TailMs, 400) << c.what;
        EXPECT_LE(own.PreambleMs + own.TailMs, 400 + c.slackMs) << c.what;
    }
}

TEST(PreambleEstimator, UnknownStationsTakeTheChannelsTypicalValuesThenNothing)
{
    PreambleEstimator none;
    EXPECT_FALSE(keyingOf(none, "A").Learned);
    EXPECT_FALSE(keyingOf(none, "OWN").Learned);

    PreambleEstimator e;
    feed(e, channel(rounds(3), kStations));
    // Never heard: the median of the stations learned (of two, the upper).
    const auto c = keyingOf(e, "C");
    ASSERT_TRUE(c.Learned);
    EXPECT_EQ(c.PreambleMs, 300);
    EXPECT_EQ(c.TailMs, 40);

    // Frames that are no new transmission (one station, no gap) and gaps of
    // an idle channel teach nothing.
    PreambleEstimator quiet;
    feed(quiet, channel({"A", "A", "A", "A"}, {{"A", {0, 0}}}));
    feed(quiet, channel({"B", "A", "B", "A", "B", "A"}, kStations, 40'000));
    EXPECT_FALSE(keyingOf(quiet, "A").Learned);
    EXPECT_FALSE(keyingOf(quiet, "B").Learned);
}

TEST(PreambleEstimator, EachStableEstimateIsReportedOnceItStopsMoving)
{
    PreambleEstimator e;
    feed(e, channel(rounds(1), kStations));
    EXPECT_TRUE(e.TakeNewlyStable().empty()) << "one round is not enough";
    // A look after every round, as at every tick.
    std::map<std::string, std::vector<PreambleEstimator::Learned>> byCall;
    for (int round = 0; round < 6; ++round) {
        feed(e, channel(rounds(1), kStations));
        for (const auto& l : e.TakeNewlyStable())
            byCall[l.Own ? "OWN" : l.Transmitter].push_back(l);
    }
    ASSERT_EQ(byCall.size(), 3u);
    for (const auto& [call, reports] : byCall)
        EXPECT_EQ(reports.size(), 1u) << call;
    EXPECT_EQ(byCall["A"][0].PreambleMs, 150);
    EXPECT_EQ(byCall["A"][0].TailMs, 13);
    EXPECT_TRUE(byCall["A"][0].TailKnown);
    EXPECT_EQ(byCall["B"][0].PreambleMs, 300);
    EXPECT_EQ(byCall["B"][0].TailMs, 40);
    EXPECT_EQ(byCall["OWN"][0].PreambleMs, 400);
    EXPECT_GE(byCall["B"][0].Gaps, PreambleEstimator::StableValues);
}

// The meter asks after every frame; what it is told follows each new gap,
// and ends where asking only at the end would (the worked figures above).
TEST(PreambleEstimator, AskingAfterEveryFrameFollowsTheGapsAsTheyCome)
{
    PreambleEstimator e;
    uint64_t read = 0;
    bool learnedBefore = false;
    for (const Arrival& a : channel(rounds(3), kStations)) {
        e.Observe(a.frame, kRate, a.atUs, ++read);
        for (const char* call : {"A", "B", "OWN", "C"})
            (void)keyingOf(e, call);
        learnedBefore = learnedBefore || keyingOf(e, "A").Learned;
    }
    EXPECT_TRUE(learnedBefore);
    const struct {
        const char* call;
        int64_t keyingMs; // preamble and tail together
        int64_t tailMs;
    } want[] = {{"A", 150 + 13, 13}, {"B", 300 + 40, 40}, {"C", 300 + 40, 40}, {"OWN", 350 + 50, 0}};
    for (const auto& w : want) {
        const auto k = keyingOf(e, w.call);
        ASSERT_TRUE(k.Learned) << w.call;
        EXPECT_EQ(k.PreambleMs + k.TailMs, w.keyingMs) << w.call;
        EXPECT_EQ(k.TailMs, w.tailMs) << w.call;
    }
}
