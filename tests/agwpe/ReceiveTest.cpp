// SPDX-License-Identifier: GPL-3.0-or-later
// Cutting the received stream into frames and filing them by port.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <tuple>

#include "AgwTestSupport.h"

using namespace std::string_literals;

namespace {

class Receive : public ::testing::Test {
protected:
    void SetUp() override { client.AttachSocket(&socket, 1); }

    TakenFrame take(uint8_t port = 0)
    {
        TakenFrame f{};
        f.Port = port;
        EXPECT_TRUE(client.NextFrame(f.Port, f.Kind, f.CallFrom, f.CallTo, f.DataLen, f.Data));
        return f;
    }
    bool empty(uint8_t port = 0)
    {
        TakenFrame f{};
        f.Port = port;
        return !client.NextFrame(f.Port, f.Kind, f.CallFrom, f.CallTo, f.DataLen, f.Data);
    }

    RecordingSocket socket;
    TAGWPE client{"N0CALL"};
};

// A stream of mixed frames as an engine could send it after the start requests.
std::string mixedStream()
{
    return agw::frame(0, 'X', "N0CALL", "", "\x01"s) +
           agw::frame(0, 'G', "", "", "2;Port1 left;Port2 right;\0"s) +
           agw::frame(0, 'g', "", "", std::string(12, '\x07')) + direWolfUI(1, "N0CALL-1", "APRS", ">Test one two three\n") +
           agw::frame(0, 'S', "W2XYZ-7", "K1ABC-1", " 1:Fm W2XYZ-7 To K1ABC-1 <RR R5 F=1 >[20:49:39]\r\0"s) +
           agw::frame(0, 'I', "K1ABC-1", "W2XYZ-7", " 1:Fm K1ABC-1 To W2XYZ-7 <I S3 R1 pid=0xF0 Len=5 P=0 >[x]\rhello\r\0"s) +
           agw::frame(0, 'Y', "ABCDEFGHIJ", "", "");
}

} // namespace

TEST_F(Receive, SplitHeaderWaitsForRest)
{
    const std::string frame = agw::frame(0, 'U', "A", "B", "");
    EXPECT_TRUE(client.ReceiveBytes(frame.substr(0, 35)));
    EXPECT_TRUE(empty());
    EXPECT_TRUE(client.ReceiveBytes(frame.substr(35)));
    const TakenFrame f = take();
    EXPECT_EQ(f.Kind, 'U');
    EXPECT_EQ(f.DataLen, 0);
    EXPECT_EQ(f.Data, "");
}

TEST_F(Receive, SplitDataWaitsAndSurplusIsCutInTheSameCall)
{
    const std::string first = agw::frame(0, 'U', "A", "B", "0123456789");
    const std::string second = agw::frame(0, 'I', "C", "D", "xyz");
    EXPECT_FALSE(client.ReceiveBytes(first.substr(0, 40))); // header and 4 data bytes
    EXPECT_TRUE(empty());
    EXPECT_TRUE(client.ReceiveBytes(first.substr(40) + second));
    EXPECT_EQ(take().Data, "0123456789");
    EXPECT_EQ(take().Data, "xyz");
    EXPECT_TRUE(empty());
}

TEST_F(Receive, CompleteFramesAreFiledInOrderAndAnIncompleteOneWaits)
{
    const std::string a = agw::frame(0, 'U', "A", "", "one"), b = agw::frame(0, 'S', "B", "", "two"),
                      c = agw::frame(0, 'I', "C", "", "three");
    client.ReceiveBytes(a + b + c.substr(0, 20));
    EXPECT_EQ(take().Data, "one");
    EXPECT_EQ(take().Data, "two");
    EXPECT_TRUE(empty());
    client.ReceiveBytes(c.substr(20));
    EXPECT_EQ(take().Data, "three");
}

TEST_F(Receive, FieldsAreReadAtTheirOffsets)
{
    std::string frame = agw::frame(0, 'U', "ABCDEFGHIJ", "", "data");
    frame[1] = frame[2] = frame[3] = '\xff'; // some engines send the port as 32 bits
    frame[5] = frame[7] = '\x55';
    frame[6] = '\xf0'; // stale PID
    frame.replace(32, 4, "\xde\xad\xbe\xef");
    frame.replace(19, 5, "JUNK!"); // after the zero that ends "call to"
    client.ReceiveBytes(frame);
    const TakenFrame f = take();
    EXPECT_EQ(f.Port, 0);
    EXPECT_EQ(f.Kind, 'U');
    EXPECT_EQ(f.CallFrom, "ABCDEFGHIJ");
    EXPECT_EQ(f.CallTo, "");
    EXPECT_EQ(f.DataLen, 4);
    EXPECT_EQ(f.Data, "data");
}

TEST_F(Receive, CallFieldsEndAtTheirFirstZeroWhateverFollows)
{
    // Every length a field can hold, stale letters after its zero, and zeros
    // only after the first: the call is what lies before the first zero.
    for (size_t length = 0; length <= 10; ++length) {
        std::string frame = agw::frame(0, 'U', "", "", "x");
        for (size_t i = 0; i < 10; ++i) {
            frame[8 + i] = i < length ? char('A' + i) : i == length ? '\0' : i % 2 ? 'Z' : '\0';
            frame[18 + i] = i < 10 - length ? char('a' + i) : i == 10 - length ? '\0' : 'z';
        }
        client.ReceiveBytes(frame);
        const TakenFrame f = take();
        EXPECT_EQ(f.CallFrom, std::string("ABCDEFGHIJ").substr(0, length)) << length;
        EXPECT_EQ(f.CallTo, std::string("abcdefghij").substr(0, 10 - length)) << length;
    }
}

TEST_F(Receive, FramesFiledFromTheWireAndByHandComeBackAlike)
{
    // Received frames keep their call fields whole, frames filed by hand
    // their calls back to back: one ring holds both, in order.
    client.ReceiveBytes(agw::frame(0, 'U', "WIRE-1", "APRS", "first"));
    ASSERT_TRUE(client.Ports[0]->StoreFrame(0, 'I', "HAND-12345", "TO", 6, "second"));
    client.ReceiveBytes(agw::frame(0, 'S', "W", "X", ""));
    for (const auto& [kind, from, to, data] : {std::tuple{'U', "WIRE-1", "APRS", "first"},
                                               {'I', "HAND-12345", "TO", "second"}, {'S', "W", "X", ""}}) {
        const TakenFrame f = take();
        EXPECT_EQ(std::tie(f.Kind, f.CallFrom, f.CallTo, f.Data), std::tie(kind, from, to, data));
        EXPECT_EQ(f.DataLen, static_cast<int32_t>(std::strlen(data)));
    }
    EXPECT_TRUE(empty());
}

TEST_F(Receive, LengthCountsAllFourBytes)
{
    // The old two-byte reading took 65,546 for 10 and read the data as headers.
    const std::string big(65546, 'b');
    client.ReceiveBytes(agw::frame(0, 'U', "A", "", big) + agw::frame(0, 'U', "B", "", "after"));
    TakenFrame f = take();
    EXPECT_EQ(f.DataLen, 65546);
    EXPECT_EQ(f.Data, big);
    f = take();
    EXPECT_EQ(f.CallFrom, "B");
    EXPECT_EQ(f.Data, "after");
}

TEST_F(Receive, OversizedFrameIsSkippedAndFramingGoesOn)
{
    const uint32_t tooLong = TAGWPE::MaxDataLen + 1;
    EXPECT_FALSE(client.ReceiveBytes(agw::frame(0, 'U', "BAD", "", "", tooLong)));
    const std::string mib(1 << 20, '\x24');
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(client.ReceiveBytes(mib));
    EXPECT_TRUE(empty());
    // The last skipped byte, then a good frame in the same chunk.
    EXPECT_TRUE(client.ReceiveBytes("\x24"s + agw::frame(0, 'U', "GOOD", "", "ok")));
    const TakenFrame f = take();
    EXPECT_EQ(f.CallFrom, "GOOD");
    EXPECT_EQ(f.Data, "ok");
    EXPECT_TRUE(empty());
    EXPECT_EQ(client.Ports[0]->FramesIn, 1);
}

TEST_F(Receive, LongestAcceptedFrameIsFiled)
{
    const std::string data(TAGWPE::MaxDataLen, 'm');
    EXPECT_TRUE(client.ReceiveBytes(agw::frame(0, 'U', "A", "", data)));
    EXPECT_EQ(take().DataLen, static_cast<int32_t>(TAGWPE::MaxDataLen));
}

TEST_F(Receive, HugeAnnouncedLengthIsPassedOverUntilDetach)
{
    // 4 GiB announced: the bytes that follow are passed over, chunk by chunk.
    EXPECT_FALSE(client.ReceiveBytes(agw::frame(0, 'U', "BAD", "", "", 0xFFFFFFFFu)));
    const std::string chunk(1 << 20, '\0');
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(client.ReceiveBytes(chunk));
    EXPECT_TRUE(empty());
    // A detach drops the rest of it.
    client.DetachSocket();
    client.AttachSocket(&socket, 1);
    client.ReceiveBytes(agw::frame(0, 'U', "GOOD", "", ""));
    EXPECT_EQ(take().CallFrom, "GOOD");
}

TEST_F(Receive, OnePortServedDiscardsOtherPortsWithoutTrace)
{
    EXPECT_TRUE(client.ReceiveBytes(agw::frame(1, 'U', "P1", "", "xx") + agw::frame(0, 'U', "P0", "", "yy")));
    EXPECT_EQ(take().CallFrom, "P0");
    EXPECT_TRUE(empty());
    EXPECT_FALSE(client.Ports[1]);
    EXPECT_EQ(client.Ports[0]->FramesIn, 1);
    EXPECT_EQ(client.Ports[0]->BytesIn, 38);
    EXPECT_EQ(client.Ports[0]->DataIn, 2);
    // A discarded frame that ends the chunk reports false.
    EXPECT_FALSE(client.ReceiveBytes(agw::frame(7, 'U', "P7", "", "zz")));
}

TEST_F(Receive, BeforeTheFirstAttachNothingIsFiled)
{
    TAGWPE fresh("N0CALL");
    EXPECT_FALSE(fresh.ReceiveBytes(agw::frame(0, 'U', "A", "", "x")));
    uint8_t port = 0;
    char kind = 'q';
    std::string from, to, data;
    int32_t len = 9;
    EXPECT_FALSE(fresh.NextFrame(port, kind, from, to, len, data));
    EXPECT_EQ(kind, 'q'); // refused port index: outputs untouched
    EXPECT_FALSE(fresh.Ports[0]);
}

TEST_F(Receive, NextFrame_EmptyRingClearsOutputsRefusedPortLeavesThem)
{
    uint8_t port = 0;
    char kind = 'K';
    std::string from = "f", to = "t", data = "d";
    int32_t len = 7;
    EXPECT_FALSE(client.NextFrame(port, kind, from, to, len, data));
    EXPECT_EQ(port, 0);
    EXPECT_EQ(kind, '\0');
    EXPECT_EQ(from + to + data, "");
    EXPECT_EQ(len, 0);

    port = 5;
    kind = 'K';
    from = "f";
    len = 7;
    EXPECT_FALSE(client.NextFrame(port, kind, from, to, len, data));
    EXPECT_EQ(port, 5);
    EXPECT_EQ(kind, 'K');
    EXPECT_EQ(from, "f");
    EXPECT_EQ(len, 7);
}

TEST_F(Receive, RingHoldsFiveHundredTwelveInOrder)
{
    std::string stream;
    for (int i = 0; i < 512; ++i)
        stream += agw::frame(0, 'U', "N" + std::to_string(i), "", std::to_string(i));
    EXPECT_TRUE(client.ReceiveBytes(stream));
    EXPECT_TRUE(client.Ports[0]->Full());
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ(take().Data, std::to_string(i));
    EXPECT_TRUE(empty());
}

TEST_F(Receive, FullRingStopsCuttingAndLosesNothing)
{
    // One read of 1,300 frames: the ring fills, the rest waits in the buffer.
    std::string stream;
    for (int i = 0; i < 1300; ++i)
        stream += agw::frame(0, 'U', "", "", std::to_string(i));
    EXPECT_FALSE(client.ReceiveBytes(stream));
    EXPECT_EQ(client.Ports[0]->FramesIn, 512);

    // Taking frames, then an empty chunk, lets cutting go on where it stopped.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(take().Data, std::to_string(i));
    EXPECT_FALSE(client.ReceiveBytes(""));
    EXPECT_EQ(client.Ports[0]->FramesIn, 612);
    std::vector<TakenFrame> rest = receiveAndDrain(client, "");
    ASSERT_EQ(rest.size(), 1200u);
    for (int i = 0; i < 1200; ++i)
        ASSERT_EQ(rest[i].Data, std::to_string(i + 100));
    EXPECT_EQ(client.Ports[0]->FramesIn, 1300);
}

TEST_F(Receive, FullRingHoldsBackFramesOfOtherPortsBehindIt)
{
    client.AttachSocket(&socket, 2);
    std::string stream;
    for (int i = 0; i < 513; ++i)
        stream += agw::frame(0, 'U', "", "", "p0");
    stream += agw::frame(1, 'U', "", "", "p1");
    client.ReceiveBytes(stream);
    EXPECT_TRUE(empty(1)); // order on the wire is kept
    take(0);
    client.ReceiveBytes("");
    EXPECT_EQ(take(1).Data, "p1");
}

TEST_F(Receive, EverySplitOfAStreamGivesTheSameFrames)
{
    const std::string stream = mixedStream();
    // One client for all the runs: a detach forgets the receive state, and
    // every run leaves the ring drained.
    auto feed = [this](const std::vector<std::string>& pieces) {
        client.DetachSocket();
        client.AttachSocket(&socket, 1);
        std::vector<TakenFrame> got;
        for (const std::string& piece : pieces) {
            auto more = receiveAndDrain(client, piece);
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    };
    const std::vector<TakenFrame> expected = feed({stream});
    ASSERT_EQ(expected.size(), 7u);
    EXPECT_EQ(expected[6].CallFrom, "ABCDEFGHIJ");
    for (size_t i = 0; i <= stream.size(); ++i)
        ASSERT_EQ(feed({stream.substr(0, i), stream.substr(i)}), expected) << "cut at " << i;
    std::vector<std::string> bytes;
    for (const char c : stream)
        bytes.emplace_back(1, c);
    EXPECT_EQ(feed(bytes), expected);

    // Every pair of cuts through short frames, one of them for a port that is not served.
    const std::string shortStream = agw::frame(0, 'X', "N0CALL", "", "\x01"s) + agw::frame(0, 'Y', "ABCDEFGHIJ", "", "") +
                                    agw::frame(1, 'U', "OTHER", "", "zz") + agw::frame(0, 'U', "A", "B", "hello") +
                                    agw::frame(0, 'S', "C", "D", "\0\r"s);
    const std::vector<TakenFrame> shortExpected = feed({shortStream});
    ASSERT_EQ(shortExpected.size(), 4u);
    for (size_t i = 0; i <= shortStream.size(); ++i)
        for (size_t j = i; j <= shortStream.size(); ++j)
            ASSERT_EQ(feed({shortStream.substr(0, i), shortStream.substr(i, j - i), shortStream.substr(j)}),
                      shortExpected)
                << "cut at " << i << " and " << j;
}

TEST_F(Receive, ManyPortsFileEachFrameInTheRingOfItsPortByte)
{
    client.AttachSocket(&socket, 128);
    EXPECT_EQ(client.PortCount, 128);
    client.ReceiveBytes(agw::frame(1, 'U', "R2", "", "two") + agw::frame(127, 'U', "R128", "", "last") +
                        agw::frame(128, 'U', "NO", "", "x") + agw::frame(255, 'U', "NO", "", "y"));
    EXPECT_EQ(take(1).CallFrom, "R2");
    EXPECT_EQ(take(127).CallFrom, "R128");
    ASSERT_TRUE(client.Ports[1]);
    EXPECT_EQ(client.Ports[1]->PortNumber, 2);
    EXPECT_EQ(client.Ports[1]->PortIndex, 1);
    // Ports never heard cost no ring, yet read as empty rather than refused.
    EXPECT_FALSE(client.Ports[2]);
    EXPECT_FALSE(client.Ports[128]);
    uint8_t port = 2;
    char kind = 'K';
    std::string from, to, data;
    int32_t len = 0;
    EXPECT_FALSE(client.NextFrame(port, kind, from, to, len, data));
    EXPECT_EQ(kind, '\0');
    EXPECT_FALSE(client.Ports[2]);
    EXPECT_TRUE(drainAll(client).empty());
}

TEST_F(Receive, AttachSetsThePortCount)
{
    for (const int32_t requested : {-3, 0, 1}) {
        TAGWPE c("N0CALL");
        c.AttachSocket(&socket, requested);
        EXPECT_EQ(c.PortCount, 1);
        ASSERT_TRUE(c.Ports[0]);
        EXPECT_EQ(c.Ports[0]->PortNumber, 1);
        EXPECT_EQ(c.Ports[0]->PortIndex, 0);
        EXPECT_FALSE(c.Ports[1]);
    }
    TAGWPE c("N0CALL");
    c.AttachSocket(&socket, 1000);
    EXPECT_EQ(c.PortCount, 128);
    c.AttachSocket(&socket, 5);
    EXPECT_EQ(c.PortCount, 5);
}

TEST_F(Receive, DetachKeepsRingsButDropsAPartialFrame)
{
    const std::string frame = agw::frame(0, 'U', "A", "", "payload");
    client.ReceiveBytes(frame + frame.substr(0, 40));
    TAGWPort* ring = client.Ports[0].get();
    EXPECT_TRUE(client.DetachSocket());
    EXPECT_EQ(client.Ports[0].get(), ring);
    EXPECT_EQ(take().Data, "payload");
    // The half frame is gone: the next bytes start a new header.
    client.ReceiveBytes(agw::frame(0, 'U', "B", "", "next"));
    EXPECT_EQ(take().CallFrom, "B");
    EXPECT_EQ(ring->FramesIn, 2);
    EXPECT_EQ(ring->BytesIn, 36 + 7 + 36 + 4);
}

// A ring drained after every read holds the slots of one read's frames, not
// all 513; frames still come out whole and in order.
TEST_F(Receive, DrainedRingMakesOnlyTheSlotsOneReadNeeds)
{
    struct Case {
        int framesPerRead;
        size_t slots;
    };
    for (const Case c : {Case{1, 1}, Case{7, 7}, Case{100, 100}, Case{600, 512}}) {
        TAGWPE fresh("N0CALL");
        fresh.AttachSocket(&socket, 1);
        int next = 0;
        for (int read = 0; read < 5; ++read) {
            std::string chunk;
            for (int i = 0; i < c.framesPerRead; ++i)
                chunk += agw::frame(0, 'U', "A", "", std::to_string(next + i));
            const std::vector<TakenFrame> got = receiveAndDrain(fresh, chunk);
            ASSERT_EQ(got.size(), static_cast<size_t>(c.framesPerRead)) << c.framesPerRead;
            for (const TakenFrame& f : got)
                ASSERT_EQ(f.Data, std::to_string(next++));
        }
        EXPECT_EQ(fresh.Ports[0]->SlotsMade(), c.slots) << c.framesPerRead << " frames per read";
        EXPECT_EQ(fresh.Waiting(), 0u);
    }
}

TEST(PortRing, StoreAndTakeRoundTripAndFullRingRefuses)
{
    TAGWPort ring(3);
    EXPECT_EQ(ring.PortIndex, 2);
    for (int i = 0; i < 512; ++i)
        ASSERT_TRUE(ring.StoreFrame(2, 'U', "A", "B", 1, "x"));
    EXPECT_FALSE(ring.StoreFrame(2, 'U', "A", "B", 1, "lost"));
    EXPECT_EQ(ring.FramesIn, 512);
    uint8_t port = 0;
    char kind = 0;
    std::string from, to, data;
    int32_t len = 0;
    ASSERT_TRUE(ring.TakeFrame(port, kind, from, to, len, data));
    EXPECT_EQ(port, 2);
    EXPECT_EQ(from + to + data, "ABx");
    // Indices wrap from 512 to 0.
    for (int i = 0; i < 700; ++i) {
        ASSERT_TRUE(ring.StoreFrame(2, 'U', "", "", 1, std::to_string(i % 10)));
        ASSERT_TRUE(ring.TakeFrame(port, kind, from, to, len, data));
    }
    EXPECT_GE(ring.WriteIndex, 0);
    EXPECT_LT(ring.WriteIndex, 513);
    int taken = 0;
    while (ring.TakeFrame(port, kind, from, to, len, data))
        ++taken;
    EXPECT_EQ(taken, 511);
    EXPECT_TRUE(ring.Empty());
}

// A ring read while it fills and never emptied gives its frames back as
// filed, and its buffer stays within a few times what waits (it would
// otherwise hold every frame ever filed).
TEST(PortRing, FramesComeBackAsFiledWhileTheRingNeverEmpties)
{
    struct Case {
        int backlog, perStep; // frames left waiting; filed, then taken, per step
    };
    for (const Case c : {Case{1, 1}, Case{100, 7}, Case{511, 1}}) {
        TAGWPort ring(1);
        std::deque<std::string> waiting;
        size_t waitingBytes = 0, mostWaiting = 0;
        for (int next = 0, step = 0; step < 3000; ++step) {
            for (int i = 0; i < (step == 0 ? c.backlog + c.perStep : c.perStep); ++i, ++next) {
                const std::string from = "F" + std::to_string(next % 999), data(size_t(next * 37 % 300), 'a' + next % 26);
                ASSERT_TRUE(ring.StoreFrame(0, 'U', from, "TO", int32_t(data.size()), data));
                waiting.push_back(from + "|TO|" + data);
                waitingBytes += waiting.back().size();
                mostWaiting = std::max(mostWaiting, waitingBytes);
            }
            for (int i = 0; i < c.perStep; ++i) {
                AGWFrameView f;
                ASSERT_TRUE(ring.TakeFrame(f));
                ASSERT_EQ(std::string(f.CallFrom) + "|" + std::string(f.CallTo) + "|" + std::string(f.Data), waiting.front());
                waitingBytes -= waiting.front().size();
                waiting.pop_front();
            }
        }
        EXPECT_LE(ring.StorageBytes(), 4 * mostWaiting) << c.backlog << " waiting";
    }
}

// Bytes a socket writes straight into the client's buffer are cut as a
// copied chunk would be: short reads, reads ending inside a header, reads
// while a full ring holds bytes back; no more is taken than room was asked for.
TEST_F(Receive, BytesWrittenIntoTheReceiveSpaceAreCutLikeAChunk)
{
    std::string stream;
    for (int i = 0; i < 1500; ++i) // every fifth on port 1, which is not served
        stream += agw::frame(uint8_t(i % 5 == 4), 'U', "C" + std::to_string(i), "", std::string(size_t(i % 97), 'd'));
    const std::vector<TakenFrame> expected = receiveAndDrain(client, stream);
    ASSERT_EQ(expected.size(), 1200u);
    for (const auto& [room, written, drain] : {std::tuple{36, 35, true}, {4096, 4000, true}, {65536, 30000, false}}) {
        client.AttachSocket(&socket, 1);
        std::vector<TakenFrame> got;
        for (size_t at = 0; at < stream.size(); at += size_t(written)) {
            const size_t n = std::min(size_t(written), stream.size() - at);
            std::memcpy(client.ReceiveSpace(size_t(room)), stream.data() + at, n);
            client.ReceiveWritten(n);
            for (const TakenFrame& f : drain ? receiveAndDrain(client, "") : std::vector<TakenFrame>{})
                got.push_back(f);
        }
        for (const TakenFrame& f : receiveAndDrain(client, ""))
            got.push_back(f);
        EXPECT_EQ(got, expected) << room << " asked, " << written << " written";
    }
    // A frame "B" left in the buffer from an earlier read lies right behind
    // the room of the next: claiming more than that room must not file it again.
    const std::string one = agw::frame(0, 'U', "A", "", "x"), two = agw::frame(0, 'U', "B", "", std::string(64, 'y'));
    std::memcpy(client.ReceiveSpace(one.size() + two.size()), (one + two).data(), one.size() + two.size());
    client.ReceiveWritten(one.size() + two.size());
    ASSERT_EQ(receiveAndDrain(client, "").size(), 2u);
    std::memcpy(client.ReceiveSpace(one.size()), one.data(), one.size());
    client.ReceiveWritten(one.size() + two.size());
    EXPECT_EQ(take().CallFrom, "A");
    EXPECT_TRUE(empty());
    EXPECT_EQ(client.Waiting(), 0u);
}

// Frames taken where they arrive, whatever the reads' sizes: in order, those
// of unserved ports and over-long ones passed over as they come and never
// kept, each counted in its port's totals; a port whose ring holds frames
// gets the next filed behind them, and a full ring stops the taking.
TEST_F(Receive, FramesTakenWhereTheyArriveInOrderAndCounted)
{
    std::string huge = agw::frame(0, 'U', "BIG", "", "") + std::string(40, 'z');
    huge.replace(28, 4, "\x01\x00\x00\x01"s); // 16 MiB + 1 announced
    const std::string stream = agw::frame(0, 'U', "A", "B", "one") + agw::frame(1, 'S', "P2", "", "two") +
        agw::frame(5, 'U', "UNSERVED", "", std::string(50, 'u')) + agw::frame(0, 'I', "ABCDEFGHIJ", "KLMNOPQRST", "") +
        agw::frame(1, 'U', "P2B", "X", "three!") + huge;
    const std::vector<TakenFrame> expected = {
        {0, 'U', "A", "B", 3, "one"}, {1, 'S', "P2", "", 3, "two"}, {0, 'I', "ABCDEFGHIJ", "KLMNOPQRST", 0, ""},
        {1, 'U', "P2B", "X", 6, "three!"}};
    const auto takeAll = [this](const std::string& bytes, size_t read) {
        std::vector<TakenFrame> got;
        AGWFrameView f;
        for (size_t at = 0; at < bytes.size(); at += read) {
            const size_t n = std::min(read, bytes.size() - at);
            std::memcpy(client.ReceiveSpace(n), bytes.data() + at, n);
            client.ReceiveKept(n);
            while (client.NextReceived(f))
                got.push_back({f.Port, f.Kind, std::string(f.CallFrom), std::string(f.CallTo), f.DataLen, std::string(f.Data)});
        }
        return got;
    };
    for (const size_t read : {size_t{1}, size_t{7}, size_t{36}, stream.size()}) {
        TAGWPE fresh("N0CALL");
        std::swap(client, fresh);
        client.AttachSocket(&socket, 3);
        EXPECT_EQ(takeAll(stream, read), expected) << read;
        EXPECT_EQ(client.Waiting(), 0u) << read;
        EXPECT_EQ(client.Ports[0]->FramesIn, 2) << read;
        EXPECT_EQ(client.Ports[1]->BytesIn, 36 + 3 + 36 + 6) << read;
    }
    // 510 frames wait in the ring: two more are filed behind them, the third waits.
    client.AttachSocket(&socket, 1);
    std::string fill;
    for (int i = 0; i < TAGWPort::SlotCount - 3; ++i)
        fill += agw::frame(0, 'U', "F", "", "");
    client.ReceiveBytes(fill);
    const std::string three = agw::frame(0, 'U', "L1", "", "") + agw::frame(0, 'U', "L2", "", "") +
        agw::frame(0, 'U', "L3", "", "x");
    EXPECT_EQ(takeAll(three, three.size()), std::vector<TakenFrame>{});
    EXPECT_EQ(client.Waiting(), 37u);
    const std::vector<TakenFrame> ring = drainAll(client);
    ASSERT_EQ(ring.size(), size_t(TAGWPort::SlotCount - 1));
    EXPECT_EQ(ring[ring.size() - 2].CallFrom + ring.back().CallFrom, "L1L2");
    AGWFrameView f;
    ASSERT_TRUE(client.NextReceived(f));
    EXPECT_EQ(f.CallFrom, "L3");
}
