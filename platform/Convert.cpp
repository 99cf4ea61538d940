// SPDX-License-Identifier: GPL-3.0-or-later
#include "Convert.h"

namespace {

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

[[noreturn]] void fail(const std::string& s)
{
    throw EConvertError("'" + s + "' is not a valid integer value");
}

} // namespace

int32_t StrToInt(const std::string& S)
{
    size_t i = 0;
    const size_t n = S.size();
    while (i < n && S[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (S[i] == '+' || S[i] == '-')) {
        negative = S[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i < n && (S[i] == 'x' || S[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        fail(S);
    // The magnitude may reach 2^31 only for a negative number.
    const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        const int d = digitValue(S[i], base);
        if (d < 0)
            fail(S);
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            fail(S);
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::string IntToStr(int64_t V)
{
    return std::to_string(V);
}
