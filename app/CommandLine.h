// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's command line.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

struct TCommandLine {
    bool Headless = false;
    QString ConfigFile; // empty: CHANLOAD.INI in the configuration directory
    QString LogFile;    // empty: no log
    // The same names as the bytes given, which is what opens the files: a
    // name in another encoding than the locale's survives only so.
    QByteArray ConfigFileName, LogFileName;
    QString History;    // empty: the settings file's store; "none": no store
    // --export-csv FROM TO: the stored periods of [From, To] on standard output.
    bool ExportCsv = false;
    int64_t ExportFrom = 0, ExportTo = 0;
    bool Verbose = false; // learned preambles reported on standard error
    QString Metrics;    // "[ADDRESS:]PORT" of the Prometheus endpoint; empty: as the settings say
};

// Reads Arguments (argv as given, the program's name first) into Line. Qt's
// standard options (-style, -platform, -reverse, ...) are accepted and left
// for the application object. Returns the exit status when the program should
// end at once: 0 after --help or --version (printed on standard output), 2
// after a bad command line (the error and the usage on standard error).
std::optional<int> ParseCommandLine(const QList<QByteArray>& Arguments, TCommandLine& Line);
