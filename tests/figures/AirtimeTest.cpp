// SPDX-License-Identifier: GPL-3.0-or-later
// The bits a monitored frame kept the channel busy with, and the airtime
// figure of a period.
#include "AGWUnit.h"
#include "Airtime.h"
#include "FrameReference.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// Dire Wolf's monitor text for a frame: header line, information, CR and NUL
// (the CR only after information).
std::string direWolf(const std::string& Addresses, const std::string& Description, const std::string& Info = {})
{
    std::string data = " 1:" + Addresses + " <" + Description + " >[19:29:58]\r" + Info;
    if (!Info.empty())
        data += '\r';
    return data + std::string(1, '\0');
}

int64_t airBits(const std::string& Data)
{
    TAGWPE client("N0CALL");
    MonitorHeader header;
    EXPECT_TRUE(client.ParseMonitorHeader(Data, header)) << Data;
    return FrameAirBits(header, Data);
}

} // namespace

// Bits counted in gen_packets' audio: tones per bit, NRZI decoded, between
// the last opening flag and the first flag after the frame, plus one flag.
TEST(FrameAirBits, MatchesWhatGenPacketsPutsOnTheAir)
{
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-1 To APRS", "UI pid=F0 Len=5 PF=0", "hello")), 193);
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-1 To APRS", "UI pid=F0 Len=100 PF=0", std::string(100, 'x'))), 953);
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-3 To CQ", "UI pid=F0 Len=0 PF=0")), 154);
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-11 To APRS Via WIDE1-1,WIDE2-1", "UI pid=F0 Len=56 PF=0",
                               "=4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900")),
              714);
    // Ten 0xFF bytes: 80 ones in a row (and four of the PID's before them).
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-12 To BEACON-12", "UI pid=F0 Len=10 PF=0", std::string(10, '\xff'))), 251);

    // The reference used below agrees with the same audio byte for byte.
    EXPECT_EQ(onAir(join({address("APRS", 0xE0), address("N0CALL", 0xE3), {0x03, 0xF0}, text("hello")})), 193);
    EXPECT_EQ(onAir(join({address("BEACON", 0xF8), address("N0CALL", 0xF9), {0x03, 0xF0}, Bytes(10, 0xFF)})), 251);
}

TEST(FrameAirBits, ControlPidAndInformationFollowTheFrameType)
{
    const std::string link = "Fm N0CALL-1 To N0CALL-2";
    // Response: the source's C bit; command: the destination's.
    const Bytes response = join({address("N0CALL", 0x64), address("N0CALL", 0xE3)});
    const Bytes command = join({address("N0CALL", 0xE4), address("N0CALL", 0x63)});

    // S frames: one control byte, no PID, no information.
    EXPECT_EQ(airBits(direWolf(link, "RR R5 F=1")), onAir(join({response, {0xB1}})));
    EXPECT_EQ(airBits(direWolf(link, "REJ R2 P=0")), onAir(join({command, {0x49}})));
    EXPECT_EQ(airBits(direWolf(link, "RR R7 F=1")), onAir(join({response, {0xF1}})));
    // N(R) above 7: a modulo-128 link, two control bytes.
    EXPECT_EQ(airBits(direWolf(link, "RR R100 P=1")), onAir(join({command, {0x01, 0xC9}})));
    EXPECT_EQ(airBits(direWolf(link, "SREJ R12 F=0 Len=0")), onAir(join({response, {0x0D, 0x18}})));
    // I frames: control, PID, information; modulo 128 when a number says so.
    EXPECT_EQ(airBits(direWolf(link, "I S3 R1 pid=F0 Len=5 P=0", "abcde")),
              onAir(join({command, {0x26, 0xF0}, text("abcde")})));
    EXPECT_EQ(airBits(direWolf(link, "I S7 R7 pid=F0 Len=5 P=0", "abcde")),
              onAir(join({command, {0xEE, 0xF0}, text("abcde")})));
    EXPECT_EQ(airBits(direWolf(link, "I S9 R2 pid=F0 Len=5 P=1", "abcde")),
              onAir(join({command, {0x12, 0x05, 0xF0}, text("abcde")})));
    EXPECT_EQ(airBits(direWolf(link, "I S0 R0 pid=0xCF Len=0 P=0")), onAir(join({command, {0x00, 0xCF}})));
    // U frames: one control byte whatever the numbers; XID and TEST carry
    // information but no PID.
    EXPECT_EQ(airBits(direWolf(link, "SABME P=1")), onAir(join({command, {0x7F}})));
    EXPECT_EQ(airBits(direWolf(link, "UA F=1")), onAir(join({response, {0x73}})));
    EXPECT_EQ(airBits(direWolf(link, "DM F=0")), onAir(join({response, {0x0F}})));
    EXPECT_EQ(airBits(direWolf(link, "XID P=1 Len=3", "xyz")), onAir(join({command, {0xBF}, text("xyz")})));
    EXPECT_EQ(airBits(direWolf(link, "TEST F=1 Len=2", "ok")), onAir(join({response, {0xF3}, text("ok")})));
}

// The description's words are read wherever they stand: after long words
// (one that holds a number past its eighth letter is still one word), between
// runs of blanks, right before the '>' or the text's end; only the names
// themselves count, not words that begin like them.
TEST(FrameAirBits, DescriptionWordsAreReadWhereverTheyStand)
{
    const std::string link = " 1:Fm N0CALL-1 To N0CALL-2 <";
    const Bytes response = join({address("N0CALL", 0x64), address("N0CALL", 0xE3)});
    const Bytes command = join({address("N0CALL", 0xE4), address("N0CALL", 0x63)});
    const Bytes both = join({address("N0CALL", 0xE4), address("N0CALL", 0xE3)});
    const struct {
        std::string text;
        Bytes frame;
    } cases[] = {
        // N(S) 3, N(R) 1: 0x26; had "R7" been split off the long word, 0xE6.
        {link + "I S3 R1 XXXXXXXXR7 pid=F0 Len=5 P=0 >[19:29:58]\rabcde\r", join({command, {0x26, 0xF0}, text("abcde")})},
        {link + "I  S3   R1  pid=F0  Len=5  P=0 >[19:29:58]\rabcde\r", join({command, {0x26, 0xF0}, text("abcde")})},
        {link + "UI pid=F0 Len=5 ABCDEFGH P=1 >[19:29:58]\rabcde\r", join({command, {0x13, 0xF0}, text("abcde")})},
        {link + "RR R5 F=1>[19:29:58]\r", join({response, {0xB1}})},
        {link + "RR R5 F=1", join({response, {0xB1}})},
        {link + "RR R5 PF=1 >[19:29:58]\r", join({both, {0xB1}})},
        // Not a P/F name: no P/F bit, and a command as when none is given.
        {link + "RR R5 Px=1 >[19:29:58]\r", join({command, {0xA1}})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(airBits(c.text + std::string(1, '\0')), onAir(c.frame)) << c.text;
}

TEST(FrameAirBits, DigipeatersAddAnAddressEachAndStarMarksThoseThatRepeated)
{
    const Bytes head = join({address("APRS", 0xE0), address("N0CALL", 0xE2)});
    const Bytes tail = join({{0x03, 0xF0}, text("hi")});
    // SSID 12 with the H bit set makes five 1s in a row, so the bit shows.
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-1 To APRS Via N0CALL-12,WIDE2-12", "UI pid=F0 Len=2 PF=0", "hi")),
              onAir(join({head, address("N0CALL", 0x78), address("WIDE2", 0x79), tail})));
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-1 To APRS Via N0CALL-12*,WIDE2-12", "UI pid=F0 Len=2 PF=0", "hi")),
              onAir(join({head, address("N0CALL", 0xF8), address("WIDE2", 0x79), tail})));
    // The last one marked has been preceded by all before it.
    EXPECT_EQ(airBits(direWolf("Fm N0CALL-1 To APRS Via N0CALL-12,WIDE2-12*", "UI pid=F0 Len=2 PF=0", "hi")),
              onAir(join({head, address("N0CALL", 0xF8), address("WIDE2", 0xF9), tail})));

    // One '*' is the mark; a second belongs to the call. Several texts, as
    // the character only shows through the FCS's stuffing.
    for (const std::string info : {"a", "ab", "abc", "abcd", "abcde", "abcdef"}) {
        const std::string data = direWolf("Fm N0CALL-1 To APRS Via AB**", "UI pid=F0 Len=" + std::to_string(info.size()) + " PF=0", info);
        EXPECT_EQ(airBits(data), onAir(join({head, address("AB*", 0xE1), {0x03, 0xF0}, text(info)}))) << info;
    }

    // Without known FCS, each digipeater adds exactly 56 bits.
    const std::string linBpq = " <I C P S3 R1>\r" + std::string(20, 'a') + "\r";
    const int64_t none = airBits(" 1:Fm AB To CD" + linBpq);
    EXPECT_EQ(airBits(" 1:Fm AB To CD Via EF" + linBpq), none + 56);
    EXPECT_EQ(airBits(" 1:Fm AB To CD Via EF,GH,IJ" + linBpq), none + 3 * 56);
}

TEST(FrameAirBits, UnknownBytesTakeTheAverageStuffing)
{
    // LinBPQ's I frame: neither PID nor Len, so PID and FCS are unknown and
    // stuffing runs stop at them. 28 bytes, 16 stuffed in the 80 ones of the
    // information, 24 unknown bits too few for one more on average, flag.
    EXPECT_EQ(airBits(" 1:Fm AB To CD <I C P S3 R1>\r" + std::string(10, '\xff') + "\r"), 28 * 8 + 16 + 8);
    // Len=20 but nothing shown: 176 unknown bits (information and FCS) give 3.
    EXPECT_EQ(airBits(" 1:Fm AB To CD <UI pid=F0 Len=20>\r"), 16 * 8 + 176 + 3 + 8);
    // Unknown frame type: one control byte of unknown value.
    EXPECT_EQ(airBits(" 1:Fm AB To CD <ZZ>\r"), 14 * 8 + 24 + 8);
}

TEST(AirtimePercent, BusySecondsOverThePeriodTruncatedAndCapped)
{
    // 1199 bits at 1200 bit/s are 0.999 s of 10 s: 9.99 %.
    EXPECT_EQ(AirtimePercent({1199, 0}, 1200, 0, 0, 10000), 9);
    EXPECT_EQ(AirtimePercent({1200, 0}, 1200, 0, 0, 10000), 10);
    // Each transmission adds its preamble and tail: 10 x 0.4 s.
    EXPECT_EQ(AirtimePercent({0, 10}, 1200, 300, 100, 10000), 40);
    EXPECT_EQ(AirtimePercent({2400, 10}, 1200, 300, 100, 10000), 60);
    EXPECT_EQ(AirtimePercent({0, 10}, 9600, 300, 100, 10000), 40);
    // Ten gen_packets frames of 100 bytes (953 bits each) at the default
    // 300/100 in 30 s: 7.94 s + 4 s.
    EXPECT_EQ(AirtimePercent({10 * 953, 10}, 1200, 300, 100, 30000), 39);
    // More than the period: 100.
    EXPECT_EQ(AirtimePercent({12000, 1}, 1200, 300, 100, 10000), 100);
    EXPECT_EQ(AirtimePercent({1200 * 100000LL, 0}, 1200, 0, 0, 1000), 100);
    // Periods under a second count as they ran, as for the other figures:
    // 300 bits are a quarter second of a half-second period.
    EXPECT_EQ(AirtimePercent({300, 0}, 1200, 0, 0, 500), 50);
    // No rate, no figure.
    EXPECT_EQ(AirtimePercent({1200, 1}, 0, 300, 100, 10000), 0);
    EXPECT_EQ(AirtimePercent({1200, 1}, -1200, 300, 100, 10000), 0);
    EXPECT_EQ(AirtimePercent({}, 1200, 300, 100, 10000), 0);
}

TEST(AirtimePercent, OwnAirtimeIsPartOfTheChannelsAirtime)
{
    const AirtimeTotals heard{3600, 4};
    const AirtimeTotals own{1200, 2};
    AirtimeTotals all = heard;
    all += own;
    EXPECT_EQ(all.Bits, 4800);
    EXPECT_EQ(all.Transmissions, 6);
    // 4 s + 6 x 0.4 s of 20 s; own: 1 s + 2 x 0.4 s.
    EXPECT_EQ(AirtimePercent(all, 1200, 300, 100, 20000), 32);
    EXPECT_EQ(AirtimePercent(own, 1200, 300, 100, 20000), 9);
}

TEST(AirtimePercent, LearnedPreamblesReplaceTheAssumedOnesForTheirTransmissions)
{
    // 6 transmissions, 2 of them with 150 + 20 ms and 500 + 80 ms learned;
    // the other 4 take 300 + 100 ms: 2.4 s bits + 0.75 s + 1.6 s of 10 s.
    AirtimeTotals t{2880, 6, 750, 2};
    EXPECT_EQ(AirtimePercent(t, 1200, 300, 100, 10000), 47);
    // All learned: the given values play no part.
    EXPECT_EQ(AirtimePercent({0, 2, 1000, 2}, 1200, 300, 100, 10000), 10);
    EXPECT_EQ(AirtimePercent({0, 2, 1000, 2}, 1200, 9000, 9000, 10000), 10);
}

TEST(AirtimeTotals, SumsStopAtTheLargestValueInsteadOfOverflowing)
{
    constexpr int64_t top = std::numeric_limits<int64_t>::max();
    struct Case {
        AirtimeTotals a, b;
        AirtimeTotals sum;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, {10, 20, 30, 40}, {11, 22, 33, 44}},
        {{top - 5, 1, 0, 0}, {10, 1, 0, 0}, {top, 2, 0, 0}},
        {{top, top, top, top}, {1, 1, 1, 1}, {top, top, top, top}},
        {{5, top - 1, 7, 0}, {top, 1, top - 7, 3}, {top, top, top, 3}},
    };
    for (const Case& c : cases) {
        AirtimeTotals t = c.a;
        t += c.b;
        EXPECT_EQ(t.Bits, c.sum.Bits);
        EXPECT_EQ(t.Transmissions, c.sum.Transmissions);
        EXPECT_EQ(t.KeyedMs, c.sum.KeyedMs);
        EXPECT_EQ(t.KeyedTransmissions, c.sum.KeyedTransmissions);
    }
    // A saturated total still gives a figure, capped at 100.
    EXPECT_EQ(AirtimePercent({top, top, 0, 0}, 1200, 300, 100, 10000), 100);
}

TEST(RawFrameAirBits, EveryByteKnownStuffingAndFcsExact)
{
    const Bytes frames[] = {
        join({address("APRS", 0xE0), address("N0CALL", 0xE3), {0x03, 0xF0}, text("hello")}),
        join({address("BEACON", 0xF8), address("N0CALL", 0xF9), {0x03, 0xF0}, Bytes(10, 0xFF)}),
        join({address("APRS", 0xE0), address("N0CALL", 0x62), address("N0DIG", 0xF8), address("WIDE2", 0x63),
              {0x03, 0xF0}, Bytes(200, 0x7E)}),
        Bytes(300, 0x1F),
    };
    for (const Bytes& f : frames)
        EXPECT_EQ(RawFrameAirBits(std::string(f.begin(), f.end())), onAir(f)) << f.size();
}

// Runs of 1s that start in one group of eight bytes and end in the next, or
// that carry over from the byte before, are stuffed as anywhere else; frames
// of every length up to three groups, against the bit-by-bit reference.
TEST(RawFrameAirBits, RunsAcrossEightByteGroupsAreStuffed)
{
    const struct {
        const char* what;
        uint8_t fill, at7, at8;
    } cases[] = {
        {"no run anywhere", 0x41, 0x41, 0x41},
        {"three 1s end a group, two begin the next", 0x00, 0xE0, 0x03},
        {"four 1s end a group, one begins the next", 0x00, 0xF0, 0x01},
        {"a run carried into a group from before it", 0x0F, 0x80, 0x1F},
        {"long runs everywhere", 0xFF, 0xFF, 0xFF},
        {"five 1s inside one byte", 0x3E, 0x41, 0x41},
    };
    for (const auto& c : cases)
        for (size_t length = 0; length <= 24; ++length) {
            Bytes frame(length, c.fill);
            for (size_t i = 7; i < length; i += 8)
                frame[i] = c.at7;
            for (size_t i = 8; i < length; i += 8)
                frame[i] = c.at8;
            EXPECT_EQ(RawFrameAirBits(std::string(frame.begin(), frame.end())), onAir(frame))
                << c.what << ", " << length << " bytes";
        }
}

// Frames of random bytes, drawn mostly from those with long runs of 1s, of
// every length up to five words and a few longer, against the bit-by-bit
// reference: runs that cross bytes, words, the held bytes and the FCS.
TEST(RawFrameAirBits, MatchesTheBitByBitReferenceOnRandomFrames)
{
    const uint8_t runny[] = {0xFF, 0xFE, 0x7F, 0x7E, 0x3E, 0x1F, 0xF8, 0xF0, 0x0F, 0x80, 0x01, 0x00};
    std::mt19937 random(2026);
    const auto pick = [&](size_t Count) { return static_cast<size_t>(random() % Count); };
    for (int round = 0; round < 40; ++round)
        for (size_t length : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{6}, size_t{7}, size_t{8},
                              size_t{9}, size_t{15}, size_t{16}, size_t{17}, size_t{23}, size_t{31}, size_t{40},
                              size_t{257}}) {
            Bytes frame(length);
            for (uint8_t& b : frame)
                b = pick(3) == 0 ? static_cast<uint8_t>(random()) : runny[pick(sizeof runny)];
            EXPECT_EQ(RawFrameAirBits(std::string(frame.begin(), frame.end())), onAir(frame))
                << "round " << round << ", " << length << " bytes";
        }
}

// Monitor texts of UI frames with random calls, SSIDs (the SSID byte's bits
// make runs with the C and H bits), paths and information, against the same
// frame written out byte by byte.
TEST(FrameAirBits, MatchesTheFrameWrittenOutOnRandomFrames)
{
    std::mt19937 random(25);
    const auto pick = [&](int Count) { return static_cast<int>(random() % static_cast<unsigned>(Count)); };
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int round = 0; round < 300; ++round) {
        struct Call {
            std::string text, base;
            int ssid;
        };
        const auto call = [&] {
            Call c;
            for (int n = 1 + pick(6); n > 0; --n)
                c.base += letters[static_cast<size_t>(pick(static_cast<int>(letters.size())))];
            c.ssid = pick(16);
            c.text = c.base + (c.ssid > 0 ? "-" + std::to_string(c.ssid) : "");
            return c;
        };
        const Call to = call(), from = call();
        std::vector<Call> via(static_cast<size_t>(pick(9)));
        for (Call& v : via)
            v = call();
        const size_t repeated = via.empty() ? 0 : static_cast<size_t>(pick(static_cast<int>(via.size()) + 1));
        std::string info(static_cast<size_t>(pick(3) == 0 ? pick(300) : pick(40)), '\0');
        for (char& c : info)
            c = static_cast<char>(pick(4) == 0 ? 0xFF : 32 + pick(95));

        std::string addresses = "Fm " + from.text + " To " + to.text;
        for (size_t i = 0; i < via.size(); ++i)
            addresses += (i == 0 ? " Via " : ",") + via[i].text + (i + 1 == repeated ? "*" : "");
        // "PF=0": Dire Wolf's frames with both C bits set.
        const std::string data =
            direWolf(addresses, "UI pid=F0 Len=" + std::to_string(info.size()) + " PF=0", info);

        Bytes frame = join({address(to.base, static_cast<uint8_t>(0xE0 | to.ssid << 1)),
                            address(from.base, static_cast<uint8_t>(0xE0 | from.ssid << 1 | (via.empty() ? 1 : 0)))});
        for (size_t i = 0; i < via.size(); ++i)
            frame = join({frame, address(via[i].base, static_cast<uint8_t>((i < repeated ? 0x80 : 0) | 0x60 |
                                                                           via[i].ssid << 1 |
                                                                           (i + 1 == via.size() ? 1 : 0)))});
        frame = join({frame, {0x03, 0xF0}, text(info)});
        EXPECT_EQ(airBits(data), onAir(frame)) << data;
    }
}

// A call as the monitor text writes it, and the address field it stands for:
// at most six characters before the '-', the SSID's low four bits. Every
// address of a frame is made alike; the source stands for them.
TEST(FrameAirBits, CallsOfEveryLengthMakeTheirAddressField)
{
    const struct {
        std::string call;
        std::string sent; // the characters in the field
        int ssid;
    } cases[] = {
        {"A", "A", 0},
        {"AB-3", "AB", 3},
        {"ABCD", "ABCD", 0},
        {"ABC-12", "ABC", 12},
        {"ABCDEF-1", "ABCDEF", 1},
        {"ABCDEFG", "ABCDEF", 0},
        {"ABCDEFGH", "ABCDEF", 0},
        {"ABCDEFG-5", "ABCDEF", 5},
        {"ABCDEFGHIJ-7", "ABCDEF", 7},
        {"AB-", "AB", 0},
        {"AB-C", "AB", 0},
        {"-9", "", 9},
        {"A-1-2", "A", 1},
        {"ABCD-17", "ABCD", 1}, // the field keeps four bits
        {"\xC1\xC2\xC3-2", "\xC1\xC2\xC3", 2},
        {"\xFF\xFF\xFF\xFF\xFF-15", "\xFF\xFF\xFF\xFF\xFF", 15},
    };
    for (const auto& c : cases) {
        const std::string data = direWolf("Fm " + c.call + " To APRS", "UI pid=F0 Len=2 PF=0", "hi");
        const Bytes frame = join({address("APRS", 0xE0), address(c.sent, static_cast<uint8_t>(0xE1 | c.ssid << 1)),
                                  {0x03, 0xF0}, text("hi")});
        EXPECT_EQ(airBits(data), onAir(frame)) << c.call;
    }
}

// A text cut off before its line end shows no information at all.
TEST(FrameAirBits, TextWithoutLineEndCountsItsHeadAlone)
{
    EXPECT_EQ(airBits(" 1:Fm AB To CD <RR R1>"), onAir(join({address("CD", 0xE0), address("AB", 0x61), {0x21}})));
    EXPECT_EQ(airBits(" 1:Fm AB To CD <TEST>"), onAir(join({address("CD", 0xE0), address("AB", 0x61), {0xE3}})));
}

// The spellings of P/F, command or response and PID the engines write, and
// near misses that say nothing. Each description is read in an I frame whose
// control byte N(S) 7, N(R) 7 has five 1s in a row only with the P/F bit
// (0xFE, else 0xEE), once with the destination's and once with the
// source's SSID 12, which has five 1s in a row only with the C bit (0xF8,
// else 0x78): so each bit changes the count.
TEST(FrameAirBits, DescriptionSpellingsSetPollFinalRoleAndPid)
{
    enum Role { Command, Response, Both };
    const struct {
        std::string words; // after "I S7 R7"
        Role role;
        bool pollFinal;
        uint8_t pid;
    } cases[] = {
        {"pid=F0 Len=2 P", Command, true, 0xF0},
        {"pid=F0 Len=2 P=1", Command, true, 0xF0},
        {"pid=F0 Len=2 P=0", Command, false, 0xF0},
        {"pid=F0 Len=2 F", Response, true, 0xF0},
        {"pid=F0 Len=2 F=1", Response, true, 0xF0},
        {"pid=F0 Len=2 F=0", Response, false, 0xF0},
        {"pid=F0 Len=2 PF=1", Both, true, 0xF0},
        {"pid=F0 Len=2 PF=0", Both, false, 0xF0},
        // Without a value PF and P/F only set the bit; R and C say which end.
        {"PF pid=F0 Len=2", Command, true, 0xF0},
        {"R P/F pid=F0 Len=2", Response, true, 0xF0},
        {"pid=F0 Len=2 C P/F=1", Command, true, 0xF0},
        {"pid=F0 Len=2 R P/F=0", Response, false, 0xF0},
        // A value other than "1" clears the bit.
        {"pid=F0 Len=2 P=11", Command, false, 0xF0},
        {"pid=F0 Len=2 F=", Response, false, 0xF0},
        {"pid=F0 Len=2 P==1", Command, false, 0xF0},
        // Not P/F, C or R: nothing (a command without P/F).
        {"pid=F0 Len=2 Px=1", Command, false, 0xF0},
        {"pid=F0 Len=2 PFF=1", Command, false, 0xF0},
        {"pid=F0 Len=2 P/=1", Command, false, 0xF0},
        {"pid=F0 Len=2 Fx", Command, false, 0xF0},
        {"pid=F0 Len=2 P/Fx1", Command, false, 0xF0},
        {"R pid=F0 Len=2 CC", Response, false, 0xF0},
        {"pid=F0 Len=2 RR", Command, false, 0xF0},
        // The last word of a kind counts.
        {"pid=F0 Len=2 F=1 P=0", Command, false, 0xF0},
        // PID: hexadecimal, with or without "0x", one or two digits; 0xFF
        // has five 1s in a row, so it shows.
        {"pid=FF Len=2 P=0", Command, false, 0xFF},
        {"pid=0xff Len=2 P=0", Command, false, 0xFF},
        {"pid=0XfF Len=2 P=0", Command, false, 0xFF},
        {"pid=F Len=2 P=0", Command, false, 0x0F},
        {"pid=FF Len=2 pid=F0 P=0", Command, false, 0xF0},
        {"pid=F0 Len=2 pidx=FF P=0", Command, false, 0xF0},
        {"pid=F0 Len=2 pidxFF P=0", Command, false, 0xF0},
    };
    for (const auto& c : cases)
        for (const bool destinationShows : {true, false}) {
            const std::string destination = destinationShows ? "N0CALL-12" : "N0CALL";
            const std::string source = destinationShows ? "N0CALL" : "N0CALL-12";
            const uint8_t destinationSsid = destinationShows ? 0x78 : 0x60;
            const uint8_t sourceSsid = destinationShows ? 0x61 : 0x79;
            const bool destinationC = c.role != Response, sourceC = c.role != Command;
            const std::string data = " 1:Fm " + source + " To " + destination + " <I S7 R7 " + c.words +
                " >[19:29:58]\rhi\r" + std::string(1, '\0');
            const Bytes frame = join({address("N0CALL", static_cast<uint8_t>(destinationSsid | (destinationC ? 0x80 : 0))),
                                      address("N0CALL", static_cast<uint8_t>(sourceSsid | (sourceC ? 0x80 : 0))),
                                      {static_cast<uint8_t>(c.pollFinal ? 0xFE : 0xEE), c.pid},
                                      text("hi")});
            EXPECT_EQ(airBits(data), onAir(frame)) << data;
        }

    // A one-digit PID before two blanks is still the PID.
    for (const std::string info : {"a", "ab", "abc", "abcd"}) {
        const std::string data = " 1:Fm AB To CD <UI pid=F  Len=" + std::to_string(info.size()) +
            " P=0 >[19:29:58]\r" + info + "\r" + std::string(1, '\0');
        EXPECT_EQ(airBits(data), onAir(join({address("CD", 0xE0), address("AB", 0x61), {0x03, 0x0F}, text(info)})))
            << info;
    }

    // A PID that is no hexadecimal byte is a byte of unknown value, and so
    // is the FCS: 18 known bytes without a run of five 1s (addresses,
    // control, "\x01hi"), 3 unknown whose 24 bits take no stuffed bit on
    // average (24 / 62 rounds to 0), and the flag. Taken for 0xF0, the PID
    // would make five 1s with the information's first bit.
    for (const std::string pid : {"F0F", "XY", "0x", "G1", "EX", "FG"}) {
        const std::string data =
            " 1:Fm AB To CD <UI pid=" + pid + " Len=3 P=0 >[19:29:58]\r\x01hi\r" + std::string(1, '\0');
        EXPECT_EQ(airBits(data), 18 * 8 + 24 + 8) << pid;
    }
}
