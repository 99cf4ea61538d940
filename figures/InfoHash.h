// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A 64-bit hash, for telling texts apart in memory (it is stored nowhere).
// From chains it on from the hash of text that came before. Inline: every
// frame hashes its information and a few calls, most of them a word or two
// long, where the call itself cost as much as the hashing.
#include "Words.h"

#include <cstdint>
#include <string_view>

inline uint64_t InfoHashOf(std::string_view Info, uint64_t From = 0xcbf29ce484222325ull)
{
    // Eight bytes per multiplication, not one: a byte-wise hash (FNV-1a) took
    // as long as all else done with a frame's information together, every
    // step waiting for the one before.
    const auto mix = [](uint64_t Hash, uint64_t Word) {
        Hash = (Hash ^ Word) * 0x9E3779B97F4A7C15ull;
        return Hash ^ (Hash >> 29);
    };
    const auto* p = reinterpret_cast<const unsigned char*>(Info.data());
    const size_t size = Info.size();
    uint64_t h = From;
    size_t left = size;
    for (; left >= 8; p += 8, left -= 8)
        h = mix(h, LoadWord(p));
    // The last bytes as the low bytes of a word, read without a loop: the
    // eight bytes that end the text, or two overlapping halves of a short one.
    uint64_t last = 0;
    if (left > 0 && size >= 8)
        last = LoadWord(p + left - 8) >> (8 * (8 - left));
    else if (left > 0)
        last = LoadShort(p, left);
    // The length tells "a" from "a\0".
    return mix(h, last ^ (static_cast<uint64_t>(size) << 56));
}
