// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each evaluated period goes besides the window, in this order: the
// history store with its stations, standard output in a run without a
// window, the CSV log, and the metrics endpoint. A fault of one is told
// once (standard error, status line) and the others go on.
#include "PeriodLog.h"
#include "PeriodStore.h"
#include "Process.h"
#include "StationTable.h"

#include <QString>

#include <memory>

class TForm1;
class TMeterMetrics;
struct PeriodRecord;
struct TCommandLine;

// One line "chanload: Message" on standard error; 1, the status of a run
// that ends on it.
int TellStandardError(const QString& Message);

// The history store of this run: the settings file's own, another file, or
// none (empty).
QString HistoryStorePath(const TCommandLine& Line);

class TPeriodOutputs {
public:
    explicit TPeriodOutputs(const TCommandLine& Line);
    ~TPeriodOutputs();
    TPeriodOutputs(const TPeriodOutputs&) = delete;
    TPeriodOutputs& operator=(const TPeriodOutputs&) = delete;

    // The --log file and, without a window, standard output; before the
    // window exists, so that a log that cannot be opened ends the run at
    // once. False when one cannot be opened, said on standard error.
    bool OpenLogs();
    // Opens the store (its periods fill the window's history), takes each
    // period of Main from here on and serves the metrics. False when the run
    // must end: metrics asked for without a window that cannot be served.
    bool Attach(TForm1& Main);
    // The log was rotated (SIGHUP): its name leads to a new file.
    void ReopenLog();

private:
    void openStore();
    void write(const PeriodRecord& Record);
    // False when the run ends because nobody reads the lines.
    bool writeStandardOutput(const PeriodRecord& Record);
    void writeLog(const PeriodRecord& Record);
    void tellStore(const QString& Fault);
    void tellNotice();

    const TCommandLine& line;
    TForm1* main = nullptr;
    TPeriodLog log;
    TPeriodLog output;
    // Before the store, which must not outlive it.
    std::unique_ptr<TStationTable> stations;
    TPeriodStore store;
    QString storeFault;
    // The process ends at once (EndProcess): the store is closed first, so
    // that its lock file does not hold the next start off.
    TEndStep closeStore;
    std::unique_ptr<TMeterMetrics> metrics;
};
