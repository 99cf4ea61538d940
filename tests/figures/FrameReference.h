// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// AX.25 frames written out byte by byte, and what a TNC puts on the air for
// them, computed here independently of the code under test.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Six characters shifted left, blank-padded, then the SSID byte as given.
inline Bytes address(const std::string& Call, uint8_t SsidByte)
{
    Bytes out;
    for (size_t i = 0; i < 6; ++i)
        out.push_back(static_cast<uint8_t>((i < Call.size() ? Call[i] : ' ') << 1));
    out.push_back(SsidByte);
    return out;
}

inline Bytes join(std::initializer_list<Bytes> Parts)
{
    Bytes out;
    for (const Bytes& p : Parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes text(const std::string& Text)
{
    return Bytes(Text.begin(), Text.end());
}

// What a TNC sends for these bytes: FCS (CRC-16/X.25, low byte first), a 0
// after every five 1s, least significant bit first, and the closing flag.
inline int64_t onAir(Bytes Frame)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t b : Frame) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
    }
    Frame.push_back(static_cast<uint8_t>(~crc & 0xFF));
    Frame.push_back(static_cast<uint8_t>((~crc >> 8) & 0xFF));
    int64_t bits = 0;
    int ones = 0;
    for (uint8_t b : Frame)
        for (int i = 0; i < 8; ++i) {
            ++bits;
            ones = (b >> i) & 1 ? ones + 1 : 0;
            if (ones == 5) {
                ++bits;
                ones = 0;
            }
        }
    return bits + 8;
}

