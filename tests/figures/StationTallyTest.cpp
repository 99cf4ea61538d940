// SPDX-License-Identifier: GPL-3.0-or-later
// Who filled the channel: transmitters, originators, copies heard again, the
// stations beyond a day's table and the interval between originals.
#include "StationTally.h"

#include "AGWUnit.h"
#include "CountedFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int64_t T0 = 1765152000000; // 2025-12-08 00:00:00 UTC, ms

StationFrame frame(int64_t AtMs, std::string_view Transmitter, std::string_view Source, int64_t AirMicros,
                   uint64_t Content = 1, std::string_view Destination = "APRS", bool Own = false)
{
    StationFrame f;
    f.TimeMs = T0 + AtMs;
    f.Transmitter = Transmitter;
    f.Source = Source;
    f.Destination = Destination;
    f.ContentHash = Content;
    f.Own = Own;
    f.AirMicros = AirMicros;
    return f;
}

const StationRow* rowOf(const StationPeriod& P, const std::string& Call)
{
    const auto it = std::find_if(P.Rows.begin(), P.Rows.end(), [&](const StationRow& r) { return r.Call == Call; });
    return it == P.Rows.end() ? nullptr : &*it;
}

} // namespace

// A packet heard again from anyone within 30 s of its first hearing is a copy
// of its originator's packet; later, or with anything else different, it is
// a packet of its own.
TEST(StationTally, CopiesAreSameSourceDestinationAndContentWithinThirtySecondsOfTheFirst)
{
    struct Case {
        const char* what;
        std::vector<StationFrame> frames;
        int64_t originated, copies, copiesAir;
    } cases[] = {
        {"digipeated at once", {frame(0, "A", "A", 100), frame(400, "D", "A", 120)}, 1, 1, 120},
        {"30 s after", {frame(0, "A", "A", 100), frame(30000, "D", "A", 120)}, 1, 1, 120},
        {"30.001 s after", {frame(0, "A", "A", 100), frame(30001, "D", "A", 120)}, 2, 0, 0},
        {"window from the first hearing, not the last copy",
         {frame(0, "A", "A", 100), frame(20000, "D", "A", 110), frame(40000, "E", "A", 130)}, 2, 1, 110},
        {"other destination", {frame(0, "A", "A", 100), frame(1000, "D", "A", 120, 1, "BEACON")}, 2, 0, 0},
        {"other content", {frame(0, "A", "A", 100), frame(1000, "D", "A", 120, 2)}, 2, 0, 0},
        {"source sends it again", {frame(0, "A", "A", 100), frame(5000, "A", "A", 100)}, 1, 1, 100},
        {"first heard through a digipeater", {frame(0, "D", "A", 120), frame(900, "E", "A", 140)}, 1, 1, 140},
        {"two digipeaters and this station",
         {frame(0, "A", "A", 100), frame(500, "D", "A", 120), frame(900, "ME", "A", 130, 1, "APRS", true)}, 1, 2,
         250},
    };
    for (const Case& c : cases) {
        StationTally tally;
        for (const StationFrame& f : c.frames)
            tally.Add(f);
        const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 60);
        const StationRow* a = rowOf(p, "A");
        ASSERT_NE(a, nullptr) << c.what;
        EXPECT_EQ(a->Originated, c.originated) << c.what;
        EXPECT_EQ(a->Copies, c.copies) << c.what;
        EXPECT_EQ(a->CopiesAirMicros, c.copiesAir) << c.what;
    }
}

// "A" to "APRS" and "AA" to "PRS" run together into the same letters; they
// are still two packets of two originators.
TEST(StationTally, CallsThatRunTogetherAreNotOnePacket)
{
    StationTally tally;
    tally.Add(frame(0, "A", "A", 100, 1, "APRS"));
    tally.Add(frame(500, "D", "AA", 120, 1, "PRS"));
    const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 60);
    for (const char* call : {"A", "AA"}) {
        const StationRow* row = rowOf(p, call);
        ASSERT_NE(row, nullptr) << call;
        EXPECT_EQ(row->Originated, 1) << call;
        EXPECT_EQ(row->Copies, 0) << call;
    }
}

TEST(StationTally, EachTransmitterCarriesItsOwnFramesAndAirBusiestFirst)
{
    StationTally tally;
    tally.Add(frame(0, "A", "A", 100000));
    tally.Add(frame(300, "D", "A", 120000));
    tally.Add(frame(700, "ME", "A", 130000, 1, "APRS", true));
    tally.Add(frame(5000, "ME", "ME", 90000, 7, "BEACON", true));
    tally.Add(frame(9000, "B", "B", 80000, 3));
    const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 30);

    const int64_t s = T0 / 1000;
    const std::vector<StationRow> expected = {
        // call, frames, air, own, originated, copies, copies' air, last heard
        {"ME", 2, 220000, true, 1, 0, 0, s + 5},
        {"D", 1, 120000, false, 0, 0, 0, s},
        {"A", 1, 100000, false, 1, 2, 250000, s},
        {"B", 1, 80000, false, 1, 0, 0, s + 9},
    };
    EXPECT_EQ(p.Rows, expected);
    EXPECT_EQ(p.Time, s + 30);

    // The next period names only who was on the air in it.
    tally.Add(frame(40000, "D", "B", 60000, 3));
    EXPECT_EQ(tally.ClosePeriod(T0 / 1000 + 60).Rows,
              (std::vector<StationRow>{{"D", 1, 60000, false, 0, 0, 0, s + 40}, {"B", 0, 0, false, 1, 0, 0, s + 40}}));
}

// 501 stations, each heard once: the least busy of them is summed under
// "others", whether it came first or last.
TEST(StationTally, TheFiveHundredAndFirstStationFoldsTheLeastBusyUnderOthers)
{
    struct Case {
        const char* what;
        int64_t lastAir; // air of the 501st station; the others have 2000 + 10 * n µs
        std::string folded;
        int64_t foldedAir;
    } cases[] = {
        {"newcomer busier than the quietest", 900000, "S0", 2000},
        {"newcomer the quietest", 1000, "S500", 1000},
    };
    for (const Case& c : cases) {
        StationTally tally;
        for (int n = 0; n < 500; ++n)
            tally.Add(frame(n * 10, "S" + std::to_string(n), "S" + std::to_string(n), 2000 + 10 * n,
                            static_cast<uint64_t>(n)));
        EXPECT_EQ(tally.FoldsToday(), 0);
        tally.Add(frame(6000, "S500", "S500", c.lastAir, 500));
        const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 30);

        EXPECT_EQ(tally.Stations(), 500u) << c.what;
        EXPECT_EQ(tally.FoldsToday(), 1) << c.what;
        ASSERT_EQ(p.Rows.size(), 501u) << c.what;
        EXPECT_EQ(rowOf(p, c.folded), nullptr) << c.what;
        const StationRow* others = rowOf(p, "others");
        ASSERT_NE(others, nullptr) << c.what;
        EXPECT_EQ(others->Frames, 1) << c.what;
        EXPECT_EQ(others->AirMicros, c.foldedAir) << c.what;
        EXPECT_EQ(others->Originated, 1) << c.what;
        // Nothing is lost: the rows still add up to the channel's air.
        int64_t air = 0;
        for (const StationRow& r : p.Rows)
            air += r.AirMicros;
        const int64_t sent = 500 * 2000 + 10 * (499 * 500 / 2) + c.lastAir;
        EXPECT_EQ(air, sent) << c.what;
    }
}

// The quietest station, the last one heard before a busier newcomer takes
// its place, has no entry of its own when heard again.
TEST(StationTally, AStationFoldedRightAfterItWasHeardIsNotCountedAsKept)
{
    struct Case {
        const char* what;
        int64_t againAir; // costs twice this: less than S1's 2 * 2010 stays under "others"
        bool keptAgain;
    } cases[] = {{"too quiet to come back", 1, false}, {"busy enough to fold S1", 9000, true}};
    for (const Case& c : cases) {
        StationTally tally;
        for (int n = 1; n < 500; ++n)
            tally.Add(frame(n * 10, "S" + std::to_string(n), "S" + std::to_string(n), 2000 + 10 * n,
                            static_cast<uint64_t>(n)));
        tally.Add(frame(5000, "Q", "Q", 1000, 1000));
        tally.Add(frame(6000, "N", "N", 900000, 1001));
        tally.Add(frame(7000, "Q", "Q", c.againAir, 1002));
        const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 30);

        EXPECT_EQ(tally.FoldsToday(), 2) << c.what;
        const StationRow* others = rowOf(p, "others");
        ASSERT_NE(others, nullptr) << c.what;
        EXPECT_EQ(others->Frames, 2) << c.what; // Q's first frame, and Q's second or S1's
        const StationRow* q = rowOf(p, "Q");
        ASSERT_EQ(q != nullptr, c.keptAgain) << c.what;
        if (q) {
            EXPECT_EQ(q->AirMicros, c.againAir) << c.what;
        }
    }
}

TEST(StationTally, ANewDayMakesRoomForItsStationsWithoutFoldingYesterdays)
{
    StationTally tally;
    for (int n = 0; n < 500; ++n)
        tally.Add(frame(n, "S" + std::to_string(n), "S" + std::to_string(n), 5000, static_cast<uint64_t>(n)));
    tally.ClosePeriod(T0 / 1000 + 30);
    tally.ClosePeriod(T0 / 1000 + 86400 + 30);

    tally.Add(frame(86400000 + 60000, "NEW", "NEW", 100));
    const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 86400 + 90);
    EXPECT_EQ(tally.FoldsToday(), 0);
    EXPECT_EQ(tally.Stations(), 500u);
    ASSERT_EQ(p.Rows.size(), 1u);
    EXPECT_EQ(p.Rows[0].Call, "NEW");
}

TEST(StationTally, MedianIntervalBetweenOriginalsInTheSpan)
{
    struct Case {
        const char* what;
        std::vector<int64_t> seconds; // A's packets, each with new content
        int64_t fromS, toS;
        int64_t medianMs;
    } cases[] = {
        {"steady", {0, 10, 20, 30}, 0, 100, 10000},
        {"odd number of intervals", {0, 10, 30, 60}, 0, 100, 20000},
        {"even number: halfway between the middle two", {0, 10, 30, 60, 100}, 0, 100, 25000},
        {"one outlier does not move it", {0, 60, 120, 180, 3600}, 0, 4000, 60000},
        {"only originals within the span", {0, 10, 30, 60, 100}, 25, 100, 35000},
        {"one original", {50}, 0, 100, -1},
        {"none in the span", {0, 10}, 20, 100, -1},
    };
    for (const Case& c : cases) {
        StationTally tally;
        uint64_t content = 1;
        for (int64_t s : c.seconds) {
            tally.Add(frame(s * 1000, "A", "A", 100, content++));
            // A digipeated copy is no original of its own.
            tally.Add(frame(s * 1000 + 700, "D", "A", 100, content - 1));
        }
        EXPECT_EQ(tally.MedianIntervalMs("A", T0 + c.fromS * 1000, T0 + c.toS * 1000), c.medianMs) << c.what;
    }
}

// Frames as Dire Wolf's monitor text describes them, one second apart: is
// the second a copy of the first?
TEST(StationTally, MonitoredFramesAreOnePacketWhenKindAndInformationAgree)
{
    const auto monitor = [](const std::string& Addresses, const std::string& Description, const std::string& Info) {
        std::string data = " 1:" + Addresses + " <" + Description + " >[19:29:58]\r" + Info;
        return (Info.empty() ? data : data + '\r') + std::string(1, '\0');
    };
    struct Case {
        const char* what;
        std::string first, second;
        int64_t copies;
    } cases[] = {
        {"beacon and its digipeat", monitor("Fm A-1 To APRS Via WIDE1-1", "UI pid=F0 Len=5", "hello"),
         monitor("Fm A-1 To APRS Via D-2,WIDE2-1", "UI pid=F0 Len=5", "hello"), 1},
        {"two acknowledgements", monitor("Fm A-1 To B-1", "RR R1 F=1", ""), monitor("Fm A-1 To B-1", "RR R2 F=1", ""),
         0},
        {"an acknowledgement and its digipeat", monitor("Fm A-1 To B-1 Via WIDE1-1", "RR R1 F=1", ""),
         // The repeating digipeater marked as QtSoundModem marks it.
         monitor("Fm A-1 To B-1 Via D-2*,WIDE2-1", "RR R1 F=1", ""), 1},
        {"the next I frame", monitor("Fm A-1 To B-1", "I S3 R1 pid=F0 Len=2", "ok"),
         monitor("Fm A-1 To B-1", "I S4 R1 pid=F0 Len=2", "ok"), 0},
    };
    for (const Case& c : cases) {
        TAGWPE client("N0CALL");
        FrameOrigins origins;
        StationTally tally;
        int64_t at = T0;
        for (const std::string& data : {c.first, c.second}) {
            MonitorHeader header;
            ASSERT_TRUE(client.ParseMonitorHeader(data, header)) << data;
            tally.Add(StationFrameOf(origins.Describe(0, 'U', header, data), header, at, 1000));
            at += 1000;
        }
        const StationPeriod& p = tally.ClosePeriod(T0 / 1000 + 30);
        const StationRow* a = rowOf(p, "A-1");
        ASSERT_NE(a, nullptr) << c.what;
        EXPECT_EQ(a->Copies, c.copies) << c.what;
        EXPECT_EQ(a->Originated, 2 - c.copies) << c.what;
    }
}
