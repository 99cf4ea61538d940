// SPDX-License-Identifier: GPL-3.0-or-later
// Byte streams recorded from Dire Wolf 1.6 on loopback after 'X', 'G', 'g' and
// 'm' (see data/capture-direwolf.sh): its replies, then monitored frames.
#include <gtest/gtest.h>

#include "AgwTestSupport.h"

using namespace std::string_literals;

namespace {

struct Counted {
    int frames = 0;
    int64_t bytes = 0, datas = 0;
};

// What the meter does with every frame of a read: monitored frames of the
// watched radio port are counted, the port list names the rings.
Counted countLikeTheMeter(TAGWPE& client, const std::vector<TakenFrame>& frames, const std::string& portMon)
{
    Counted c;
    for (const TakenFrame& f : frames) {
        if (f.Kind == 'I' || f.Kind == 'S' || f.Kind == 'U') {
            MonitorHeader h;
            EXPECT_TRUE(client.ParseMonitorHeader(f.Data, h)) << f.Data;
            if (DigitsOnly(std::string(h.PortText)) == portMon) {
                ++c.frames;
                c.bytes += h.InfoLen + 19;
                c.datas += h.InfoLen;
            }
        } else if (f.Kind == 'G') {
            client.ParsePortInfo(f.Port, f.Data);
        }
    }
    return c;
}

std::vector<TakenFrame> inChunks(TAGWPE& client, const std::string& stream, size_t chunk)
{
    std::vector<TakenFrame> all;
    for (size_t at = 0; at < stream.size(); at += chunk) {
        auto more = receiveAndDrain(client, stream.substr(at, chunk));
        all.insert(all.end(), more.begin(), more.end());
    }
    return all;
}

} // namespace

TEST(DireWolfCapture, ConnectedModeTrafficIsCutAndCounted)
{
    const std::string stream = readDataFile("direwolf-connected.bin");
    ASSERT_EQ(stream.size(), 2252u);
    RecordingSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 128);
    const std::vector<TakenFrame> frames = inChunks(client, stream, stream.size());
    ASSERT_EQ(frames.size(), 18u);

    // Replies to the start requests.
    EXPECT_EQ(frames[0].Kind, 'X');
    EXPECT_EQ(frames[0].CallFrom, "N0CALL");
    EXPECT_EQ(frames[0].Data, "\x01"s);
    EXPECT_EQ(frames[1].Kind, 'G');
    EXPECT_EQ(frames[2].Kind, 'g');
    EXPECT_EQ(frames[2].DataLen, 12);

    const std::string kinds = "SSIISSSIISSSSSU";
    for (size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(frames[3 + i].Kind, kinds[i]) << i;

    MonitorHeader h;
    ASSERT_TRUE(client.ParseMonitorHeader(frames[5].Data, h));
    EXPECT_EQ(h.FrameType, "I");
    EXPECT_EQ(h.Source, "K1ABC-1");
    EXPECT_EQ(h.Destination, "W2XYZ-7");
    EXPECT_EQ(h.SendSeq, 3);
    EXPECT_EQ(h.RecvSeq, 1);
    EXPECT_EQ(h.Pid, "0xF0");
    EXPECT_EQ(h.InfoLen, 5);
    EXPECT_EQ(h.Info, "hello\r\0"s);

    ASSERT_TRUE(client.ParseMonitorHeader(frames[11].Data, h));
    EXPECT_EQ(h.Pid, "0xCF");
    EXPECT_EQ(h.InfoLen, 256);

    // Dire Wolf 1.6 cuts the monitored text at a NUL but reports the real length.
    ASSERT_TRUE(client.ParseMonitorHeader(frames[10].Data, h));
    EXPECT_EQ(h.InfoLen, 18);
    EXPECT_EQ(h.Info, "bin\r\0"s);

    ASSERT_TRUE(client.ParseMonitorHeader(frames[17].Data, h));
    EXPECT_EQ(h.FrameType, "UI");
    EXPECT_EQ(h.Destination, "APRS");
    EXPECT_EQ(h.InfoLen, 245);

    const Counted c = countLikeTheMeter(client, frames, "1");
    EXPECT_EQ(c.frames, 15);
    // Information of I and UI frames, the XID's Len=3, and the FRMR's three
    // bytes that Dire Wolf shows without a length (here cut at their NUL).
    EXPECT_EQ(c.datas, 5 + 90 + 18 + 256 + 245 + 3 + 3);
    EXPECT_EQ(c.bytes, c.datas + 15 * 19);
    EXPECT_EQ(client.Ports[0]->Description, "Port1 first soundcard mono");
    EXPECT_EQ(countLikeTheMeter(client, frames, "2").frames, 0);
}

TEST(DireWolfCapture, SameFramesWhateverTheReadSize)
{
    for (const char* name : {"direwolf-connected.bin", "direwolf-ui.bin", "direwolf-stereo.bin"}) {
        const std::string stream = readDataFile(name);
        ASSERT_FALSE(stream.empty()) << name;
        RecordingSocket socket;
        TAGWPE whole("N0CALL");
        whole.AttachSocket(&socket, 128);
        const auto expected = inChunks(whole, stream, stream.size());
        for (const size_t chunk : {1u, 2u, 7u, 35u, 36u, 37u, 64u, 1000u}) {
            TAGWPE client("N0CALL");
            client.AttachSocket(&socket, 128);
            EXPECT_EQ(inChunks(client, stream, chunk), expected) << name << " in chunks of " << chunk;
        }
    }
}

TEST(DireWolfCapture, UIFramesGiveTheirInformationLength)
{
    const std::string stream = readDataFile("direwolf-ui.bin");
    RecordingSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 1);
    const auto frames = inChunks(client, stream, 64);
    ASSERT_EQ(frames.size(), 6u);
    std::vector<int32_t> lengths;
    for (size_t i = 3; i < frames.size(); ++i) {
        MonitorHeader h;
        ASSERT_TRUE(client.ParseMonitorHeader(frames[i].Data, h));
        EXPECT_EQ(h.FrameType, "UI");
        EXPECT_EQ(h.Pid, "F0");
        // Info is the information, then the CR and NUL that Dire Wolf appends.
        EXPECT_EQ(static_cast<size_t>(h.InfoLen) + 2, h.Info.size());
        lengths.push_back(h.InfoLen);
    }
    EXPECT_EQ(lengths, (std::vector<int32_t>{20, 26, 103}));
}

TEST(DireWolfCapture, SecondRadioPortArrivesWithPortByteOne)
{
    const std::string stream = readDataFile("direwolf-stereo.bin");
    RecordingSocket socket;

    // Served alone, port index 0 sees only the replies: radio port 2 is lost.
    TAGWPE single("N0CALL");
    single.AttachSocket(&socket, 1);
    EXPECT_EQ(inChunks(single, stream, 4096).size(), 3u);

    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 128);
    const auto frames = inChunks(client, stream, 4096);
    ASSERT_EQ(frames.size(), 18u);
    for (size_t i = 3; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].Port, 1);
    const Counted c = countLikeTheMeter(client, frames, "2");
    EXPECT_EQ(c.frames, 15);
    EXPECT_EQ(c.datas, 614 + 3 + 3); // as on the first channel, XID and FRMR included
    EXPECT_EQ(client.Ports[1]->Description, "Port2 first soundcard right");
    EXPECT_EQ(client.Ports[1]->FramesIn, 15);
    EXPECT_FALSE(client.Ports[2]);
}
