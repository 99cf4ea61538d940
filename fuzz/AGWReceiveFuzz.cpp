// SPDX-License-Identifier: GPL-3.0-or-later
// The receive path under arbitrary engine output. Input: one byte of flags,
// two bytes that seed the read sizes, then the byte stream of the engine.
//   flags bit 0: take frames only after the last read (rings fill up)
//   flags bits 1-3: largest read size (1 byte up to 64 KiB)
//   flags bit 4: serve one port instead of 128
//   flags bit 5: frames taken where they arrive (NextReceived) after each
//                read into the receive space, rings drained first
// Besides crashes and sanitizer reports, the frames taken out are compared
// with a plain reading of the whole stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "AGWUnit.h"
#include "AgwWire.h"

namespace {

class NullSocket : public AGWSocket {
public:
    void SendText(const std::string&) override {}
};

struct Frame {
    uint8_t port;
    char kind;
    std::string from, to, data;
    bool operator==(const Frame&) const = default;
};

#define CHECK(condition)                                                                                              \
    do {                                                                                                              \
        if (!(condition))                                                                                             \
            __builtin_trap();                                                                                         \
    } while (0)

// Every complete frame of the stream, per port, as the engine meant it.
std::vector<std::vector<Frame>> reference(const std::string& stream, int ports)
{
    std::vector<std::vector<Frame>> byPort(TAGWPE::MaxPorts + 1);
    for (const agw::Frame& f : agw::frames(stream))
        if (f.length <= TAGWPE::MaxDataLen && f.port < ports)
            byPort[f.port].push_back({f.port, f.kind, f.callFrom, f.callTo, f.data});
    return byPort;
}

void checkMonitorText(TAGWPE& client, const std::string& data)
{
    MonitorHeader h;
    const bool good = client.ParseMonitorHeader(data, h);
    CHECK(h.InfoLen >= 0 && h.RecvSeq >= 0 && h.SendSeq >= 0);
    CHECK(h.Info.size() <= data.size());
    // Only I and UI frames carry a PID and sequence numbers; XID, TEST and
    // others may carry information.
    if (good && h.FrameType != "UI" && h.FrameType != "I")
        CHECK(h.Pid.empty() && h.RecvSeq == 0 && h.SendSeq == 0);
    if (good && !h.Info.empty())
        CHECK(data.find(h.Info) != std::string::npos);
    if (good)
        CHECK(h.Shown == MonitorInformation(data));
}

// Takes every waiting frame ring by ring, checking each against its ring.
void drain(TAGWPE& client, std::vector<std::vector<Frame>>& taken)
{
    for (int i = 0; i <= TAGWPE::MaxPorts; ++i) {
        if (!client.Ports[i])
            continue;
        Frame f;
        int32_t len = -1;
        f.port = static_cast<uint8_t>(i);
        while (client.NextFrame(f.port, f.kind, f.from, f.to, len, f.data)) {
            CHECK(i < client.PortCount);
            CHECK(f.port == i);
            CHECK(len >= 0 && static_cast<size_t>(len) == f.data.size());
            CHECK(static_cast<uint32_t>(len) <= TAGWPE::MaxDataLen);
            CHECK(f.from.size() <= 10 && f.to.size() <= 10);
            CHECK(f.from.find('\0') == std::string::npos && f.to.find('\0') == std::string::npos);
            if (f.kind == 'I' || f.kind == 'S' || f.kind == 'U')
                checkMonitorText(client, f.data);
            else if (f.kind == 'G')
                client.ParsePortInfo(f.port, f.data);
            taken[i].push_back(f);
            f = Frame{};
            f.port = static_cast<uint8_t>(i);
        }
    }
}

// Takes the frames of the bytes received as they lie, as the window does.
void takeAsReceived(TAGWPE& client, std::vector<std::vector<Frame>>& taken)
{
    drain(client, taken);
    AGWFrameView f;
    while (client.NextReceived(f)) {
        CHECK(f.Port < client.PortCount);
        CHECK(f.DataLen >= 0 && static_cast<size_t>(f.DataLen) == f.Data.size());
        CHECK(f.CallFrom.size() <= 10 && f.CallTo.size() <= 10);
        const std::string data(f.Data);
        if (f.Kind == 'I' || f.Kind == 'S' || f.Kind == 'U')
            checkMonitorText(client, data);
        taken[f.Port].push_back({f.Port, f.Kind, std::string(f.CallFrom), std::string(f.CallTo), data});
    }
}

size_t total(const std::vector<std::vector<Frame>>& byPort)
{
    size_t n = 0;
    for (const auto& frames : byPort)
        n += frames.size();
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t flags = data[0];
    uint32_t seed = data[1] | data[2] << 8;
    const std::string stream(reinterpret_cast<const char*>(data + 3), size - 3);
    const bool takeAtEnd = flags & 1;
    static const size_t largest[8] = {1, 3, 16, 64, 512, 4096, 16384, 65536};
    const size_t maxRead = largest[(flags >> 1) & 7];
    const int ports = flags & 16 ? 1 : 128;
    const bool asReceived = flags & 32;

    NullSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, ports);
    CHECK(client.PortCount == ports);

    std::vector<std::vector<Frame>> taken(TAGWPE::MaxPorts + 1);
    for (size_t at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min(stream.size() - at, 1 + (seed >> 8) % maxRead);
        if (asReceived) {
            std::memcpy(client.ReceiveSpace(n), stream.data() + at, n);
            client.ReceiveKept(n);
        } else {
            client.ReceiveBytes(stream.substr(at, n));
        }
        at += n;
        if (asReceived && !takeAtEnd)
            takeAsReceived(client, taken);
        else if (!takeAtEnd)
            drain(client, taken);
    }
    if (asReceived)
        takeAsReceived(client, taken);
    // Frames held back by a full ring come out once the rings are drained.
    for (size_t before = SIZE_MAX; before != total(taken);) {
        before = total(taken);
        drain(client, taken);
        client.ReceiveBytes("");
    }

    const auto expected = reference(stream, ports);
    for (int i = 0; i <= TAGWPE::MaxPorts; ++i) {
        CHECK(taken[i] == expected[i]);
        if (client.Ports[i]) {
            const TAGWPort& ring = *client.Ports[i];
            CHECK(ring.Empty());
            CHECK(ring.ReadIndex >= 0 && ring.ReadIndex < TAGWPort::SlotCount);
            CHECK(static_cast<size_t>(ring.FramesIn) == taken[i].size());
            uint32_t bytes = 0;
            for (const Frame& f : taken[i])
                bytes += 36 + static_cast<uint32_t>(f.data.size());
            CHECK(static_cast<uint32_t>(ring.BytesIn) == bytes);
        }
    }
    CHECK(!client.Ports[TAGWPE::MaxPorts]);
    return 0;
}
