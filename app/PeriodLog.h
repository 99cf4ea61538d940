// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CSV log of evaluated periods: the --log file, or standard output in a
// run without a window. Both take the same lines.
#include "LineLog.h"

struct PeriodRecord;

class TPeriodLog {
public:
    // Opens the file (or standard output) and writes the header line when it
    // starts empty. A file that begins with the ten-column header of older
    // versions is first renamed to FILE.old (FILE.old.2 ... when taken), and
    // Notice() says so. False with Error() set when any of that fails.
    bool OpenFile(const QString& Path);
    bool OpenStandardOutput();

    // One line for the period; false with Error() set when it was not written.
    bool Write(const PeriodRecord& Record);

    // "Cannot write the log FILE: reason"
    QString Error() const;
    // What opening did besides, for standard error; empty when nothing.
    QString Notice() const { return notice; }

private:
    bool setAsideOldLog(const QString& Path);
    bool start();
    QString failure, notice;
    TLineLog file;
};
