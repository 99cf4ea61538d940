// SPDX-License-Identifier: GPL-3.0-or-later
// Who keyed up for each counted frame: raw frames paired with monitor
// frames as Dire Wolf sends them, the station's own digipeats, and engines
// that mark the repeating digipeater in the text.
#include "AGWUnit.h"
#include "CountedFrame.h"
#include "FrameReference.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

std::string raw(const Bytes& Frame)
{
    return std::string(1, '\0') + std::string(Frame.begin(), Frame.end());
}

MonitorHeader header(const std::string& Data)
{
    TAGWPE client("N0CALL");
    MonitorHeader h;
    EXPECT_TRUE(client.ParseMonitorHeader(Data, h)) << Data;
    return h;
}

CountedFrame describe(FrameOrigins& Origins, char Kind, const std::string& Data, uint8_t Port = 0)
{
    return Origins.Describe(Port, Kind, header(Data), Data);
}

const Bytes ui = {0x03, 0xF0};

} // namespace

TEST(FrameOrigins, RawFrameNamesTheDigipeaterThatRepeatedAndGivesExactBits)
{
    struct Case {
        const char* what;
        Bytes frame;
        std::string monitor; // Dire Wolf shows no '*'
        std::string transmitter;
        bool digipeated;
    };
    const Case cases[] = {
        // As captured from Dire Wolf 1.6: "N0SRC-1>APRS,WIDE1-1:hello number 1".
        {"original", join({address("APRS", 0xE0), address("N0SRC", 0x62), address("WIDE1", 0x63), ui,
                           text("hello number 1")}),
         " 1:Fm N0SRC-1 To APRS Via WIDE1-1 <UI pid=F0 Len=14 PF=0 >[08:12:13]\rhello number 1\r\0", "N0SRC-1",
         false},
        {"first hop", join({address("APRS", 0xE0), address("N0SRC", 0x62), address("N0DIG", 0xE2),
                            address("WIDE2", 0x63), ui, text("hop")}),
         " 1:Fm N0SRC-1 To APRS Via N0DIG-1,WIDE2-1 <UI pid=F0 Len=3 PF=0 >[08:12:13]\rhop\r\0", "N0DIG-1", true},
        {"second hop", join({address("APRS", 0xE0), address("N0SRC", 0x62), address("N0DIG", 0xE2),
                             address("N1DIG", 0xE0), address("WIDE2", 0xE1), ui, text("hop")}),
         " 1:Fm N0SRC-1 To APRS Via N0DIG-1,N1DIG,WIDE2 <UI pid=F0 Len=3 PF=0 >[08:12:13]\rhop\r\0", "WIDE2", true},
        {"SSID 0", join({address("CQ", 0xE0), address("N0SRC", 0x61), ui, text("x")}),
         " 1:Fm N0SRC To CQ <UI pid=F0 Len=1 PF=0 >[08:12:13]\rx\r\0", "N0SRC", false},
    };
    for (const Case& c : cases) {
        FrameOrigins origins;
        origins.TakeRaw(0, raw(c.frame));
        const CountedFrame f = describe(origins, 'U', c.monitor);
        EXPECT_EQ(f.Transmitter, c.transmitter) << c.what;
        EXPECT_EQ(f.Digipeated, c.digipeated) << c.what;
        EXPECT_TRUE(f.Exact) << c.what;
        EXPECT_FALSE(f.Own) << c.what;
        EXPECT_EQ(f.AirBits, onAir(c.frame)) << c.what;
        EXPECT_EQ(f.Source, header(c.monitor).Source) << c.what;
        EXPECT_EQ(f.InfoHash, InfoHashOf(MonitorInformation(c.monitor))) << c.what;
    }
}

TEST(FrameOrigins, RawFramesPairOnlyWithTheirOwnMonitorFrame)
{
    const Bytes fromA = join({address("APRS", 0xE0), address("N0AAA", 0x62), address("N0DIG", 0xE3), ui, text("a")});
    const std::string monitorA = " 1:Fm N0AAA-1 To APRS Via N0DIG-1 <UI pid=F0 Len=1 PF=0 >[08:12:13]\ra\r\0";
    const std::string monitorB = " 1:Fm N0BBB-1 To APRS Via N0DIG-1 <UI pid=F0 Len=1 PF=0 >[08:12:13]\rb\r\0";
    const std::string starred = " 1:Fm N0BBB-1 To APRS Via N0DIG-1* <UI pid=F0 Len=1 PF=0 >[08:12:13]\rb\r\0";

    FrameOrigins origins;
    origins.TakeRaw(0, raw(fromA));
    // Another station's frame does not take A's raw frame...
    EXPECT_EQ(describe(origins, 'U', monitorB).Transmitter, "N0BBB-1");
    EXPECT_FALSE(describe(origins, 'U', monitorB).Exact);
    // ...nor does A's frame on another port...
    EXPECT_EQ(describe(origins, 'U', monitorA, 1).Transmitter, "N0AAA-1");
    // ...and A's own takes it once.
    EXPECT_EQ(describe(origins, 'U', monitorA).Transmitter, "N0DIG-1");
    EXPECT_EQ(describe(origins, 'U', monitorA).Transmitter, "N0AAA-1");
    // Without a raw frame, a '*' in the text names the digipeater.
    const CountedFrame f = describe(origins, 'U', starred);
    EXPECT_EQ(f.Transmitter, "N0DIG-1");
    EXPECT_TRUE(f.Digipeated);
    // A broken raw frame (no end of addresses) is ignored.
    origins.TakeRaw(0, raw(join({address("APRS", 0xE0), address("N0BBB", 0x62)})));
    EXPECT_FALSE(describe(origins, 'U', monitorB).Exact);
}

// A raw address field as the monitor text writes its call: the characters
// without their blanks (wherever they stand), "-n" for an SSID n other than 0.
TEST(ParseRawAddresses, CallsOfEveryLengthAndSsid)
{
    const struct {
        std::string field; // the six characters as sent, blank-padded
        int ssid;
        std::string call;
    } cases[] = {
        {"A     ", 0, "A"},           {"AB    ", 3, "AB-3"},     {"ABC   ", 10, "ABC-10"},
        {"ABCD  ", 15, "ABCD-15"},    {"ABCDE ", 9, "ABCDE-9"},  {"ABCDEF", 0, "ABCDEF"},
        {"ABCDEF", 12, "ABCDEF-12"}, {"AB CD ", 1, "ABCD-1"},   {" ABC  ", 0, "ABC"},
        {"      ", 5, "-5"},
    };
    for (const auto& c : cases) {
        const Bytes frame = join({address(c.field, static_cast<uint8_t>(0xE0 | c.ssid << 1)), address("N0SRC", 0x61)});
        const auto parsed = ParseRawAddresses(std::string(frame.begin(), frame.end()));
        ASSERT_TRUE(parsed) << c.field;
        EXPECT_EQ(parsed->Destination, c.call) << c.field;
    }
}

// The last four raw frames wait for their monitor frames, oldest first; a
// monitor frame takes its own and drops those older than it.
TEST(FrameOrigins, RawFramesWaitFourDeepAndOlderOnesGoWithAMatch)
{
    const auto rawFrom = [](int Ssid) {
        return raw(join({address("APRS", 0xE0), address("N0SRC", static_cast<uint8_t>(0x61 | Ssid << 1)), ui,
                         text("x")}));
    };
    const auto monitorFrom = [](int Ssid) {
        return " 1:Fm N0SRC-" + std::to_string(Ssid) + " To APRS <UI pid=F0 Len=1 PF=0 >[08:12:13]\rx\r" + '\0';
    };
    const struct {
        std::vector<int> raws, monitored;
        std::vector<bool> exact;
    } cases[] = {
        {{1, 2, 3, 4, 5}, {1, 2}, {false, true}},
        {{1, 2, 3}, {2, 1, 3}, {true, false, true}},
        {{1, 2, 3, 4, 5, 6, 7}, {4, 7, 6, 5}, {true, true, false, false}},
        {{1, 1, 2}, {1, 1, 1}, {true, true, false}},
    };
    for (const auto& c : cases) {
        FrameOrigins origins;
        for (const int ssid : c.raws)
            origins.TakeRaw(0, rawFrom(ssid));
        for (size_t i = 0; i < c.monitored.size(); ++i)
            EXPECT_EQ(describe(origins, 'U', monitorFrom(c.monitored[i])).Exact, c.exact[i])
                << "case with " << c.raws.size() << " raw frames, monitor frame " << i;
    }
}

TEST(FrameOrigins, OwnDigipeatIsSentUnderTheStationsCallWithItsHBitSet)
{
    // Heard with WIDE1-1, repeated by the station as N0DW-1 (Dire Wolf's
    // trace), and reported as 'T' without a raw frame or a '*'.
    const std::string heardText = " 1:Fm N0SRC-2 To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0";
    const std::string sentText = " 1:Fm N0SRC-2 To APRS Via N0DW-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0";
    const std::string beacon = " 1:Fm N0DW-1 To BEACON <UI pid=F0 Len=2 PF=0 >[08:12:17]\rhi\r\0";
    FrameOrigins origins;
    describe(origins, 'U', heardText);
    const CountedFrame sent = describe(origins, 'T', sentText);
    EXPECT_TRUE(sent.Own);
    EXPECT_TRUE(sent.Digipeated);
    EXPECT_EQ(sent.Transmitter, "N0DW-1");
    EXPECT_EQ(origins.OwnCall(), "N0DW-1");
    EXPECT_EQ(sent.AirBits, onAir(join({address("APRS", 0xE0), address("N0SRC", 0xE4), address("N0DW", 0xE2),
                                        address("WIDE2", 0x63), ui, text("hello")})));
    // What the station originates goes out under its source.
    const CountedFrame own = describe(origins, 'T', beacon);
    EXPECT_TRUE(own.Own);
    EXPECT_FALSE(own.Digipeated);
    EXPECT_EQ(own.Transmitter, "N0DW-1");
}

// The stars an engine may show in the station's own digipeat change nothing:
// sent, every digipeater up to the station's call has its H bit set, none after.
TEST(FrameOrigins, OwnDigipeatIsSentWithTheHBitsItSetWhateverStarsTheTextShows)
{
    const std::string hello = " <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0";
    const int64_t second = onAir(join({address("APRS", 0xE0), address("N0SRC", 0xE4), address("N0ABC", 0xE0),
                                       address("N0DW", 0xE3), ui, text("hello")}));
    const int64_t first = onAir(join({address("APRS", 0xE0), address("N0SRC", 0xE4), address("N0DW", 0xE2),
                                      address("WIDE2", 0x63), ui, text("hello")}));
    const struct {
        const char* heardVia;
        const char* sentVia;
        int64_t bits;
    } cases[] = {
        {"WIDE1-1,WIDE2-1", "N0DW-1*,WIDE2-1", first},  {"WIDE1-1,WIDE2-1", "N0DW-1,WIDE2-1*", first},
        {"WIDE1-1,WIDE2-1", "N0DW-1*,WIDE2-1*", first}, {"N0ABC*,WIDE2-1", "N0ABC*,N0DW-1", second},
        {"N0ABC*,WIDE2-1", "N0ABC,N0DW-1*", second},    {"N0ABC,WIDE2-1", "N0ABC,N0DW-1", second},
    };
    for (const auto& c : cases) {
        FrameOrigins origins;
        describe(origins, 'U', " 1:Fm N0SRC-2 To APRS Via " + std::string(c.heardVia) + hello);
        const CountedFrame sent = describe(origins, 'T', " 1:Fm N0SRC-2 To APRS Via " + std::string(c.sentVia) + hello);
        EXPECT_EQ(sent.Transmitter, "N0DW-1") << c.sentVia;
        EXPECT_EQ(sent.AirBits, c.bits) << c.sentVia;
    }
}

// The station's digipeat is told by the frame it repeats among the last 16
// heard, newest first: an older one has been forgotten.
TEST(FrameOrigins, OwnDigipeatIsFoundAmongTheLastSixteenHeardFrames)
{
    const std::string heardText = " 1:Fm N0SRC-2 To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0";
    const std::string sentText = " 1:Fm N0SRC-2 To APRS Via N0DW-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0";
    const struct {
        int heardSince; // other frames heard between the frame and its digipeat
        bool found;
    } cases[] = {{0, true}, {1, true}, {14, true}, {15, true}, {16, false}, {17, false}, {40, false}};
    for (const auto& c : cases) {
        FrameOrigins origins;
        describe(origins, 'U', heardText);
        for (int i = 0; i < c.heardSince; ++i)
            describe(origins, 'U',
                     " 1:Fm N0OTH-" + std::to_string(i % 16) + " To APRS <UI pid=F0 Len=1 PF=0 >[08:12:17]\r" +
                         static_cast<char>('a' + i % 26) + "\r\0");
        const CountedFrame sent = describe(origins, 'T', sentText);
        EXPECT_EQ(sent.Digipeated, c.found) << c.heardSince;
        EXPECT_EQ(sent.Transmitter, c.found ? "N0DW-1" : "N0SRC-2") << c.heardSince;
    }

    // The same packet heard twice over different paths: the newer path tells
    // which digipeater the station stood in for.
    FrameOrigins origins;
    describe(origins, 'U', " 1:Fm N0SRC-2 To APRS Via N0DW-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0");
    describe(origins, 'U', " 1:Fm N0SRC-2 To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0");
    EXPECT_EQ(describe(origins, 'T', sentText).Transmitter, "N0DW-1");
    FrameOrigins reversed;
    describe(reversed, 'U', " 1:Fm N0SRC-2 To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0");
    describe(reversed, 'U', " 1:Fm N0SRC-2 To APRS Via N0DW-1,N0XYZ <UI pid=F0 Len=5 PF=0 >[08:12:17]\rhello\r\0");
    EXPECT_EQ(describe(reversed, 'T', sentText).Transmitter, "WIDE2-1");
}

// The heard frame is matched by its calls, kept for every length a text can
// hold, without regard to case or an SSID of 0; a call that differs in its
// last character or its length is another station's.
TEST(FrameOrigins, OwnDigipeatMatchesHeardCallsOfEveryLength)
{
    const std::string letters = "N0SRCABCDEFGHIJKLMNOPQRSTU";
    const struct {
        const char* what;
        bool lowerHeard, zeroSsidSent, lastDiffers, longerSent, found;
    } cases[] = {
        {"the same call", false, false, false, false, true},
        {"heard in lower case", true, false, false, false, true},
        {"sent with SSID 0", false, true, false, false, true},
        {"last character differs", false, false, true, false, false},
        {"one character longer", false, false, false, true, false},
    };
    for (const auto& c : cases)
        for (size_t length = 1; length <= 20; ++length) {
            std::string heardCall = letters.substr(0, length), sentCall = heardCall;
            if (c.lowerHeard)
                for (char& ch : heardCall)
                    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (c.lastDiffers)
                sentCall.back() = sentCall.back() == 'Z' ? 'Y' : 'Z';
            if (c.longerSent)
                sentCall += 'X';
            if (c.zeroSsidSent)
                sentCall += "-0";
            FrameOrigins origins;
            describe(origins, 'U',
                     " 1:Fm " + heardCall + " To APRS Via WIDE1-1,WIDE2-1 <UI pid=F0 Len=2 PF=0 >[08:12:17]\rhi\r" +
                         '\0');
            const CountedFrame sent = describe(origins, 'T',
                                               " 1:Fm " + sentCall +
                                                   " To APRS Via N0DW-1,WIDE2-1 <UI pid=F0 Len=2 PF=0 >[08:12:17]\rhi\r" +
                                                   '\0');
            EXPECT_EQ(sent.Digipeated, c.found) << c.what << ", " << length;
        }
}

// Every byte of a text counts towards its hash, wherever it stands: texts of
// every length up to three words that differ in one byte hash apart, and the
// same bytes elsewhere in memory hash alike.
TEST(InfoHashOf, EveryByteCountsAtEveryLength)
{
    for (size_t length = 0; length <= 24; ++length) {
        std::string text(length, '\0');
        for (size_t i = 0; i < length; ++i)
            text[i] = static_cast<char>('A' + (i * 7) % 26);
        const uint64_t hash = InfoHashOf(text);
        const std::string copy = "xyz" + text + "xyz";
        EXPECT_EQ(InfoHashOf(std::string_view(copy).substr(3, length)), hash) << length;
        for (size_t i = 0; i < length; ++i)
            for (const int flip : {0x01, 0x80}) {
                std::string changed = text;
                changed[i] = static_cast<char>(changed[i] ^ flip);
                EXPECT_NE(InfoHashOf(changed), hash) << length << " bytes, byte " << i;
            }
        EXPECT_NE(InfoHashOf(text + '\0'), hash) << length;
    }
}

// A heard frame's transmitter is its source with a-z in upper case, and no
// other byte changed, wherever it stands in a call of any length.
TEST(FrameOrigins, TransmitterIsUpperCaseOfLettersOnlyAtEveryPosition)
{
    std::string bytes; // every byte but the text's separators
    for (int b = 1; b < 256; ++b)
        if (std::string_view(" \r:<>,*").find(static_cast<char>(b)) == std::string_view::npos)
            bytes += static_cast<char>(b);
    for (size_t length = 1; length <= 17; ++length)
        for (size_t at = 0; at + length <= bytes.size(); at += length) {
            const std::string call = bytes.substr(at, length);
            std::string expected = call;
            for (char& ch : expected)
                ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
            FrameOrigins origins;
            EXPECT_EQ(describe(origins, 'U', " 1:Fm " + call + " To APRS <UI pid=F0 Len=2 >[0]\rhi\r" + '\0').Transmitter,
                      expected) << length << " bytes from " << at;
        }
}
