// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsCheck.h"

#include "Convert.h"
#include "MeterSettings.h"
#include "PeriodFigures.h"
#include "PrivateProfile.h"
#include "ProfileText.h"


#include <cstdio>
#include <optional>

namespace {

struct Range {
    const char* Key;
    int64_t Min, Max;
    const char* What; // completes "... is out of range: " with the bounds
};

// Periods under 100 ms leave no room for a single frame; above a day the
// history and the log would have nothing to show. A radio port is one byte on
// the wire, counted from 1.
constexpr Range Ranges[] = {
    {"TCP_PORT", 1, 65535, "the engine's TCP port is %lld to %lld"},
    {"AGW_PORT", 1, 255, "the radio port is %lld to %lld"},
    {"SAMPLE", 100, 86400000, "the sample period is %lld to %lld ms"},
    {"BW", 1, 2147483647, "the bit rate is at least %lld bit/s"},
    {"TXDELAY", 0, 10000, "the preamble is %lld to %lld ms"},
    {"TXTAIL", 0, 10000, "the tail is %lld to %lld ms"},
    {"RECONNECT", 0, 1, "it is %lld (off) or %lld (on)"},
};

std::string format(const char* Pattern, int64_t A, int64_t B)
{
    char text[160];
    std::snprintf(text, sizeof text, Pattern, static_cast<long long>(A), static_cast<long long>(B));
    return text;
}

} // namespace

std::vector<SettingsProblem> CheckSettingsText(const std::string& Contents, const std::string& FileName)
{
    std::vector<SettingsProblem> problems;
    if (const char* fault = ProfileTextFault(Contents)) {
        problems.push_back({"warning: " + FileName + " " + fault + "; the defaults apply", false});
        return problems;
    }
    if (ProfileHasByteOrderMark(Contents))
        problems.push_back({"warning: " + FileName + " starts with a UTF-8 byte order mark, which is skipped", false});
    if (!ProfileHasSection(Contents, SettingsKey::Section)) {
        problems.push_back(
            {"warning: " + FileName + " holds no [" + SettingsKey::Section + "] section; the defaults apply", false});
        return problems;
    }

    std::optional<int64_t> sampleMs, bitRate;
    for (const Range& r : Ranges) {
        bool found = false;
        const std::string value = ProfileLookup(Contents, SettingsKey::Section, r.Key, found);
        if (!found)
            continue;
        const std::string named = std::string(r.Key) + "=" + value + " in " + FileName;
        int64_t number = 0;
        try {
            number = StrToInt(value);
        } catch (const EConvertError&) {
            problems.push_back({named + " is not a valid integer value", true});
            continue;
        }
        if (number < r.Min || number > r.Max) {
            problems.push_back({named + " is out of range: " + format(r.What, r.Min, r.Max), true});
            continue;
        }
        if (std::string_view(r.Key) == "SAMPLE")
            sampleMs = number;
        if (std::string_view(r.Key) == "BW")
            bitRate = number;
    }
    // Each in range, yet together too little for one byte: no period would
    // ever be evaluated.
    const int64_t period = sampleMs.value_or(30000), rate = bitRate.value_or(1200);
    if ((sampleMs || bitRate) && PeriodCapacity(period, rate) == 0)
        problems.push_back({"BW=" + std::to_string(rate) + " in " + FileName + " is too low for SAMPLE=" +
                                std::to_string(period) + ": less than one byte a period, so never a figure",
                            true});
    return problems;
}

std::vector<SettingsProblem> CheckSettingsFile()
{
    std::string contents;
    if (!ReadProfileFile(contents))
        return {};
    return CheckSettingsText(contents, ProfileFileName().toStdString());
}

void NoteSettingsProblems(const std::vector<SettingsProblem>& Problems)
{
    for (const SettingsProblem& p : Problems)
        std::fprintf(stderr, "chanload: %s\n", p.Text.c_str());
    std::fflush(stderr);
}
