// SPDX-License-Identifier: GPL-3.0-or-later
#include "LineLog.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The system's calls on a descriptor, under one set of names. Windows' C
// runtime has no FIFOs and no inode numbers: a log deleted there is opened
// again at the next line, one renamed is not followed.
#ifdef Q_OS_WIN
using FileStatus = struct _stat64;
using Offset = long long;
int openForAppending(const char* Path)
{
    return ::_open(Path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int statusOf(int Fd, FileStatus& St) { return ::_fstat64(Fd, &St); }
int statusOf(const char* Path, FileStatus& St) { return ::_stat64(Path, &St); }
bool isFolder(const FileStatus& St) { return (St.st_mode & _S_IFMT) == _S_IFDIR; }
bool isRegular(const FileStatus& St) { return (St.st_mode & _S_IFMT) == _S_IFREG; }
long long writeSome(int Fd, const char* Data, size_t Size)
{
    return ::_write(Fd, Data, static_cast<unsigned>(std::min<size_t>(Size, INT_MAX)));
}
bool cutBack(int Fd, Offset At) { return ::_chsize_s(Fd, At) == 0 && ::_lseeki64(Fd, At, SEEK_SET) >= 0; }
void closeDescriptor(int Fd) { ::_close(Fd); }
int standardOutput() { return ::_fileno(stdout); }
#else
using FileStatus = struct stat;
using Offset = off_t;
// O_NONBLOCK: opening a FIFO waits for a reader otherwise, and a write to
// one whose reader is slow would hold up the ticks.
int openForAppending(const char* Path)
{
    return ::open(Path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
}
int statusOf(int Fd, FileStatus& St) { return ::fstat(Fd, &St); }
int statusOf(const char* Path, FileStatus& St) { return ::stat(Path, &St); }
bool isFolder(const FileStatus& St) { return S_ISDIR(St.st_mode); }
bool isRegular(const FileStatus& St) { return S_ISREG(St.st_mode); }
long long writeSome(int Fd, const char* Data, size_t Size) { return ::write(Fd, Data, Size); }
bool cutBack(int Fd, Offset At) { return ::ftruncate(Fd, At) == 0 && ::lseek(Fd, At, SEEK_SET) >= 0; }
void closeDescriptor(int Fd) { ::close(Fd); }
int standardOutput() { return STDOUT_FILENO; }
#endif

// A pipe whose reader does not keep up may hold back this much of a line;
// more and the line is given up, not the memory.
constexpr size_t MaxUnsent = 1 << 16;

QString systemError(int Number)
{
    return QString::fromLocal8Bit(std::strerror(Number));
}

} // namespace

bool TLineLog::Exists(const QByteArray& Path)
{
    FileStatus st{};
    return statusOf(Path.constData(), st) == 0;
}

bool TLineLog::IsOrdinaryFile(const QByteArray& Path)
{
    FileStatus st{};
    return statusOf(Path.constData(), st) == 0 && isRegular(st);
}

TLineLog::~TLineLog()
{
    closeFile();
}

void TLineLog::closeFile()
{
    if (fd >= 0 && ownFd)
        closeDescriptor(fd);
    fd = -1;
    ownFd = false;
}

bool TLineLog::openPath()
{
    const int opened = openForAppending(path.constData());
    if (opened < 0) {
        error = errno == ENXIO ? QStringLiteral("it is a FIFO that no program reads") : systemError(errno);
        return false;
    }
    FileStatus st{};
    if (statusOf(opened, st) != 0 || isFolder(st)) {
        error = systemError(isFolder(st) ? EISDIR : errno);
        closeDescriptor(opened);
        return false;
    }
    closeFile();
    fd = opened;
    ownFd = true;
    regular = isRegular(st);
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
    FileStatus st{};
    if (statusOf(standardOutput(), st) != 0) {
        error = systemError(errno);
        return false;
    }
    closeFile();
    fd = standardOutput();
    regular = isRegular(st);
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
    FileStatus open, named;
    if (fd >= 0 && statusOf(fd, open) == 0 && statusOf(path.constData(), named) == 0 && open.st_dev == named.st_dev &&
        open.st_ino == named.st_ino)
        return true;
    return openPath();
}

bool TLineLog::Empty() const
{
    FileStatus st{};
    return regular && fd >= 0 && statusOf(fd, st) == 0 && st.st_size == 0;
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
    Offset before = -1;
    FileStatus st{};
    if (regular && statusOf(fd, st) == 0)
        before = st.st_size;
    size_t done = 0;
    int failure = 0;
    while (done < whole.size()) {
        const long long n = writeSome(fd, whole.data() + done, whole.size() - done);
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
        if (done > 0 && !cutBack(fd, before)) {
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
