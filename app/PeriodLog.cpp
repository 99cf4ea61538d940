// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodLog.h"

#include "PeriodRecord.h"

bool TPeriodLog::OpenFile(const QString& Path)
{
    return file.OpenFile(Path) && start();
}

bool TPeriodLog::OpenStandardOutput()
{
    return file.OpenStandardOutput() && file.Append(CsvHeader());
}

bool TPeriodLog::start()
{
    // A file that already holds lines goes on under its header.
    return !file.Empty() || file.Append(CsvHeader());
}

bool TPeriodLog::Write(const PeriodRecord& Record)
{
    return file.Append(CsvLine(Record));
}

QString TPeriodLog::Error() const
{
    return QStringLiteral("Cannot write the log %1: %2").arg(file.Name(), file.Error());
}
