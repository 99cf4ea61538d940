// SPDX-License-Identifier: GPL-3.0-or-later
// The real program against an engine that breaks the connection or floods it.
#include "ChanLoadChild.h"
#include "FaultFrames.h"
#include "FaultyEngine.h"
#include "MeterFixture.h"
#include "QtTestApp.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

// A lost connection ends the program on its own, with status 1 and one line
// that says why; never by a signal, never by hanging on.
void expectFailureEnd(ChanLoadChild& child, int ms = 10000)
{
    ASSERT_TRUE(child.WaitForEnd(ms)) << "still running";
    EXPECT_FALSE(child.EndedBySignal()) << "ended by a signal";
    EXPECT_EQ(child.ExitStatus(), 1);
    const QStringList lines = child.StderrLines();
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("chanload: ")) << lines[0].toStdString();
}

// Starts the child against the engine and waits for its start requests.
void startAgainst(ChanLoadChild& child, FaultyEngine& engine, int sampleMs = 60000)
{
    ASSERT_TRUE(child.Start(engine.Port(), sampleMs));
    QElapsedTimer t;
    t.start();
    while (engine.Step() < 1 && t.elapsed() < 15000 && child.Running())
        std::this_thread::sleep_for(5ms);
    ASSERT_GE(engine.Step(), 1) << "no start requests";
}

// The most a loopback socket holds for the program: what one read can bring.
qint64 socketBufferKiB()
{
    QFile f(QStringLiteral("/proc/sys/net/ipv4/tcp_rmem"));
    if (!f.open(QIODevice::ReadOnly))
        return 6 * 1024;
    const QList<QByteArray> sizes = f.readAll().simplified().split(' ');
    return sizes.size() == 3 ? sizes[2].toLongLong() / 1024 : 6 * 1024;
}

bool waitForStep(const FaultyEngine& engine, int n, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (engine.Step() < n && t.elapsed() < ms)
        std::this_thread::sleep_for(5ms);
    return engine.Step() >= n;
}

class ProgramUnderFault : public ::testing::Test {
protected:
    // QProcess and the loopback helpers want an application object.
    void SetUp() override { EnsureApplication(); }
};

} // namespace

TEST_F(ProgramUnderFault, ConnectionCutInsideAHeaderOrADataPartEndsWithStatusOne)
{
    const QByteArray frame = UiFrame(1, 40);
    for (const qsizetype cut : {qsizetype(17), qsizetype(36 + 25)}) {
        SCOPED_TRACE(cut);
        FaultyEngine engine([&](EnginePeer& p) {
            if (!p.ReadStartRequests())
                return;
            p.Reached(1);
            p.Send(frame + frame.left(cut));
            std::this_thread::sleep_for(50ms);
            p.Close();
        });
        ChanLoadChild child;
        startAgainst(child, engine);
        expectFailureEnd(child);
    }
}

TEST_F(ProgramUnderFault, ConnectionClosedRightAfterAcceptEndsAtOnceNotAtTheNextTick)
{
    // An engine that turns a client away may accept and hang up at once: the
    // start requests then meet a closed connection inside the connect event.
    FaultyEngine engine([](EnginePeer& p) { p.Close(); });
    ChanLoadChild child;
    ASSERT_TRUE(child.Start(engine.Port(), 60000));
    expectFailureEnd(child, 10000);
}

TEST_F(ProgramUnderFault, ConnectionResetEndsWithStatusOne)
{
    FaultyEngine engine([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        p.Send(UiFrame(1, 10) + UiFrame(1, 20).left(50));
        std::this_thread::sleep_for(50ms);
        p.Reset();
    });
    ChanLoadChild child;
    startAgainst(child, engine);
    expectFailureEnd(child);
}

TEST_F(ProgramUnderFault, RefusedEveryTimeGivesUpAfterTwelveAttemptsWithStatusOne)
{
    RefusingPort refusing;
    ChanLoadChild child;
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(child.Start(refusing.number(), 200));
    expectFailureEnd(child, 20000);
    // Eleven further attempts, one per tick; Qt's coarse timers may fire up to
    // 5 % early, so allow a tenth.
    EXPECT_GE(t.elapsed(), 11 * 200 * 9 / 10);
}

TEST_F(ProgramUnderFault, RepeatedBurstsOfFramesDoNotGrowTheResidentSet)
{
    constexpr int Bursts = 5;
    const QByteArray burst = BurstOf(100000);
    FaultyEngine engine([&](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        for (int n = 1; n <= Bursts; ++n) {
            if (!p.WaitForGo(n) || !p.Send(burst))
                return;
            p.Reached(n + 1);
        }
        p.StaySilent();
    });
    ChanLoadChild child;
    startAgainst(child, engine);
    ASSERT_TRUE(child.WaitUntilIdle());
    const ProcessFigures before = child.Figures();
    std::vector<ProcessFigures> after;
    for (int n = 1; n <= Bursts; ++n) {
        engine.Go(n);
        ASSERT_TRUE(waitForStep(engine, n + 1));
        ASSERT_TRUE(child.WaitUntilIdle());
        after.push_back(child.Figures());
    }
    ASSERT_TRUE(child.Running());
    const qint64 burstKiB = burst.size() / 1024;
    std::printf("[ burst ] %d x %lld KiB; VmRSS %lld KiB before, %lld KiB after the first, %lld KiB after the last; "
                "VmHWM %lld KiB\n",
                Bursts, static_cast<long long>(burstKiB), static_cast<long long>(before.rssKiB),
                static_cast<long long>(after.front().rssKiB), static_cast<long long>(after.back().rssKiB),
                static_cast<long long>(after.back().hwmKiB));
    // Where the kernel buffers a whole burst, one read hands all of it over,
    // through a few copies (socket buffer, chunk, receive buffer). Keeping
    // every burst once it is counted would pass this bound by the fifth.
    EXPECT_LT(after.back().hwmKiB - before.hwmKiB, 4 * burstKiB + 8 * 1024);
}

TEST_F(ProgramUnderFault, FourGiBAnnouncedFrameIsPassedOverWithoutBuffering)
{
    // Each read passes through a few copies of at most the socket's buffer;
    // the garbage streamed is far more, so buffering it could not hide.
    const qint64 boundKiB = 4 * socketBufferKiB() + 16 * 1024;
    const uint64_t streamed = std::max<uint64_t>(1ull << 30, static_cast<uint64_t>(boundKiB) * 1024 * 4);
    FaultyEngine engine([&](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        if (!p.WaitForGo(1) || !p.Send(HeaderAnnouncing(0xFFFFFFFFu)) || !p.SendRandom(streamed, 7))
            return;
        p.Reached(2);
        p.StaySilent();
    });
    ChanLoadChild child;
    startAgainst(child, engine);
    ASSERT_TRUE(child.WaitUntilIdle());
    const ProcessFigures before = child.Figures();
    engine.Go(1);
    ASSERT_TRUE(waitForStep(engine, 2, 60000));
    ASSERT_TRUE(child.WaitUntilIdle());
    const ProcessFigures after = child.Figures();
    ASSERT_TRUE(child.Running());
    std::printf("[ 4 GiB ] %llu MiB streamed; VmHWM %lld KiB before, %lld KiB after; CPU %.2f s\n",
                static_cast<unsigned long long>(streamed >> 20), static_cast<long long>(before.hwmKiB),
                static_cast<long long>(after.hwmKiB), after.cpuSeconds - before.cpuSeconds);
    EXPECT_LT(after.hwmKiB - before.hwmKiB, boundKiB);
}

TEST_F(ProgramUnderFault, RandomBytesNeitherEndNorHangTheProgram)
{
    FaultyEngine engine([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        if (!p.SendRandom(8u << 20, 1998))
            return;
        p.Reached(2);
        if (!p.WaitForGo(2))
            return;
        p.Close();
    });
    ChanLoadChild child;
    startAgainst(child, engine, 200);
    ASSERT_TRUE(waitForStep(engine, 2));
    ASSERT_TRUE(child.WaitUntilIdle());
    // Ticks go on, but the program waits: under a tenth of a core.
    const ProcessFigures a = child.Figures();
    std::this_thread::sleep_for(1s);
    const ProcessFigures b = child.Figures();
    ASSERT_TRUE(child.Running());
    EXPECT_LT(b.cpuSeconds - a.cpuSeconds, 0.1);
    // Still reading: it notices the engine going away at once.
    engine.Go(2);
    expectFailureEnd(child, 5000);
}
