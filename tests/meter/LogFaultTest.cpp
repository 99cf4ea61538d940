// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV log under the faults a station meets: a full disk, rotation by
// renaming, deleting or copying and emptying, and a file name that is not
// text in the locale's encoding (SIGHUP is tried on the real program).
// Whatever happens, the file at the log's name holds a header and whole
// lines only.
#include "PeriodLog.h"
#include "PeriodRecord.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string Header = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime,engine";

PeriodRecord record(int Frames)
{
    PeriodRecord r;
    r.Time = 0;
    r.Port = 1;
    r.Frames = Frames;
    return r;
}

// The line of record(Frames), written out by hand.
std::string lineOf(int Frames)
{
    return "1970-01-01T00:00:00Z,1," + std::to_string(Frames) + ",0,0,0,0,0,0,0,answering";
}

std::string readAll(int Fd)
{
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(Fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

std::string contents(const QByteArray& Path)
{
    std::ifstream in(Path.constData(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Env {
    QByteArray folder, name;
    TPeriodLog log;
    std::vector<std::string> lines; // expected at the name after the header
    QByteArray filler;              // takes the disk's last pages

    bool write(int Frames)
    {
        const bool written = log.Write(record(Frames));
        if (written)
            lines.push_back(lineOf(Frames));
        return written;
    }
    void rotate() { ASSERT_EQ(::rename(name.constData(), (name + ".1").constData()), 0); }
};

// A small file system of its own, for a disk that fills up; only where mounts
// are allowed (root, or a user namespace that grants them).
struct SmallDisk {
    explicit SmallDisk(const QByteArray& At) : at(At)
    {
        mounted = ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(at.constData(), MNT_DETACH);
    }
    QByteArray at;
    bool mounted = false;
};

// Fills what is left of the disk with a file of its own.
void fillDisk(Env& E)
{
    E.filler = E.folder + "/filler";
    const int fd = ::open(E.filler.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, "x", 1) > 0) {
    }
    ::close(fd);
}

struct LogCase {
    const char* What;
    QByteArray FileName;
    bool NeedsSmallDisk;
    std::function<void(Env&)> Fault;
    bool NextWritten; // the line right after the fault
    const char* Error; // part of the message when it was not
    std::function<void(Env&)> Repair;
    int MovedAway; // lines (after the header) left in <name>.1, or -1 for no such file
};

} // namespace

TEST(LogFaults, TheFileAtTheLogsNameHoldsOnlyAHeaderAndWholeLines)
{
    const std::vector<LogCase> cases = {
        {"renamed by a rotation", "load.csv", false,
         [](Env& E) {
             E.rotate();
             E.lines.clear();
         },
         true, "", [](Env&) {}, 1},
        {"deleted", "load.csv", false,
         [](Env& E) {
             ASSERT_EQ(::unlink(E.name.constData()), 0);
             E.lines.clear();
         },
         true, "", [](Env&) {}, -1},
        {"copied and emptied (copytruncate)", "load.csv", false,
         [](Env& E) {
             std::ofstream((E.name + ".1").constData()) << contents(E.name);
             ASSERT_EQ(::truncate(E.name.constData(), 0), 0);
             E.lines.clear();
         },
         true, "", [](Env&) {}, 1},
        {"a name that is not UTF-8", "load\xff\xfe.csv", false, [](Env&) {}, true, "", [](Env&) {}, -1},
        {"the disk full in the middle of a line", "load.csv", true,
         [](Env& E) {
             fillDisk(E);
             // Lines go on until the log's last page is full; the one that
             // does not fit is the fault.
             for (int i = 100;; ++i) {
                 struct stat before;
                 ASSERT_EQ(::stat(E.name.constData(), &before), 0);
                 if (E.write(i))
                     continue;
                 // Part of the line fitted unless the file ended on a page edge.
                 if (before.st_size % ::getpagesize() != 0) {
                     EXPECT_NE(E.log.Error().indexOf("taken back"), -1) << E.log.Error().toStdString();
                 }
                 break;
             }
         },
         false, "No space left on device", [](Env& E) { ASSERT_EQ(::unlink(E.filler.constData()), 0); }, -1},
    };

    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.What);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        Env e;
        e.folder = QFile::encodeName(dir.path());
        SmallDisk disk(e.folder);
        if (c.NeedsSmallDisk && !disk.mounted) {
            std::printf("[  SKIPPED ] %s: mounting a small disk is not permitted here\n", c.What);
            continue;
        }
        e.name = e.folder + "/" + c.FileName;
        ASSERT_TRUE(e.log.OpenFile(e.name)) << e.log.Error().toStdString();
        ASSERT_TRUE(e.write(1));
        c.Fault(e);
        ASSERT_FALSE(testing::Test::HasFatalFailure());
        const bool written = e.write(2);
        EXPECT_EQ(written, c.NextWritten);
        if (!written) {
            EXPECT_NE(e.log.Error().indexOf(QString::fromUtf8(c.Error)), -1) << e.log.Error().toStdString();
        }
        c.Repair(e);
        EXPECT_TRUE(e.write(3)) << e.log.Error().toStdString();

        std::string expected = Header + "\n";
        for (const std::string& l : e.lines)
            expected += l + "\n";
        EXPECT_EQ(contents(e.name), expected);
        const QByteArray moved = e.name + ".1";
        if (c.MovedAway < 0) {
            EXPECT_NE(::access(moved.constData(), F_OK), 0);
        } else {
            EXPECT_EQ(contents(moved), Header + "\n" + lineOf(1) + "\n");
        }
    }

    // A FIFO: its reader gets the header first; a reader that goes is an
    // error, so is no reader, and the next reader gets the header again.
    // The program ignores SIGPIPE, as here.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("load.fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
    int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    TPeriodLog log;
    ASSERT_TRUE(log.OpenFile(fifo)) << log.Error().toStdString();
    ASSERT_TRUE(log.Write(record(1)));
    EXPECT_EQ(readAll(reader), Header + "\n" + lineOf(1) + "\n");
    ::close(reader);
    EXPECT_FALSE(log.Write(record(2)));
    EXPECT_TRUE(log.ReaderGone());
    EXPECT_FALSE(log.Write(record(3)));
    EXPECT_NE(log.Error().indexOf("no program reads"), -1) << log.Error().toStdString();
    reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(log.Write(record(4))) << log.Error().toStdString();
    EXPECT_EQ(readAll(reader), Header + "\n" + lineOf(4) + "\n");
    ::close(reader);
    ::signal(SIGPIPE, oldPipe);
}

// An older log whose every name to move aside to is taken stays where it is,
// and the error says why.
TEST(LogFaults, OlderLogWithEveryAsideNameTakenIsRefusedWithTheReason)
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("load.csv")));
    const std::string older = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime\n";
    std::ofstream(name.constData()) << older;
    std::ofstream(name + ".old") << "earlier\n";
    for (int n = 2; n < 1000; ++n)
        std::ofstream(name + ".old." + QByteArray::number(n)) << "earlier\n";
    errno = 0;
    TPeriodLog log;
    EXPECT_FALSE(log.OpenFile(name));
    EXPECT_TRUE(log.Error().endsWith(QString::fromLocal8Bit(std::strerror(EEXIST)))) << log.Error().toStdString();
    EXPECT_EQ(contents(name), older);
}
