// SPDX-License-Identifier: GPL-3.0-or-later
// StrToInt against a model of its accepted forms built on strtoull: leading
// blanks, a sign, decimal digits or hexadecimal after "$", "x", "X", "0x" or
// "0X", the whole text, the signed 32-bit range.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "Convert.h"

namespace {

bool isDecimal(char c)
{
    return c >= '0' && c <= '9';
}

bool isHex(char c)
{
    return isDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::optional<int64_t> model(const std::string& s)
{
    size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos)
        return std::nullopt;
    const bool negative = s[i] == '-';
    if (s[i] == '-' || s[i] == '+')
        ++i;
    int base = 10;
    if (s.compare(i, 1, "$") == 0 || s.compare(i, 1, "x") == 0 || s.compare(i, 1, "X") == 0) {
        base = 16;
        i += 1;
    } else if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::string digits = i < s.size() ? s.substr(i) : std::string();
    if (digits.empty())
        return std::nullopt;
    for (const char c : digits)
        if (!(base == 16 ? isHex(c) : isDecimal(c)))
            return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), &end, base);
    if (errno == ERANGE || end != digits.c_str() + digits.size())
        return std::nullopt;
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<int64_t> expected = model(text);
    try {
        const int32_t value = StrToInt(text);
        if (!expected || *expected != value)
            __builtin_trap();
        if (StrToInt(IntToStr(value)) != value)
            __builtin_trap();
    } catch (const EConvertError& e) {
        // what() is a C string: the text shows up to its first NUL.
        const std::string message = "'" + text + "' is not a valid integer value";
        if (expected || std::string(e.what()) != message.c_str())
            __builtin_trap();
    }
    return 0;
}
