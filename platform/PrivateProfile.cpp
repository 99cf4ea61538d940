// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrivateProfile.h"

#include "ProfileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* const FileName = "CHANLOAD.INI";
#ifndef Q_OS_WIN
// Where earlier versions kept the file, straight in the configuration folder.
const char* const OldFolder = ".";
const char* const Folder = "chanload";
#endif

// Set from the command line to run one instance per radio port or engine;
// kept as the bytes given, since a name that is not valid in the locale's
// encoding would not survive a trip through QString.
QByteArray& chosenPath()
{
    static QByteArray path;
    return path;
}

#ifndef Q_OS_WIN
QByteArray inConfigFolder(const char* Sub)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QFile::encodeName(
        QDir::cleanPath(QDir(dir).filePath(QString::fromLatin1(Sub) + QLatin1Char('/') + QString::fromLatin1(FileName))));
}

bool exists(const QByteArray& Path)
{
    struct stat st;
    return ::stat(Path.constData(), &st) == 0;
}
#endif

// Missing or unreadable file: no contents, as the reader sees it.
std::string readContents()
{
    std::string contents;
    ReadProfileFile(contents);
    return contents;
}

[[noreturn]] void refused()
{
    throw EIniFileException("Unable to write to " + QFileInfo(ProfileSavePath()).fileName().toStdString());
}

#ifndef Q_OS_WIN
// The whole of Contents into a new file beside Path, then renamed over it: a
// crash or a full disk in the middle leaves the old file in place. The new
// file keeps the old one's permissions.
bool replaceFile(const QByteArray& Path, const std::string& Contents)
{
    const int slash = Path.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : Path.left(slash == 0 ? 1 : slash);
    QByteArray temp = dir + "/." + Path.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat old;
    mode_t mode = 0;
    if (::stat(Path.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool good = ::fchmod(fd, mode) == 0;
    for (size_t done = 0; good && done < Contents.size();) {
        const ssize_t n = ::write(fd, Contents.data() + done, Contents.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            good = false;
    }
    good = good && ::fsync(fd) == 0;
    good = ::close(fd) == 0 && good;
    good = good && ::rename(temp.constData(), Path.constData()) == 0;
    if (!good)
        ::unlink(temp.constData());
    return good;
}
#endif

} // namespace

void SetProfileFilePath(const QString& Path)
{
    chosenPath() = QFile::encodeName(Path);
}

void SetProfileFileName(const QByteArray& Path)
{
    chosenPath() = Path;
}

QByteArray ProfileSaveName()
{
    if (!chosenPath().isEmpty())
        return chosenPath();
#ifdef Q_OS_WIN
    const QString dir = qEnvironmentVariable("WINDIR", QStringLiteral("C:/Windows"));
    return QFile::encodeName(QDir(dir).filePath(QString::fromLatin1(FileName)));
#else
    return inConfigFolder(Folder);
#endif
}

QByteArray ProfileFileName()
{
    const QByteArray path = ProfileSaveName();
#ifndef Q_OS_WIN
    if (chosenPath().isEmpty() && !exists(path)) {
        const QByteArray old = inConfigFolder(OldFolder);
        if (exists(old)) {
            // Said once a run, however often the file is read.
            static bool told = false;
            if (!told) {
                told = true;
                std::fprintf(stderr, "chanload: reading the settings from %s, where earlier versions kept them; "
                                     "the next save writes %s\n",
                             old.constData(), path.constData());
                std::fflush(stderr);
            }
            return old;
        }
    }
#endif
    return path;
}

QString ProfileSavePath()
{
    return QFile::decodeName(ProfileSaveName());
}

QString ProfileFilePath()
{
    return QFile::decodeName(ProfileFileName());
}

bool ReadProfileFile(std::string& Contents)
{
#ifdef Q_OS_WIN
    QFile file(ProfileFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    Contents.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
#else
    // Never waits: a FIFO put where the file should be reads as no file.
    const int fd = ::open(ProfileFileName().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    Contents.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            Contents.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(fd);
    return true;
#endif
}

bool ProfileFileReadable(QString& Why)
{
#ifdef Q_OS_WIN
    const QFileInfo info(ProfileFilePath());
    if (!info.exists())
        return true;
    if (info.isDir()) {
        Why = QStringLiteral("it is a folder");
        return false;
    }
    if (!info.isFile()) {
        Why = QStringLiteral("it is not an ordinary file");
        return false;
    }
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        Why = file.errorString();
        return false;
    }
    return true;
#else
    const QByteArray path = ProfileFileName();
    struct stat st;
    if (::stat(path.constData(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        Why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Why = QStringLiteral("it is a folder");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Why = QStringLiteral("it is not an ordinary file");
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::close(fd);
    return true;
#endif
}

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default)
{
    bool found = false;
    std::string value = ProfileLookup(readContents(), Section, Key, found);
    return found ? value : Default;
}

void WritePrivateProfileStrings(const std::string& Section, const std::vector<std::pair<std::string, std::string>>& Entries)
{
    const QString path = ProfileSavePath();
#ifndef Q_OS_WIN
    const QByteArray name = ProfileSaveName();
    const int slash = name.lastIndexOf('/');
    const bool folderThere = slash <= 0 || exists(name.left(slash));
#else
    const bool folderThere = false;
#endif
    if (!folderThere && !QDir().mkpath(QFileInfo(path).absolutePath()))
        refused();
    std::string contents = readContents();
    for (const auto& [key, value] : Entries)
        contents = ProfileUpdate(contents, Section, key, value);

#ifndef Q_OS_WIN
    if (exists(name) && ::access(name.constData(), W_OK) != 0)
        refused();
    if (!replaceFile(name, contents))
        refused();
#else
    if (QFileInfo::exists(path) && !QFileInfo(path).isWritable())
        refused();
    // A crash or a full disk in the middle leaves the old file in place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        refused();
    if (file.write(contents.data(), static_cast<qint64>(contents.size())) != static_cast<qint64>(contents.size()))
        refused();
    if (!file.commit())
        refused();
#endif
}

void WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value)
{
    WritePrivateProfileStrings(Section, {{Key, Value}});
}
