// SPDX-License-Identifier: GPL-3.0-or-later
// The main window in this process against an engine that misbehaves, where
// the totals on the window tell whether every frame was counted.
#include "FaultFrames.h"
#include "FaultyEngine.h"
#include "MeterFixture.h"

#include "ClientSocket.h"

#include <QStatusBar>

#include <random>

namespace {

using namespace std::chrono_literals;
using Totals3 = std::vector<std::string>;

class WindowUnderFault : public MeterTest {
protected:
    // Starts the window against the engine and waits for its start requests.
    void StartAgainst(const FaultyEngine& faulty, std::map<std::string, std::string> keys = {})
    {
        keys["TCP_PORT"] = std::to_string(faulty.Port());
        WriteIni(keys);
        Start();
        ASSERT_TRUE(WaitFor([&] { return faulty.Step() >= 1; }, 10000)) << "no start requests";
    }

    // Neither an error box nor an end of the program.
    void ExpectStillRunningQuietly()
    {
        EXPECT_TRUE(errorBoxes.isEmpty()) << errorBoxes.join('\n').toStdString();
        EXPECT_TRUE(endStatuses.empty());
        EXPECT_TRUE(form->AGWPE->Active());
    }
};

} // namespace

TEST_F(WindowUnderFault, BytesOneAtATimeCountEveryFrameWhenItsLastByteArrives)
{
    const std::vector<QByteArray> frames = {
        UiFrame(1, 20),
        AgwFrame(0, 'I', MonitorData(1, "I S3 R1 pid=F0 Len=5 P=0 ", "hello"), "N0CALL-1", "N0CALL-2"),
        AgwFrame(0, 'G', QByteArray("1;Port1 first soundcard mono;\0", 30)),
        AgwFrame(0, 'S', MonitorData(1, "RR R5 F=1 ", {}), "N0CALL-1", "N0CALL-2"),
        UiFrame(2, 7),
        UiFrame(1, 0),
    };
    const std::vector<Totals3> expected = {
        {"1", "39", "20"}, {"2", "63", "25"}, {"2", "63", "25"}, {"3", "82", "25"}, {"3", "82", "25"}, {"4", "101", "25"},
    };
    FaultyEngine faulty([&](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
            const QByteArray& f = frames[static_cast<size_t>(i)];
            if (!p.SendByteByByte(f.left(f.size() - 1), 300us))
                return;
            p.Reached(2 * i + 2);
            if (!p.WaitForGo(2 * i + 3) || !p.SendByteByByte(f.right(1), 0us))
                return;
            p.Reached(2 * i + 3);
        }
        p.StaySilent();
    });
    StartAgainst(faulty);
    Totals3 before{"0", "0", "0"};
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(WaitFor([&] { return faulty.Step() >= 2 * i + 2; }));
        Settle(30);
        EXPECT_EQ(Totals(), before) << "counted before its last byte";
        faulty.Go(2 * i + 3);
        const Totals3& want = expected[static_cast<size_t>(i)];
        ASSERT_TRUE(WaitFor([&] { return faulty.Step() >= 2 * i + 3; }));
        EXPECT_TRUE(WaitFor([&] { return Totals() == want; }, 2000)) << Totals()[0] << " " << Totals()[1];
        before = want;
    }
    Settle(30);
    EXPECT_EQ(Totals(), expected.back());
    ExpectStillRunningQuietly();
}

TEST_F(WindowUnderFault, HundredThousandFramesInOneBurstAreAllCounted)
{
    const QByteArray burst = BurstOf(100000);
    FaultyEngine faulty([&](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        p.Send(burst);
        p.StaySilent();
    });
    StartAgainst(faulty);
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "100000"; }, 60000)) << form->Frames->text().toStdString();
    Settle(50);
    EXPECT_EQ(Totals(), (Totals3{"100000", "3900000", "2000000"}));
    ExpectStillRunningQuietly();
}

TEST_F(WindowUnderFault, FourGiBAnnouncedFrameIsSkippedAndTheNextFrameCounted)
{
    FaultyEngine faulty([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        if (!p.Send(HeaderAnnouncing(0xFFFFFFFFu)) || !p.SendRandom(0xFFFFFFFFull, 42) || !p.Send(UiFrame(1, 20)))
            return;
        p.Reached(2);
        p.StaySilent();
    });
    StartAgainst(faulty);
    ASSERT_TRUE(WaitFor([&] { return faulty.Step() >= 2; }, 120000));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }, 10000)) << form->Frames->text().toStdString();
    Settle(50);
    EXPECT_EQ(Totals(), (Totals3{"1", "39", "20"}));
    ExpectStillRunningQuietly();
}

TEST_F(WindowUnderFault, RandomMonitorTextsRaiseNoBoxAndCountingGoesOn)
{
    // Whole frames with rubbish inside; a port number no rubbish will spell.
    std::mt19937 random(1998);
    QByteArray stream;
    const char kinds[] = "IUSGgXKyT";
    for (int i = 0; i < 3000; ++i) {
        QByteArray data(static_cast<qsizetype>(random() % 300), '\0');
        for (char& c : data)
            c = static_cast<char>(random());
        // Half of them look like a monitor line up to the rubbish.
        if (i % 2)
            data.prepend(" 1:Fm N0CALL To APRS <" + QByteArray(i % 4 == 1 ? "UI pid=F0 Len=" : "I R1 S"));
        stream += AgwFrame(0, kinds[random() % (sizeof kinds - 1)], data);
    }
    stream += AgwFrame(0, 'U', MonitorData(4096, "UI pid=F0 Len=11 PF=0 ", "still alive"));
    FaultyEngine faulty([&](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        p.Send(stream);
        p.StaySilent();
    });
    StartAgainst(faulty, {{"AGW_PORT", "4096"}});
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }, 20000)) << form->Frames->text().toStdString();
    EXPECT_EQ(Totals(), (Totals3{"1", "30", "11"}));
    ExpectStillRunningQuietly();
}

TEST_F(WindowUnderFault, RandomBytesRaiseNoBoxAndTheTimerKeepsTicking)
{
    FaultyEngine faulty([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        if (!p.SendRandom(4u << 20, 99))
            return;
        p.Reached(2);
        p.StaySilent();
    });
    StartAgainst(faulty, {{"SAMPLE", "200"}});
    ASSERT_TRUE(WaitFor([&] { return faulty.Step() >= 2; }, 30000));
    // Only a tick after the rubbish has been read can overwrite this.
    Settle(100);
    form->StatusBar->showMessage("marker");
    // Whether the rubbish happened to hold a port list or not, a tick writes
    // a connected status line again.
    ASSERT_TRUE(WaitFor([this] { return Status().rfind("Connected", 0) == 0; }, 3000)) << Status();
    ExpectStillRunningQuietly();
}

TEST_F(WindowUnderFault, SilentEngineKeepsTheProgramConnectedTickingAndSaysItIsNotAnswering)
{
    FaultyEngine faulty([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        p.StaySilent();
    });
    StartAgainst(faulty, {{"SAMPLE", "200"}});
    // The start request for the port list is never answered.
    ASSERT_TRUE(WaitFor([this] { return Status() == "Connected, engine not answering"; }, 3000)) << Status();
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    form->StatusBar->showMessage("marker");
    ASSERT_TRUE(WaitFor([this] { return Status() == "Connected, engine not answering"; }, 3000)) << Status();
    EXPECT_TRUE(EverConnected);
    ExpectStillRunningQuietly();
}
