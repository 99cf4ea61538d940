// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What is wrong with a settings file, checked once at start and after every
// save: numbers that do not convert or lie outside what the meter can work
// with, and files that are not what they seem (no [METER] section, UTF-16,
// binary, a byte order mark).
#include <string>
#include <vector>

struct SettingsProblem {
    std::string Text; // one line naming the file, and the key and value where there is one
    bool Fatal = false; // the meter cannot measure with it; a run without a window ends
};

// The problems of a file with these contents; FileName is how the lines name it.
std::vector<SettingsProblem> CheckSettingsText(const std::string& Contents, const std::string& FileName);

// The same for the settings file in use; a missing file has none.
std::vector<SettingsProblem> CheckSettingsFile();

// Each problem as a line "chanload: ..." on standard error.
void NoteSettingsProblems(const std::vector<SettingsProblem>& Problems);
