// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small text routines of the protocol unit. Texts are byte strings: a blank
// (32) is the only word separator, and no character-set conversion happens.
#include <cstdint>
#include <string>
#include <string_view>

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

// The view forms are inline: a monitor header takes a dozen of them per
// frame, each on a few bytes, where the call cost as much as the work.
inline void SplitAt(std::string_view& Rest, char Marker, std::string_view& Head)
{
    const size_t p = Rest.find(Marker);
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
