// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodLog.h"

#include "PeriodRecord.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// What logs written before the engine column began with.
constexpr char TenColumnHeader[] = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime";

// Only an ordinary file is read here: a FIFO would wait for a writer.
bool startsTenColumnLog(const QByteArray& Path)
{
    if (!TLineLog::IsOrdinaryFile(Path))
        return false;
    std::FILE* old = std::fopen(Path.constData(), "rb");
    if (!old)
        return false;
    char first[128] = {};
    const bool read = std::fgets(first, sizeof first, old) != nullptr;
    std::fclose(old);
    if (!read)
        return false;
    first[std::strcspn(first, "\r\n")] = '\0';
    return std::strcmp(first, TenColumnHeader) == 0;
}

} // namespace

bool TPeriodLog::OpenFile(const QByteArray& Path)
{
    if (!setAsideOldLog(Path))
        return false;
    return file.OpenFile(Path) && start();
}

// Lines of eleven fields under a header of ten would break every reader of
// the file: the old lines move to a file of their own, NAME.old (or
// NAME.old.2 and on, when that is taken), and NAME starts again.
bool TPeriodLog::setAsideOldLog(const QByteArray& Path)
{
    if (!startsTenColumnLog(Path))
        return true;
    QByteArray aside = Path + ".old";
    for (int n = 2; TLineLog::Exists(aside) && n < 1000; ++n)
        aside = Path + ".old." + QByteArray::number(n);
    const bool taken = TLineLog::Exists(aside);
    if (taken || std::rename(Path.constData(), aside.constData()) != 0) {
        // With every name taken no call failed: errno would tell of another.
        const int error = taken ? EEXIST : errno;
        failure = QStringLiteral("The log %1 has the columns of an older version and cannot be moved aside to %2: %3")
                      .arg(QFile::decodeName(Path), QFile::decodeName(aside),
                           QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    notice = QStringLiteral("the log %1 had the columns of an older version; its lines are now in %2")
                 .arg(QFile::decodeName(Path), QFile::decodeName(aside));
    return true;
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
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("Cannot write the log %1: %2").arg(file.Name(), file.Error());
}
