// SPDX-License-Identifier: GPL-3.0-or-later
// Settings saved by a process that is killed in the middle of its saves read
// back as one whole save, never a mix of two or a cut file.
#include "SettingsPair.h"
#include "meter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int Kills = 200;
// The same kill schedule on every run; CHANLOAD_KILL_SEED replays another one.
constexpr unsigned DefaultSeed = 20240611;

// The saving loop, with the pipe on which it reports every finished save.
struct SaveLoop {
    pid_t pid = -1;
    int reports = -1;

    // Starts the loop and returns once it has begun saving.
    bool start()
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {const_cast<char*>(SAVE_LOOP_PROGRAM), nullptr};
        if (posix_spawn(&pid, SAVE_LOOP_PROGRAM, &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        reports = out[0];
        return pid > 0 && next() == '!';
    }

    // The next report; 0 when none comes within ten seconds.
    char next()
    {
        pollfd p{reports, POLLIN, 0};
        char c = 0;
        if (poll(&p, 1, 10000) != 1 || read(reports, &c, 1) != 1)
            return 0;
        return c;
    }

    // Kills the loop and reaps it; true when the kill, not the loop, ended it.
    bool kill()
    {
        if (::kill(pid, SIGKILL) != 0)
            return false;
        int status = 0;
        const bool reaped = waitpid(pid, &status, 0) == pid;
        pid = -1;
        return reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    ~SaveLoop()
    {
        if (pid > 0)
            kill();
        if (reports >= 0)
            close(reports);
    }
};

QStringList strayFiles(const QDir& dir)
{
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("CHANLOAD.INI"));
    return names;
}

unsigned seedOfThisRun()
{
    const char* given = std::getenv("CHANLOAD_KILL_SEED");
    return given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : DefaultSeed;
}

} // namespace

TEST(SettingsUnderKill, EveryKillLeavesOneWholeSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QDir config(QDir(dir.path()).filePath(QStringLiteral("chanload")));
    const unsigned seed = seedOfThisRun();
    std::printf("[ seed ] %u (CHANLOAD_KILL_SEED=%u replays this schedule)\n", seed, seed);
    std::mt19937 random(seed);
    // Each kill lands a chosen number of finished saves into the loop, plus a
    // delay shorter than a save, so that kills fall inside both kinds of save.
    std::uniform_int_distribution<int> savesBefore(0, 4);
    std::uniform_int_distribution<int> delayUs(0, 1500);

    int sawA = 0, sawB = 0, absent = 0, strays = 0;
    bool saved = false;
    for (int kill = 0; kill < Kills; ++kill) {
        const int saves = savesBefore(random);
        const int delay = delayUs(random);
        SCOPED_TRACE(testing::Message() << "kill " << kill << " after " << saves << " saves + " << delay << " us");
        SaveLoop loop;
        ASSERT_TRUE(loop.start());
        for (int i = 0; i < saves; ++i)
            ASSERT_NE(loop.next(), 0) << "the loop stopped saving";
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        ASSERT_TRUE(loop.kill()) << "the loop ended on its own";

        // The file is linked under a temporary name just before the rename, so a
        // kill can leave that one name behind; one save in flight, one name at most.
        const QStringList stray = strayFiles(config);
        ASSERT_LE(stray.size(), 1) << stray.join(' ').toStdString();
        strays += static_cast<int>(stray.size());
        for (const QString& name : stray)
            QFile::remove(config.filePath(name));

        if (!config.exists(QStringLiteral("CHANLOAD.INI"))) {
            ASSERT_FALSE(saved) << "the file vanished after a save";
            ++absent;
            continue;
        }
        saved = true;
        MeterSettings read{"", -1, -1, -1, -1, ""};
        try {
            LoadSettings(read);
        } catch (const std::exception& e) {
            FAIL() << "unreadable file: " << e.what();
        }
        if (SameSettings(read, SettingsA()))
            ++sawA;
        else if (SameSettings(read, SettingsB()))
            ++sawB;
        else
            FAIL() << "neither save: " << read.IpAddress << " " << read.TcpPort << " " << read.AgwPort << " "
                   << read.SampleMs << " " << read.ChannelBps << " " << read.CallSign;
    }
    std::printf("[ kills ] %d: %d left A, %d left B, %d before the first save; %d stray file(s)\n", Kills, sawA, sawB,
                absent, strays);
    // Otherwise the kills did not land while the two saves alternated.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
}
