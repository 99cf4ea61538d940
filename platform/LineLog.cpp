// SPDX-License-Identifier: GPL-3.0-or-later
#include "LineLog.h"

#include <cstdio>

bool TLineLog::OpenFile(const QString& Path)
{
    name = Path;
    file.setFileName(Path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool TLineLog::OpenStandardOutput()
{
    name = QStringLiteral("standard output");
    // C's own buffer may hold text written before; it goes first. The
    // descriptor, not the FILE: C buffers a pipe's FILE in blocks, and a
    // reader on the pipe would see the lines only at the end.
    std::fflush(stdout);
    if (!file.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool TLineLog::Empty() const
{
    return file.size() == 0;
}

bool TLineLog::Append(const std::string& Line)
{
    const std::string whole = Line + "\n";
    const qint64 written = file.write(whole.data(), static_cast<qint64>(whole.size()));
    if (written != static_cast<qint64>(whole.size())) {
        error = file.errorString();
        return false;
    }
    return true;
}
