// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text <-> integer conversion shared by every unit: one set of accepted forms,
// one error text, no locale.
#include <cstdint>
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Accepts optional leading blanks, an optional sign, then decimal digits or a
// hexadecimal form introduced by "$", "x", "X", "0x" or "0X". The whole text
// must be the number and it must fit a signed 32-bit integer; anything else
// throws EConvertError("'<S>' is not a valid integer value").
int32_t StrToInt(const std::string& S);

std::string IntToStr(int64_t V);
