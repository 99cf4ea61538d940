// SPDX-License-Identifier: GPL-3.0-or-later
// The settings text reader and writer on arbitrary file contents: a value set
// with ProfileUpdate must read back with ProfileLookup, whatever else the
// file holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ProfileText.h"

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

bool hasLineBreak(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

bool trimmed(const std::string& s)
{
    return !s.empty() && !blank(s.front()) && !blank(s.back());
}

// Names the INI syntax can carry: one line, no blanks around them, a section
// without ']', a key without '=' that reads neither as a section nor a comment.
bool saneSection(const std::string& s)
{
    return trimmed(s) && !hasLineBreak(s) && s.find(']') == std::string::npos;
}

bool saneKey(const std::string& k)
{
    return trimmed(k) && !hasLineBreak(k) && k.find('=') == std::string::npos && k.front() != '[' &&
           k.front() != ';' && k.front() != '#';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(40);
    const std::string key = in.ConsumeRandomLengthString(40);
    const std::string value = in.ConsumeRandomLengthString(3000);
    const std::string contents = in.ConsumeRemainingBytesAsString();

    bool found = false;
    const std::string before = ProfileLookup(contents, section, key, found);
    if (before.size() > 2047 || (!found && !before.empty()))
        __builtin_trap();

    const std::string updated = ProfileUpdate(contents, section, key, value);
    if (!saneSection(section) || !saneKey(key))
        return 0;
    const std::string after = ProfileLookup(updated, section, key, found);
    if (!found)
        __builtin_trap();
    if (!hasLineBreak(value) && (value.empty() || (!blank(value.front()) && !blank(value.back()))) &&
        value.size() <= 2047 && after != value)
        __builtin_trap();
    return 0;
}
