// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the protocol tests: a socket that records what is written,
// Dire Wolf style monitored frames (built with the shared wire-format helper)
// and the way a reader takes frames out of the client.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "AgwWire.h"
#include "TextRoutines.h"

class RecordingSocket : public AGWSocket {
public:
    void SendText(const std::string& Text) override { Writes.push_back(Text); }
    std::vector<std::string> Writes;
};

// A monitored frame the way Dire Wolf 1.6 formats it.
inline std::string direWolfUI(int radioPort, const std::string& src, const std::string& dst,
                              const std::string& info)
{
    const std::string text = " " + std::to_string(radioPort) + ":Fm " + src + " To " + dst +
                             " <UI pid=F0 Len=" + std::to_string(info.size()) + " PF=0 >[19:29:58]\r" + info +
                             "\r" + std::string(1, '\0');
    return agw::frame(static_cast<uint8_t>(radioPort - 1), 'U', src, dst, text);
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
