// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextRoutines.h"

std::string DigitsOnly(const std::string& Text)
{
    std::string digits;
    for (const char c : Text)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits.empty() ? std::string("0") : digits;
}

bool SameDigits(std::string_view Text, std::string_view Digits)
{
    size_t matched = 0;
    bool any = false;
    for (const char c : Text) {
        if (c < '0' || c > '9')
            continue;
        any = true;
        if (matched == Digits.size() || Digits[matched] != c)
            return false;
        ++matched;
    }
    return any ? matched == Digits.size() : Digits == "0";
}

std::string PadRight(const std::string& Text, int32_t Width, char Fill)
{
    if (Width <= 0 || static_cast<size_t>(Width) <= Text.size())
        return Text;
    std::string padded = Text;
    padded.resize(static_cast<size_t>(Width), Fill);
    return padded;
}

void SplitAt(std::string& Rest, char Marker, std::string& Head)
{
    std::string_view rest(Rest), head;
    SplitAt(rest, Marker, head);
    std::string headText(head);
    Rest = std::string(rest);
    Head = std::move(headText);
}

void NextWord(std::string& Rest, std::string& Word)
{
    std::string_view rest(Rest), word;
    NextWord(rest, word);
    std::string wordText(word);
    Rest = std::string(rest);
    Word = std::move(wordText);
}
