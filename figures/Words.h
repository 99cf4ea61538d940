// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bytes read and written as little-endian words: the first byte in the low
// bits, which is also the order in which the air sends a frame's bits. The
// frame arithmetic and the text hash work on eight bytes at a time.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t LoadWord(const unsigned char* P)
{
    uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, P, sizeof word);
    } else {
        for (size_t i = 0; i < 8; ++i)
            word |= uint64_t{P[i]} << (8 * i);
    }
    return word;
}

inline uint64_t LoadWord(const char* P)
{
    return LoadWord(reinterpret_cast<const unsigned char*>(P));
}

// Four bytes as the low half of a word.
inline uint64_t LoadHalfWord(const unsigned char* P)
{
    uint32_t half = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&half, P, sizeof half);
    } else {
        for (size_t i = 0; i < 4; ++i)
            half |= uint32_t{P[i]} << (8 * i);
    }
    return half;
}

inline uint64_t LoadHalfWord(const char* P)
{
    return LoadHalfWord(reinterpret_cast<const unsigned char*>(P));
}

// One to seven bytes as the low bytes of a word, read without a loop and
// without touching a byte outside them: two overlapping halves, or the first,
// middle and last byte.
inline uint64_t LoadShort(const unsigned char* P, size_t Count)
{
    if (Count >= 4)
        return LoadHalfWord(P) | LoadHalfWord(P + Count - 4) << (8 * (Count - 4));
    return uint64_t{P[0]} | uint64_t{P[Count / 2]} << (8 * (Count / 2)) | uint64_t{P[Count - 1]} << (8 * (Count - 1));
}

// Eight bytes of a word to P, the low byte first.
inline void StoreWord(unsigned char* P, uint64_t Word)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(P, &Word, sizeof Word);
    } else {
        for (size_t i = 0; i < 8; ++i)
            P[i] = static_cast<unsigned char>(Word >> (8 * i));
    }
}
