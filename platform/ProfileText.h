// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The INI text rules of the private-profile functions, on file contents held in
// memory (Qt-free so that they can be tested and fuzzed alone).
#include <string>

// Value of Key in Section (names compared without regard to case), without the
// blanks around it and cut to 2047 characters; Found tells whether the key exists.
std::string ProfileLookup(const std::string& Contents, const std::string& Section, const std::string& Key, bool& Found);

// Contents with Key of Section set to Value: an existing key's value is replaced
// in place, a missing key is appended at the end of its section, a missing
// section is appended at the end. Every other line stays as it was.
std::string ProfileUpdate(const std::string& Contents, const std::string& Section, const std::string& Key, const std::string& Value);

// True when a "[Section]" line exists (names compared without regard to case).
bool ProfileHasSection(const std::string& Contents, const std::string& Section);

// Why the contents cannot be a settings file (UTF-16, NUL bytes), or null.
const char* ProfileTextFault(const std::string& Contents);

// A UTF-8 byte order mark leads the contents; the reader skips it.
bool ProfileHasByteOrderMark(const std::string& Contents);
