// The client against a real Dire Wolf on loopback, fed with gen_packets audio
// through its standard input: the requests must be understood, the replies
// and monitored frames cut and parsed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "AgwTestSupport.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool onPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / tool).c_str(), X_OK) == 0)
            return true;
    return false;
}

// Dire Wolf takes AGW ports from 1024 to 49151 only and listens on all
// interfaces, so the port is checked there.
int freeAgwPort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + static_cast<int>((getpid() * 7919 + attempt * 104729) % 20000);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (free)
            return port;
    }
    return 0;
}

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

// Runs Dire Wolf with its audio input on a pipe that the test writes.
class DireWolf {
public:
    DireWolf(const fs::path& dir, int agwPort)
    {
        const fs::path conf = dir / "direwolf.conf";
        std::ofstream(conf) << "ADEVICE stdin null\nARATE 44100\nCHANNEL 0\nMYCALL N0CALL\nMODEM 1200\n"
                            << "AGWPORT " << agwPort << "\nKISSPORT 0\n";
        log = dir / "direwolf.log";
        int audio[2];
        if (pipe(audio) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(audio[0], STDIN_FILENO);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            close(audio[0]);
            close(audio[1]);
            execlp("direwolf", "direwolf", "-t", "0", "-q", "hd", "-c", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(audio[0]);
        audioIn = audio[1];
    }
    ~DireWolf()
    {
        if (audioIn >= 0)
            close(audioIn); // end of input ends Dire Wolf
        if (pid <= 0)
            return;
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                return;
            std::this_thread::sleep_for(100ms);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    void feed(const std::string& audio)
    {
        size_t done = 0;
        while (done < audio.size()) {
            const ssize_t n = write(audioIn, audio.data() + done, audio.size() - done);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }
    std::string logText() const
    {
        std::ifstream in(log);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    pid_t pid = -1;
    int audioIn = -1;
    fs::path log;
};

int connectWithRetry(int port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        close(fd);
        std::this_thread::sleep_for(100ms);
    }
    return -1;
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
    const std::vector<std::pair<std::string, std::string>> packets = {
        {"N0CALL-1", "Test one two three"},
        {"N0CALL-2", "!4237.14NS07120.83W#hello"},
        {"WB2OSZ-5", "!4237.14NS07120.83W#PHG7140 a longer comment for a longer frame on the air, " +
                         std::string(120, 'z')},
    };
    {
        std::ofstream list(dir / "packets.txt");
        for (const auto& [src, info] : packets)
            list << src << ">APRS,WIDE1-1:" << info << "\n";
    }
    const std::string gen = "gen_packets -r 44100 -o '" + (dir / "packets.wav").string() + "' '" +
                            (dir / "packets.txt").string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(gen.c_str()), 0);
    const std::string audio = [&] {
        std::ifstream in(dir / "packets.wav", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    ASSERT_GT(audio.size(), 44u);

    const int port = freeAgwPort();
    ASSERT_NE(port, 0);
    std::vector<TakenFrame> frames;
    {
        DireWolf engine(dir, port);
        ASSERT_GT(engine.pid, 0);
        const int fd = connectWithRetry(port);
        ASSERT_GE(fd, 0) << engine.logText();
        FdSocket socket(fd);
        TAGWPE client("N0CALL");
        client.AttachSocket(&socket, 128);
        ASSERT_TRUE(client.Register());

        // The 'g' reply comes after 'X' and 'G'; 'm' is read right after it.
        frames = readUntil(fd, client, 10s, [](const auto& f) { return f.size() >= 3; });
        ASSERT_EQ(frames.size(), 3u) << engine.logText();
        EXPECT_EQ(frames[0].Kind, 'X');
        EXPECT_EQ(frames[0].CallFrom, "N0CALL");
        EXPECT_EQ(frames[0].Data, std::string(1, '\x01')) << "registration refused";
        EXPECT_EQ(frames[1].Kind, 'G');
        EXPECT_EQ(frames[2].Kind, 'g');
        EXPECT_TRUE(client.ParsePortInfo(frames[1].Port, frames[1].Data));
        EXPECT_EQ(client.Ports[0]->Description, "Port1 first soundcard mono");
        std::this_thread::sleep_for(500ms);

        engine.feed(audio);
        engine.feed(std::string(200000, '\0')); // silence lets the decoder finish the last frame
        frames = readUntil(fd, client, 15s, [&](const auto& f) { return f.size() >= packets.size(); });
        ASSERT_EQ(frames.size(), packets.size()) << engine.logText();

        for (size_t i = 0; i < packets.size(); ++i) {
            const TakenFrame& f = frames[i];
            EXPECT_EQ(f.Kind, 'U');
            EXPECT_EQ(f.Port, 0);
            EXPECT_EQ(f.CallFrom, packets[i].first);
            EXPECT_EQ(f.CallTo, "APRS");
            MonitorHeader h;
            ASSERT_TRUE(client.ParseMonitorHeader(f.Data, h)) << f.Data;
            EXPECT_EQ(DigitsOnly(h.PortText), "1");
            EXPECT_EQ(h.Source, packets[i].first);
            EXPECT_EQ(h.Destination, "APRS");
            EXPECT_EQ(h.FrameType, "UI");
            EXPECT_EQ(h.Pid, "F0");
            // gen_packets keeps the line feed of each line in the information.
            EXPECT_EQ(h.InfoLen, static_cast<int32_t>(packets[i].second.size() + 1));
            EXPECT_EQ(h.Info.substr(0, packets[i].second.size()), packets[i].second);
        }
        EXPECT_TRUE(client.Unregister());
        client.DetachSocket();
        close(fd);
    }
    fs::remove_all(dir);
}
