// SPDX-License-Identifier: GPL-3.0-or-later
// The one text-to-integer conversion of the program: its forms and limits.
#include <gtest/gtest.h>

#include "Convert.h"

using namespace std::string_literals;

namespace {

std::string errorOf(const std::string& text)
{
    try {
        StrToInt(text);
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(StrToInt, DecimalWithBlanksAndSign)
{
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("8000"), 8000);
    EXPECT_EQ(StrToInt("   30000"), 30000);
    EXPECT_EQ(StrToInt("+17"), 17);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt(" -0"), 0);
    EXPECT_EQ(StrToInt("007"), 7);
}

TEST(StrToInt, HexadecimalPrefixes)
{
    EXPECT_EQ(StrToInt("$2580"), 9600);
    EXPECT_EQ(StrToInt("x1f"), 31);
    EXPECT_EQ(StrToInt("X1F"), 31);
    EXPECT_EQ(StrToInt("0x1F"), 31);
    EXPECT_EQ(StrToInt("0XaB"), 171);
    EXPECT_EQ(StrToInt(" -$10"), -16);
    EXPECT_EQ(StrToInt("$7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(StrToInt("-$80000000"), INT32_MIN);
}

TEST(StrToInt, SignedThirtyTwoBitRange)
{
    EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("000000000000002147483647"), INT32_MAX);
    for (const char* outside : {"2147483648", "-2147483649", "4294967296", "99999999999999999999999", "$80000000",
                                "$FFFFFFFF", "0x100000000"})
        EXPECT_THROW(StrToInt(outside), EConvertError) << outside;
}

TEST(StrToInt, WholeTextMustBeTheNumber)
{
    for (const std::string& bad :
         {""s, " "s, "+"s, "-"s, "$"s, "x"s, "0x"s, "30000ms"s, "30000 "s, "1 2"s, "- 5"s, "$-5"s, "0x-5"s, "++5"s,
          "12a"s, "$G"s, "0b101"s, "\t5"s, "5\0"s, "1e3"s, "٣"s})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(StrToInt, ErrorTextNamesTheWholeText)
{
    EXPECT_EQ(errorOf(""), "'' is not a valid integer value");
    EXPECT_EQ(errorOf(" 30000ms"), "' 30000ms' is not a valid integer value");
    EXPECT_EQ(errorOf("2147483648"), "'2147483648' is not a valid integer value");
    // Found by fuzzing: a NUL ends the message text, and must not end the number.
    EXPECT_EQ(errorOf("0x1\x01\0\0\0\0\0\0\0F"s), "'0x1\x01");
    EXPECT_THROW(StrToInt("12\0"s "34"), EConvertError);
}

TEST(IntToStr, PlainDecimal)
{
    EXPECT_EQ(IntToStr(0), "0");
    EXPECT_EQ(IntToStr(-42), "-42");
    EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
    EXPECT_EQ(IntToStr(int64_t{1} << 40), "1099511627776");
    for (const int32_t v : {0, 1, -1, 1200, INT32_MAX, INT32_MIN})
        EXPECT_EQ(StrToInt(IntToStr(v)), v);
}
