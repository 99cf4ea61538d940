// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's command line.
#include <QByteArray>
#include <QList>

#include <optional>

struct TCommandLine {
    bool Headless = false;
    // File names as the bytes given, so that a name in another encoding than
    // the locale's still names the same file.
    QByteArray ConfigFile; // empty: CHANLOAD.INI in the configuration directory
    QByteArray LogFile;    // empty: no log
};

// Reads Arguments (argv as given, the program's name first) into Line. Qt's
// standard options (-style, -platform, -reverse, ...) are accepted and left
// for the application object. Returns the exit status when the program should
// end at once: 0 after --help or --version (printed on standard output), 2
// after a bad command line (the error and the usage on standard error).
std::optional<int> ParseCommandLine(const QList<QByteArray>& Arguments, TCommandLine& Line);
