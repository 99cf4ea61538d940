// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The AGW wire format as the tests, benchmarks and fuzz targets write and read
// it, kept apart from the client object's own code so that it checks that code
// rather than repeating it: every field at its offset, numbers little-endian
// byte by byte.
//
//   offset  width  field
//    0       1     port (0-based radio channel)
//    4       1     kind, one ASCII letter
//    8      10     call from, zero-padded
//   18      10     call to, zero-padded
//   28       4     data length, unsigned 32-bit little-endian
// Every other header byte is 0. The data follows the 36-byte header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace agw {

constexpr size_t HeaderSize = 36;
constexpr size_t PortAt = 0, KindAt = 4, CallFromAt = 8, CallToAt = 18, LengthAt = 28;
constexpr size_t CallWidth = 10;

inline uint32_t readLe32(std::string_view bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8
        | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

inline void writeLe32(std::string& bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
    bytes[at + 2] = static_cast<char>((value >> 16) & 0xFF);
    bytes[at + 3] = static_cast<char>((value >> 24) & 0xFF);
}

// A call field: up to the first zero byte, at most ten characters.
inline std::string readCall(std::string_view bytes, size_t at)
{
    size_t n = 0;
    while (n < CallWidth && bytes[at + n] != '\0')
        ++n;
    return std::string(bytes.substr(at, n));
}

// One frame; the length field says `announced`, whatever the data holds.
// Calls longer than ten characters are cut.
inline std::string frame(uint8_t port, char kind, std::string_view from, std::string_view to, std::string_view data,
                         uint32_t announced)
{
    std::string f(HeaderSize, '\0');
    f[PortAt] = static_cast<char>(port);
    f[KindAt] = kind;
    std::copy_n(from.begin(), std::min(from.size(), CallWidth), f.begin() + CallFromAt);
    std::copy_n(to.begin(), std::min(to.size(), CallWidth), f.begin() + CallToAt);
    writeLe32(f, LengthAt, announced);
    f.append(data);
    return f;
}

inline std::string frame(uint8_t port, char kind, std::string_view from, std::string_view to, std::string_view data)
{
    return frame(port, kind, from, to, data, static_cast<uint32_t>(data.size()));
}

inline uint32_t lengthField(std::string_view frame)
{
    return readLe32(frame, LengthAt);
}

struct Frame {
    uint8_t port = 0;
    char kind = 0;
    std::string callFrom, callTo;
    uint32_t length = 0; // as announced
    std::string data;
    std::string header; // the 36 bytes as they came
    bool operator==(const Frame&) const = default;
};

// Every whole frame at the front of the stream; `used` (if given) gets the
// number of bytes they take, the rest being an unfinished frame.
inline std::vector<Frame> frames(std::string_view stream, size_t* used = nullptr)
{
    std::vector<Frame> out;
    size_t at = 0;
    while (stream.size() - at >= HeaderSize) {
        const uint32_t length = readLe32(stream, at + LengthAt);
        if (stream.size() - at - HeaderSize < length)
            break;
        Frame f;
        f.port = static_cast<uint8_t>(stream[at + PortAt]);
        f.kind = stream[at + KindAt];
        f.callFrom = readCall(stream, at + CallFromAt);
        f.callTo = readCall(stream, at + CallToAt);
        f.length = length;
        f.data = std::string(stream.substr(at + HeaderSize, length));
        f.header = std::string(stream.substr(at, HeaderSize));
        out.push_back(std::move(f));
        at += HeaderSize + length;
    }
    if (used)
        *used = at;
    return out;
}

} // namespace agw
