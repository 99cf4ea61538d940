// Settings saved by a process that is killed at random moments read back as
// one whole save, never a mix of two or a cut file.
#include "SettingsPair.h"
#include "meter.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int Kills = 200;
// The file is written unnamed and linked under a temporary name just before
// the rename; a kill inside that window leaves the name behind. A kill while
// writing must leave nothing, so strays stay rare.
constexpr int MostStrayFiles = Kills / 20;

// Starts the saving loop and returns once it has begun saving; -1 on failure.
pid_t startSaving()
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>(SAVE_LOOP_PROGRAM), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, SAVE_LOOP_PROGRAM, &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char go = 0;
    if (pid > 0 && read(out[0], &go, 1) != 1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    close(out[0]);
    return pid;
}

QStringList strayFiles(const QDir& dir)
{
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(QStringLiteral("CHANLOAD.INI"));
    return names;
}

} // namespace

TEST(SettingsUnderKill, EveryKillLeavesOneWholeSaveAndFewStrayFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QDir config(dir.path());
    const unsigned seed = std::random_device{}();
    std::printf("[ seed ] %u\n", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 20000);

    int sawA = 0, sawB = 0, absent = 0;
    QStringList stray;
    bool saved = false;
    for (int kill = 0; kill < Kills; ++kill) {
        SCOPED_TRACE(kill);
        const pid_t pid = startSaving();
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the loop ended on its own: " << status;

        stray = strayFiles(config);
        ASSERT_LE(stray.size(), MostStrayFiles) << stray.join(' ').toStdString();

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
    std::printf("[ kills ] %d: %d left A, %d left B, %d before the first save; %d stray file(s): %s\n", Kills, sawA,
                sawB, absent, static_cast<int>(stray.size()), qPrintable(stray.join(' ')));
    // Otherwise the kills did not land while the two saves alternated.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
}
