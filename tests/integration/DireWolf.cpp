// SPDX-License-Identifier: GPL-3.0-or-later
#include "DireWolf.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <numbers>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string TestFrame::monitorLine() const
{
    std::string line = source + ">" + destination;
    for (const auto& digi : via)
        line += "," + digi;
    return line + ":" + info;
}

Samples silence(double seconds, int sampleRate)
{
    return Samples(static_cast<size_t>(seconds * sampleRate), 0);
}

Samples& operator+=(Samples& a, const Samples& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Samples interleave(const Samples& left, const Samples& right)
{
    const size_t n = std::max(left.size(), right.size());
    Samples out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(i < left.size() ? left[i] : 0);
        out.push_back(i < right.size() ? right[i] : 0);
    }
    return out;
}

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}

uint16_t le16(const std::string& s, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

// The samples of a 16-bit mono PCM WAV file, found by walking its chunks.
Samples wavSamples(const std::string& wav, int sampleRate)
{
    if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0)
        throw std::runtime_error("gen_packets wrote no WAV file");
    bool formatSeen = false;
    for (size_t at = 12; at + 8 <= wav.size();) {
        const std::string id = wav.substr(at, 4);
        const size_t size = le32(wav, at + 4);
        const size_t body = at + 8;
        if (body + size > wav.size() && id != "data")
            break;
        if (id == "fmt " && size >= 16) {
            if (le16(wav, body) != 1 || le16(wav, body + 2) != 1 || le32(wav, body + 4) != static_cast<uint32_t>(sampleRate)
                || le16(wav, body + 14) != 16)
                throw std::runtime_error("gen_packets wrote other audio than 16-bit mono PCM at the asked rate");
            formatSeen = true;
        } else if (id == "data" && formatSeen) {
            const size_t bytes = std::min(size, wav.size() - body) / 2 * 2;
            Samples out(bytes / 2);
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = static_cast<int16_t>(le16(wav, body + 2 * i));
            return out;
        }
        at = body + size + (size & 1);
    }
    throw std::runtime_error("gen_packets wrote a WAV file without samples");
}

std::vector<char*> argvOf(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs a program to its end with its output in logPath; returns its exit status or -1.
int runProgram(std::vector<std::string> args, const fs::path& logPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    auto argv = argvOf(args);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

Samples afskAudio(const std::vector<TestFrame>& frames, const fs::path& workDir, int sampleRate)
{
    const fs::path text = workDir / "frame.txt";
    const fs::path wav = workDir / "frame.wav";
    const fs::path genLog = workDir / "gen_packets.log";
    Samples out;
    for (const auto& frame : frames) {
        {
            std::ofstream f(text, std::ios::binary | std::ios::trunc);
            f << frame.monitorLine();
        }
        const int status = runProgram({"gen_packets", "-r", std::to_string(sampleRate), "-o", wav.string(), text.string()}, genLog);
        if (status != 0)
            throw std::runtime_error("gen_packets failed for \"" + frame.monitorLine() + "\" (status " + std::to_string(status)
                                     + "): " + readFile(genLog));
        const Samples frameAudio = wavSamples(readFile(wav), sampleRate);
        // gen_packets ends with status 0 even when it refuses a line (an SSID
        // above 15, say); it then writes an empty file.
        if (frameAudio.empty())
            throw std::runtime_error("gen_packets made no audio for \"" + frame.monitorLine() + "\": " + readFile(genLog));
        out += frameAudio;
        // gen_packets leaves only a few milliseconds between frames; a pause lets
        // the receiver's carrier detect drop as it would on the air.
        out += silence(0.2, sampleRate);
    }
    return out;
}

namespace {

// CRC-16-CCITT as HDLC sends it: reflected, preset to ones, complemented.
uint16_t frameCheck(const std::string& bytes)
{
    uint16_t crc = 0xFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    return static_cast<uint16_t>(~crc);
}

// "CALL-7": six characters shifted left one bit, blank-padded, then the SSID
// octet with the reserved bits set, the command bit and the end-of-address bit.
std::string ax25Address(const std::string& call, bool commandBit, bool last)
{
    const size_t dash = call.find('-');
    const std::string base = call.substr(0, dash);
    const int ssid = dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1));
    if (base.empty() || base.size() > 6 || ssid < 0 || ssid > 15)
        throw std::invalid_argument("no AX.25 callsign: " + call);
    std::string out;
    for (size_t i = 0; i < 6; ++i)
        out += static_cast<char>((i < base.size() ? base[i] : ' ') << 1);
    out += static_cast<char>((commandBit ? 0x80 : 0) | 0x60 | (ssid << 1) | (last ? 1 : 0));
    return out;
}

} // namespace

std::string sabmFrame(const std::string& to, const std::string& from)
{
    // A command: C bit set in the destination, clear in the source. SABM with P=1.
    return ax25Address(to, true, false) + ax25Address(from, false, true) + '\x3F';
}

std::string uiFrame(const std::string& source, const std::string& destination, const std::vector<std::string>& via,
                    const std::string& info)
{
    std::string out = ax25Address(destination, true, false) + ax25Address(source, true, via.empty());
    for (size_t i = 0; i < via.size(); ++i) {
        const bool repeated = !via[i].empty() && via[i].back() == '*';
        out += ax25Address(repeated ? via[i].substr(0, via[i].size() - 1) : via[i], repeated, i + 1 == via.size());
    }
    return out + "\x03\xF0" + info;
}

Samples hdlcAudio(const std::string& frame, int sampleRate, int preambleFlags, int trailingFlags)
{
    std::string sent = frame;
    const uint16_t fcs = frameCheck(frame);
    sent += static_cast<char>(fcs & 0xFF);
    sent += static_cast<char>(fcs >> 8);

    std::vector<bool> bits;
    const auto flags = [&bits](int count) {
        for (int n = 0; n < count; ++n)
            for (int i = 0; i < 8; ++i)
                bits.push_back((0x7E >> i) & 1);
    };
    flags(preambleFlags); // 40: about 270 ms, a usual TXDELAY
    int ones = 0;
    for (unsigned char byte : sent)
        for (int i = 0; i < 8; ++i) {
            const bool bit = (byte >> i) & 1;
            bits.push_back(bit);
            ones = bit ? ones + 1 : 0;
            if (ones == 5) {
                bits.push_back(false);
                ones = 0;
            }
        }
    flags(trailingFlags);

    // NRZI: a 0 changes the tone, a 1 keeps it. Bit i ends at sample
    // (i + 1) * rate / 1200, so the rate need not be a multiple of the baud rate.
    Samples out;
    bool mark = true;
    double phase = 0;
    size_t n = 0;
    for (size_t i = 0; i < bits.size(); ++i) {
        if (!bits[i])
            mark = !mark;
        const double step = 2 * std::numbers::pi * (mark ? 1200.0 : 2200.0) / sampleRate;
        const size_t end = (i + 1) * static_cast<size_t>(sampleRate) / 1200;
        for (; n < end; ++n) {
            // A zero sample would read as a gap in the carrier.
            const auto v = static_cast<int16_t>(std::lround(8191 * std::sin(phase)));
            out.push_back(v != 0 ? v : static_cast<int16_t>(1));
            phase = std::fmod(phase + step, 2 * std::numbers::pi);
        }
    }
    return out;
}

namespace {

// Dire Wolf 1.6 refuses AGW ports above 49151 (and silently takes 8000
// instead), and the kernel hands out ephemeral ports above 32767: candidates
// come from below that range, and one that is bound on any address now (Dire
// Wolf binds them all) is not tried.
int candidatePort(std::mt19937& pick)
{
    std::uniform_int_distribution<int> range(20000, 32767);
    for (;;) {
        const int port = range(pick);
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return port;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(static_cast<uint16_t>(port));
        const bool free = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(s);
        if (free)
            return port;
    }
}

} // namespace

bool onPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string d;
    while (std::getline(dirs, d, ':')) {
        const fs::path candidate = fs::path(d.empty() ? "." : d) / program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

DireWolf::DireWolf(fs::path workDir, int channelCount, int rate)
    : dir(std::move(workDir)), logPath(dir / "direwolf.log"), channels(channelCount), sampleRate(rate)
{
}

DireWolf::~DireWolf()
{
    stop();
}

bool DireWolf::start(std::chrono::milliseconds timeout)
{
    signal(SIGPIPE, SIG_IGN);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::mt19937 pick(std::random_device{}());
    for (int attempt = 0; attempt < 10 && std::chrono::steady_clock::now() < deadline; ++attempt) {
        if (startOn(candidatePort(pick), deadline))
            return true;
        if (failure.find("Bind failed") == std::string::npos)
            return false;
    }
    return false;
}

bool DireWolf::startOn(int port, std::chrono::steady_clock::time_point deadline)
{
    failure.clear();
    const fs::path conf = dir / "direwolf.conf";
    {
        std::ofstream c(conf, std::ios::trunc);
        c << "ADEVICE stdin null\n"
          << "ARATE " << sampleRate << "\n"
          << "ACHANNELS " << channels << "\n";
        for (int ch = 0; ch < channels; ++ch) {
            c << "CHANNEL " << ch << "\nMYCALL N0DW-" << (ch + 1) << "\nMODEM 1200\n";
            if (txDelayTens > 0)
                c << "TXDELAY " << txDelayTens << "\nTXTAIL " << txTailTens << "\n";
            if (digipeater)
                c << "DIGIPEAT " << ch << " " << ch << " ^WIDE[3-7]-[1-7]$|^TEST$ ^WIDE[12]-[12]$ TRACE\n";
        }
        c << "AGWPORT " << port << "\n"
          << "KISSPORT 0\n";
    }

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        failure = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    // A group of its own keeps a terminal's Ctrl-C for the caller to handle.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    std::vector<std::string> args{"direwolf", "-c", conf.string(), "-t", "0", "-q", "hd", "-d", "a"};
    auto argv = argvOf(args);
    const int rc = posix_spawnp(&child, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        child = -1;
        failure = std::string("cannot start direwolf: ") + std::strerror(rc);
        return false;
    }
    input = fds[1];

    // Dire Wolf writes this line after listen(); connecting to find out would
    // take one of its three client slots.
    const std::string ready = "Ready to accept AGW client application 0 on port ";
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = log();
        const size_t at = text.find(ready);
        if (at != std::string::npos) {
            if (std::atoi(text.c_str() + at + ready.size()) == port) {
                agwPort = port;
                return true;
            }
            break; // a port it did not like, replaced by its default
        }
        if (!running() || text.find("Bind failed") != std::string::npos)
            break;
        std::this_thread::sleep_for(20ms);
    }
    failure = "direwolf did not listen on port " + std::to_string(port) + ":\n" + log();
    stop();
    return false;
}

void DireWolf::feed(Samples audio)
{
    write(std::move(audio), false);
}

void DireWolf::feedInRealTime(Samples audio)
{
    write(std::move(audio), true);
}

void DireWolf::write(Samples audio, bool realTime)
{
    if (writer.joinable())
        writer.join();
    fedAll = false;
    writer = std::thread([this, realTime, audio = std::move(audio)] {
        const char* p = reinterpret_cast<const char*>(audio.data());
        const size_t total = audio.size() * sizeof(int16_t);
        const size_t slice = realTime ? static_cast<size_t>(sampleRate * channels / 100) * sizeof(int16_t) : total;
        const auto start = std::chrono::steady_clock::now();
        size_t done = 0;
        while (done < total) {
            if (realTime) {
                // Slice k goes out once k slices of audio have played.
                const auto due = start + std::chrono::microseconds(static_cast<int64_t>(done) * 1'000'000 /
                                                                   (static_cast<int64_t>(sampleRate) * channels * 2));
                std::this_thread::sleep_until(due);
            }
            const size_t want = std::min(slice, total - done);
            const ssize_t n = ::write(input, p + done, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return; // the engine has ended
            done += static_cast<size_t>(n);
        }
        fedAll = true;
    });
}

bool DireWolf::running()
{
    if (child <= 0)
        return false;
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
        child = -1;
        return false;
    }
    return true;
}

void DireWolf::suspend()
{
    if (child > 0)
        kill(child, SIGSTOP);
}

void DireWolf::resume()
{
    if (child > 0)
        kill(child, SIGCONT);
}

void DireWolf::stop()
{
    if (child > 0) {
        // A stopped process would hold SIGTERM until continued.
        kill(child, SIGCONT);
        kill(child, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        if (child > 0) {
            kill(child, SIGKILL);
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            child = -1;
        }
    }
    // With the engine gone the writer's next write fails, so this join returns.
    if (writer.joinable())
        writer.join();
    if (input >= 0) {
        close(input);
        input = -1;
    }
}

std::string DireWolf::log() const
{
    return readFile(logPath);
}

std::vector<std::string> DireWolf::logLines() const
{
    std::vector<std::string> lines;
    std::stringstream in(log());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DireWolf::heard(int channel) const
{
    // "[0.3] SRC>DST:info": channel, then the demodulator that decoded it.
    static const std::regex received(R"(^\[(\d+)(\.\d+)?\] (.*)$)");
    std::vector<std::string> out;
    std::smatch m;
    for (const auto& line : logLines())
        if (std::regex_match(line, m, received) && std::stoi(m[1]) == channel)
            out.push_back(m[3]);
    return out;
}

std::vector<std::string> DireWolf::transmitted() const
{
    // Dire Wolf marks what it sends with the priority: "[0H]" or "[0L]".
    static const std::regex sent(R"(^\[\d+[HL]\] .*)");
    std::vector<std::string> out;
    for (const auto& line : logLines())
        if (std::regex_match(line, sent))
            out.push_back(line);
    return out;
}

int DireWolf::linesStartingWith(const std::string& text) const
{
    int n = 0;
    for (const auto& line : logLines())
        if (line.rfind(text, 0) == 0)
            ++n;
    return n;
}

std::string DireWolf::requestKinds(int client) const
{
    // "<<< Ask Port Information from AGWPE client application 0, total length = 36"
    // and on the next line "\tportx = 0, datakind = 'G', pid = 0x00".
    static const std::regex request(R"(^<<< .* from AGWPE client application (\d+), total length)");
    static const std::regex kind(R"(datakind = '(.)')");
    const auto lines = logLines();
    std::string kinds;
    std::smatch m;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (std::regex_search(lines[i], m, request) && std::stoi(m[1]) == client
            && std::regex_search(lines[i + 1], m, kind))
            kinds += m.str(1);
    return kinds;
}

bool DireWolf::clientClosed(int client) const
{
    return linesStartingWith("Error getting message header from AGW client application " + std::to_string(client) + ".") > 0;
}
