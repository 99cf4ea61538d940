// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodLog.h"

#include "PeriodRecord.h"

#include <QFile>

namespace {

// What logs written before the engine column began with.
constexpr char TenColumnHeader[] = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime";

bool startsTenColumnLog(const QString& Path)
{
    QFile old(Path);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    QByteArray first = old.readLine(256);
    while (first.endsWith('\n') || first.endsWith('\r'))
        first.chop(1);
    return first == TenColumnHeader;
}

} // namespace

bool TPeriodLog::OpenFile(const QString& Path)
{
    if (!setAsideOldLog(Path))
        return false;
    return file.OpenFile(Path) && start();
}

// Lines of eleven fields under a header of ten would break every reader of
// the file: the old lines move to a file of their own, NAME.old (or
// NAME.old.2 and on, when that is taken), and NAME starts again.
bool TPeriodLog::setAsideOldLog(const QString& Path)
{
    if (!startsTenColumnLog(Path))
        return true;
    QString aside = Path + QStringLiteral(".old");
    for (int n = 2; QFile::exists(aside) && n < 1000; ++n)
        aside = Path + QStringLiteral(".old.") + QString::number(n);
    QFile old(Path);
    if (QFile::exists(aside) || !old.rename(aside)) {
        failure = QStringLiteral("The log %1 has the columns of an older version and cannot be moved aside to %2: %3")
                      .arg(Path, aside, old.errorString());
        return false;
    }
    notice = QStringLiteral("the log %1 had the columns of an older version; its lines are now in %2")
                 .arg(Path, aside);
    return true;
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
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("Cannot write the log %1: %2").arg(file.Name(), file.Error());
}
