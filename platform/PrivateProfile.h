// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CHANLOAD.INI on disk: where it lives, reading one key, writing one key.
#include <QString>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Linux/Unix: $XDG_CONFIG_HOME/CHANLOAD.INI (or ~/.config); Windows: the Windows directory.
// A path set with SetProfileFilePath (empty: back to the default) replaces it.
QString ProfileFilePath();
void SetProfileFilePath(const QString& Path);

// Default when the file, the section or the key is missing. Never creates the file.
std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default);

// Replaces the whole file atomically (temporary file + rename), creating the
// directory, file and section as needed. Throws EIniFileException
// "Unable to write to CHANLOAD.INI" when the write is refused.
void WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value);

// Several keys of one section in one replacement of the file, so that a reader
// never sees some of them changed and others not.
void WritePrivateProfileStrings(const std::string& Section, const std::vector<std::pair<std::string, std::string>>& Entries);
