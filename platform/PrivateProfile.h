// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CHANLOAD.INI on disk: where it lives, reading one key, writing one key.
#include <QByteArray>
#include <QString>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file that is read. Linux/Unix: $XDG_CONFIG_HOME/chanload/CHANLOAD.INI
// (or ~/.config/chanload); while that is missing, a file left by earlier
// versions at $XDG_CONFIG_HOME/CHANLOAD.INI, said once on standard error.
// Windows: the Windows directory. A path set with SetProfileFilePath (empty:
// back to the default) replaces both.
QString ProfileFilePath();
// The file a save writes: the first place above, never the old one.
QString ProfileSavePath();
void SetProfileFilePath(const QString& Path);
// The same as the bytes of the file name, as the system takes it; a chosen
// name passes through unchanged, whatever its encoding.
QByteArray ProfileFileName();
QByteArray ProfileSaveName();
void SetProfileFileName(const QByteArray& Path);

// The whole file; false when it is missing or cannot be read.
bool ReadProfileFile(std::string& Contents);

// False, with Why set, when the file is there but cannot be read: read
// anyway, it would silently mean the defaults, and a save would overwrite
// it. Anything but an ordinary file (a FIFO, a device) is refused without
// being opened, so that this never waits. A missing file is readable.
bool ProfileFileReadable(QString& Why);

// Default when the file, the section or the key is missing. Never creates the file.
std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default);

// Replaces the whole file atomically (temporary file + rename), creating the
// directory, file and section as needed. Throws EIniFileException
// "Unable to write to CHANLOAD.INI" when the write is refused.
void WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value);

// Several keys of one section in one replacement of the file, so that a reader
// never sees some of them changed and others not.
void WritePrivateProfileStrings(const std::string& Section, const std::vector<std::pair<std::string, std::string>>& Entries);
