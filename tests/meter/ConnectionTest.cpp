// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AGWUnit.h"
#include "ClientSocket.h"
#include "NotifyIcon.h"

#include <QTimer>

namespace {

QByteArray request(char kind, const QByteArray& call = {})
{
    return AgwFrame(0, kind, {}, call);
}

} // namespace

// A listener registers no call: a registered one makes the engine answer
// connect requests on the air.
TEST_F(MeterTest, ConnectSendsTheFourStartRequestsByteForByteAndNoRegistration)
{
    StartConnected({{"CALLSIGN", "N0CALL-7"}});
    Settle(100);
    EXPECT_EQ(engine.received, request('G') + request('g') + request('m') + request('k'));
    EXPECT_EQ(Status(), "Connected...");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_FALSE(ConnectPending);
    EXPECT_TRUE(form->AGWPE->Active());
}

TEST_F(MeterTest, ConnectResetsTotalsAndHistoryButNotTheShownFigures)
{
    ASSERT_TRUE(engine.Listen());
    WriteIni({{"TCP_PORT", std::to_string(engine.Port())}});
    Start();
    SampleHistory.fill({5, 5});
    SetTotals(1, 2, 3);
    form->AvgLoad->setText("42%");
    ASSERT_TRUE(WaitFor([] { return EverConnected; }));
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(form->Usage->text(), "0");
    EXPECT_EQ(form->AvgLoad->text(), "42%");
    for (const SampleEntry& e : SampleHistory)
        EXPECT_EQ(e.Bytes + e.Datas, 0);
}

TEST_F(MeterTest, TwelveRefusedAttemptsEndTheProgramWithFailure)
{
    WriteIni({{"SAMPLE", "50"}});
    testing::internal::CaptureStderr();
    Start();
    ASSERT_TRUE(WaitFor([this] { return !endStatuses.empty(); }, 10000));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(endStatuses.front(), 1);
    EXPECT_EQ(RetriesLeft, 0);
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(form->CheckTime->isActive());
    EXPECT_NE(err.find("127.0.0.1:" + ini["TCP_PORT"]), std::string::npos) << err;
    EXPECT_NE(err.find("12 attempts"), std::string::npos) << err;
}

TEST_F(MeterTest, FailedAttemptWaitsForTheNextTick)
{
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    EXPECT_EQ(Status(), "Disconnected...");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_FALSE(ConnectPending);
    EXPECT_TRUE(errorBoxes.isEmpty()) << "a cleared error is not reported";
    Settle(200);
    EXPECT_EQ(RetriesLeft, 11) << "no retry before the tick";

    form->CheckTimeTimer(form->CheckTime);
    EXPECT_TRUE(ConnectPending);
    EXPECT_EQ(Status(), "Disconnected......................");
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 10; }));
}

TEST_F(MeterTest, TickDuringAnAttemptStartsNoSecondOne)
{
    ASSERT_TRUE(engine.Listen());
    WriteIni({{"TCP_PORT", std::to_string(refusing.number())}});
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    form->AGWPE->Port = engine.Port();
    form->CheckTimeTimer(form->CheckTime);
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([] { return EverConnected; }));
    Settle(100);
    EXPECT_EQ(engine.Connections(), 1);
}

TEST_F(MeterTest, EngineStartedLateIsConnectedAtTheNextTickAndStartsMonitoring)
{
    WriteIni({{"TCP_PORT", std::to_string(refusing.number())}, {"CALLSIGN", "N0CALL"}});
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    ASSERT_TRUE(engine.Listen(refusing));
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 4; }));
    EXPECT_EQ(engine.Frames()[0].kind, 'G');
    EXPECT_EQ(engine.Frames()[2].kind, 'm');
    EXPECT_EQ(engine.Frames()[3].kind, 'k');
    EXPECT_EQ(RetriesLeft, 11);
    EXPECT_EQ(Status(), "Connected...");
    ASSERT_TRUE(SendMarker("Port1"));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
}

TEST_F(MeterTest, LostConnectionEndsTheProgramWithFailure)
{
    StartConnected();
    testing::internal::CaptureStderr();
    engine.Close();
    ASSERT_TRUE(WaitFor([this] { return !endStatuses.empty(); }));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(endStatuses.front(), 1);
    EXPECT_EQ(Status(), "Disconnected...");
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_EQ(RetriesLeft, 12);
    EXPECT_NE(err.find("lost"), std::string::npos) << err;
}

TEST_F(MeterTest, ExitWhileConnectedClosesWithoutUnregisteringAndEndsWithSuccess)
{
    StartConnected({{"CALLSIGN", "N0CALL-7"}});
    form->Exit1Click(form->Exit1);
    ASSERT_FALSE(endStatuses.empty());
    EXPECT_EQ(endStatuses.front(), 0);
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(form->CheckTime->isActive());
    EXPECT_EQ(Status(), "Disconnected...");
    ASSERT_TRUE(WaitFor([this] { return engine.Connections() == 1 && !engine.Connected(); }));
    EXPECT_EQ(engine.Frames().size(), 4u);
}

TEST_F(MeterTest, ExitWhileDisconnectedSendsNothingAndEndsWithSuccess)
{
    Start();
    form->Exit1Click(form->Exit1);
    ASSERT_EQ(endStatuses.size(), 1u);
    EXPECT_EQ(endStatuses.front(), 0);
    EXPECT_FALSE(CurrentNotifyIcon());
}

TEST_F(MeterTest, SessionSendsOnlyRequestsThatNeverTransmit)
{
    StartConnected();
    engine.Send(UiFrame(1, 20) + AgwFrame(0, 'G', QByteArray("1;Port1 first soundcard mono;\0", 31)));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    form->CheckTimeTimer(form->CheckTime);
    form->Exit1Click(form->Exit1);
    // G g m k at the start, one G at the tick as a sign of life.
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 5; }));
    ASSERT_TRUE(WaitFor([this] { return !engine.Connected(); }));
    ASSERT_EQ(engine.received.size(), 5 * 36) << "requests carry no data";
    for (const WireFrame& f : engine.Frames()) {
        EXPECT_NE(QByteArray("Ggmk").indexOf(f.kind), -1) << f.kind;
        EXPECT_EQ(f.port, 0);
        EXPECT_EQ(f.header.mid(1, 3), QByteArray(3, '\0'));
        EXPECT_EQ(f.header.at(5), '\0');
        EXPECT_EQ(f.header.at(6), '\0');
        EXPECT_EQ(f.header.at(7), '\0');
        EXPECT_EQ(f.header.mid(32, 4), QByteArray(4, '\0'));
    }
}

// A stopped engine keeps the connection and answers nothing; that must not
// look like a quiet channel.
TEST_F(MeterTest, EngineThatStopsAnsweringIsShownUntilItAnswersAgain)
{
    StartConnected();
    ASSERT_TRUE(SendMarker("Port1"));
    engine.answerPortList = false;
    form->CheckTimeTimer(form->CheckTime); // asks for the port list
    EXPECT_EQ(Status(), "Connected.......");
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 5; }));
    EXPECT_EQ(engine.Frames()[4].kind, 'G');

    // No answer to that request: the next tick says so, the figures go on.
    engine.Send(UiFrame(1, 20));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_NE(form->Usage->text(), "0");
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_EQ(engine.Frames().size(), 5u) << "one request out at a time";

    // The answer brings the load class and the status line back at once.
    ASSERT_TRUE(SendMarker("Port1 again"));
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Status(), "Connected.......");
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
}

TEST_F(MeterTest, QuietPeriodWithAnswersStaysAnOrdinaryQuietPeriod)
{
    StartConnected();
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        form->CheckTimeTimer(form->CheckTime);
        EXPECT_EQ(Status(), "Connected.......");
        EXPECT_EQ(TrayIcon(), "GAUGE1");
        EXPECT_EQ(form->AvgLoad->text(), "0%");
    }
}
