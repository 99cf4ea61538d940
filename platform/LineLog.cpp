// SPDX-License-Identifier: GPL-3.0-or-later
#include "LineLog.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

namespace {

// A pipe whose reader does not keep up may hold back this much of a line;
// more and the line is given up, not the memory.
constexpr size_t MaxUnsent = 1 << 16;

QString systemError(int Number)
{
    return QString::fromLocal8Bit(std::strerror(Number));
}

} // namespace

TLineLog::~TLineLog()
{
    closeFile();
}

void TLineLog::closeFile()
{
    if (fd >= 0 && ownFd)
        ::close(fd);
    fd = -1;
    ownFd = false;
}

bool TLineLog::openPath()
{
    // O_NONBLOCK: opening a FIFO waits for a reader otherwise, and a write to
    // one whose reader is slow would hold up the ticks.
    const int opened = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (opened < 0) {
        error = errno == ENXIO ? QStringLiteral("it is a FIFO that no program reads") : systemError(errno);
        return false;
    }
    struct stat st;
    if (::fstat(opened, &st) != 0 || S_ISDIR(st.st_mode)) {
        error = systemError(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(opened);
        return false;
    }
    closeFile();
    fd = opened;
    ownFd = true;
    regular = S_ISREG(st.st_mode);
    readerGone = false;
    unsent.clear();
    return true;
}

bool TLineLog::OpenFile(const QByteArray& Path)
{
    path = Path;
    name = QFile::decodeName(Path);
    return openPath();
}

bool TLineLog::OpenStandardOutput()
{
    path.clear();
    name = QStringLiteral("standard output");
    // C's own buffer may hold text written before; it goes first. The
    // descriptor, not the FILE: C buffers a pipe's FILE in blocks, and a
    // reader on the pipe would see the lines only at the end.
    std::fflush(stdout);
    struct stat st;
    if (::fstat(STDOUT_FILENO, &st) != 0) {
        error = systemError(errno);
        return false;
    }
    closeFile();
    fd = STDOUT_FILENO;
    regular = S_ISREG(st.st_mode);
    return true;
}

bool TLineLog::Reopen()
{
    return path.isEmpty() || openPath();
}

bool TLineLog::FollowName()
{
    if (path.isEmpty())
        return true;
    struct stat open, named;
    if (fd >= 0 && ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 && open.st_dev == named.st_dev &&
        open.st_ino == named.st_ino)
        return true;
    return openPath();
}

bool TLineLog::Empty() const
{
    struct stat st;
    return regular && fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size == 0;
}

bool TLineLog::Append(const std::string& Line)
{
    if (fd < 0) {
        error = QStringLiteral("it is not open");
        return false;
    }
    const std::string whole = unsent + Line + "\n";
    // Where the file ends now: a short write is cut back to here.
    // The program is the file's only writer, so its end is where the line goes.
    off_t before = -1;
    struct stat st;
    if (regular && ::fstat(fd, &st) == 0)
        before = st.st_size;
    size_t done = 0;
    int failure = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(fd, whole.data() + done, whole.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            failure = n < 0 ? errno : EIO;
            break;
        }
    }
    if (done == whole.size()) {
        unsent.clear();
        return true;
    }

    if (failure == EPIPE)
        readerGone = true;
    error = failure == EAGAIN ? QStringLiteral("the program reading it does not keep up") : systemError(failure);
    if (regular && before >= 0) {
        // The disk took part of the line: give that part back, so that the
        // next line starts on a line of its own.
        if (done > 0 && (::ftruncate(fd, before) != 0 || ::lseek(fd, before, SEEK_SET) < 0)) {
            // Cannot be taken back: finish the broken line at the next write.
            unsent = "\n";
            error += QStringLiteral("; a part line is left in the file");
        } else if (done > 0) {
            error += QStringLiteral("; the part line written was taken back");
        }
        return false;
    }
    // A pipe already passed the part on: the rest goes first next time.
    if (done > 0 || !unsent.empty()) {
        unsent = whole.substr(done);
        if (unsent.size() > MaxUnsent)
            unsent = "\n";
    }
    return false;
}
