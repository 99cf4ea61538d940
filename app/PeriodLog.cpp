// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodLog.h"

#include "PeriodRecord.h"

bool TPeriodLog::OpenFile(const QByteArray& Path)
{
    return file.OpenFile(Path) && headerIfEmpty();
}

bool TPeriodLog::OpenStandardOutput()
{
    // A pipe or terminal always starts with the header; a file that
    // standard output appends to goes on under its own.
    return file.OpenStandardOutput() && (file.IsFile() ? headerIfEmpty() : file.Append(CsvHeader()));
}

bool TPeriodLog::headerIfEmpty()
{
    return !file.Empty() || file.Append(CsvHeader());
}

bool TPeriodLog::Write(const PeriodRecord& Record)
{
    // A FIFO whose reader went may have a new one by now.
    const bool open = file.ReaderGone() ? file.Reopen() : file.FollowName();
    failing = !(open && headerIfEmpty() && file.Append(CsvLine(Record)));
    return !failing;
}

bool TPeriodLog::Reopen()
{
    failing = !(file.Reopen() && headerIfEmpty());
    return !failing;
}

QString TPeriodLog::Error() const
{
    return QStringLiteral("Cannot write the log %1: %2").arg(file.Name(), file.Error());
}
