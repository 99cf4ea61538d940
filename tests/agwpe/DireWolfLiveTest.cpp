// SPDX-License-Identifier: GPL-3.0-or-later
// The client against a real Dire Wolf on loopback, fed with gen_packets audio
// through its standard input: the requests must be understood, the replies
// and monitored frames cut and parsed.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "AgwTestSupport.h"
#include "DireWolf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class FdSocket : public AGWSocket {
public:
    explicit FdSocket(int fd) : fd(fd) {}
    void SendText(const std::string& Text) override
    {
        size_t sent = 0;
        while (sent < Text.size()) {
            const ssize_t n = send(fd, Text.data() + sent, Text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }
    int fd;
};

int connectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    close(fd);
    return -1;
}

// Polls until done() holds or the time is up; tells which.
template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    return done();
}

// Reads into the client until done() holds or the time is up.
template <typename Done>
std::vector<TakenFrame> readUntil(int fd, TAGWPE& client, std::chrono::milliseconds limit, Done done)
{
    std::vector<TakenFrame> frames;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done(frames) && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        auto more = receiveAndDrain(client, std::string(buf, static_cast<size_t>(n)));
        frames.insert(frames.end(), more.begin(), more.end());
    }
    return frames;
}

} // namespace

TEST(DireWolfLive, RegistersListsPortsAndMonitorsFrames)
{
    // scripts/test installs Dire Wolf: its absence is a broken setup, not a reason to skip.
    ASSERT_TRUE(onPath("direwolf") && onPath("gen_packets")) << "direwolf and gen_packets are needed";

    char dirTemplate[] = "/tmp/agwlive.XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const fs::path dir = dirTemplate;
    const std::vector<TestFrame> packets = {
        {"N0CALL-1", "APRS", {"WIDE1-1"}, "Test one two three"},
        {"N0CALL-2", "APRS", {"WIDE1-1"}, "!4237.14NS07120.83W#hello"},
        {"WB2OSZ-5", "APRS", {"WIDE1-1"},
         "!4237.14NS07120.83W#PHG7140 a longer comment for a longer frame on the air, " + std::string(120, 'z')},
    };
    Samples audio = silence(0.2);
    audio += afskAudio(packets, dir);
    audio += silence(1.0); // lets the decoder finish the last frame

    std::vector<TakenFrame> frames;
    {
        DireWolf engine(dir);
        ASSERT_TRUE(engine.start()) << engine.error();
        const int fd = connectTo(engine.port());
        ASSERT_GE(fd, 0) << engine.log();
        FdSocket socket(fd);
        TAGWPE client("N0CALL");
        client.AttachSocket(&socket, 128);
        ASSERT_TRUE(client.Register());

        // The 'g' reply comes after 'X' and 'G'.
        frames = readUntil(fd, client, 10s, [](const auto& f) { return f.size() >= 3; });
        ASSERT_EQ(frames.size(), 3u) << engine.log();
        EXPECT_EQ(frames[0].Kind, 'X');
        EXPECT_EQ(frames[0].CallFrom, "N0CALL");
        EXPECT_EQ(frames[0].Data, std::string(1, '\x01')) << "registration refused";
        EXPECT_EQ(frames[1].Kind, 'G');
        EXPECT_EQ(frames[2].Kind, 'g');
        EXPECT_TRUE(client.ParsePortInfo(frames[1].Port, frames[1].Data));
        EXPECT_EQ(client.Ports[0]->Description, "Port1 first soundcard mono");
        // Audio heard before Dire Wolf has taken 'm' would be decoded for nobody.
        ASSERT_TRUE(waitUntil([&] { return engine.linesStartingWith("<<< Enable Reception of Monitoring Frames") > 0; }, 10s))
            << engine.log();

        engine.feed(audio);
        frames = readUntil(fd, client, 30s, [&](const auto& f) { return f.size() >= packets.size(); });
        ASSERT_EQ(frames.size(), packets.size()) << engine.log();

        for (size_t i = 0; i < packets.size(); ++i) {
            const TakenFrame& f = frames[i];
            EXPECT_EQ(f.Kind, 'U');
            EXPECT_EQ(f.Port, 0);
            EXPECT_EQ(f.CallFrom, packets[i].source);
            EXPECT_EQ(f.CallTo, "APRS");
            MonitorHeader h;
            ASSERT_TRUE(client.ParseMonitorHeader(f.Data, h)) << f.Data;
            EXPECT_EQ(DigitsOnly(std::string(h.PortText)), "1");
            EXPECT_EQ(h.Source, packets[i].source);
            EXPECT_EQ(h.Destination, "APRS");
            EXPECT_EQ(h.FrameType, "UI");
            EXPECT_EQ(h.Pid, "F0");
            EXPECT_EQ(h.InfoLen, static_cast<int32_t>(packets[i].info.size()));
            EXPECT_EQ(h.Info.substr(0, packets[i].info.size()), packets[i].info);
        }
        EXPECT_TRUE(client.Unregister());
        client.DetachSocket();
        close(fd);
        EXPECT_EQ(engine.transmitted(), std::vector<std::string>{}) << "Dire Wolf transmitted";
    }
    fs::remove_all(dir);
}
