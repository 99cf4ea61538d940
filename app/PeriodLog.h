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
    bool OpenFile(const QByteArray& Path);
    bool OpenStandardOutput();

    // One line for the period; false with Error() set when it was not
    // written. A file renamed or deleted since the last line is opened again
    // by its name first, and a file that is empty (new, or emptied by a
    // copying rotation) gets the header first.
    bool Write(const PeriodRecord& Record);
    // Opens the file by its name again, as after SIGHUP.
    bool Reopen();

    // The reader of standard output (or of the FIFO) has gone.
    bool ReaderGone() const { return file.ReaderGone(); }
    // The last write failed; the next good one ends that.
    bool Failing() const { return failing; }

    // "Cannot write the log FILE: reason"
    QString Error() const;
    // What opening did besides, for standard error; empty when nothing.
    QString Notice() const { return notice; }
    QString Name() const { return file.Name(); }

private:
    bool setAsideOldLog(const QByteArray& Path);
    bool start();
    bool headerIfEmpty();
    QString failure, notice;
    TLineLog file;
    bool failing = false;
};
