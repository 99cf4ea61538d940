// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "TextRoutines.h"

using namespace std::string_literals;

TEST(TextRoutines, DigitsOnly_KeepsDigitsInOrderOrGivesZero)
{
    EXPECT_EQ(DigitsOnly(""), "0");
    EXPECT_EQ(DigitsOnly("Port"), "0");
    EXPECT_EQ(DigitsOnly(" 1 x2 "), "12");
    EXPECT_EQ(DigitsOnly(" 12"), "12");
    EXPECT_EQ(DigitsOnly("0"), "0");
    EXPECT_EQ(DigitsOnly("007"), "007");
    EXPECT_EQ(DigitsOnly("\xb2\xb3"s), "0"); // superscript digits of Latin-1 are no digits
}

TEST(TextRoutines, PadRight_FillsToWidthAndNeverCuts)
{
    EXPECT_EQ(PadRight("", 26, '\0'), std::string(26, '\0'));
    EXPECT_EQ(PadRight("AB", 5, '.'), "AB...");
    const std::string thirty(30, 'x');
    EXPECT_EQ(PadRight(thirty, 26, '\0'), thirty);
    EXPECT_EQ(PadRight("abc", 3, '-'), "abc");
    EXPECT_EQ(PadRight("abc", -1, '-'), "abc");
}

TEST(TextRoutines, SplitAt_MarkerGoesToNeitherSide)
{
    std::string rest = ":after", head = "stale";
    SplitAt(rest, ':', head);
    EXPECT_EQ(head, "");
    EXPECT_EQ(rest, "after");

    rest = "before:";
    SplitAt(rest, ':', head);
    EXPECT_EQ(head, "before");
    EXPECT_EQ(rest, "");

    rest = "a:b:c";
    SplitAt(rest, ':', head);
    EXPECT_EQ(head, "a");
    EXPECT_EQ(rest, "b:c");

    rest = "no marker";
    SplitAt(rest, ':', head);
    EXPECT_EQ(head, "no marker");
    EXPECT_EQ(rest, "");

    rest = "";
    SplitAt(rest, ':', head);
    EXPECT_EQ(head, "");
    EXPECT_EQ(rest, "");

    rest = "x\0y;z"s; // zero bytes are ordinary characters
    SplitAt(rest, ';', head);
    EXPECT_EQ(head, "x\0y"s);
    EXPECT_EQ(rest, "z");
}

TEST(TextRoutines, NextWord_OnlyBlanksSeparate)
{
    std::string rest = "   ", word = "stale";
    NextWord(rest, word);
    EXPECT_EQ(word, "");
    EXPECT_EQ(rest, "");

    rest = "single";
    NextWord(rest, word);
    EXPECT_EQ(word, "single");
    EXPECT_EQ(rest, "");

    rest = "  first   second third";
    NextWord(rest, word);
    EXPECT_EQ(word, "first");
    EXPECT_EQ(rest, "second third");

    rest = "tab\there\rcr next";
    NextWord(rest, word);
    EXPECT_EQ(word, "tab\there\rcr");
    EXPECT_EQ(rest, "next");

    rest = "word   ";
    NextWord(rest, word);
    EXPECT_EQ(word, "word");
    EXPECT_EQ(rest, "");
}

TEST(TextRoutines, NextWord_DropsOneCarriageReturnThatEndsTheText)
{
    std::string rest = "one two\r", word;
    NextWord(rest, word);
    EXPECT_EQ(word, "one");
    EXPECT_EQ(rest, "two");
    NextWord(rest, word);
    EXPECT_EQ(word, "two");
    EXPECT_EQ(rest, "");

    rest = "\r";
    NextWord(rest, word);
    EXPECT_EQ(word, "");
    EXPECT_EQ(rest, "");

    rest = "last\r\r"; // only one is dropped
    NextWord(rest, word);
    EXPECT_EQ(word, "last\r");
    EXPECT_EQ(rest, "");
}

TEST(TextRoutines, LongTextsKeepTheirPositions)
{
    // Beyond 65,535 bytes the routines still count right.
    const std::string blanks(70000, ' ');
    std::string rest = blanks + "far" + blanks + "farther", word;
    NextWord(rest, word);
    EXPECT_EQ(word, "far");
    EXPECT_EQ(rest, "farther");

    rest = std::string(70000, 'a') + ";b";
    SplitAt(rest, ';', word);
    EXPECT_EQ(word.size(), 70000u);
    EXPECT_EQ(rest, "b");
}

TEST(TextRoutines, SameDigits_ComparesTheDigitsOfATextWithoutMakingThem)
{
    const struct {
        const char* text;
        const char* digits;
        bool same;
    } cases[] = {
        {" 1", "1", true},    {"Port 12", "12", true}, {" 1 x2 ", "12", true}, {"12", "1", false},
        {"1", "12", false},   {"", "0", true},         {"Port", "0", true},    {"0", "0", true},
        {"007", "7", false},  {" 1", "2", false},      {"", "", false},        {"1", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameDigits(c.text, c.digits), c.same) << "'" << c.text << "' against '" << c.digits << "'";
}

// Eight or sixteen bytes are looked at at once where they remain: a marker
// before, on and after such a boundary, and in the text's last bytes, among
// bytes one bit or one borrow away from it, is found where a byte-by-byte
// look finds it.
TEST(TextRoutines, FindByteAndFindEither_FindTheFirstMarkerWhereverItLies)
{
    for (const auto& [marker, other] : {std::pair{' ', '\r'}, {'\0', '\x01'}, {'\x80', '\x7f'}}) {
        const std::string near = {char(marker ^ 1), char(marker ^ 0x80), char(marker + 1), char(marker - 1)};
        for (size_t size = 0; size <= 40; ++size) {
            for (size_t at = 0; at <= size; ++at) { // at == size: no marker
                std::string text;
                for (size_t i = 0; i < size; ++i)
                    text += near[(i * 3 + size) % near.size()];
                if (at < size)
                    text[at] = marker;
                if (size > 0 && at % 2) // the other marker too, before or after
                    text[(at + 5) % size] = other;
                for (size_t from = 0; from <= size; ++from) {
                    const size_t plain = text.find(marker, from), either = text.find_first_of({marker, other}, from);
                    ASSERT_EQ(FindByte(text, from, marker), plain) << int(marker) << " at " << at << " of " << size;
                    ASSERT_EQ(FindEither(text, from, marker, other), either) << int(marker) << " at " << at << " of " << size;
                }
            }
        }
    }
}
