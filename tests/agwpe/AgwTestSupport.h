#pragma once
// Helpers shared by the protocol tests: a socket that records what is written
// and an encoder of engine frames written independently of the unit's own.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "TextRoutines.h"

class RecordingSocket : public AGWSocket {
public:
    void SendText(const std::string& Text) override { Writes.push_back(Text); }
    std::vector<std::string> Writes;
};

// One frame as an engine sends it: 36-byte header, then the data.
inline std::string engineFrame(uint8_t port, char kind, const std::string& from, const std::string& to,
                               const std::string& data, uint32_t announced)
{
    std::string f(36, '\0');
    f[0] = static_cast<char>(port);
    f[4] = kind;
    f.replace(8, std::min<size_t>(from.size(), 10), from, 0, 10);
    f.replace(18, std::min<size_t>(to.size(), 10), to, 0, 10);
    for (int i = 0; i < 4; ++i)
        f[28 + i] = static_cast<char>((announced >> (8 * i)) & 0xFF);
    return f + data;
}

inline std::string engineFrame(uint8_t port, char kind, const std::string& from, const std::string& to,
                               const std::string& data)
{
    return engineFrame(port, kind, from, to, data, static_cast<uint32_t>(data.size()));
}

// A monitored frame the way Dire Wolf 1.6 formats it.
inline std::string direWolfUI(int radioPort, const std::string& src, const std::string& dst,
                              const std::string& info)
{
    const std::string text = " " + std::to_string(radioPort) + ":Fm " + src + " To " + dst +
                             " <UI pid=F0 Len=" + std::to_string(info.size()) + " PF=0 >[19:29:58]\r" + info +
                             "\r" + std::string(1, '\0');
    return engineFrame(static_cast<uint8_t>(radioPort - 1), 'U', src, dst, text);
}

inline uint32_t lengthField(const std::string& frame)
{
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = n << 8 | static_cast<unsigned char>(frame[28 + i]);
    return n;
}

inline std::string readDataFile(const std::string& name)
{
    std::ifstream in(std::string(AGW_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TakenFrame {
    uint8_t Port;
    char Kind;
    std::string CallFrom, CallTo;
    int32_t DataLen;
    std::string Data;
    bool operator==(const TakenFrame&) const = default;
};

// Every frame waiting in every ring, ring by ring.
inline std::vector<TakenFrame> drainAll(TAGWPE& client)
{
    std::vector<TakenFrame> frames;
    for (int i = 0; i < client.PortCount; ++i) {
        uint8_t port = static_cast<uint8_t>(i);
        TakenFrame f{};
        while (client.NextFrame(port, f.Kind, f.CallFrom, f.CallTo, f.DataLen, f.Data)) {
            f.Port = port;
            frames.push_back(f);
            port = static_cast<uint8_t>(i);
        }
    }
    return frames;
}

// What a reader does after every socket read: take everything, and let the
// client cut what waited behind a full ring until nothing more comes out.
inline std::vector<TakenFrame> receiveAndDrain(TAGWPE& client, const std::string& chunk)
{
    client.ReceiveBytes(chunk);
    std::vector<TakenFrame> all;
    for (;;) {
        auto frames = drainAll(client);
        if (frames.empty())
            return all;
        all.insert(all.end(), frames.begin(), frames.end());
        client.ReceiveBytes("");
    }
}
