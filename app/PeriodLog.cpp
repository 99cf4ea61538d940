// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodLog.h"

#include "PeriodRecord.h"

bool TPeriodLog::OpenFile(const QByteArray& Path)
{
    return file.OpenFile(Path) && start();
}

bool TPeriodLog::OpenStandardOutput()
{
    return file.OpenStandardOutput() && start();
}

// A pipe, FIFO or terminal always starts with the header; a file only when it
// is empty, so that one appended to goes on under its own.
bool TPeriodLog::start()
{
    return file.IsFile() ? headerIfEmpty() : file.Append(CsvHeader());
}

bool TPeriodLog::headerIfEmpty()
{
    return !file.Empty() || file.Append(CsvHeader());
}

bool TPeriodLog::Write(const PeriodRecord& Record)
{
    // A FIFO whose reader went may have a new one by now, who gets the header.
    const bool open = file.ReaderGone() ? file.Reopen() && start() : file.FollowName() && headerIfEmpty();
    failing = !(open && file.Append(CsvLine(Record)));
    return !failing;
}

bool TPeriodLog::Reopen()
{
    failing = !(file.Reopen() && start());
    return !failing;
}

QString TPeriodLog::Error() const
{
    return QStringLiteral("Cannot write the log %1: %2").arg(file.Name(), file.Error());
}
