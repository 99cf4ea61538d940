// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small text routines of the protocol unit. Texts are byte strings: a blank
// (32) is the only word separator, and no character-set conversion happens.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CHANLOAD_TEXT_SSE2 1
#endif

// The digits of Text in their order; "0" when it has none.
std::string DigitsOnly(const std::string& Text);
// DigitsOnly(Text) == Digits, without making the string.
bool SameDigits(std::string_view Text, std::string_view Digits);

// Text followed by Fill up to Width characters; a longer Text stays whole.
std::string PadRight(const std::string& Text, int32_t Width, char Fill);

// Head := Rest up to the first Marker, Rest := what follows it. Without a
// Marker, Head takes all of Rest and Rest becomes empty.
void SplitAt(std::string& Rest, char Marker, std::string& Head);
inline void SplitAt(std::string_view& Rest, char Marker, std::string_view& Head);

// Word := the first blank-separated word of Rest, Rest := the text from the
// next word on. One carriage return that ends Rest belongs to nothing.
void NextWord(std::string& Rest, std::string& Word);
inline void NextWord(std::string_view& Rest, std::string_view& Word);

// Where the first Marker of Text is, from From on; npos when there is none.
inline size_t FindByte(std::string_view Text, size_t From, char Marker);
// Where the first of Marker and Other is, from From on; npos when neither is there.
inline size_t FindEither(std::string_view Text, size_t From, char Marker, char Other);

namespace textscan {

// Header fields are a few to a few dozen bytes: eight of them are looked at
// with a handful of instructions, where a loop takes five a byte and memchr
// a call. Only where eight bytes remain; the rest byte by byte.
constexpr uint64_t Ones = 0x0101010101010101u;
constexpr uint64_t Highs = 0x8080808080808080u;
constexpr bool ByWords = std::endian::native == std::endian::little;

inline uint64_t load8(const char* At)
{
    uint64_t word;
    std::memcpy(&word, At, sizeof word);
    return word;
}

// The high bit of every byte of Word that equals Marker. Bytes above a match
// may be marked too, never one below the first: the lowest mark is the first match.
inline uint64_t matches(uint64_t Word, char Marker)
{
    const uint64_t x = Word ^ (Ones * static_cast<uint8_t>(Marker));
    return (x - Ones) & ~x & Highs;
}

} // namespace textscan

#ifdef CHANLOAD_TEXT_SSE2
namespace textscan {

// Sixteen bytes at a time where the text holds sixteen: a compare and a
// mask per step. The bytes after the last full step are looked at as the
// text's last sixteen, those before From left out of the mask.
template <typename Hits>
inline size_t findBySixteen(std::string_view Text, size_t From, Hits hits)
{
    const char* data = Text.data();
    const size_t size = Text.size();
    for (; From + 16 <= size; From += 16)
        if (const unsigned found = hits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + From))))
            return From + static_cast<size_t>(std::countr_zero(found));
    if (From >= size)
        return std::string_view::npos;
    const unsigned found =
        hits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + size - 16))) >> (From - (size - 16));
    return found ? From + static_cast<size_t>(std::countr_zero(found)) : std::string_view::npos;
}

} // namespace textscan
#endif

inline size_t FindByte(std::string_view Text, size_t From, char Marker)
{
#ifdef CHANLOAD_TEXT_SSE2
    if (Text.size() >= 16) {
        const __m128i marker = _mm_set1_epi8(Marker);
        return textscan::findBySixteen(Text, From, [marker](__m128i bytes) {
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, marker)));
        });
    }
#endif
    if constexpr (textscan::ByWords) {
        for (; From + 8 <= Text.size(); From += 8)
            if (const uint64_t hit = textscan::matches(textscan::load8(Text.data() + From), Marker))
                return From + static_cast<size_t>(std::countr_zero(hit)) / 8;
    }
    for (; From < Text.size(); ++From)
        if (Text[From] == Marker)
            return From;
    return std::string_view::npos;
}

inline size_t FindEither(std::string_view Text, size_t From, char Marker, char Other)
{
#ifdef CHANLOAD_TEXT_SSE2
    if (Text.size() >= 16) {
        const __m128i marker = _mm_set1_epi8(Marker), other = _mm_set1_epi8(Other);
        return textscan::findBySixteen(Text, From, [marker, other](__m128i bytes) {
            return static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, marker), _mm_cmpeq_epi8(bytes, other))));
        });
    }
#endif
    if constexpr (textscan::ByWords) {
        for (; From + 8 <= Text.size(); From += 8) {
            const uint64_t word = textscan::load8(Text.data() + From);
            if (const uint64_t hit = textscan::matches(word, Marker) | textscan::matches(word, Other))
                return From + static_cast<size_t>(std::countr_zero(hit)) / 8;
        }
    }
    for (; From < Text.size(); ++From)
        if (Text[From] == Marker || Text[From] == Other)
            return From;
    return std::string_view::npos;
}

// The view forms are inline: a monitor header takes a dozen of them per
// frame, each on a few bytes, where the call cost as much as the work.
inline void SplitAt(std::string_view& Rest, char Marker, std::string_view& Head)
{
    const size_t p = FindByte(Rest, 0, Marker);
    if (p == std::string_view::npos) {
        Head = Rest;
        Rest = {};
        return;
    }
    Head = Rest.substr(0, p);
    Rest.remove_prefix(p + 1);
}

inline void NextWord(std::string_view& Rest, std::string_view& Word)
{
    // Plain loops: words are a few bytes, shorter than a call's cost.
    size_t size = Rest.size();
    if (size > 0 && Rest[size - 1] == '\r')
        --size;
    size_t start = 0;
    while (start < size && Rest[start] == ' ')
        ++start;
    if (start == size) {
        Word = {};
        Rest = {};
        return;
    }
    size_t end = start;
    while (end < size && Rest[end] != ' ')
        ++end;
    Word = Rest.substr(start, end - start);
    size_t next = end;
    while (next < size && Rest[next] == ' ')
        ++next;
    Rest = next == size ? std::string_view() : Rest.substr(next, size - next);
}
