// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's command line.
#include <QString>
#include <QStringList>

#include <optional>

struct TCommandLine {
    bool Headless = false;
    QString ConfigFile; // empty: CHANLOAD.INI in the configuration directory
    QString LogFile;    // empty: no log
    QString Metrics;    // "[ADDRESS:]PORT" of the Prometheus endpoint; empty: as the settings say
};

// Reads Arguments (the program's name first) into Line. Returns the exit
// status when the program should end at once: 0 after --help or --version
// (printed on standard output), 2 after a bad command line (the error and
// the usage on standard error).
std::optional<int> ParseCommandLine(const QStringList& Arguments, TCommandLine& Line);
