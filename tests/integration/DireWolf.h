// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dire Wolf as a real AGWPE engine for tests and benchmarks: frames become
// AFSK 1200 audio with gen_packets and reach Dire Wolf on its standard input,
// the way Dire Wolf's own modem tests feed it. Linux only (posix_spawn,
// pipes); no Qt, so a benchmark can link it without a GUI.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

// One UI frame as a TNC2 monitor line describes it.
struct TestFrame {
    std::string source;
    std::string destination;
    std::vector<std::string> via; // a trailing '*' marks a digipeater already used
    std::string info;             // printable text; gen_packets reads "<0x41>" as a hex escape

    // "SRC>DST,VIA1,VIA2:info", which is what gen_packets reads and Dire Wolf prints.
    std::string monitorLine() const;
};

// 16-bit signed samples; interleaved when there are two channels.
using Samples = std::vector<int16_t>;

constexpr int kSampleRate = 44100;

Samples silence(double seconds, int sampleRate = kSampleRate);

// The frames as mono AFSK 1200 audio, one after the other with a short pause
// between them, made by one gen_packets run per frame in workDir (so that the
// info text carries no newline). Throws std::runtime_error when gen_packets
// fails or writes something that is no 16-bit mono WAV file.
Samples afskAudio(const std::vector<TestFrame>& frames, const std::filesystem::path& workDir,
                  int sampleRate = kSampleRate);

// The AX.25 bytes of a connect request (SABM, poll bit set) from `from` to
// `to`, without the frame check sequence. gen_packets makes UI frames only.
std::string sabmFrame(const std::string& to, const std::string& from);

// The AX.25 bytes of a UI frame (PID F0) without the frame check sequence;
// a digipeater call ending in '*' has its has-been-repeated bit set, and
// source and destination both carry the C bit, as Dire Wolf sends them.
std::string uiFrame(const std::string& source, const std::string& destination, const std::vector<std::string>& via,
                    const std::string& info);

// One AX.25 frame (given without its frame check sequence) as mono AFSK 1200
// audio the way a TNC keys it: flags as preamble (the opening flag among
// them), the frame with its FCS, bit stuffing, then the closing flag and the
// tail's flags (trailingFlags in all), NRZI, 1200 Hz mark and 2200 Hz space,
// phase continuous. Every sample is carrier: a bit of tone is never all zeros.
Samples hdlcAudio(const std::string& frame, int sampleRate = kSampleRate, int preambleFlags = 40,
                  int trailingFlags = 4);

// Two mono signals as one stereo signal; the shorter one is padded with silence.
Samples interleave(const Samples& left, const Samples& right);

// Appends b to a.
Samples& operator+=(Samples& a, const Samples& b);

bool onPath(const std::string& program);

// One Dire Wolf process: AGW server on a port of its own, audio from standard
// input, one 1200 bit/s AFSK radio channel per audio channel, station call
// N0DW-<channel + 1>. No PTT, no beacons, no IGate, audio output to the null
// device; it transmits only as a digipeater (digipeat()) or for a client that
// registered a call and is connected to on the air. What it sends it reports
// to monitoring AGW clients as kind 'T'.
class DireWolf {
public:
    DireWolf(std::filesystem::path workDir, int channels = 1, int sampleRate = kSampleRate);
    ~DireWolf();
    DireWolf(const DireWolf&) = delete;
    DireWolf& operator=(const DireWolf&) = delete;

    // Starts the engine and waits until it accepts AGW clients on port(); on
    // failure error() says why. Dire Wolf binds the port itself, so a port
    // that someone else took in the meantime is met by starting again on
    // another one. SIGPIPE is ignored from here on, so that an engine that has
    // ended cannot end the caller through a write into its input.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Before start(): digipeat on every channel by the common WIDEn-N rule:
    // WIDE1-N and WIDE2-N with the station call traced into the path, WIDE3-N
    // to WIDE7-N and TEST replaced by it as aliases.
    void digipeat() { digipeater = true; }
    // Before start(): TXDELAY and TXTAIL in units of 10 ms (Dire Wolf's
    // defaults are 30 and 10).
    void keying(int txDelay, int txTail)
    {
        txDelayTens = txDelay;
        txTailTens = txTail;
    }
    int port() const { return agwPort; }

    // Hands the audio to the engine from a thread of its own, so that the caller
    // can keep serving its event loop (an AGW client that stops reading would
    // otherwise stall the engine, and with it this write). Waits for an earlier
    // feed to finish first.
    void feed(Samples audio);
    // The same at the pace of real audio (in slices of 10 ms), so that the
    // frames reach AGW clients as far apart as they are on the air.
    void feedInRealTime(Samples audio);
    bool fed() const { return fedAll; }

    // The frames the engine reports as heard on a radio channel (0-based), as
    // monitor lines, in the order heard.
    std::vector<std::string> heard(int channel) const;
    // Frames the engine sent itself, as it logs them: "[0H] SRC>DST,...:info"
    // (H for digipeats, L for the rest).
    std::vector<std::string> transmitted() const;
    // The kinds of the AGW requests one client application sent, in the order
    // received, from the AGW trace; client 0 is the first to connect.
    std::string requestKinds(int client) const;
    // The engine noticed that the client application closed its connection.
    bool clientClosed(int client) const;
    // How many lines of the engine's output start with text. The AGW trace
    // (-d a) writes one line per request received ("<<< ...") and per frame sent
    // to a client (">>> ...").
    int linesStartingWith(const std::string& text) const;
    std::string log() const;
    const std::string& error() const { return failure; }
    pid_t pid() const { return child; }
    bool running();
    // SIGSTOP and SIGCONT: a stopped engine keeps its connections open and answers nothing.
    void suspend();
    void resume();
    std::vector<std::string> logLines() const;

    // Ends the engine, stopped or not: SIGCONT and SIGTERM, after 5 s SIGKILL;
    // always reaped.
    void stop();

private:
    void write(Samples audio, bool realTime);
    bool startOn(int port, std::chrono::steady_clock::time_point deadline);

    std::filesystem::path dir;
    std::filesystem::path logPath;
    int agwPort = 0;
    int channels;
    int sampleRate;
    bool digipeater = false;
    int txDelayTens = 0, txTailTens = 0;
    pid_t child = -1;
    int input = -1;
    std::thread writer;
    std::atomic<bool> fedAll{false};
    std::string failure;
};
